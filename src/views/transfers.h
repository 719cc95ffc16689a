#pragma once

#include "archiveengine.h"
#include "diskops.h"
#include "listrules.h"

#include <string>
#include <vector>

namespace views {

// The folder the archiver extracts into for a destination folder that ends in "\": the folder
// without its separator, and a drive root as C:/ (C: alone would name the current folder of
// drive C).
std::string extractFolderOf(const std::string& destinationFolder);

// What a release on a target that takes the drop does (listTakesDrop, treeTakesDrop).
enum class DropAction {
    Nothing,
    ZipCommand,    // onto the archive: the Zip command adds the local file list's selected rows
    CopyRows,      // the local file list's selected rows into a local folder
    ExtractRows,   // the archive list's selected rows into a local folder
    CopyFolder,    // a folder of the local tree into a local folder
    ExtractFolder, // a folder of the archive folder tree into a local folder
};
DropAction dropAction(Role targetRole, int sourceKind);
// Whether the drop extracts (it asks "Unzip"), else it copies (it asks "copy").
bool isExtraction(DropAction action);
// The list whose selected rows a drop of sourceKind takes: 0 the local file list, 1 the archive
// list.
int sourceListRow(int sourceKind);

// What a selection transfer does with one selected row.
enum class RowStep {
    Nothing,
    AddItem,          // the row itself as an operation item: a local file to add, a member
    AddLocalFolder,   // every file under a local folder, for an add
    AddArchiveFolder, // every member under an archive folder, for an extract or a delete
    CopyFile,
    CopyFolder,
};
RowStep transferStep(bool deleteRequest, int sourceKind, bool add, bool folder);
// Whether a selection transfer ends by running the archive operation on what it collected.
bool runsArchiveOperation(bool add, int sourceKind, bool deleteRequest);

// The selected rows of a list in walk order (the first selected row, then each next selected
// row below), each as its record holds it under the name the row shows.
struct TransferSource {
    Role role = Role::Local;
    std::string folder; // the list's current folder
    std::vector<ListRecord> rows;
};

// Files and folders another program handed over (Windows paths), as a local list's rows would
// carry them: one source per folder they lie in, in the order the paths name them. A path that
// names nothing on disk is left out.
std::vector<TransferSource> desktopSources(const platform::DriveMap& drives,
                                           const std::vector<std::string>& paths);
// The same rows as one source that names each by its whole path, as an add takes them.
TransferSource wholePathSource(const std::vector<TransferSource>& sources);

// A member's path inside the archive, "/"-separated, from the name its list row or its folder
// gives ("C:\a.zip/docs/x.txt" or "C:\a.zip/docs"): what an extract with folders makes of it
// below the destination.
std::string memberPathOf(const std::string& itemName);
// The host path of the file or folder that an extract with folders into the host folder makes of
// a member: each name the one the listing stands for (control pictures made control characters).
std::string extractedHostPath(const std::string& hostFolder, const std::string& itemName);

// The transfers the drops, the Zip and UnZip commands and the archive list's Delete share: they
// copy on disk, or collect operation items for the engine and run its operation. No widget.
class Transfers {
public:
    Transfers(archive::ArchiveEngine& engine, archive::ArchiveWindow& window,
              const platform::DriveMap& drives);

    // Applies one operation to every row of source: add to the archive (add), or copy into the
    // local folder destinationFolder, extract into it, or collect for a delete, by the drag's
    // source kind and the delete request. False when a step failed (it said so).
    bool TransferSelection(const std::string& destinationFolder, bool add, const TransferSource& source);
    // The drop of source's rows on a folder row of a list of targetRole: folders of the local
    // list are copied one by one until the first file row, which hands every row to
    // TransferSelection; anything else goes to TransferSelection at once.
    void TransferToFolderRow(Role targetRole, const std::string& destinationFolder,
                             const TransferSource& source);
    // Adds every file under a local folder, at any depth, as an operation item. A folder that
    // cannot be read is named in a message and ends the walk: false.
    bool AddFolderFiles(const std::string& folder);
    // The drop of the dragged tree folder into destinationFolder: a local folder is copied there
    // (replacing one of its name), an archive folder is extracted there.
    void transferDraggedFolder(const std::string& destinationFolder);

private:
    archive::ArchiveEngine& m_engine;
    archive::ArchiveWindow& m_window;
    DiskOperations m_disk;
};

} // namespace views
