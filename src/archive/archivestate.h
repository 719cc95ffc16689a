#pragma once

#include "fileservices.h"

#include <cstdint>
#include <string>
#include <unordered_set>
#include <vector>

namespace archive {

// One member file of the open archive, as the archiver listed it. The lists keep their rows' data
// in the same record (a local file, a folder row), so that a list can show the archive's own
// members without copying them.
struct ArchiveEntry {
    std::string name;   // after the last "/" of the member's path
    std::string folder; // before the last "/", "" at the top level
    std::int64_t size = 0;
    std::int64_t packedSize = 0;  // -1 when the archiver did not know it
    std::int64_t time = 0;        // seconds since 1970, UTC; 0 for a list's synthesised sub-folder
    std::string ratioText;        // five characters as listed
    std::uint32_t attributes = 0; // 0 for a member; a list's folder row has the directory bit
    // The listing marks it: its data need the archive's password (a list's folder row: it holds
    // such a member).
    bool encrypted = false;

    bool isFolder() const { return (attributes & platform::kAttrDirectory) != 0; }
    // "." and ".." are kept as records of a local folder but never become rows.
    bool isShown() const { return name != "." && name != ".."; }
};

// Every distinct folder path of the archive, its prefixes included, in order of first
// appearance. Membership is a hash look-up, so a listing of many members stays linear.
class ArchiveFolderList {
public:
    // Appends folder unless it is already there; true when it was appended.
    bool add(const std::string& folder);
    bool contains(const std::string& folder) const { return m_seen.count(folder) != 0; }
    void clear();
    const std::vector<std::string>& folders() const { return m_folders; }
    size_t size() const { return m_folders.size(); }

private:
    std::vector<std::string> m_folders;
    std::unordered_set<std::string> m_seen;
};

// One local file or archive member that an extract, add or delete is to work on.
struct OperationItem {
    std::string name; // add: a local file's full path; extract and delete: the member as named
    std::int64_t size = 0;
    std::string dateText;
};

// Where a drag began.
enum DragSourceKind : std::int32_t {
    kDragLocalTree = 0,
    kDragLocalList = 1,
    kDragArchiveTree = 2,
    kDragArchiveList = 3,
};

// What the four panes share during a drag.
struct DragState {
    std::string draggedFolderName;
    std::string draggedFolderPath;
    std::int32_t sourceKind = kDragLocalTree;
    std::int32_t imageIndex = 0;
    std::int32_t offsetX = 0;
    std::int32_t offsetY = -20;
    std::int32_t ownerFlags[4] = {0, 0, 0, 0};
};

// The open archive and the engine's flags.
struct ArchiveState {
    std::string archivePath;        // full Windows path of the open archive
    std::string archiveFileName;    // shown in the window title
    std::string scratchArchivePath; // blank.zip's full Windows path, named "blank.zip" to the user
    std::vector<ArchiveEntry> entries;
    ArchiveFolderList folders;
    std::uint64_t listingNumber = 0; // counts the listings, so that what is kept of one is known stale
    std::unordered_set<std::string> encryptedFolders; // the folders that hold encrypted members
    std::vector<OperationItem> operationItems;
    std::string extractDestination;
    bool deleteRequest = false;
    bool cancelled = false;
    bool busy = false;
    bool archiveJustOpened = false;
    bool associated = false;
    bool recentFilePending = false;
    bool startupRouting = false;
    bool closing = false; // the user stopped a job to close the window: no job starts any more
};

} // namespace archive
