#include "dragrouter.h"

#include "brenlodoc.h"
#include "mylistview.h"
#include "mytreeview.h"
#include "viewhost.h"

#include <QApplication>
#include <QMouseEvent>

namespace frame {

DragRouter::DragRouter(views::ViewHost& host, QWidget* window)
    : QObject(window), m_document(host.document()),
      m_window(window), m_panes{host.listAt(0), host.listAt(1), host.treeAt(0), host.treeAt(1)} {
    // A pending drag resumes with the first move over a pane, button held or not; Qt sends moves
    // without a button only to widgets that track the mouse.
    for (const QPointer<QAbstractScrollArea>& pane : m_panes) {
        if (pane != nullptr) {
            pane->viewport()->setMouseTracking(true);
        }
    }
    qApp->installEventFilter(this);
}

DragRouter::~DragRouter() {
    if (qApp != nullptr) {
        qApp->removeEventFilter(this);
    }
}

QWidget* DragRouter::clientFor(const QPoint& globalPoint) const {
    QWidget* holder = m_document.dragTracker().mouseHolder();
    for (const QPointer<QAbstractScrollArea>& pane : m_panes) {
        if (pane != nullptr && pane == holder) {
            return pane->viewport();
        }
    }
    for (const QPointer<QAbstractScrollArea>& pane : m_panes) {
        if (pane == nullptr || !pane->isVisible()) {
            continue;
        }
        QWidget* client = pane->viewport();
        if (client->rect().contains(client->mapFromGlobal(globalPoint))) {
            return client;
        }
    }
    return nullptr;
}

bool DragRouter::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if ((type != QEvent::MouseMove && type != QEvent::MouseButtonRelease) || m_delivering ||
        !watched->isWidgetType() || !views::isDragUnderWay(m_document.drag())) {
        return false;
    }
    auto* widget = static_cast<QWidget*>(watched);
    const auto* mouse = static_cast<const QMouseEvent*>(event);
    if (m_window == nullptr || widget->window() != m_window ||
        (type == QEvent::MouseButtonRelease && mouse->button() != Qt::LeftButton)) {
        return false;
    }
    const QPoint global = mouse->globalPosition().toPoint();
    if (QWidget* client = clientFor(global)) {
        QMouseEvent routed(type, QPointF(client->mapFromGlobal(global)),
                           QPointF(m_window->mapFromGlobal(global)), mouse->globalPosition(), mouse->button(),
                           mouse->buttons(), mouse->modifiers(), mouse->pointingDevice());
        // A drop run by the release may open a message box with its own event loop; the guard
        // lets that box's mouse through untouched.
        const bool wasDelivering = m_delivering;
        m_delivering = true;
        QCoreApplication::sendEvent(client, &routed);
        m_delivering = wasDelivering;
    }
    return true;
}

} // namespace frame
