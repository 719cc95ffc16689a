// The tree's side of a drag: what a drag of a folder takes, which items take a drop, what a drop
// on an item does, and the UnZip command's extraction into the local tree's selected folder.
#include "archiveengine.h"
#include "brenlodoc.h"
#include "mylistview.h"
#include "mytreeview.h"
#include "panesteps.h"
#include "texts.h"
#include "transfers.h"
#include "viewhost.h"

namespace views {

namespace {

// Room beside the icon and after the text that still counts as the item's label.
constexpr int kLabelMargin = 8;

} // namespace

QTreeWidgetItem* CMyTreeView::itemOnLabel(const QPoint& point) const {
    if (!viewport()->rect().contains(point)) {
        return nullptr;
    }
    QTreeWidgetItem* item = itemAt(point);
    if (item == nullptr) {
        return nullptr;
    }
    // The row reaches across the pane; only its icon and text are the item.
    const QRect cell = visualItemRect(item);
    const int labelRight =
        cell.left() + iconSize().width() + fontMetrics().horizontalAdvance(item->text(0)) + 2 * kLabelMargin;
    return point.x() >= cell.left() && point.x() <= labelRight ? item : nullptr;
}

bool CMyTreeView::canBeginDragAt(const QPoint& point) const {
    return itemOnLabel(point) != nullptr;
}

bool CMyTreeView::fillDragState(const QPoint& point) {
    QTreeWidgetItem* item = itemOnLabel(point);
    const int kind = nodeKind(item);
    if (item == nullptr || isPlaceholder(item) || kind == kNodeDrive || kind == kNodeComputer ||
        kind == kNodeArchiveRoot) {
        return false;
    }
    archive::DragState& drag = m_document.drag();
    if (m_role == Role::Local) {
        drag.imageIndex = 0;
        drag.sourceKind = archive::kDragLocalTree;
        drag.draggedFolderPath = nodePath(item).toStdString();
    } else {
        drag.imageIndex = 1;
        drag.sourceKind = archive::kDragArchiveTree;
        QString path = treePath(item);
        if (path.endsWith('/')) {
            path.chop(1);
        }
        drag.draggedFolderPath = path.toStdString();
    }
    drag.draggedFolderName = item->text(0).toStdString();
    // Selecting the folder has the partner list show it with every row selected. A folder that
    // was selected already keeps whatever rows were picked since, and those would be what a drop
    // on the archive zips: the drag takes the whole folder.
    if (currentItem() != item) {
        setCurrentItem(item);
    } else if (m_partnerList != nullptr) {
        m_partnerList->selectAll();
    }
    return true;
}

QModelIndex CMyTreeView::dropTargetAt(const QPoint& point) const {
    QTreeWidgetItem* item = itemOnLabel(point);
    if (item == nullptr || isPlaceholder(item) ||
        !treeTakesDrop(m_role, nodeKind(item), m_document.drag().sourceKind)) {
        return {};
    }
    return indexFromItem(item);
}

void CMyTreeView::dropOn(const QModelIndex& target) {
    dropOnItem(itemFromIndex(target));
}

void CMyTreeView::dropOnItem(QTreeWidgetItem* item) {
    const archive::DragState& drag = m_document.drag();
    const DropAction action = item != nullptr && treeTakesDrop(m_role, nodeKind(item), drag.sourceKind)
                                  ? dropAction(m_role, drag.sourceKind)
                                  : DropAction::Nothing;
    if (action == DropAction::Nothing) {
        return; // no item, the computer, or the archive's own rows or folders over the archive
    }
    if (action == DropAction::ZipCommand) {
        // The item does not choose a folder inside the archive: the Zip command adds the local
        // file list's selected rows.
        CMyListView::runZipCommand(m_host);
        return;
    }
    // The messages let through before the transfer may rebuild the tree: the item is found again.
    const QPersistentModelIndex where(indexFromItem(item));
    const QString destination = nodePath(item);
    runConfirmedTransfer(m_host, isExtraction(action), [&] {
        if (action == DropAction::CopyRows || action == DropAction::ExtractRows) {
            if (CMyListView* source = m_host.listAt(sourceListRow(drag.sourceKind))) {
                source->TransferSelection(destination, false, *source);
            }
        } else {
            Transfers(m_host.engine(), m_host.window(), m_host.drives())
                .transferDraggedFolder(destination.toStdString());
        }
        showTransferredInto(where, destination);
    });
}

void CMyTreeView::showTransferredInto(const QPersistentModelIndex& where, const QString& destination) {
    if (QTreeWidgetItem* again = itemFromIndex(where)) {
        rebuildLocalChildren(destination, again);
    }
    showSelectionInList();
}

std::string CMyTreeView::desktopDropFolder(const QModelIndex& target) const {
    const QTreeWidgetItem* item = itemFromIndex(target);
    return m_role == Role::Local && item != nullptr ? nodePath(item).toStdString() : std::string();
}

void CMyTreeView::showDesktopCopy(const QModelIndex& target, const std::string& folder) {
    showTransferredInto(QPersistentModelIndex(target), QString::fromStdString(folder));
}

void CMyTreeView::unzipIntoTreeFolder() {
    archive::ArchiveWindow& window = m_host.window();
    CMyListView* archiveList = m_host.listAt(1);
    if (archiveList == nullptr || archiveList->selectionSource().rows.empty()) {
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
    const QPersistentModelIndex where(indexFromItem(selected));
    const QString destination = nodePath(selected);
    runConfirmedTransfer(m_host, true, [&] {
        m_document.drag().sourceKind = archive::kDragArchiveList;
        archiveList->TransferSelection(destination, false, *archiveList);
        showTransferredInto(where, destination);
    });
}

} // namespace views
