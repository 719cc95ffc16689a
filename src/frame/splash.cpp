#include "splash.h"

#include "dialogunits.h"
#include "texts.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QScreen>
#include <algorithm>

namespace frame {

namespace {

constexpr int kTextPixelHeight = 20;

} // namespace

SplashWindow::SplashWindow() : QWidget(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setWindowTitle(QString::fromUtf8(res::kSplashCaption));

    const DialogUnits units(fontMetrics());
    m_text = new QLabel(QString::fromUtf8(res::kSplashText), this);
    QFont font = m_text->font();
    font.setPixelSize(kTextPixelHeight);
    font.setBold(true);
    m_text->setFont(font);
    m_text->setAlignment(Qt::AlignCenter);

    // The text box of the window's classic layout, widened when the bold line would not fit.
    const int margin = units.x(4);
    const int textWidth = std::max(units.x(242), m_text->sizeHint().width() + 2 * margin);
    const int textHeight = std::max(units.y(21), m_text->sizeHint().height());
    m_text->setGeometry(margin, units.y(13), textWidth, textHeight);
    setFixedSize(textWidth + 2 * margin, std::max(units.y(42), units.y(13) + textHeight + units.y(8)));
    centreOnScreen();
}

void SplashWindow::showNow() {
    show();
    raise();
    // Paint now: the start-up that follows keeps the thread busy until the main window shows.
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}

QString SplashWindow::text() const {
    return m_text->text();
}

void SplashWindow::centreOnScreen() {
    QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) {
        return;
    }
    QRect placed(QPoint(0, 0), size());
    placed.moveCenter(screen->availableGeometry().center());
    setGeometry(placed);
}

void SplashWindow::closeEvent(QCloseEvent* event) {
    // Only the start-up ends the splash; a close request from the desktop is refused.
    if (event->spontaneous()) {
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void SplashWindow::keyPressEvent(QKeyEvent* event) {
    event->accept();
}

} // namespace frame
