// The trees' own folder operations: what the context menu offers, renaming a folder in place and
// deleting a folder from the disk or from the archive.
#include "archiveengine.h"
#include "brenlodoc.h"
#include "commandids.h"
#include "diskops.h"
#include "fileservices.h"
#include "mylistview.h"
#include "mytreeview.h"
#include "panesteps.h"
#include "texts.h"
#include "viewhost.h"

namespace views {

namespace {

bool isFolderKind(int kind) {
    return kind == kNodeLocalFolder || kind == kNodeArchiveFolder;
}

} // namespace

std::optional<CMyTreeView::MenuEntries> CMyTreeView::prepareContextMenu(const QPoint& point) {
    QTreeWidgetItem* hit = itemAt(point);
    if (hit != nullptr && isPlaceholder(hit)) {
        hit = nullptr;
    }
    // The click selects what it hits, which shows it in the partner list; nothing under the
    // pointer leaves the tree without a selection.
    setCurrentItem(hit);
    const int kind = nodeKind(hit);
    if (kind == kNodeComputer) {
        return std::nullopt;
    }
    const bool folder = hit != nullptr && isFolderKind(kind);
    return MenuEntries{m_role == Role::Local, offersRename(place(), hit != nullptr, folder), folder,
                       hit != nullptr};
}

bool CMyTreeView::offersRenameOn(const QModelIndex& index) const {
    const QTreeWidgetItem* item = itemFromIndex(index);
    return offersRename(place(), item != nullptr && !isPlaceholder(item), isFolderKind(nodeKind(item)));
}

void CMyTreeView::renameAsMenuDoes(const QModelIndex&) {
    // The tree's Rename renames the selected folder, the one its list shows.
    onCommand(res::ID_RENAME);
}

QModelIndex CMyTreeView::labelAt(const QPoint& point) const {
    QTreeWidgetItem* item = itemOnLabel(point);
    return item != nullptr ? indexFromItem(item) : QModelIndex();
}

bool CMyTreeView::onCommand(int id) {
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
        // the list still shows. The list makes it and opens its name for editing.
        if (m_partnerList != nullptr && m_role == Role::Local && !m_partnerList->currentFolder().isEmpty()) {
            m_host.setActiveView(m_partnerList);
            m_partnerList->onCommand(res::ID_NEW_FOLDER);
        }
        return true;
    default:
        return false;
    }
}

bool CMyTreeView::deleteByKey() {
    QTreeWidgetItem* item = currentItem();
    if (!isFolderKind(nodeKind(item)) || isPlaceholder(item)) {
        return false;
    }
    deleteFolder();
    return true;
}

bool CMyTreeView::mayEditLabel(const QModelIndex& index) const {
    // Drives, the computer and the archive root keep their labels.
    const QTreeWidgetItem* item = itemFromIndex(index);
    return item != nullptr && !isPlaceholder(item) && isFolderKind(nodeKind(item));
}

void CMyTreeView::editItemLabel(QTreeWidgetItem* item) {
    if (item != nullptr) {
        editLabel(indexFromItem(item));
    }
}

void CMyTreeView::renameLabel(const QModelIndex& index, const QString& text) {
    if (!index.isValid() || m_partnerList == nullptr) {
        return;
    }
    const QPersistentModelIndex where(index);
    finishRename(
        m_host, res::kRenamingFolderStatus,
        [&] {
            QTreeWidgetItem* item = itemFromIndex(where);
            const QString folder = m_partnerList->currentFolder();
            if (item == nullptr || m_role != Role::Local || folder.size() <= item->text(0).size() + 1) {
                return false;
            }
            const QString oldPath = folder.left(folder.size() - 1);
            const QString newPath = folder.left(folder.size() - (item->text(0).size() + 1)) + text;
            return isPlainName(text.toStdString()) &&
                   platform::moveFile(m_host.drives(), oldPath.toStdString(), newPath.toStdString()).ok();
        },
        [&] {
            QTreeWidgetItem* item = itemFromIndex(where);
            item->setText(0, text);
            m_partnerList->setCurrentFolder(nodePath(item));
        },
        [&] { editItemLabel(itemFromIndex(where)); });
}

void CMyTreeView::deleteFolder() {
    if (m_partnerList == nullptr) {
        return;
    }
    runConfirmedDelete(m_host, res::kDeletingFolderStatus, [this] {
        const QString folder = m_partnerList->currentFolder();
        QTreeWidgetItem* item = m_partnerList->partnerTreeItem();
        if (m_role == Role::Local) {
            if (item == nullptr || nodeKind(item) != kNodeLocalFolder) {
                return;
            }
            DiskOperations disk(m_host.window(), m_host.drives());
            (void)disk.RemoveFolderTree(folder.toStdString());
            if (QTreeWidgetItem* parent = item->parent()) {
                rebuildLocalChildren(nodePath(parent), parent);
                if (currentItem() == nullptr) {
                    setCurrentItem(parent);
                }
            }
            showSelectionInList();
        } else if (nodeKind(item) == kNodeArchiveFolder) {
            archive::ArchiveEngine& engine = m_host.engine();
            deleteFromArchive(engine, [&] {
                engine.AddArchiveFolderItems(folder.left(folder.size() - 1).toStdString());
                engine.RunArchiveOperation(false);
            });
        }
    });
}

} // namespace views
