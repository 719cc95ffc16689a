#include "paneview.h"

#include "archivewindow.h"
#include "brenlodoc.h"
#include "labeledit.h"
#include "panesteps.h"
#include "popupmenu.h"
#include "transfers.h"
#include "viewhost.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QTreeView>
#include <QTreeWidget>
#include <QUrl>

namespace views {

namespace {

QPoint imagePlace(const archive::DragState& drag, const QPoint& point) {
    return point - QPoint(drag.offsetX, drag.offsetY);
}

// The drop target's look: an amber row in a dark orange frame, which no selection, active or
// not, resembles.
const QColor kDropFill(255, 200, 40);
const QColor kDropFrame(205, 80, 0);
constexpr int kDropFrameWidth = 2;
constexpr int kFocusFrameWidth = 2;

// Windows paths of the local files a desktop drag carries; empty when it carries anything else
// (a web address, a file outside every drive), which no pane takes.
std::vector<std::string> droppedPaths(const QMimeData* data, const platform::DriveMap& drives) {
    if (data == nullptr || !data->hasUrls()) {
        return {};
    }
    std::vector<std::string> paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile()) {
            return {};
        }
        platform::Result<std::string> path = drives.toWindows(url.toLocalFile().toStdString());
        if (!path.ok()) {
            return {};
        }
        paths.push_back(*path);
    }
    return paths;
}

} // namespace

template <class ItemView>
PaneView<ItemView>::PaneView(ViewHost& host, CBrenloDoc& document, QWidget* parent)
    : ItemView(parent), m_host(host), m_document(document), m_slowClickTimer(new QTimer(this)) {
    // Editing a label in place renames what it names; until that rename runs, the editor never
    // opens, so a name cannot change on screen alone.
    this->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Files dropped from other programs; the drag between the panes is the program's own.
    this->setAcceptDrops(true);
    this->setDragDropMode(QAbstractItemView::DropOnly);
    // Delete and Select All act on the pane with the focus: the others show their selection
    // greyed (and the pane with the focus has a frame, see paintEvent).
    QPalette colours = this->palette();
    colours.setColor(QPalette::Inactive, QPalette::Highlight,
                     colours.color(QPalette::Active, QPalette::Window).darker(118));
    colours.setColor(QPalette::Inactive, QPalette::HighlightedText,
                     colours.color(QPalette::Active, QPalette::Text));
    this->setPalette(colours);
    // The first column's names are shown with the characters they carry.
    labelDelegate();
    m_slowClickTimer->setSingleShot(true);
    QObject::connect(m_slowClickTimer, &QTimer::timeout, this, [this] {
        const QModelIndex index(m_slowClickIndex);
        m_slowClickIndex = QPersistentModelIndex();
        if (index.isValid() && !isDragUnderWay(m_document.drag()) &&
            this->selectionModel()->isSelected(index) && offersRenameOn(index)) {
            renameAsMenuDoes(index);
        }
    });
}

template <class ItemView> PaneView<ItemView>::~PaneView() = default;

// ---- The drag ----

template <class ItemView> void PaneView<ItemView>::beginDrag(const QPoint& point) {
    if (!fillDragState(point)) {
        return;
    }
    m_document.dragTracker().setCursor(Qt::ForbiddenCursor);
    startDragImage(point);
}

template <class ItemView> void PaneView<ItemView>::startDragImage(const QPoint& point) {
    archive::DragState& drag = m_document.drag();
    setDropHighlighted(QModelIndex());
    m_dropTarget = QPersistentModelIndex();
    drag.ownerFlags[ownerFlagOf(place())] = 1;
    drag.offsetX = 0;
    drag.offsetY = -20;
    if (m_dragImage == nullptr) {
        m_dragImage = new DragImage(this->viewport());
    }
    DragTracker& tracker = m_document.dragTracker();
    tracker.showImage(m_dragImage, m_document.largeImage(drag.imageIndex), imagePlace(drag, point));
    tracker.captureMouse(this);
}

template <class ItemView> bool PaneView<ItemView>::dragMouseMove(const QPoint& point) {
    archive::DragState& drag = m_document.drag();
    DragTracker& tracker = m_document.dragTracker();
    const PanePlace here = place();
    takeDragOver(drag, tracker, this, ownerFlagOf(here), m_host.window(),
                 [this, &point] { startDragImage(point); });
    if (!drag.ownerFlags[ownerFlagOf(here)] && !drag.ownerFlags[siblingOwnerFlagOf(here)]) {
        return false;
    }

    const QWidget* top = this->window();
    if (!top->rect().contains(top->mapFromGlobal(this->viewport()->mapToGlobal(point)))) {
        handDragToDesktop();
        return true;
    }

    const QRect client = this->viewport()->rect();
    const PaneSides sides{point.x() < client.left(), point.x() > client.right(), point.y() < client.top(),
                          point.y() > client.bottom()};
    if (leavesPane(here, sides)) {
        // The neighbour takes the drag over with its next move; the owner flag stays set until
        // then, and so does the recorded target.
        setDropHighlighted(QModelIndex());
        tracker.eraseImage();
        tracker.releaseMouse();
        return true;
    }

    const QModelIndex target = client.contains(point) ? dropTargetAt(point) : QModelIndex();
    if (target.isValid()) {
        tracker.setCursor(Qt::ArrowCursor);
        if (target != m_dropTarget) {
            setDropHighlighted(target);
            m_dropTarget = QPersistentModelIndex(target);
        }
    } else {
        tracker.setCursor(Qt::ForbiddenCursor);
        setDropHighlighted(QModelIndex());
        m_dropTarget = QPersistentModelIndex();
    }
    if (m_dragImage != nullptr) {
        // Below the pointer, but never over the row that takes the drop: its name stays readable.
        QPoint topLeft = imagePlace(drag, point);
        if (target.isValid()) {
            topLeft.setY(std::max(topLeft.y(), this->visualRect(target).bottom() + 1));
        }
        m_dragImage->moveTo(topLeft);
    }
    return true;
}

template <class ItemView> bool PaneView<ItemView>::dragButtonUp(const QPoint&) {
    archive::DragState& drag = m_document.drag();
    const int own = ownerFlagOf(place());
    const int sibling = siblingOwnerFlagOf(place());
    if (!drag.ownerFlags[own] && !drag.ownerFlags[sibling]) {
        return false;
    }
    drag.ownerFlags[own] = 0;
    drag.ownerFlags[sibling] = 0;
    DragTracker& tracker = m_document.dragTracker();
    tracker.releaseMouse();
    tracker.eraseImage();
    if (m_dropTarget.isValid()) {
        dropOn(QModelIndex(m_dropTarget));
    }
    setDropHighlighted(QModelIndex());
    m_dropTarget = QPersistentModelIndex();
    return true;
}

template <class ItemView> void PaneView<ItemView>::handDragToDesktop() {
    archive::DragState& drag = m_document.drag();
    for (std::int32_t& flag : drag.ownerFlags) {
        flag = 0;
    }
    DragTracker& tracker = m_document.dragTracker();
    tracker.releaseMouse();
    tracker.eraseImage();
    setDropHighlighted(QModelIndex());
    m_dropTarget = QPersistentModelIndex();
    const QStringList paths = desktopDragPaths(m_host);
    DesktopHandOver& desktop = m_document.desktop();
    // Extracting members takes a while, and the button may have been let go of meanwhile: a
    // desktop drag started then would wait for a click that is not coming. The copies stay in
    // the program's folder until it ends.
    if (paths.isEmpty() || !desktop.drag || !desktop.buttonHeld || !desktop.buttonHeld()) {
        return;
    }
    QList<QUrl> urls;
    for (const QString& path : paths) {
        urls.push_back(QUrl::fromLocalFile(path));
    }
    auto* files = new QMimeData;
    files->setUrls(urls);
    m_document.desktop().drag(this, files);
}

template <class ItemView>
bool PaneView<ItemView>::takesDesktopDrag(const QDropEvent& event, QModelIndex& target) {
    const QPoint point = event.position().toPoint();
    target = QModelIndex();
    if (event.source() != nullptr) {
        // A drag of this program's own that went out of the window and came back: it drops here
        // as it would have without leaving.
        if (qobject_cast<const QWidget*>(event.source()) == nullptr ||
            qobject_cast<const QWidget*>(event.source())->window() != this->window()) {
            return false;
        }
        target = dropTargetAt(point);
        return target.isValid();
    }
    if (isDragUnderWay(m_document.drag()) || droppedPaths(event.mimeData(), m_host.drives()).empty()) {
        return false;
    }
    // Taken where local rows would be; the archive panes add whatever the pointer is over.
    m_document.drag().sourceKind = archive::kDragLocalList;
    target = dropTargetAt(point);
    return place().role() == Role::Archive || !desktopDropFolder(target).empty();
}

template <class ItemView> void PaneView<ItemView>::dragEnterEvent(QDragEnterEvent* event) {
    dragMoveEvent(event);
}

template <class ItemView> void PaneView<ItemView>::dragMoveEvent(QDragMoveEvent* event) {
    QModelIndex target;
    if (!takesDesktopDrag(*event, target)) {
        setDropHighlighted(QModelIndex());
        event->ignore();
        return;
    }
    setDropHighlighted(target);
    event->setDropAction(Qt::CopyAction);
    event->accept();
}

template <class ItemView> void PaneView<ItemView>::dragLeaveEvent(QDragLeaveEvent* event) {
    setDropHighlighted(QModelIndex());
    event->accept();
}

template <class ItemView> void PaneView<ItemView>::dropEvent(QDropEvent* event) {
    QModelIndex target;
    const bool taken = takesDesktopDrag(*event, target);
    setDropHighlighted(QModelIndex());
    if (!taken) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    // The work, with its confirmation and progress, runs once the other program has its answer.
    const QPersistentModelIndex where(target);
    const bool onTarget = target.isValid();
    const bool ours = event->source() != nullptr;
    const std::vector<std::string> paths = droppedPaths(event->mimeData(), m_host.drives());
    QPointer<QWidget> self(this);
    QTimer::singleShot(0, this, [this, self, where, onTarget, ours, paths] {
        if (self == nullptr || (onTarget && !where.isValid())) {
            return; // the row or item it was dropped on has gone meanwhile
        }
        if (ours) {
            dropOn(QModelIndex(where));
        } else if (place().role() == Role::Archive) {
            addFromDesktop(m_host, paths);
        } else {
            const std::string folder = desktopDropFolder(QModelIndex(where));
            if (!folder.empty() && copyFromDesktop(m_host, folder, paths)) {
                showDesktopCopy(QModelIndex(where), folder);
            }
        }
    });
}

template <class ItemView> void PaneView<ItemView>::setDropHighlighted(const QModelIndex& index) {
    if (index != m_dropHighlighted) {
        m_dropHighlighted = QPersistentModelIndex(index);
        this->viewport()->update();
    }
}

template <class ItemView> bool PaneView<ItemView>::viewportEvent(QEvent* event) {
    return handleDragMouseEvent(event) || ItemView::viewportEvent(event);
}

template <class ItemView> bool PaneView<ItemView>::handleDragMouseEvent(QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
        type != QEvent::MouseMove && type != QEvent::MouseButtonRelease) {
        return false;
    }
    const auto* mouse = static_cast<const QMouseEvent*>(event);
    const QPoint at = mouse->position().toPoint();
    const bool dragUnderWay = isDragUnderWay(m_document.drag());
    trackSlowClick(*mouse);

    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
        m_dragPress.armed = false;
        m_pressHeld = false;
        if (dragUnderWay) {
            // A drag left pending ends with the coming release; the press changes no selection.
            return true;
        }
        if (type == QEvent::MouseButtonDblClick && mouse->button() == Qt::LeftButton &&
            mouse->modifiers() == Qt::NoModifier) {
            const QModelIndex hit = this->indexAt(at);
            if (hit.isValid() && openItem(hit.siblingAtColumn(0))) {
                return true;
            }
        }
        if (type != QEvent::MouseButtonPress || mouse->button() != Qt::LeftButton || !canBeginDragAt(at)) {
            return false;
        }
        m_dragPress.arm(at);
        m_pressHeld = holdsPressAt(at, mouse->modifiers());
        return m_pressHeld;
    }

    if (type == QEvent::MouseMove) {
        if (dragUnderWay) {
            m_dragPress.armed = false;
            m_pressHeld = false;
            return dragMouseMove(at);
        }
        if (!m_dragPress.armed) {
            return false;
        }
        if (!(mouse->buttons() & Qt::LeftButton)) {
            m_dragPress.armed = false;
            return false;
        }
        if (m_dragPress.hasMovedFarEnough(at)) {
            m_dragPress.armed = false;
            m_pressHeld = false;
            m_slowClickArmed = false;
            beginDrag(m_dragPress.point);
            if (isDragUnderWay(m_document.drag())) {
                dragMouseMove(at);
            }
        }
        // Until then the pointer selects nothing: the press was the start of a drag.
        return true;
    }

    // The release.
    m_dragPress.armed = false;
    if (mouse->button() == Qt::LeftButton && dragUnderWay) {
        m_pressHeld = false;
        return dragButtonUp(at);
    }
    if (m_pressHeld) {
        // No drag came of the held press: the view gets it now, just before the release.
        m_pressHeld = false;
        QMouseEvent press(QEvent::MouseButtonPress, m_dragPress.point,
                          this->viewport()->mapToGlobal(m_dragPress.point), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        ItemView::viewportEvent(&press);
    }
    return false;
}

template <class ItemView>
void PaneView<ItemView>::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    if (!m_dropHighlighted.isValid() || index.siblingAtColumn(0) != m_dropHighlighted) {
        ItemView::drawRow(painter, option, index);
        return;
    }
    QStyleOptionViewItem highlighted(option);
    highlighted.state |= QStyle::State_Selected;
    for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive}) {
        highlighted.palette.setColor(group, QPalette::Highlight, kDropFill);
        highlighted.palette.setColor(group, QPalette::HighlightedText, Qt::black);
    }
    ItemView::drawRow(painter, highlighted, index);
    painter->save();
    painter->setPen(QPen(kDropFrame, kDropFrameWidth));
    painter->setBrush(Qt::NoBrush);
    const int inset = kDropFrameWidth / 2;
    painter->drawRect(option.rect.adjusted(inset, inset, -inset, -inset));
    painter->restore();
}

template <class ItemView> void PaneView<ItemView>::paintEvent(QPaintEvent* event) {
    ItemView::paintEvent(event);
    if (!hasPaneFocus()) {
        return;
    }
    QPainter painter(this->viewport());
    painter.setPen(QPen(this->palette().color(QPalette::Active, QPalette::Highlight), kFocusFrameWidth));
    const int inset = kFocusFrameWidth / 2;
    painter.drawRect(this->viewport()->rect().adjusted(inset, inset, -inset, -inset));
}

template <class ItemView> bool PaneView<ItemView>::hasPaneFocus() const {
    const QWidget* focused = QApplication::focusWidget();
    return focused != nullptr && (focused == this || this->isAncestorOf(focused));
}

template <class ItemView> void PaneView<ItemView>::focusInEvent(QFocusEvent* event) {
    // A click that gives the pane the focus is not a second click on its row.
    m_focusCameWithClick = event->reason() == Qt::MouseFocusReason;
    ItemView::focusInEvent(event);
    this->viewport()->update();
}

template <class ItemView> void PaneView<ItemView>::focusOutEvent(QFocusEvent* event) {
    ItemView::focusOutEvent(event);
    this->viewport()->update();
}

template <class ItemView> void PaneView<ItemView>::trackSlowClick(const QMouseEvent& mouse) {
    const QPoint at = mouse.position().toPoint();
    switch (mouse.type()) {
    case QEvent::MouseButtonPress: {
        m_slowClickTimer->stop();
        const QModelIndex label = labelAt(at);
        const QModelIndex current = this->currentIndex();
        m_slowClickArmed = mouse.button() == Qt::LeftButton && mouse.modifiers() == Qt::NoModifier &&
                           !m_focusCameWithClick && label.isValid() && current.isValid() &&
                           label.siblingAtColumn(0) == current.siblingAtColumn(0) &&
                           this->selectionModel()->isSelected(label);
        m_slowClickIndex = QPersistentModelIndex(m_slowClickArmed ? label.siblingAtColumn(0) : QModelIndex());
        m_focusCameWithClick = false;
        break;
    }
    case QEvent::MouseButtonDblClick:
        // The second click came quickly: a double-click, which opens, not a rename.
        m_slowClickArmed = false;
        m_slowClickIndex = QPersistentModelIndex();
        m_slowClickTimer->stop();
        break;
    case QEvent::MouseButtonRelease:
        if (m_slowClickArmed && mouse.button() == Qt::LeftButton && m_slowClickIndex.isValid() &&
            labelAt(at).siblingAtColumn(0) == QModelIndex(m_slowClickIndex)) {
            m_slowClickTimer->start(QApplication::doubleClickInterval());
        }
        m_slowClickArmed = false;
        break;
    default:
        break;
    }
}

// ---- Keys ----

template <class ItemView> bool PaneView<ItemView>::event(QEvent* event) {
    if (event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        // Tab and Shift+Tab move through the four panes in a fixed cycle, not through the widgets.
        const bool otherModifiers =
            key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier);
        if (!otherModifiers && (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Backtab)) {
            const bool backwards = key->key() == Qt::Key_Backtab || (key->modifiers() & Qt::ShiftModifier);
            const PanePlace next = tabTarget(place(), backwards);
            if (QWidget* pane = m_host.paneAt(next.row, next.column)) {
                m_host.setActiveView(pane);
            }
            return true;
        }
        if (swallowsKey(*key)) {
            return true;
        }
    }
    return ItemView::event(event);
}

template <class ItemView> void PaneView<ItemView>::keyPressEvent(QKeyEvent* event) {
    if (handlePaneKey(event)) {
        return;
    }
    ItemView::keyPressEvent(event);
}

template <class ItemView> bool PaneView<ItemView>::eventFilter(QObject* watched, QEvent* event) {
    // The in-place editor's keys pass here first, as the pane's own keys do.
    if (event->type() == QEvent::KeyPress && m_labelDelegate != nullptr &&
        watched == m_labelDelegate->editor() && handlePaneKey(static_cast<QKeyEvent*>(event))) {
        return true;
    }
    return ItemView::eventFilter(watched, event);
}

template <class ItemView> bool PaneView<ItemView>::handlePaneKey(QKeyEvent* event) {
    const Qt::KeyboardModifiers modifiers = event->modifiers() & ~Qt::KeypadModifier;
    // While a name is being typed, these keys edit the name.
    if (modifiers != Qt::NoModifier || isLabelEditing()) {
        return false;
    }
    switch (event->key()) {
    case Qt::Key_Delete:
        return deleteByKey();
    case Qt::Key_F2: {
        const QModelIndex selected = selectedForRename();
        if (!selected.isValid() || !offersRenameOn(selected)) {
            return false;
        }
        renameAsMenuDoes(selected);
        return true;
    }
    case Qt::Key_Backspace:
        return goToParentFolder();
    case Qt::Key_Return:
    case Qt::Key_Enter: {
        const QModelIndex current = this->currentIndex();
        return current.isValid() && this->selectionModel()->isSelected(current) &&
               openItem(current.siblingAtColumn(0));
    }
    default:
        return false;
    }
}

template <class ItemView> QModelIndex PaneView<ItemView>::selectedForRename() const {
    const QModelIndex current = this->currentIndex();
    if (current.isValid() && this->selectionModel()->isSelected(current)) {
        return current.siblingAtColumn(0);
    }
    QModelIndexList selected = this->selectionModel()->selectedIndexes();
    std::sort(selected.begin(), selected.end());
    return selected.isEmpty() ? QModelIndex() : selected.front().siblingAtColumn(0);
}

// ---- The context menu ----

template <class ItemView> void PaneView<ItemView>::contextMenuEvent(QContextMenuEvent* event) {
    openContextMenu(this->viewport()->mapFromGlobal(event->globalPos()));
    event->accept();
}

template <class ItemView> void PaneView<ItemView>::openContextMenu(const QPoint& point) {
    const std::optional<MenuEntries> entries = prepareContextMenu(point);
    if (!entries) {
        return;
    }
    QMenu menu(this);
    addFileMenuEntries(menu, entries->newFolder, entries->rename, entries->remove);
    if (place().role() == Role::Archive) {
        addArchiveMenuEntries(menu, entries->test);
    }
    if (QAction* chosen = trackPopupMenu(menu, this->viewport()->mapToGlobal(point))) {
        const int id = chosen->data().toInt();
        if (!this->onCommand(id)) {
            m_host.routeCommand(id);
        }
    }
}

// ---- Renaming in place ----

template <class ItemView> LabelEditDelegate* PaneView<ItemView>::labelDelegate() {
    if (m_labelDelegate == nullptr) {
        m_labelDelegate = new LabelEditDelegate(
            this, [this](const QString& text) { m_editText = text; }, this);
        this->setItemDelegateForColumn(0, m_labelDelegate);
    }
    return m_labelDelegate;
}

template <class ItemView> QWidget* PaneView<ItemView>::labelEditor() const {
    return m_labelDelegate != nullptr && m_labelEditing ? m_labelDelegate->editor() : nullptr;
}

template <class ItemView> bool PaneView<ItemView>::isLabelEditing() {
    if (m_labelEditing && (m_labelDelegate == nullptr || m_labelDelegate->editor() == nullptr)) {
        m_labelEditing = false;
    }
    return m_labelEditing;
}

template <class ItemView> void PaneView<ItemView>::editLabel(const QModelIndex& index) {
    if (!index.isValid()) {
        return;
    }
    this->scrollTo(index);
    labelDelegate();
    edit(index, QAbstractItemView::AllEditTriggers, nullptr);
}

template <class ItemView>
bool PaneView<ItemView>::edit(const QModelIndex& index, QAbstractItemView::EditTrigger trigger,
                              QEvent* event) {
    // Only the program starts an edit, and only where renaming is allowed.
    if (trigger != QAbstractItemView::AllEditTriggers || !m_labelEditAllowed || isLabelEditing() ||
        !mayEditLabel(index)) {
        return false;
    }
    labelDelegate();
    m_editText.reset();
    m_editIndex = QPersistentModelIndex(index);
    m_labelEditing = true;
    if (!ItemView::edit(index, trigger, event)) {
        m_labelEditing = false;
        return false;
    }
    return true;
}

template <class ItemView>
void PaneView<ItemView>::closeEditor(QWidget* editor, QAbstractItemDelegate::EndEditHint hint) {
    ItemView::closeEditor(editor, hint);
    if (!m_labelEditing) {
        return;
    }
    m_labelEditing = false;
    const std::optional<QString> text = m_editText;
    m_editText.reset();
    if (text) {
        renameLabel(QModelIndex(m_editIndex), *text);
    }
}

template class PaneView<QTreeView>;
template class PaneView<QTreeWidget>;

} // namespace views
