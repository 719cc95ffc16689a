// A drag as a tree sees it: the begin-drag of a folder, the drag image, the cursor and the drop
// target while the pointer is over the tree, the hand-over from and to the other panes, and the
// release that hands the highlighted item to the drop.
#include "archivewindow.h"
#include "brenlodoc.h"
#include "mylistview.h"
#include "mytreeview.h"
#include "viewhost.h"

#include <QMouseEvent>

namespace views {

namespace {

int ownerFlagOf(Role role) {
    return role == Role::Local ? kOwnerLocalTree : kOwnerArchiveTree;
}

QPoint imagePlace(const archive::DragState& drag, const QPoint& point) {
    return point - QPoint(drag.offsetX, drag.offsetY);
}

// Room beside the icon and after the text that still counts as the item's label.
constexpr int kLabelMargin = 8;

} // namespace

void CMyTreeView::beginDrag(QTreeWidgetItem* item, const QPoint& point) {
    const int kind = nodeKind(item);
    if (item == nullptr || isPlaceholder(item) || kind == kNodeDrive || kind == kNodeComputer ||
        kind == kNodeArchiveRoot) {
        return;
    }
    archive::DragState& drag = m_document.drag();
    m_document.dragTracker().setCursor(Qt::ForbiddenCursor);
    if (m_role == Role::Local) {
        drag.imageIndex = 0;
        drag.sourceKind = archive::kDragLocalTree;
        drag.draggedFolderPath = nodePath(item).toStdString();
    } else {
        drag.imageIndex = 1;
        drag.sourceKind = archive::kDragArchiveTree;
        QString path = treePath(item);
        if (path.endsWith('/')) {
            path.chop(1);
        }
        drag.draggedFolderPath = path.toStdString();
    }
    drag.draggedFolderName = item->text(0).toStdString();
    // Selecting the folder has the partner list show it with every row selected. A folder that
    // was selected already keeps whatever rows were picked since, and those would be what a drop
    // on the archive zips: the drag takes the whole folder.
    if (currentItem() != item) {
        setCurrentItem(item);
    } else if (m_partnerList != nullptr) {
        m_partnerList->selectAll();
    }
    startDragImage(point);
}

void CMyTreeView::startDragImage(const QPoint& point) {
    archive::DragState& drag = m_document.drag();
    setDropHighlighted(nullptr);
    m_dropTarget = QPersistentModelIndex();
    drag.ownerFlags[ownerFlagOf(m_role)] = 1;
    drag.offsetX = 0;
    drag.offsetY = -20;
    if (m_dragImage == nullptr) {
        m_dragImage = new DragImage(viewport());
    }
    DragTracker& tracker = m_document.dragTracker();
    tracker.showImage(m_dragImage, m_document.largeImage(drag.imageIndex), imagePlace(drag, point));
    tracker.captureMouse(this);
}

QTreeWidgetItem* CMyTreeView::itemOnLabel(const QPoint& point) const {
    if (!viewport()->rect().contains(point)) {
        return nullptr;
    }
    QTreeWidgetItem* item = itemAt(point);
    if (item == nullptr) {
        return nullptr;
    }
    // The row reaches across the pane; only its icon and text are the item.
    const QRect cell = visualItemRect(item);
    const int labelRight =
        cell.left() + iconSize().width() + fontMetrics().horizontalAdvance(item->text(0)) + 2 * kLabelMargin;
    return point.x() >= cell.left() && point.x() <= labelRight ? item : nullptr;
}

QTreeWidgetItem* CMyTreeView::dropTargetItem() const {
    return m_dropTarget.isValid() ? itemFromIndex(m_dropTarget) : nullptr;
}

QTreeWidgetItem* CMyTreeView::dropHighlightedItem() const {
    return m_dropHighlighted.isValid() ? itemFromIndex(m_dropHighlighted) : nullptr;
}

bool CMyTreeView::dragMouseMove(const QPoint& point) {
    archive::DragState& drag = m_document.drag();
    DragTracker& tracker = m_document.dragTracker();
    const int ownFlag = ownerFlagOf(m_role);
    const int otherTreeFlag = m_role == Role::Local ? kOwnerArchiveTree : kOwnerLocalTree;
    takeDragOver(drag, tracker, this, ownFlag, {otherTreeFlag, kOwnerLocalList, kOwnerArchiveList},
                 m_host.window(), [this, &point] { startDragImage(point); });
    if (!drag.ownerFlags[kOwnerLocalTree] && !drag.ownerFlags[kOwnerArchiveTree]) {
        return false;
    }

    const QRect client = viewport()->rect();
    const bool left = point.x() < client.left();
    const bool right = point.x() > client.right();
    const bool above = point.y() < client.top();
    const bool below = point.y() > client.bottom();
    if (!left && (right || (m_role == Role::Local && below) || (m_role == Role::Archive && above))) {
        // Leaving for the list to the right or the other tree, which takes the drag over with
        // its next move. The owner flag stays set until then.
        setDropHighlighted(nullptr);
        tracker.eraseImage();
        tracker.releaseMouse();
        return true;
    }

    QTreeWidgetItem* item = itemOnLabel(point);
    const bool fromLocalSide =
        drag.sourceKind == archive::kDragLocalTree || drag.sourceKind == archive::kDragLocalList;
    const bool validTarget = item != nullptr && !isPlaceholder(item) && nodeKind(item) != kNodeComputer &&
                             (m_role == Role::Local || fromLocalSide);
    if (validTarget) {
        tracker.setCursor(Qt::ArrowCursor);
        if (item != dropTargetItem()) {
            setDropHighlighted(item);
            m_dropTarget = QPersistentModelIndex(indexFromItem(item));
        }
    } else {
        tracker.setCursor(Qt::ForbiddenCursor);
        setDropHighlighted(nullptr);
        m_dropTarget = QPersistentModelIndex();
    }
    if (m_dragImage != nullptr) {
        m_dragImage->moveTo(imagePlace(drag, point));
    }
    return true;
}

bool CMyTreeView::dragButtonUp(const QPoint&) {
    archive::DragState& drag = m_document.drag();
    if (!drag.ownerFlags[kOwnerLocalTree] && !drag.ownerFlags[kOwnerArchiveTree]) {
        return false;
    }
    drag.ownerFlags[kOwnerLocalTree] = 0;
    drag.ownerFlags[kOwnerArchiveTree] = 0;
    DragTracker& tracker = m_document.dragTracker();
    tracker.releaseMouse();
    tracker.eraseImage();
    if (QTreeWidgetItem* target = dropTargetItem()) {
        dropOnItem(target);
    }
    setDropHighlighted(nullptr);
    m_dropTarget = QPersistentModelIndex();
    return true;
}

void CMyTreeView::setDropHighlighted(QTreeWidgetItem* item) {
    const QPersistentModelIndex index =
        item != nullptr ? QPersistentModelIndex(indexFromItem(item)) : QPersistentModelIndex();
    if (index != m_dropHighlighted) {
        m_dropHighlighted = index;
        viewport()->update();
    }
}

bool CMyTreeView::viewportEvent(QEvent* event) {
    return handleDragMouseEvent(event) || QTreeWidget::viewportEvent(event);
}

bool CMyTreeView::handleDragMouseEvent(QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonDblClick &&
        type != QEvent::MouseMove && type != QEvent::MouseButtonRelease) {
        return false;
    }
    const auto* mouse = static_cast<const QMouseEvent*>(event);
    const QPoint at = mouse->position().toPoint();
    const bool dragUnderWay = isDragUnderWay(m_document.drag());

    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick) {
        m_dragPress.armed = false;
        if (dragUnderWay) {
            // A drag left pending ends with the coming release; the press selects nothing.
            return true;
        }
        if (type == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton &&
            itemOnLabel(at) != nullptr) {
            m_dragPress.arm(at);
        }
        return false;
    }

    if (type == QEvent::MouseMove) {
        if (dragUnderWay) {
            m_dragPress.armed = false;
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
            beginDrag(itemOnLabel(m_dragPress.point), m_dragPress.point);
            if (isDragUnderWay(m_document.drag())) {
                dragMouseMove(at);
            }
        }
        // The pointer moving with the button down selects no other item.
        return true;
    }

    m_dragPress.armed = false;
    if (mouse->button() == Qt::LeftButton && dragUnderWay) {
        return dragButtonUp(at);
    }
    return false;
}

void CMyTreeView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    if (!m_dropHighlighted.isValid() || index.siblingAtColumn(0) != m_dropHighlighted) {
        QTreeWidget::drawRow(painter, option, index);
        return;
    }
    QStyleOptionViewItem highlighted(option);
    highlighted.state |= QStyle::State_Selected;
    QTreeWidget::drawRow(painter, highlighted, index);
}

} // namespace views
