#pragma once

#include "drivemap.h"
#include "result.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Attribute bits as the Windows folder search reports them.
inline constexpr std::uint32_t kAttrReadOnly = 0x01;
inline constexpr std::uint32_t kAttrHidden = 0x02;
inline constexpr std::uint32_t kAttrDirectory = 0x10;
inline constexpr std::uint32_t kAttrArchive = 0x20;
inline constexpr std::uint32_t kAttrReparsePoint = 0x400; // a symbolic link

// One entry of a folder search.
struct FindEntry {
    std::string name;
    std::int64_t size = 0;          // bytes; 0 for folders
    std::int64_t lastWriteTime = 0; // seconds since 1 January 1970, UTC
    std::uint32_t attributes = 0;
};

// Folder search on a Windows path. The last component may hold the wildcards "*" and "?"
// ("C:\Data\*.*" lists the folder with "." and ".." first, as Windows does); without wildcards
// the search finds that one file or folder. Names are matched without regard to ASCII case.
// A symbolic link is reported with kAttrReparsePoint (plus kAttrDirectory when it points at a
// folder) and is never followed for its size. Names are Windows names (windowsNameOf), so every
// name on disk is found, whatever bytes it holds. Finding nothing is a success with no entries.
Result<std::vector<FindEntry>> findFiles(const DriveMap& drives, std::string_view windowsPattern);

// True when the search for this exact path finds something.
bool pathExists(const DriveMap& drives, std::string_view windowsPath);

// Deletes one file (or a symbolic link, never its target). Fails for a read-only file and for
// a folder.
Status deleteFile(const DriveMap& drives, std::string_view windowsPath);

// Copies a file, replacing an existing target that is not read-only. The copy is written beside
// the target and renamed over it, so a failed copy leaves the old target as it was. Keeps the
// source's last-write time and permission bits.
Status copyFile(const DriveMap& drives, std::string_view fromWindowsPath, std::string_view toWindowsPath);

// Renames or moves a file or folder. Never replaces: fails when the target exists.
Status moveFile(const DriveMap& drives, std::string_view fromWindowsPath, std::string_view toWindowsPath);

// Creates one folder; fails when it exists.
Status createFolder(const DriveMap& drives, std::string_view windowsPath);

// Removes an empty folder.
Status removeFolder(const DriveMap& drives, std::string_view windowsPath);

// Windows-style wildcard match ("*", "?"; "*.*" matches every name), ignoring ASCII case.
bool matchesWildcard(std::string_view pattern, std::string_view name);

} // namespace platform
