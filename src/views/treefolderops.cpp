// The trees' own folder operations: the context menu, renaming a folder in place and deleting a
// folder from the disk or from the archive.
#include "archiveengine.h"
#include "brenlodoc.h"
#include "commandids.h"
#include "diskops.h"
#include "fileservices.h"
#include "labeledit.h"
#include "mylistview.h"
#include "mytreeview.h"
#include "popupmenu.h"
#include "texts.h"
#include "viewhost.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>

namespace views {

namespace {

bool isFolderKind(int kind) {
    return kind == kNodeLocalFolder || kind == kNodeArchiveFolder;
}

} // namespace

LabelEditDelegate* CMyTreeView::labelDelegate() {
    if (m_labelDelegate == nullptr) {
        m_labelDelegate = new LabelEditDelegate(
            this, [this](const QString& text) { m_editText = text; }, this);
        setItemDelegate(m_labelDelegate);
    }
    return m_labelDelegate;
}

QWidget* CMyTreeView::labelEditor() const {
    return m_labelDelegate != nullptr && m_labelEditing ? m_labelDelegate->editor() : nullptr;
}

void CMyTreeView::contextMenuEvent(QContextMenuEvent* event) {
    openContextMenu(viewport()->mapFromGlobal(event->globalPos()));
    event->accept();
}

void CMyTreeView::openContextMenu(const QPoint& point) {
    QTreeWidgetItem* hit = itemAt(point);
    if (hit != nullptr && isPlaceholder(hit)) {
        hit = nullptr;
    }
    // The click selects what it hits, which shows it in the partner list; nothing under the
    // pointer leaves the tree without a selection.
    if (hit != nullptr) {
        setCurrentItem(hit);
    } else {
        setCurrentItem(nullptr);
    }
    const int kind = nodeKind(hit);
    if (kind == kNodeComputer) {
        return;
    }
    const bool folder = hit != nullptr && isFolderKind(kind);
    const bool archiveTree = m_role == Role::Archive;
    QMenu menu(this);
    addFileMenuEntries(menu, !archiveTree, folder && !archiveTree, folder);
    if (QAction* chosen = trackPopupMenu(menu, viewport()->mapToGlobal(point))) {
        onCommand(chosen->data().toInt());
    }
}

bool CMyTreeView::onFolderCommand(int id) {
    switch (id) {
    case res::ID_RENAME:
        if (m_partnerList != nullptr) {
            if (QTreeWidgetItem* item = m_partnerList->partnerTreeItem()) {
                scrollToItem(item);
                editItemLabel(item);
            }
        }
        return true;
    case res::ID_DELETE:
        deleteFolder();
        return true;
    case res::ID_NEW_FOLDER:
        // The list's folder: the selected drive or folder, or with nothing selected the folder
        // the list still shows.
        if (m_partnerList != nullptr && m_role == Role::Local && !m_partnerList->currentFolder().isEmpty()) {
            m_host.setStatusPaneText(0, QString::fromUtf8(res::kCreatingFolderStatus));
            archive::PumpPendingMessages(m_host.window());
            m_host.setActiveView(m_partnerList);
            m_partnerList->newFolder();
            m_host.setStatusPaneText(0, QString::fromUtf8(res::kReady));
        }
        return true;
    default:
        return false;
    }
}

void CMyTreeView::keyPressEvent(QKeyEvent* event) {
    if (handleFolderKey(event)) {
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

bool CMyTreeView::eventFilter(QObject* watched, QEvent* event) {
    // The in-place editor's keys pass here first, as the tree's own keys do.
    if (event->type() == QEvent::KeyPress && m_labelDelegate != nullptr &&
        watched == m_labelDelegate->editor() && handleFolderKey(static_cast<QKeyEvent*>(event))) {
        return true;
    }
    return QTreeWidget::eventFilter(watched, event);
}

bool CMyTreeView::handleFolderKey(QKeyEvent* event) {
    // A rebuild of the items drops an open editor without closing it: that edit is over.
    if (m_labelEditing && labelDelegate()->editor() == nullptr) {
        m_labelEditing = false;
    }
    if (event->key() != Qt::Key_Delete || event->modifiers() != Qt::NoModifier || m_labelEditing) {
        return false;
    }
    if (!isFolderKind(nodeKind(currentItem())) || isPlaceholder(currentItem())) {
        return false;
    }
    deleteFolder();
    return true;
}

void CMyTreeView::editItemLabel(QTreeWidgetItem* item) {
    if (item == nullptr) {
        return;
    }
    labelDelegate();
    item->setFlags(item->flags() | Qt::ItemIsEditable);
    QAbstractItemView::edit(indexFromItem(item));
}

bool CMyTreeView::edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) {
    if (m_labelEditing && labelDelegate()->editor() == nullptr) {
        m_labelEditing = false; // its editor was dropped with the items it stood on
    }
    if (trigger != QAbstractItemView::AllEditTriggers || !m_labelEditAllowed || m_labelEditing) {
        return false; // only the program starts an edit, and only where renaming is allowed
    }
    const QTreeWidgetItem* item = itemFromIndex(index);
    if (item == nullptr || isPlaceholder(item) || !isFolderKind(nodeKind(item))) {
        return false; // drives, the computer and the archive root keep their labels
    }
    labelDelegate();
    m_editText.reset();
    m_editItem = QPersistentModelIndex(index);
    m_labelEditing = true;
    if (!QTreeWidget::edit(index, trigger, event)) {
        m_labelEditing = false;
        return false;
    }
    return true;
}

void CMyTreeView::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    QTreeWidget::closeEditor(editor, hint);
    if (!m_labelEditing) {
        return;
    }
    const std::optional<QString> text = m_editText;
    m_editText.reset();
    endLabelEdit(itemFromIndex(m_editItem), text);
}

void CMyTreeView::endLabelEdit(QTreeWidgetItem* item, const std::optional<QString>& text) {
    m_labelEditing = false;
    archive::WaitCursor wait(m_host.window());
    if (!text || item == nullptr || m_partnerList == nullptr) {
        return; // cancelled
    }
    m_host.setStatusPaneText(0, QString::fromUtf8(res::kRenamingFolderStatus));
    const QPersistentModelIndex where(indexFromItem(item));
    archive::PumpPendingMessages(m_host.window());
    item = itemFromIndex(where);
    bool renamed = false;
    const QString folder = m_partnerList->currentFolder();
    if (item != nullptr && m_role == Role::Local && folder.size() > item->text(0).size() + 1) {
        const QString oldPath = folder.left(folder.size() - 1);
        const QString newPath = folder.left(folder.size() - (item->text(0).size() + 1)) + *text;
        // A name is one folder name: a separator in it would move the folder elsewhere.
        const bool plainName = !text->isEmpty() && !text->contains('\\') && !text->contains('/');
        renamed = plainName &&
                  platform::moveFile(m_host.drives(), oldPath.toStdString(), newPath.toStdString()).ok();
    }
    m_host.setStatusPaneText(0, QString::fromUtf8(res::kReady));
    if (renamed) {
        item->setText(0, *text);
        m_partnerList->setCurrentFolder(nodePath(item));
        return;
    }
    m_host.window().showMessage(res::kRenameFailed, res::kRenameFailedCaption, archive::MessageIcon::Stop,
                                archive::MessageButtons::Ok);
    editItemLabel(itemFromIndex(where));
}

void CMyTreeView::deleteFolder() {
    archive::ArchiveWindow& window = m_host.window();
    archive::ArchiveEngine& engine = m_host.engine();
    if (m_partnerList == nullptr) {
        return;
    }
    if (window.showMessage(res::kConfirmDelete, res::kConfirmDeleteCaption, archive::MessageIcon::Question,
                           archive::MessageButtons::OkCancel) != archive::MessageAnswer::Ok) {
        return;
    }
    archive::WaitCursor wait(window);
    m_host.setStatusPaneText(0, QString::fromUtf8(res::kDeletingFolderStatus));
    archive::PumpPendingMessages(window);
    engine.state().cancelled = false;
    engine.clearOperationItems();
    const QString folder = m_partnerList->currentFolder();
    if (m_role == Role::Local) {
        QTreeWidgetItem* item = m_partnerList->partnerTreeItem();
        if (item != nullptr && nodeKind(item) == kNodeLocalFolder) {
            DiskOperations disk(window, m_host.drives());
            (void)disk.RemoveFolderTree(folder.toStdString());
            if (QTreeWidgetItem* parent = item->parent()) {
                rebuildLocalChildren(nodePath(parent), parent);
                if (currentItem() == nullptr) {
                    setCurrentItem(parent);
                }
            }
            showSelectionInList();
        }
    } else if (nodeKind(m_partnerList->partnerTreeItem()) == kNodeArchiveFolder) {
        engine.state().deleteRequest = true;
        engine.AddArchiveFolderItems(folder.left(folder.size() - 1).toStdString());
        engine.RunArchiveOperation(false);
        engine.state().deleteRequest = false;
    }
    m_host.setStatusPaneText(0, QString::fromUtf8(res::kReady));
}

} // namespace views
