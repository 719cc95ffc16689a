#include "brenlodoc.h"

#include "pictures.h"

#include <QDesktopServices>
#include <QDrag>
#include <QGuiApplication>
#include <QMimeData>
#include <QUrl>

namespace views {

CBrenloDoc::CBrenloDoc(archive::DragState& drag) : m_drag(drag) {
    for (int index = 0; index < res::kSmallImageCount; ++index) {
        m_smallImages.push_back(res::smallImage(index));
    }
    m_largeImages = {res::largeImage(0), res::largeImage(1)};
    m_desktop.open = [](const QString& hostPath) {
        return QDesktopServices::openUrl(QUrl::fromLocalFile(hostPath));
    };
    m_desktop.drag = [](QWidget* source, QMimeData* data) {
        // Once it runs, the drag is Qt's: on X11 the target asks for the data only after the drop,
        // when exec has returned, and Qt deletes the drag itself once that is over. A drag deleted
        // as exec returns leaves the target's request unanswered.
        auto* desktopDrag = new QDrag(source);
        desktopDrag->setMimeData(data);
        desktopDrag->exec(Qt::CopyAction);
    };
    m_desktop.buttonHeld = [] { return QGuiApplication::mouseButtons().testFlag(Qt::LeftButton); };
}

} // namespace views
