// A drag as a list sees it: the begin-drag of its selected rows, the drag image, the cursor and
// the drop highlight while the pointer is over it, the hand-over from and to the other panes, and
// the release that hands a highlighted folder row to the drop.
#include "archivewindow.h"
#include "brenlodoc.h"
#include "mylistview.h"
#include "viewhost.h"

#include <QMouseEvent>

namespace views {

namespace {

int ownerFlagOf(Role role) {
    return role == Role::Local ? kOwnerLocalList : kOwnerArchiveList;
}

QPoint imagePlace(const archive::DragState& drag, const QPoint& point) {
    return point - QPoint(drag.offsetX, drag.offsetY);
}

} // namespace

void CMyListView::beginDrag(const QPoint& point) {
    archive::DragState& drag = m_document.drag();
    m_document.dragTracker().setCursor(Qt::ForbiddenCursor);
    const bool archiveSide = m_role == Role::Archive;
    drag.imageIndex = archiveSide ? 1 : 0;
    drag.sourceKind = archiveSide ? archive::kDragArchiveList : archive::kDragLocalList;
    startDragImage(point);
}

void CMyListView::startDragImage(const QPoint& point) {
    archive::DragState& drag = m_document.drag();
    setDropHighlighted(-1);
    m_dropHighlightItem = -1;
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

bool CMyListView::dragMouseMove(const QPoint& point) {
    archive::DragState& drag = m_document.drag();
    DragTracker& tracker = m_document.dragTracker();
    const int ownFlag = ownerFlagOf(m_role);
    const int otherListFlag = m_role == Role::Local ? kOwnerArchiveList : kOwnerLocalList;
    takeDragOver(drag, tracker, this, ownFlag, {otherListFlag, kOwnerLocalTree, kOwnerArchiveTree},
                 m_host.window(), [this, &point] { startDragImage(point); });
    if (!drag.ownerFlags[kOwnerLocalList] && !drag.ownerFlags[kOwnerArchiveList]) {
        return false;
    }

    const QRect client = viewport()->rect();
    const bool left = point.x() < client.left();
    const bool right = point.x() > client.right();
    const bool above = point.y() < client.top();
    const bool below = point.y() > client.bottom();
    if (!right && ((m_role == Role::Local && below) || (m_role == Role::Archive && above) || left)) {
        // Leaving for the pane below, above or to the left, which takes the drag over with its
        // next move. The owner flag stays set until then.
        setDropHighlighted(-1);
        tracker.eraseImage();
        tracker.releaseMouse();
        return true;
    }

    const QModelIndex index = client.contains(point) ? indexAt(point) : QModelIndex();
    const ListRecord* record = index.isValid() ? recordAtRow(index.row()) : nullptr;
    const bool fromArchiveSide =
        drag.sourceKind == archive::kDragArchiveTree || drag.sourceKind == archive::kDragArchiveList;
    const bool validTarget =
        record != nullptr && record->isFolder() && !(m_role == Role::Archive && fromArchiveSide);
    if (validTarget) {
        tracker.setCursor(Qt::ArrowCursor);
        if (index.row() != m_dropHighlightItem) {
            setDropHighlighted(index.row());
            m_dropHighlightItem = index.row();
        }
    } else {
        tracker.setCursor(Qt::ForbiddenCursor);
        setDropHighlighted(-1);
        m_dropHighlightItem = -1;
    }
    if (m_dragImage != nullptr) {
        m_dragImage->moveTo(imagePlace(drag, point));
    }
    return true;
}

bool CMyListView::dragButtonUp(const QPoint&) {
    archive::DragState& drag = m_document.drag();
    if (!drag.ownerFlags[kOwnerLocalList] && !drag.ownerFlags[kOwnerArchiveList]) {
        return false;
    }
    drag.ownerFlags[kOwnerLocalList] = 0;
    drag.ownerFlags[kOwnerArchiveList] = 0;
    DragTracker& tracker = m_document.dragTracker();
    tracker.releaseMouse();
    tracker.eraseImage();
    if (m_dropHighlightItem >= 0) {
        dropOnRow(m_dropHighlightItem);
    }
    setDropHighlighted(-1);
    m_dropHighlightItem = -1;
    return true;
}

void CMyListView::setDropHighlighted(int row) {
    if (row != m_dropHighlighted) {
        m_dropHighlighted = row;
        viewport()->update();
    }
}

bool CMyListView::viewportEvent(QEvent* event) {
    return handleDragMouseEvent(event) || QTreeView::viewportEvent(event);
}

bool CMyListView::handleDragMouseEvent(QEvent* event) {
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
        m_pressHeld = false;
        if (dragUnderWay) {
            // A drag left pending ends with the coming release; the press changes no selection.
            return true;
        }
        const QModelIndex index = indexAt(at);
        if (type != QEvent::MouseButtonPress || mouse->button() != Qt::LeftButton || !index.isValid()) {
            return false;
        }
        m_dragPress.arm(at);
        if (mouse->modifiers() == Qt::NoModifier && selectionModel()->isSelected(index)) {
            // Pressing on a selected row must not drop the rest of the selection before a drag
            // of all of them can begin.
            m_pressHeld = true;
            return true;
        }
        return false;
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
            beginDrag(m_dragPress.point);
            dragMouseMove(at);
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
        // No drag came of the held press: the list gets it now, just before the release.
        m_pressHeld = false;
        QMouseEvent press(QEvent::MouseButtonPress, m_dragPress.point,
                          viewport()->mapToGlobal(m_dragPress.point), Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QTreeView::viewportEvent(&press);
    }
    return false;
}

void CMyListView::drawRow(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const {
    if (m_dropHighlighted < 0 || index.row() != m_dropHighlighted) {
        QTreeView::drawRow(painter, option, index);
        return;
    }
    QStyleOptionViewItem highlighted(option);
    highlighted.state |= QStyle::State_Selected;
    QTreeView::drawRow(painter, highlighted, index);
}

} // namespace views
