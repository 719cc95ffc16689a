#pragma once

#include "archivestate.h"
#include "drivemap.h"
#include "fileservices.h"

#include <functional>
#include <string>
#include <vector>

namespace views {

// What a tree item is, told by its image index.
enum NodeKind : int {
    kNodeDrive = 0,
    kNodeLocalFolder = 1,
    kNodeLocalFolderOpen = 3,
    kNodeArchiveFolder = 4,
    kNodeArchiveFolderOpen = 6,
    kNodeComputer = 7,
    kNodeArchiveRoot = 8,
};

// The disk path of a drive or local folder item, from its drive item's text ("Drive C") and the
// folder texts below it, drive first: "C:\" or "C:\Data\Sub\".
std::string nodePath(const std::string& driveText, const std::vector<std::string>& folderTexts);
// The "/"-joined path of an archive tree item from its texts, root first: "C:\a.zip/docs/".
std::string treePath(const std::vector<std::string>& textsFromRoot);

// The letters the local tree lists, in letter order: from A (with Use Drive A) or C to Z, each
// exactly when changing to it succeeds.
std::vector<char> driveLetters(bool useDriveA, const std::function<bool(char)>& canChangeToDrive);
// "Drive C".
std::string driveText(char letter);

// The sub-folders of a local folder from its search: folders only, "." and ".." left out,
// hidden ones kept, sorted as the tree sorts children.
std::vector<std::string> localSubFolders(const std::vector<platform::FindEntry>& found);
// Searches folderPath + "*.*"; a folder that cannot be searched has no sub-folders.
std::vector<std::string> readLocalSubFolders(const platform::DriveMap& drives, const std::string& folderPath);

// The folders one level below a tree path, from the archive folder list, sorted as the tree
// sorts children.
std::vector<std::string> archiveSubFolders(const archive::ArchiveFolderList& folders,
                                           const std::string& treePath);

// Sorts children texts as the tree does: alphabetical, ignoring case.
void sortChildTexts(std::vector<std::string>& texts);

} // namespace views
