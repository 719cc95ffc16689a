#pragma once

#include <QObject>
#include <QPointer>

class QAbstractScrollArea;
class QWidget;

namespace views {
class CBrenloDoc;
class ViewHost;
} // namespace views

namespace frame {

// Routes the mouse while a drag passes between the four panes. Qt keeps sending moves to the
// widget that got the press for as long as the button is held, but a drag goes from pane to pane:
// during a drag every move goes to the pane that holds the mouse, else to the pane under the
// pointer, and so does the release. A move or release over no pane (a splitter bar, the toolbar)
// reaches no pane, so a release there leaves the drag pending.
class DragRouter : public QObject {
    Q_OBJECT
public:
    // Watches the mouse in window, whose panes host names; installs itself on the application.
    DragRouter(views::ViewHost& host, QWidget* window);
    ~DragRouter() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The client area (viewport) of the pane that holds the mouse, else of the pane under the
    // pointer; null for none.
    QWidget* clientFor(const QPoint& globalPoint) const;

    views::CBrenloDoc& m_document;
    QPointer<QWidget> m_window;
    QPointer<QAbstractScrollArea> m_panes[4];
    bool m_delivering = false;
};

} // namespace frame
