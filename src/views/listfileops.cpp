// The list's own file operations: what its context menu offers, New Folder, renaming a row in
// place and Delete.
#include "archiveengine.h"
#include "brenlodoc.h"
#include "commandids.h"
#include "diskops.h"
#include "fileservices.h"
#include "listmodel.h"
#include "mylistview.h"
#include "panesteps.h"
#include "texts.h"
#include "viewhost.h"

namespace views {

std::optional<CMyListView::MenuEntries> CMyListView::prepareContextMenu(const QPoint& point) {
    const QModelIndex hit = indexAt(point);
    const bool onRow = hit.isValid();
    if (onRow) {
        m_clickedRow = hit.row();
        // As the list control does: a right click on a row outside the selection selects that
        // row alone, so that Delete acts on what was clicked.
        if (!selectionModel()->isRowSelected(hit.row(), QModelIndex())) {
            selectionModel()->setCurrentIndex(m_model->index(hit.row(), 0),
                                              QItemSelectionModel::ClearAndSelect |
                                                  QItemSelectionModel::Rows);
        }
    }
    return MenuEntries{m_role == Role::Local, offersRename(place(), onRow, false), onRow, onRow};
}

bool CMyListView::offersRenameOn(const QModelIndex& index) const {
    return offersRename(place(), index.isValid(), false);
}

void CMyListView::renameAsMenuDoes(const QModelIndex& index) {
    m_clickedRow = index.row();
    onCommand(res::ID_RENAME);
}

QModelIndex CMyListView::labelAt(const QPoint& point) const {
    const QModelIndex index = indexAt(point);
    return index.column() == 0 ? index : QModelIndex();
}

bool CMyListView::onCommand(int id) {
    switch (id) {
    case res::ID_RENAME: {
        archive::WaitCursor wait(m_host.window());
        editRowLabel(m_clickedRow);
        return true;
    }
    case res::ID_DELETE: {
        archive::WaitCursor wait(m_host.window());
        deleteSelection();
        return true;
    }
    case res::ID_NEW_FOLDER: {
        archive::WaitCursor wait(m_host.window());
        m_host.setStatusPaneText(0, QString::fromUtf8(res::kCreatingFolderStatus));
        archive::PumpPendingMessages(m_host.window());
        newFolder();
        m_host.setStatusPaneText(0, QString::fromUtf8(res::kReady));
        return true;
    }
    default:
        return false;
    }
}

bool CMyListView::deleteByKey() {
    deleteSelection();
    return true;
}

void CMyListView::newFolder() {
    if (m_model == nullptr || m_role != Role::Local) {
        return;
    }
    QString name;
    for (int n = 1;; ++n) {
        name = QString::fromUtf8(res::kNewFolderBase) + QString::number(n);
        if (rowNamed(name) < 0) {
            break;
        }
    }
    const std::string path = (m_currentFolder + name).toStdString();
    DiskOperations disk(m_host.window(), m_host.drives());
    if (!disk.MakeOneFolder(path)) {
        return;
    }
    ListRecord record;
    record.name = name.toStdString();
    record.attributes = platform::kAttrDirectory;
    platform::Result<std::vector<platform::FindEntry>> found = platform::findFiles(m_host.drives(), path);
    if (found.ok() && !found->empty()) {
        record.time = found->front().lastWriteTime;
        record.attributes = found->front().attributes;
    }
    const int row = m_model->appendRow(record);
    scrollTo(m_model->index(row, 0));
    refreshPartnerTree();
    editRowLabel(row);
}

void CMyListView::editRowLabel(int row) {
    if (m_model != nullptr && row >= 0 && row < m_model->rowCount()) {
        editLabel(m_model->index(row, 0));
    }
}

void CMyListView::renameLabel(const QModelIndex& index, const QString& text) {
    const int row = index.isValid() ? index.row() : -1;
    const QString oldName = rowName(row);
    finishRename(
        m_host, res::kRenamingFileStatus,
        [&] {
            if (m_role != Role::Local || oldName.isEmpty()) {
                return false;
            }
            if (text == oldName) {
                return true; // nothing to do: the name stays
            }
            return isPlainName(text.toStdString()) &&
                   platform::moveFile(m_host.drives(), (m_currentFolder + oldName).toStdString(),
                                      (m_currentFolder + text).toStdString())
                       .ok();
        },
        [&] {
            m_model->setRowName(row, text.toStdString());
            refreshPartnerTree();
        },
        [&] { editRowLabel(row); });
}

void CMyListView::deleteSelection() {
    if (m_model == nullptr) {
        return;
    }
    runConfirmedDelete(m_host, res::kDeletingFilesStatus, [this] {
        if (m_role == Role::Archive) {
            deleteFromArchive(m_host.engine(), [this] { TransferToFolderRow(*this, -1); });
            return;
        }
        archive::ArchiveWindow& window = m_host.window();
        m_host.setStatusPaneText(0, QString::fromUtf8(res::kDeletingFilesStatusShort));
        archive::PumpPendingMessages(window);
        DiskOperations disk(window, m_host.drives());
        for (const ListRecord& row : selectionSource().rows) {
            const std::string path = (m_currentFolder.toStdString() + row.name);
            if (!(row.isFolder() ? disk.RemoveFolderTree(path + "\\") : disk.DeleteOneFile(path))) {
                break;
            }
        }
        refreshPartnerTree();
        const QString folder = m_currentFolder;
        fill(folder);
    });
}

} // namespace views
