// What a drag released over a tree does, and the UnZip command's extraction into the local tree's
// selected folder.
#include "archiveengine.h"
#include "brenlodoc.h"
#include "diskops.h"
#include "mylistview.h"
#include "mytreeview.h"
#include "texts.h"
#include "viewhost.h"

namespace views {

namespace {

// A drive root is handed to the archiver as C:/ (C:\ without its separator would read as
// "the current folder of drive C").
std::string extractFolderOf(const std::string& nodePath) {
    if (nodePath.size() == 3) {
        return nodePath.substr(0, 2) + "/";
    }
    return nodePath.empty() ? nodePath : nodePath.substr(0, nodePath.size() - 1);
}

} // namespace

void CMyTreeView::dropOnItem(QTreeWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    archive::DragState& drag = m_document.drag();
    const bool fromArchive =
        drag.sourceKind == archive::kDragArchiveTree || drag.sourceKind == archive::kDragArchiveList;
    if (m_role == Role::Archive) {
        if (fromArchive) {
            return; // the archive's own rows or folders are no target in the archive
        }
        // The item does not choose a folder inside the archive: the Zip command adds the local
        // file list's selected rows.
        CMyListView::runZipCommand(m_host);
        return;
    }
    if (nodeKind(item) == kNodeComputer) {
        return; // never a target
    }
    archive::ArchiveWindow& window = m_host.window();
    archive::ArchiveEngine& engine = m_host.engine();
    if (fromArchive) {
        engine.state().deleteRequest = false;
    }
    const archive::MessageAnswer answer =
        fromArchive ? window.showMessage(res::kConfirmUnzip, res::kConfirmUnzipCaption,
                                         archive::MessageIcon::Question, archive::MessageButtons::OkCancel)
                    : window.showMessage(res::kConfirmCopy, res::kConfirmCopyCaption,
                                         archive::MessageIcon::Question, archive::MessageButtons::OkCancel);
    if (answer != archive::MessageAnswer::Ok) {
        return;
    }
    m_host.setStatusPaneText(0, QString::fromUtf8(fromArchive ? res::kUnzippingStatus : res::kCopyingStatus));
    const QPersistentModelIndex where(indexFromItem(item));
    archive::PumpPendingMessages(window);
    engine.state().cancelled = false;
    if (fromArchive) {
        engine.clearOperationItems();
    }
    window.beginWaitCursor();
    const QString destination = nodePath(item);

    switch (drag.sourceKind) {
    case archive::kDragLocalList:
    case archive::kDragArchiveList:
        if (CMyListView* source = m_host.listAt(drag.sourceKind == archive::kDragLocalList ? 0 : 1)) {
            source->TransferSelection(destination, false, *source);
        }
        break;
    case archive::kDragLocalTree: {
        DiskOperations disk(window, m_host.drives());
        const std::string target =
            (destination + QString::fromStdString(drag.draggedFolderName)).toStdString();
        disk.ReplaceFolderTree(drag.draggedFolderPath, target);
        break;
    }
    case archive::kDragArchiveTree:
        engine.state().extractDestination = extractFolderOf(destination.toStdString());
        engine.AddArchiveFolderItems(drag.draggedFolderPath);
        break;
    default:
        break;
    }

    // The messages let through above may have rebuilt the tree: find the item again.
    if (QTreeWidgetItem* again = itemFromIndex(where)) {
        rebuildLocalChildren(destination, again);
    }
    showSelectionInList();
    m_host.setStatusPaneText(0, QString::fromUtf8(res::kReady));
    window.endWaitCursor();
}

void CMyTreeView::unzipIntoTreeFolder() {
    archive::ArchiveWindow& window = m_host.window();
    archive::ArchiveEngine& engine = m_host.engine();
    CMyListView* archiveList = m_host.listAt(1);
    if (archiveList == nullptr || archiveList->selectedRowWalk().empty()) {
        window.showMessage(res::kNoFilesToUnzip, res::kUnableToUnzipCaption, archive::MessageIcon::Stop,
                           archive::MessageButtons::Ok);
        return;
    }
    QTreeWidgetItem* selected = currentItem();
    if (selected == nullptr || nodeKind(selected) == kNodeComputer || nodePath(selected).isEmpty()) {
        window.showMessage(res::kNoUnzipDestination, res::kUnableToUnzipCaption, archive::MessageIcon::Stop,
                           archive::MessageButtons::Ok);
        return;
    }
    engine.state().deleteRequest = false;
    if (window.showMessage(res::kConfirmUnzip, res::kConfirmUnzipCaption, archive::MessageIcon::Question,
                           archive::MessageButtons::OkCancel) != archive::MessageAnswer::Ok) {
        return;
    }
    window.beginWaitCursor();
    m_host.setStatusPaneText(0, QString::fromUtf8(res::kUnzippingStatus));
    const QPersistentModelIndex where(indexFromItem(selected));
    archive::PumpPendingMessages(window);
    engine.state().cancelled = false;
    engine.clearOperationItems();
    const QString destination = nodePath(selected);
    m_document.drag().sourceKind = archive::kDragArchiveList;
    archiveList->TransferSelection(destination, false, *archiveList);
    if (QTreeWidgetItem* again = itemFromIndex(where)) {
        rebuildLocalChildren(destination, again);
    }
    showSelectionInList();
    m_host.setStatusPaneText(0, QString::fromUtf8(res::kReady));
    window.endWaitCursor();
}

} // namespace views
