#pragma once

#include "commandtarget.h"
#include "dragimage.h"
#include "panerules.h"

#include <QAbstractItemView>
#include <QPersistentModelIndex>
#include <optional>

class QContextMenuEvent;
class QDragEnterEvent;
class QDragLeaveEvent;
class QDragMoveEvent;
class QDropEvent;
class QFocusEvent;
class QKeyEvent;
class QMouseEvent;
class QPaintEvent;
class QTimer;

namespace views {

class CBrenloDoc;
class LabelEditDelegate;
class ViewHost;

// What the two kinds of pane do alike, whatever Qt view each is built on: the mouse of a drag
// between the panes (the press that becomes a drag, the hand-over, the image, the cursor, the
// drop target and the release), the keys (Tab through the four panes, Delete), the context menu
// and the in-place rename with the gestures that start one (F2, a slow second click), opening a
// row (double-click, Enter), Backspace, and how the drop target and the focus look. A pane
// answers what is its own: what it drags, which of its rows or
// items takes a drop and what the drop does, what Delete deletes and what a new name renames.
// The input lives here once, so a gesture added here reaches all four panes.
template <class ItemView> class PaneView : public ItemView, public CommandTarget {
public:
    PaneView(ViewHost& host, CBrenloDoc& document, QWidget* parent);
    ~PaneView() override;

    // Whether the pane allows renaming in place.
    void setLabelEditing(bool allowed) { m_labelEditAllowed = allowed; }
    // Starts an in-place edit of index's label, if the pane allows one there.
    void editLabel(const QModelIndex& index);
    // The open in-place editor; null when none is open.
    QWidget* labelEditor() const;

    // ---- The drag (viewport coordinates) ----
    // Shows the drag image here at point and takes the mouse: the start of every drag that begins
    // in this pane or is handed over to it.
    void startDragImage(const QPoint& point);
    // The mouse move and the left-button release of this pane during a drag. A move hands the
    // drag over to this pane when another pane owns it. False when the event is left to the
    // pane's ordinary handling.
    bool dragMouseMove(const QPoint& point);
    bool dragButtonUp(const QPoint& point);
    // The row or item recorded as the drop target, and the one shown with the drop highlight.
    QModelIndex dropTarget() const { return m_dropTarget; }
    QModelIndex dropHighlighted() const { return m_dropHighlighted; }
    // The picture this pane shows while it owns a drag; null before its first drag.
    DragImage* dragImage() const { return m_dragImage; }

protected:
    // ---- What each pane answers ----
    virtual PanePlace place() const = 0;
    // Whether a left press at point may become a drag.
    virtual bool canBeginDragAt(const QPoint& point) const = 0;
    // Whether a press at point is held back until the button comes up or a drag begins: a press
    // on a selected row must not narrow the selection before the whole of it can be dragged.
    virtual bool holdsPressAt(const QPoint&, Qt::KeyboardModifiers) const { return false; }
    // Fills in the drag state for a drag that begins at point; false when nothing is dragged.
    virtual bool fillDragState(const QPoint& point) = 0;
    // The row or item under point that takes the drop now under way; invalid for none.
    virtual QModelIndex dropTargetAt(const QPoint& point) const = 0;
    // The release on a recorded target.
    virtual void dropOn(const QModelIndex& target) = 0;
    // The Delete key outside an edit; false leaves the key to the view.
    virtual bool deleteByKey() = 0;
    // A key the pane keeps from the view; true when it is swallowed.
    virtual bool swallowsKey(const QKeyEvent&) const { return false; }
    // Whether index's label may be edited in place.
    virtual bool mayEditLabel(const QModelIndex&) const { return true; }
    // An edit ended with text typed and confirmed; index may have gone meanwhile.
    virtual void renameLabel(const QModelIndex& index, const QString& text) = 0;
    // Whether the context menu offers Rename for this row or item, which is where F2 and a slow
    // second click rename; and that Rename.
    virtual bool offersRenameOn(const QModelIndex& index) const = 0;
    virtual void renameAsMenuDoes(const QModelIndex& index) = 0;
    // The row or item whose label (a list row's name, a tree item's icon and text) lies at point;
    // invalid for none.
    virtual QModelIndex labelAt(const QPoint& point) const = 0;
    // Double-click or Enter on a row: opens what it shows; false leaves the gesture to the view.
    virtual bool openItem(const QModelIndex&) { return false; }
    // Backspace: goes to the folder above; false leaves the key to the view.
    virtual bool goToParentFolder() { return false; }
    // Files from another program dropped on a local pane: the folder a drop on target (a row or
    // item that takes a drop of local rows, or none) copies them into, "" where none takes them;
    // and the refresh after the copy.
    virtual std::string desktopDropFolder(const QModelIndex& target) const = 0;
    virtual void showDesktopCopy(const QModelIndex& target, const std::string& folder) = 0;
    // The entries of the context menu a right click at point opens (nothing: no menu), after
    // what the click selects.
    struct MenuEntries {
        bool newFolder = false;
        bool rename = false;
        bool remove = false;
        bool test = false; // the archive panes' Test Selected
    };
    virtual std::optional<MenuEntries> prepareContextMenu(const QPoint& point) = 0;

    // The context menu as a right click at point opens it; the chosen command goes to onCommand.
    void openContextMenu(const QPoint& point);

    // ---- Qt's side ----
    bool event(QEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    void drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                 const QModelIndex& index) const override;
    void paintEvent(QPaintEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // The desktop's drag and drop: files from other programs, and a drag of this program's that
    // went out of the window and came back.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    bool edit(const QModelIndex& index, QAbstractItemView::EditTrigger trigger, QEvent* event) override;
    void closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) override;

    ViewHost& m_host;
    CBrenloDoc& m_document;

private:
    bool handleDragMouseEvent(QEvent* event);
    void beginDrag(const QPoint& point);
    void setDropHighlighted(const QModelIndex& index);
    // Whether a desktop drag over point would be taken here, and the row or item it would go to.
    bool takesDesktopDrag(const QDropEvent& event, QModelIndex& target);
    // The pointer left the main window during a drag between the panes: the drag becomes the
    // desktop's, carrying what it drags as files.
    void handDragToDesktop();
    // Keys for this pane, its editor's included, before the view sees them; true if used.
    bool handlePaneKey(QKeyEvent* event);
    // The selected row or item F2 renames: the current one when it is selected, else the first
    // selected.
    QModelIndex selectedForRename() const;
    // A left click on the label of the row that was already current and selected in a pane that
    // had the focus starts a rename once the double-click time has passed without a second click.
    void trackSlowClick(const QMouseEvent& mouse);
    // Whether the pane, or its in-place editor, has the keyboard focus.
    bool hasPaneFocus() const;
    // Whether an in-place edit is under way; a refill or rebuild drops an open editor without
    // closing it, and that edit is over.
    bool isLabelEditing();
    LabelEditDelegate* labelDelegate();

    DragImage* m_dragImage = nullptr;
    DragPress m_dragPress;
    bool m_pressHeld = false;
    QPersistentModelIndex m_dropTarget;
    QPersistentModelIndex m_dropHighlighted;

    QTimer* m_slowClickTimer = nullptr;
    QPersistentModelIndex m_slowClickIndex;
    bool m_slowClickArmed = false;
    bool m_focusCameWithClick = false;

    LabelEditDelegate* m_labelDelegate = nullptr;
    bool m_labelEditing = false;
    bool m_labelEditAllowed = true;
    QPersistentModelIndex m_editIndex;
    std::optional<QString> m_editText;
};

} // namespace views
