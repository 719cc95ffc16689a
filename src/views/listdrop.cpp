// The list's side of a drag and of the transfers: what a drag of its rows takes, which rows take
// a drop, what a drop on a folder row does, and the selection the transfers work on.
#include "archiveengine.h"
#include "brenlodoc.h"
#include "listmodel.h"
#include "mylistview.h"
#include "panesteps.h"
#include "viewhost.h"

#include <QItemSelectionModel>
#include <algorithm>

namespace views {

bool CMyListView::canBeginDragAt(const QPoint& point) const {
    return indexAt(point).isValid();
}

bool CMyListView::holdsPressAt(const QPoint& point, Qt::KeyboardModifiers modifiers) const {
    return modifiers == Qt::NoModifier && selectionModel()->isSelected(indexAt(point));
}

bool CMyListView::fillDragState(const QPoint&) {
    archive::DragState& drag = m_document.drag();
    const bool archiveSide = m_role == Role::Archive;
    drag.imageIndex = archiveSide ? 1 : 0;
    drag.sourceKind = archiveSide ? archive::kDragArchiveList : archive::kDragLocalList;
    return true;
}

QModelIndex CMyListView::dropTargetAt(const QPoint& point) const {
    const QModelIndex index = indexAt(point);
    const ListRecord* record = index.isValid() ? recordAtRow(index.row()) : nullptr;
    if (record == nullptr || !listTakesDrop(m_role, record->isFolder(), m_document.drag().sourceKind)) {
        return {};
    }
    return index.siblingAtColumn(0);
}

void CMyListView::dropOn(const QModelIndex& target) {
    dropOnRow(target.row());
}

void CMyListView::dropOnRow(int row) {
    const ListRecord* record = recordAtRow(row);
    const archive::DragState& drag = m_document.drag();
    const DropAction action = record != nullptr && listTakesDrop(m_role, record->isFolder(), drag.sourceKind)
                                  ? dropAction(m_role, drag.sourceKind)
                                  : DropAction::Nothing;
    if (action == DropAction::Nothing) {
        return; // no folder row under the pointer, or the archive's own rows over the archive
    }
    if (action == DropAction::ZipCommand) {
        runZipCommand(m_host);
        return;
    }
    runConfirmedTransfer(m_host, isExtraction(action), [&] {
        if (action == DropAction::CopyRows || action == DropAction::ExtractRows) {
            if (CMyListView* source = m_host.listAt(sourceListRow(drag.sourceKind))) {
                TransferToFolderRow(*source, row);
            }
        } else {
            transfers().transferDraggedFolder((m_currentFolder + rowName(row) + "\\").toStdString());
        }
        refreshPartnerTree();
    });
}

std::string CMyListView::desktopDropFolder(const QModelIndex& target) const {
    if (m_role != Role::Local) {
        return {};
    }
    // A folder row takes the files; anywhere else in the list, the folder it shows.
    return target.isValid()
               ? childFolder(m_role, m_currentFolder.toStdString(), rowName(target.row()).toStdString())
               : m_currentFolder.toStdString();
}

void CMyListView::showDesktopCopy(const QModelIndex& target, const std::string&) {
    refreshPartnerTree();
    if (!target.isValid()) {
        fill(m_currentFolder);
    }
}

TransferSource CMyListView::selectionSource() const {
    TransferSource source;
    source.role = m_role;
    source.folder = m_currentFolder.toStdString();
    if (m_model == nullptr) {
        return source;
    }
    std::vector<int> rows;
    for (const QModelIndex& index : selectionModel()->selectedRows()) {
        rows.push_back(index.row());
    }
    std::sort(rows.begin(), rows.end());
    // What was found lies anywhere in the archive: each row is named by its path from the
    // archive's own node.
    if (m_find) {
        source.folder = archiveNode();
    }
    for (int row : rows) {
        ListRecord record = m_model->recordAt(row);
        if (m_find) {
            record.name = memberPathAt(row);
        }
        source.rows.push_back(std::move(record));
    }
    return source;
}

Transfers CMyListView::transfers() {
    return Transfers(m_host.engine(), m_host.window(), m_host.drives());
}

bool CMyListView::TransferSelection(const QString& destinationFolder, bool add, CMyListView& sourceList) {
    return transfers().TransferSelection(destinationFolder.toStdString(), add, sourceList.selectionSource());
}

void CMyListView::TransferToFolderRow(CMyListView& sourceList, int folderRow) {
    const QString separator = m_role == Role::Local ? "\\" : "/";
    transfers().TransferToFolderRow(m_role, (m_currentFolder + rowName(folderRow) + separator).toStdString(),
                                    sourceList.selectionSource());
}

void CMyListView::runZipCommand(ViewHost& host) {
    archive::ArchiveEngine& engine = host.engine();
    if (!engine.beginZipCommand()) {
        return;
    }
    host.document().drag().sourceKind = archive::kDragLocalList;
    if (CMyListView* local = host.listAt(0)) {
        local->TransferSelection(QString(), true, *local);
    }
    engine.endZipCommand();
}

} // namespace views
