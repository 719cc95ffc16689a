#pragma once

#include "commandtarget.h"
#include "dragimage.h"
#include "listrules.h"
#include "sortkey.h"

#include <QPersistentModelIndex>
#include <QPointer>
#include <QStringList>
#include <QTreeView>
#include <optional>
#include <string>
#include <vector>

class QTreeWidget;
class QTreeWidgetItem;

namespace views {

class CBrenloDoc;
class ListModel;
class ViewHost;
class LabelEditDelegate;

// One list pane: the local file list (role 0, the folder its tree selected on disk) or the
// archive list (role 1, the members and sub-folders of the archive folder its tree selected).
class CMyListView : public QTreeView, public CommandTarget {
    Q_OBJECT
public:
    CMyListView(ViewHost& host, CBrenloDoc& document, QWidget* parent = nullptr);
    ~CMyListView() override;

    // Takes the role from the document's list counter, sets up the columns, then has the partner
    // tree expand its root and select its first folder, which fills the list.
    void initialUpdate();
    Role role() const { return m_role; }

    // Rebuilds the rows for folder: a disk path ending in "\" or an archive tree path. During a
    // re-sort the kept records are only reordered.
    void fill(const QString& folder);
    // Empties the list without reading anything; the count pane shows 0.
    void clearRows();
    void selectAll() override;

    // Written by the partner tree before each fill.
    void setCurrentFolder(const QString& folder) { m_currentFolder = folder; }
    QString currentFolder() const { return m_currentFolder; }
    void setPartnerTreeItem(QTreeWidgetItem* item);
    // The tree item whose folder the list shows; null once that item has been deleted.
    QTreeWidgetItem* partnerTreeItem() const;
    // After the shown folder changed, has the partner tree read that item's sub-folders again.
    void refreshPartnerTree();

    // Whether the pane allows renaming in place.
    void setLabelEditing(bool allowed) { m_labelEditAllowed = allowed; }

    // What the rows show, for tests and the script driver.
    int rowCount() const;
    QStringList rowTexts(int row) const;
    QStringList columnTitles() const;
    QStringList selectedNames() const;
    // Selects exactly the rows with these names; false if a name has no row.
    bool selectRowsByName(const QStringList& names);
    const ListRecord* recordAtRow(int row) const;

    bool onCommand(int id) override;

    // ---- File operations (transfer.cpp, listdrop.cpp, listfileops.cpp) ----
    // The selected rows in walk order: the first selected row, then each next selected row below.
    std::vector<int> selectedRowWalk() const;
    QString rowName(int row) const;
    bool isFolderRow(int row) const;
    // The row with exactly this name; -1 if none.
    int rowNamed(const QString& name) const;
    // Applies one operation to every selected row of sourceList: add to the archive (add), or
    // copy into the local folder destinationFolder, extract into it, or collect for a delete, by
    // the drag source kind and the delete request. False when a copy step failed.
    bool TransferSelection(const QString& destinationFolder, bool add, CMyListView& sourceList);
    // Copies or extracts the selected rows of sourceList into this list's folder row folderRow.
    void TransferToFolderRow(CMyListView& sourceList, int folderRow);
    // Adds every file under a local folder, at any depth, as an operation item. A folder that
    // cannot be read is named in a message and ends the walk: false.
    bool AddFolderFiles(const std::string& folder);
    // The Zip command: confirms, then adds the local file list's selected rows to the archive.
    static void runZipCommand(ViewHost& host);
    // The end of a drag released over this list on folder row `row` (-1: no row highlighted):
    // the confirmation, the copy, extract or Zip command, and the refresh that follows.
    void dropOnRow(int row);
    // The context menu as a right click at point (viewport coordinates) opens it.
    void openContextMenu(const QPoint& point);
    void newFolder();
    void deleteSelection();
    // Starts an in-place edit of the row's name.
    void editRowLabel(int row);
    // The open in-place editor; null when none is open.
    QWidget* labelEditor() const;

protected:
    bool event(QEvent* event) override;

    // ---- File operations: the right click, the keys and the in-place edit ----
    void contextMenuEvent(QContextMenuEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

private:
    void onColumnClicked(int column);

    ViewHost& m_host;
    CBrenloDoc& m_document;
    ListModel* m_model = nullptr;
    Role m_role = Role::Local;
    bool m_labelEditing = false;
    bool m_labelEditAllowed = true;
    QString m_currentFolder;
    QPointer<QTreeWidget> m_partnerTree;
    QPersistentModelIndex m_partnerTreeItem;

    // ---- File operations ----
    // Keys for this list, its editor's included, before the control sees them; true if used.
    bool handleFileKey(QKeyEvent* event);
    bool onFileCommand(int id);
    void endLabelEdit(int row, const std::optional<QString>& text);
    LabelEditDelegate* labelDelegate();
    int m_clickedRow = -1;
    int m_editRow = -1;
    std::optional<QString> m_editText;
    LabelEditDelegate* m_labelDelegate = nullptr;

    // ---- Drag between the panes (listdrag.cpp) ----
public:
    // Begin drag: the selected rows start a drag at point (viewport coordinates), where the
    // left button went down.
    void beginDrag(const QPoint& point);
    // Shows the drag image here at point and takes the mouse: the start of every drag that
    // begins in this list or is handed over to it.
    void startDragImage(const QPoint& point);
    // The mouse move and the left-button release of this list during a drag (viewport
    // coordinates). A move hands the drag over to this list when another pane owns it. False
    // when the event is left to the list's ordinary handling.
    bool dragMouseMove(const QPoint& point);
    bool dragButtonUp(const QPoint& point);
    // The row recorded as the drop target and the row shown with the drop highlight (-1: none).
    int dropHighlightItem() const { return m_dropHighlightItem; }
    int dropHighlightedRow() const { return m_dropHighlighted; }
    // The picture this list shows while it owns a drag; null before its first drag.
    DragImage* dragImage() const { return m_dragImage; }

protected:
    bool viewportEvent(QEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;

private:
    bool handleDragMouseEvent(QEvent* event);
    void setDropHighlighted(int row);
    DragImage* m_dragImage = nullptr;
    DragPress m_dragPress;
    // A press on a selected row, held back so that a drag takes the whole selection; the list
    // sees it only if the button comes up before a drag began.
    bool m_pressHeld = false;
    int m_dropHighlightItem = -1;
    int m_dropHighlighted = -1;
};

} // namespace views
