#pragma once

#include "archivewindow.h"
#include "drivemap.h"
#include "result.h"

#include <string>
#include <vector>

namespace archive {

// The files of a tool job, all in the program directory (a Windows path ending in "\").
struct JobFiles {
    std::string programDir;
    std::string archiver;        // PKZIP25.EXE
    std::string script;          // temp.bat
    std::string marker;          // tempdone.txt, the completion marker
    std::string listing;         // temp.txt, the archiver's listing
    std::string list;            // temp.lst, the names an operation works on
    std::string errors;          // temp.err, what a failed line of the script said
    std::string interpreterHost; // host path of the job-script interpreter

    static JobFiles inProgramDir(const std::string& programDir, const std::string& interpreterHost);
};

inline constexpr char kArchiverName[] = "PKZIP25.EXE";
inline constexpr char kInterpreterName[] = "pellix-batch";

// The bytes of a job script: the command line, CR LF, then the line that copies the script to
// the completion marker, with no line end after it.
std::string jobScriptText(const std::string& commandLine, const JobFiles& files);

// One run of the archiver: the program writes a two-line script, starts it hidden, and waits for
// the script's last line to create the completion marker. Each step that fails shows the
// job-file error message once and returns false.
class ToolJob {
public:
    ToolJob(const JobFiles& files, ArchiveWindow& window,
            const platform::DriveMap& drives = platform::DriveMap::current());

    // Creates or truncates the job script and writes its two lines.
    bool writeScript(const std::string& commandLine);
    // Creates or truncates the list file with one line per name, each ending in CR LF.
    bool writeListFile(const std::vector<std::string>& lines);
    // Deletes a marker left by an earlier job, so that it cannot end the next wait early.
    void deleteMarker();
    // Starts the script hidden, waits until the job has ended and takes its marker.
    bool launchAndWait();
    // A listing job: writes the script, clears the marker, launches and waits.
    bool run(const std::string& commandLine);
    // Why the last step that returned false failed, with the system's own reason.
    const platform::Error& failure() const { return m_failure; }

private:
    bool fail(platform::Error reason);

    const JobFiles& m_files;
    ArchiveWindow& m_window;
    const platform::DriveMap& m_drives;
    platform::Error m_failure;
};

// Deletes the job script, the completion marker, the list file, the listing file and the error
// file, in this order; a missing file is no error. The archiver is never deleted.
void DeleteJobFiles(const JobFiles& files, const platform::DriveMap& drives = platform::DriveMap::current());

} // namespace archive
