// The list's own file operations: the context menu, New Folder, renaming in place and Delete.
#include "archiveengine.h"
#include "brenlodoc.h"
#include "commandids.h"
#include "diskops.h"
#include "fileservices.h"
#include "formats.h"
#include "labeledit.h"
#include "listmodel.h"
#include "mylistview.h"
#include "mytreeview.h"
#include "popupmenu.h"
#include "texts.h"
#include "viewhost.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

namespace views {

LabelEditDelegate* CMyListView::labelDelegate() {
    if (m_labelDelegate == nullptr) {
        m_labelDelegate = new LabelEditDelegate(
            this, [this](const QString& text) { m_editText = text; }, this);
        setItemDelegateForColumn(0, m_labelDelegate);
    }
    return m_labelDelegate;
}

QWidget* CMyListView::labelEditor() const {
    return m_labelDelegate != nullptr && m_labelEditing ? m_labelDelegate->editor() : nullptr;
}

void CMyListView::contextMenuEvent(QContextMenuEvent* event) {
    openContextMenu(viewport()->mapFromGlobal(event->globalPos()));
    event->accept();
}

void CMyListView::openContextMenu(const QPoint& point) {
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
    const bool archiveList = m_role == Role::Archive;
    QMenu menu(this);
    addFileMenuEntries(menu, !archiveList, !archiveList && onRow, onRow);
    if (QAction* chosen = trackPopupMenu(menu, viewport()->mapToGlobal(point))) {
        onCommand(chosen->data().toInt());
    }
}

bool CMyListView::onFileCommand(int id) {
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

void CMyListView::keyPressEvent(QKeyEvent* event) {
    if (handleFileKey(event)) {
        return;
    }
    QTreeView::keyPressEvent(event);
}

bool CMyListView::eventFilter(QObject* watched, QEvent* event) {
    // The in-place editor's keys pass here first, as the list's own keys do.
    if (event->type() == QEvent::KeyPress && m_labelDelegate != nullptr &&
        watched == m_labelDelegate->editor() && handleFileKey(static_cast<QKeyEvent*>(event))) {
        return true;
    }
    return QTreeView::eventFilter(watched, event);
}

bool CMyListView::handleFileKey(QKeyEvent* event) {
    if (event->key() != Qt::Key_Delete || event->modifiers() != Qt::NoModifier) {
        return false;
    }
    // A refill of the rows drops an open editor without closing it: that edit is over.
    if (m_labelEditing && labelDelegate()->editor() == nullptr) {
        m_labelEditing = false;
    }
    // While a name is being typed, Delete edits the name.
    if (m_labelEditing) {
        return false;
    }
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
    const int row = m_model->appendRow(record, record.name);
    scrollTo(m_model->index(row, 0));
    refreshPartnerTree();
    editRowLabel(row);
}

void CMyListView::editRowLabel(int row) {
    if (m_model == nullptr || row < 0 || row >= m_model->rowCount()) {
        return;
    }
    const QModelIndex index = m_model->index(row, 0);
    scrollTo(index);
    labelDelegate();
    QAbstractItemView::edit(index);
}

bool CMyListView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (m_labelEditing && labelDelegate()->editor() == nullptr) {
        m_labelEditing = false; // its editor was dropped with the rows it stood on
    }
    if (trigger != QAbstractItemView::AllEditTriggers || !m_labelEditAllowed || m_labelEditing) {
        return false; // only the program starts an edit, and only where renaming is allowed
    }
    labelDelegate();
    m_editText.reset();
    m_editRow = index.row();
    m_labelEditing = true;
    if (!QTreeView::edit(index, trigger, event)) {
        m_labelEditing = false;
        return false;
    }
    return true;
}

void CMyListView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    QTreeView::closeEditor(editor, hint);
    if (!m_labelEditing) {
        return;
    }
    const std::optional<QString> text = m_editText;
    m_editText.reset();
    endLabelEdit(m_editRow, text);
}

void CMyListView::endLabelEdit(int row, const std::optional<QString>& text) {
    m_labelEditing = false;
    if (!text) {
        return; // cancelled
    }
    m_host.setStatusPaneText(0, QString::fromUtf8(res::kRenamingFileStatus));
    archive::PumpPendingMessages(m_host.window());
    bool renamed = false;
    const QString oldName = rowName(row);
    if (m_role == Role::Local && row >= 0 && !oldName.isEmpty()) {
        if (*text == oldName) {
            renamed = true; // nothing to do: the name stays
        } else if (!text->isEmpty() && !text->contains('\\') && !text->contains('/')) {
            renamed = platform::moveFile(m_host.drives(), (m_currentFolder + oldName).toStdString(),
                                         (m_currentFolder + *text).toStdString())
                          .ok();
        }
        m_host.setStatusPaneText(0, QString::fromUtf8(res::kReady));
    }
    if (renamed) {
        m_model->setRowName(row, text->toStdString());
        refreshPartnerTree();
        return;
    }
    m_host.window().showMessage(res::kRenameFailed, res::kRenameFailedCaption, archive::MessageIcon::Stop,
                                archive::MessageButtons::Ok);
    editRowLabel(row);
}

void CMyListView::deleteSelection() {
    if (m_model == nullptr) {
        return;
    }
    archive::ArchiveWindow& window = m_host.window();
    archive::ArchiveEngine& engine = m_host.engine();
    if (window.showMessage(res::kConfirmDelete, res::kConfirmDeleteCaption, archive::MessageIcon::Question,
                           archive::MessageButtons::OkCancel) != archive::MessageAnswer::Ok) {
        return;
    }
    archive::WaitCursor wait(window);
    m_host.setStatusPaneText(0, QString::fromUtf8(res::kDeletingFilesStatus));
    archive::PumpPendingMessages(window);
    engine.state().cancelled = false;
    engine.clearOperationItems();
    if (m_role == Role::Archive) {
        engine.state().deleteRequest = true;
        TransferToFolderRow(*this, -1);
        engine.state().deleteRequest = false;
    } else {
        m_host.setStatusPaneText(0, QString::fromUtf8(res::kDeletingFilesStatusShort));
        archive::PumpPendingMessages(window);
        DiskOperations disk(window, m_host.drives());
        for (int row : selectedRowWalk()) {
            const std::string path = (m_currentFolder + rowName(row)).toStdString();
            const bool done =
                isFolderRow(row) ? disk.RemoveFolderTree(path + "\\") : disk.DeleteOneFile(path);
            if (!done) {
                break;
            }
        }
        refreshPartnerTree();
        const QString folder = m_currentFolder;
        fill(folder);
    }
    m_host.setStatusPaneText(0, QString::fromUtf8(res::kReady));
}

} // namespace views
