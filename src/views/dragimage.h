#pragma once

#include "archivestate.h"
#include "archivewindow.h"
#include "panerules.h"

#include <QPixmap>
#include <QPoint>
#include <QPointer>
#include <QWidget>
#include <functional>

namespace views {

class ViewHost;

// The 32x32 picture that follows the pointer during a drag, drawn inside the client area of the
// pane that owns the drag, so it is clipped to that pane.
class DragImage : public QWidget {
    Q_OBJECT
public:
    explicit DragImage(QWidget* client);

    // Shows picture with its top-left corner at topLeft (client coordinates).
    void enter(const QPixmap& picture, const QPoint& topLeft);
    void moveTo(const QPoint& topLeft);
    void leave();
    bool isShown() const { return !isHidden(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_picture;
};

// What the platform keeps for a drag between the panes: which pane holds the mouse (it gets
// every move until it lets go), the cursor the drag shows while a pane holds the mouse, and the
// one drag image on screen.
class DragTracker {
public:
    DragTracker() = default;
    ~DragTracker();
    DragTracker(const DragTracker&) = delete;
    DragTracker& operator=(const DragTracker&) = delete;

    QWidget* mouseHolder() const { return m_holder; }
    void captureMouse(QWidget* pane) { m_holder = pane; }
    // Lets go of the mouse; the cursor goes back to what the widget under the pointer shows.
    void releaseMouse();

    // The drag's cursor (Qt::ForbiddenCursor or Qt::ArrowCursor), shown over the whole program.
    void setCursor(Qt::CursorShape shape);
    bool hasCursor() const { return m_cursorSet; }

    // Shows image in place of the one on screen, if any.
    void showImage(DragImage* image, const QPixmap& picture, const QPoint& topLeft);
    void eraseImage();
    DragImage* shownImage() const { return m_image; }

private:
    void restoreCursor();

    QPointer<QWidget> m_holder;
    QPointer<DragImage> m_image;
    bool m_cursorSet = false;
};

// The hand-over every pane makes as the pointer moves over it during a drag. A drag owned by
// another pane was let go of by that pane as the pointer left it: the main frame is repainted
// (erasing that pane's image), every owner flag is cleared and startHere starts the image here. A
// drag this pane still owns (ownFlag) but whose mouse it lost, after leaving and coming back with
// no pane taking over in between, starts here again too.
void takeDragOver(archive::DragState& drag, DragTracker& tracker, const QWidget* pane, int ownFlag,
                  archive::ArchiveWindow& window, const std::function<void()>& startHere);

// Whether some pane owns a drag: from the begin-drag to the release that ends it, including a
// drag left pending by a release where no pane took it.
bool isDragUnderWay(const archive::DragState& drag);
// The owner flags that are set, as a count (0 or 1 while the panes keep to their rules).
int ownerCount(const archive::DragState& drag);

// A left press on an item of a pane that becomes a begin-drag once the pointer has moved far
// enough with the button held.
struct DragPress {
    QPoint point;
    bool armed = false;

    void arm(const QPoint& at) {
        point = at;
        armed = true;
    }
    bool hasMovedFarEnough(const QPoint& now) const;
};

} // namespace views
