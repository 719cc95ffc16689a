#pragma once

#include "archivestate.h"
#include "archivewindow.h"
#include "drivemap.h"

#include <cstdint>
#include <string>
#include <vector>

namespace archive {

// What extracting one member does to the destination as it is now.
enum class ExtractEffect {
    New,            // nothing is there yet
    Identical,      // the file there has the member's size and time
    Replaces,       // a file that differs from the member (size or time) would be replaced
    FolderInTheWay, // a folder stands where the member's file would go
    FileInTheWay,   // a file (or a link) stands where a folder of the member's path would go
};

struct ExtractCheck {
    ExtractEffect effect = ExtractEffect::New;
    std::string placedPath;   // where the member goes below the destination, "\" between folders
    std::string blockingPath; // FileInTheWay: the file in the way, below the destination
    std::int64_t diskSize = 0;
    std::int64_t diskTime = 0;
    std::int64_t memberSize = 0;
    std::int64_t memberTime = 0;
};

// The effect of extracting each of items (members named as the operation items name them) into
// hostDestination, with the members' folders kept or not, one check per item in item order.
// entries are the open archive's, for the members' sizes and times; the listing shows times to
// the minute, so a file whose time lies in the member's minute has the member's time.
std::vector<ExtractCheck> checkExtraction(const std::vector<OperationItem>& items,
                                          const std::vector<ArchiveEntry>& entries,
                                          const std::string& hostDestination, bool keepFolders);

// Before an extraction into the user's folder destination (a Windows path): a member in whose
// place a folder or a file of the other kind stands is reported and left out, never removed; when
// members would replace files that differ from them, the user is asked once ("Replace", "Skip
// These", "Cancel"), and skipped members are left out. Identical files and new files need no
// question. False when the user cancelled; items then stay as they were.
bool confirmExtraction(ArchiveWindow& window, const platform::DriveMap& drives,
                       std::vector<OperationItem>& items, const std::vector<ArchiveEntry>& entries,
                       const std::string& destination, bool keepFolders);

// Before an extraction of copies into the program's own folder destination: nothing is asked;
// members whose copies are there already, identical, are left out (the copies are used again).
void leaveOutIdenticalCopies(const platform::DriveMap& drives, std::vector<OperationItem>& items,
                             const std::vector<ArchiveEntry>& entries, const std::string& destination);

// Before an add without path info: files of this add that would be stored under one name are
// named and the user is asked ("Include Path Info for this add", "Add Only the First of Each",
// "Cancel"). The first sets includePath for this add; the second leaves out every file after
// the first of each name. False when the user cancelled.
bool confirmAddNames(ArchiveWindow& window, std::vector<OperationItem>& items, bool& includePath);

// What an operation checks before its jobs: an extraction into the user's folder
// (confirmExtraction) or into copies of the program's own (leaveOutIdenticalCopies), an add
// without path info (confirmAddNames); a delete checks nothing. Cancelled when the user said so;
// NothingLeft when the checks left out every item there was.
enum class CheckOutcome { Run, NothingLeft, Cancelled };
CheckOutcome checkBeforeJobs(ArchiveWindow& window, const platform::DriveMap& drives, ArchiveState& state,
                             bool add, bool copies, bool& includePath);

} // namespace archive
