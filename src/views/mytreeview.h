#pragma once

#include "commandtarget.h"
#include "dragimage.h"
#include "sortkey.h"
#include "treerules.h"

#include <QHash>
#include <QIcon>
#include <QPersistentModelIndex>
#include <QStringList>
#include <QTreeWidget>
#include <optional>

namespace views {

class CBrenloDoc;
class CMyListView;
class ViewHost;
class LabelEditDelegate;

// One tree pane: the local tree (role 0: "Local Computer", its drives and their folders, read
// one level at a time) or the archive folder tree (role 1: the open archive and the folders of
// its member names). Whenever its selection moves, the tree has its partner list, the list in
// the same row, show the selected folder.
class CMyTreeView : public QTreeWidget, public CommandTarget {
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

    void setLabelEditing(bool allowed) { m_labelEditAllowed = allowed; }

    bool onCommand(int id) override;

    // ---- Folder operations and drops (treedrop.cpp, treefolderops.cpp) ----
    // The end of a drag released over this tree on item (null: no item highlighted).
    void dropOnItem(QTreeWidgetItem* item);
    // The UnZip command: extracts the archive list's selected rows into the selected folder.
    void unzipIntoTreeFolder();
    // The context menu as a right click at point (viewport coordinates) opens it.
    void openContextMenu(const QPoint& point);
    // Deletes the selected folder: from disk with all it holds, or its members from the archive.
    void deleteFolder();
    // Starts an in-place edit of an item's label.
    void editItemLabel(QTreeWidgetItem* item);
    // The open in-place editor; null when none is open.
    QWidget* labelEditor() const;

protected:
    bool event(QEvent* event) override;

    // ---- Folder operations: the right click, the keys and the in-place edit ----
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    QTreeWidgetItem* addNode(QTreeWidgetItem* parent, const QString& text, int kind);
    void addFolderNode(QTreeWidgetItem* parent, const QString& text, int kind);
    void deleteChildren(QTreeWidgetItem* item);
    QIcon nodeIcon(int kind);
    void onCurrentItemChanged(QTreeWidgetItem* current);
    void onItemExpanded(QTreeWidgetItem* item);
    void onItemCollapsed(QTreeWidgetItem* item);

    ViewHost& m_host;
    CBrenloDoc& m_document;
    CMyListView* m_partnerList = nullptr;
    QTreeWidgetItem* m_rootItem = nullptr;
    Role m_role = Role::Local;
    bool m_rootRebuild = false;
    bool m_labelEditing = false;
    bool m_labelEditAllowed = true;
    bool m_populating = false;
    QHash<int, QIcon> m_icons;

    // ---- Folder operations ----
    bool handleFolderKey(QKeyEvent* event);
    bool onFolderCommand(int id);
    void endLabelEdit(QTreeWidgetItem* item, const std::optional<QString>& text);
    LabelEditDelegate* labelDelegate();
    QPersistentModelIndex m_editItem;
    std::optional<QString> m_editText;
    LabelEditDelegate* m_labelDelegate = nullptr;

    // ---- Drag between the panes (treedrag.cpp) ----
public:
    // Begin drag of item, pressed at point (viewport coordinates). Drives, the computer and the
    // archive root start no drag.
    void beginDrag(QTreeWidgetItem* item, const QPoint& point);
    // Shows the drag image here at point and takes the mouse: the start of every drag that
    // begins in this tree or is handed over to it.
    void startDragImage(const QPoint& point);
    // The mouse move and the left-button release of this tree during a drag (viewport
    // coordinates). A move hands the drag over to this tree when another pane owns it. False
    // when the event is left to the tree's ordinary handling.
    bool dragMouseMove(const QPoint& point);
    bool dragButtonUp(const QPoint& point);
    // The item on whose icon or label point lies; null for none.
    QTreeWidgetItem* itemOnLabel(const QPoint& point) const;
    // The item recorded as the drop target and the item shown with the drop highlight.
    QTreeWidgetItem* dropTargetItem() const;
    QTreeWidgetItem* dropHighlightedItem() const;
    // The picture this tree shows while it owns a drag; null before its first drag.
    DragImage* dragImage() const { return m_dragImage; }

protected:
    bool viewportEvent(QEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;

private:
    bool handleDragMouseEvent(QEvent* event);
    void setDropHighlighted(QTreeWidgetItem* item);
    DragImage* m_dragImage = nullptr;
    DragPress m_dragPress;
    QPersistentModelIndex m_dropTarget;
    QPersistentModelIndex m_dropHighlighted;
};

} // namespace views
