#include "dragimage.h"

#include <QApplication>
#include <QPainter>

namespace views {

DragImage::DragImage(QWidget* client) : QWidget(client) {
    // The picture must never take the mouse from the pane below it.
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setFocusPolicy(Qt::NoFocus);
    hide();
}

void DragImage::enter(const QPixmap& picture, const QPoint& topLeft) {
    m_picture = picture;
    resize(picture.deviceIndependentSize().toSize());
    move(topLeft);
    raise();
    show();
}

void DragImage::moveTo(const QPoint& topLeft) {
    if (isShown()) {
        move(topLeft);
    }
}

void DragImage::leave() {
    hide();
}

void DragImage::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // See-through, so that the names of the rows it passes over stay readable.
    painter.setOpacity(0.6);
    painter.drawPixmap(0, 0, m_picture);
}

DragTracker::~DragTracker() {
    restoreCursor();
}

void DragTracker::releaseMouse() {
    m_holder = nullptr;
    restoreCursor();
}

void DragTracker::setCursor(Qt::CursorShape shape) {
    if (qApp == nullptr) {
        return;
    }
    if (!m_cursorSet) {
        QApplication::setOverrideCursor(QCursor(shape));
        m_cursorSet = true;
    } else if (QApplication::overrideCursor() == nullptr ||
               QApplication::overrideCursor()->shape() != shape) {
        QApplication::changeOverrideCursor(QCursor(shape));
    }
}

void DragTracker::restoreCursor() {
    if (m_cursorSet && qApp != nullptr) {
        QApplication::restoreOverrideCursor();
    }
    m_cursorSet = false;
}

void DragTracker::showImage(DragImage* image, const QPixmap& picture, const QPoint& topLeft) {
    if (m_image != nullptr && m_image != image) {
        m_image->leave();
    }
    m_image = image;
    image->enter(picture, topLeft);
}

void DragTracker::eraseImage() {
    if (m_image != nullptr) {
        m_image->leave();
    }
    m_image = nullptr;
}

bool isDragUnderWay(const archive::DragState& drag) {
    return ownerCount(drag) > 0;
}

int ownerCount(const archive::DragState& drag) {
    int count = 0;
    for (std::int32_t flag : drag.ownerFlags) {
        count += flag != 0 ? 1 : 0;
    }
    return count;
}

bool DragPress::hasMovedFarEnough(const QPoint& now) const {
    return armed && (now - point).manhattanLength() >= QApplication::startDragDistance();
}

void takeDragOver(archive::DragState& drag, DragTracker& tracker, const QWidget* pane, int ownFlag,
                  archive::ArchiveWindow& window, const std::function<void()>& startHere) {
    bool ownedElsewhere = false;
    for (int owner = 0; owner < 4; ++owner) {
        ownedElsewhere = ownedElsewhere || (owner != ownFlag && drag.ownerFlags[owner] != 0);
    }
    if (ownedElsewhere) {
        window.repaintMainFrame();
        tracker.eraseImage();
        for (std::int32_t& flag : drag.ownerFlags) {
            flag = 0;
        }
        startHere();
    } else if (drag.ownerFlags[ownFlag] && tracker.mouseHolder() != pane) {
        startHere();
    }
}

} // namespace views
