#pragma once

#include "paneview.h"
#include "sortkey.h"
#include "treerules.h"

#include <QHash>
#include <QIcon>
#include <QPersistentModelIndex>
#include <QStringList>
#include <QTreeWidget>

namespace views {

class CBrenloDoc;
class CMyListView;
class ViewHost;

// One tree pane: the local tree (role 0: "Local Computer", its drives and their folders, read
// one level at a time) or the archive folder tree (role 1: the open archive and the folders of
// its member names). Whenever its selection moves, the tree has its partner list, the list in
// the same row, show the selected folder.
class CMyTreeView : public PaneView<QTreeWidget> {
    Q_OBJECT
public:
    CMyTreeView(ViewHost& host, CBrenloDoc& document, QWidget* parent = nullptr);
    ~CMyTreeView() override;

    // Takes the role from the document's tree counter, finds the partner list, builds the root.
    void initialUpdate();
    Role role() const { return m_role; }
    QTreeWidgetItem* rootItem() const { return m_rootItem; }

    // Local tree: the computer and the drives. Archive folder tree: the archive's root, and when
    // an archive has just been listed, its top-level folders, the title and the selection.
    bool rebuildRoot();
    // Expands the root, then selects the first drive (local) or the root (archive).
    void expandRootAndSelect();
    // Replaces the children of a drive or folder with the sub-folders on disk.
    void rebuildLocalChildren(const QString& nodePath, QTreeWidgetItem* item);
    // Replaces the children of an archive item with the next level of the archive's folders.
    void rebuildArchiveChildren(const QString& treePath, QTreeWidgetItem* item);
    // Hands the selected folder to the partner list and fills it.
    void showSelectionInList();

    // The node kind of an item (its image index); placeholders carry their parent's kind.
    static int nodeKind(const QTreeWidgetItem* item);
    static bool isPlaceholder(const QTreeWidgetItem* item);
    // An archive folder that holds encrypted members (its picture shows a lock).
    static bool holdsEncrypted(const QTreeWidgetItem* item);
    // "C:\Data\Sub\" for a drive or local folder; "" for anything else.
    QString nodePath(const QTreeWidgetItem* item) const;
    // "C:\Data\a.zip/docs/old/" for an archive item.
    QString treePath(const QTreeWidgetItem* item) const;
    // The path by which this tree names an item: node path (local) or tree path (archive).
    QString itemPath(const QTreeWidgetItem* item) const;
    // The shown item with that path; the computer root is "Local Computer". Null if none.
    QTreeWidgetItem* findItem(const QString& path) const;
    // Expands the items above path one level at a time until it is shown; null if it is not found.
    QTreeWidgetItem* revealItem(const QString& path);
    bool selectPath(const QString& path);
    bool expandPath(const QString& path);
    bool collapsePath(const QString& path);

    bool onCommand(int id) override;
    // The item of a model index of this tree and back, as Qt's own view has them.
    using QTreeWidget::indexFromItem;
    using QTreeWidget::itemFromIndex;

    // ---- Drops and folder operations (treedrop.cpp, treefolderops.cpp) ----
    // The end of a drag released over this tree on item (null: no item highlighted).
    void dropOnItem(QTreeWidgetItem* item);
    // The UnZip command: extracts the archive list's selected rows into the selected folder.
    void unzipIntoTreeFolder();
    // Deletes the selected folder: from disk with all it holds, or its members from the archive.
    void deleteFolder();
    // Starts an in-place edit of an item's label.
    void editItemLabel(QTreeWidgetItem* item);
    // The item on whose icon or label point (viewport coordinates) lies; null for none.
    QTreeWidgetItem* itemOnLabel(const QPoint& point) const;

protected:
    // ---- The pane's own answers (treedrop.cpp, treefolderops.cpp) ----
    PanePlace place() const override { return PanePlace{static_cast<int>(m_role), 0}; }
    bool canBeginDragAt(const QPoint& point) const override;
    bool fillDragState(const QPoint& point) override;
    QModelIndex dropTargetAt(const QPoint& point) const override;
    void dropOn(const QModelIndex& target) override;
    bool deleteByKey() override;
    bool swallowsKey(const QKeyEvent& key) const override;
    bool mayEditLabel(const QModelIndex& index) const override;
    void renameLabel(const QModelIndex& index, const QString& text) override;
    std::optional<MenuEntries> prepareContextMenu(const QPoint& point) override;
    bool offersRenameOn(const QModelIndex& index) const override;
    void renameAsMenuDoes(const QModelIndex& index) override;
    QModelIndex labelAt(const QPoint& point) const override;
    std::string desktopDropFolder(const QModelIndex& target) const override;
    void showDesktopCopy(const QModelIndex& target, const std::string& folder) override;

private:
    QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const QString& text, int kind);
    QTreeWidgetItem* addFolderNode(QTreeWidgetItem* parent, const QString& text, int kind);
    void deleteChildren(QTreeWidgetItem* item);
    QIcon nodeIcon(int kind, bool locked = false);
    void onCurrentItemChanged(QTreeWidgetItem* current);
    void onItemExpanded(QTreeWidgetItem* item);
    void onItemCollapsed(QTreeWidgetItem* item);
    // The steps after a transfer into the local folder at where: its sub-folders read again
    // (the item may have been rebuilt meanwhile) and the selection shown in the list.
    void showTransferredInto(const QPersistentModelIndex& where, const QString& destination);

    CMyListView* m_partnerList = nullptr;
    QTreeWidgetItem* m_rootItem = nullptr;
    Role m_role = Role::Local;
    bool m_rootRebuild = false;
    bool m_populating = false;
    QHash<int, QIcon> m_icons;
    QHash<int, QIcon> m_lockedIcons;
};

} // namespace views
