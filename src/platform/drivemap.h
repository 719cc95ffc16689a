#pragma once

#include "result.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// One drive letter and the host folder it stands for.
struct DriveMapping {
    char letter = 'C';    // upper case
    std::string hostRoot; // absolute, normalised, no trailing "/" except for "/" itself
};

// The table of drive letters that lets the program, the archiver and the job-script interpreter
// name host files by Windows paths ("C:\Data\a.zip", "C:/"). It is kept as a text file in the
// user's configuration folder, one "X: /host/folder" line per letter, which a user may edit to
// add a USB stick or a share. Without that file the map is C: = home folder, Z: = "/".
class DriveMap {
public:
    DriveMap() = default;

    // The default map: C: is the home folder, Z: is the host root.
    static DriveMap defaults();
    // The user's map from the configuration folder; on first use the default map is written
    // there so that a person can find and edit it. A missing or unreadable file gives defaults.
    static DriveMap load();
    // The map of the running process, loaded once.
    static const DriveMap& current();
    // Replaces the map of the running process (tests, and a change of configuration).
    static void setCurrent(DriveMap map);

    static Result<DriveMap> parse(std::string_view text);
    std::string toText() const;
    static std::string filePath();

    // Adds or replaces one letter; hostRoot must be absolute.
    void map(char letter, const std::string& hostRoot);
    const std::vector<DriveMapping>& drives() const { return m_drives; }
    std::optional<std::string> hostRoot(char letter) const;

    // "Change to drive X succeeds": the letter is mapped and its folder can be read.
    bool canChangeToDrive(char letter) const;

    // A Windows path as a host path. "\" and "/" both separate folders, the letter may be given
    // in either case, "." and ".." are resolved within the drive (".." at the root stays at the
    // root, as on Windows). A path without a drive is taken relative to the working folder. Each
    // name is made a host name again (hostNameOf): the private code points that carry the bytes
    // a Windows name cannot hold become those bytes.
    Result<std::string> toHost(std::string_view windowsPath) const;

    // A host path as a Windows path, named by the drive with the longest matching host folder:
    // "C:\Data\a.zip", or "C:\" for the drive's own folder. Every name is carried
    // (windowsNameOf), so any host name has a Windows path that comes back byte for byte and holds
    // no quote and no line break. Fails only for a path outside every drive.
    Result<std::string> toWindows(std::string_view hostPath) const;

private:
    std::vector<DriveMapping> m_drives; // sorted by letter
};

// Lexically normalised absolute host path: "//" folded, "." dropped, ".." taken back (never above
// "/"), no trailing "/".
std::string normaliseHostPath(std::string_view path);

} // namespace platform
