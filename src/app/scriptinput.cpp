#include "scriptinput.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>

namespace app {

namespace {

Qt::MouseButtons heldByScript = Qt::NoButton;

// Qt gives the focus on a press only for events that come from the window system: a click on a
// pane's client area focuses the pane (the first widget up from it that takes click focus).
void giveClickFocus(QWidget* widget, QPoint pos) {
    for (QWidget* candidate = widget; candidate != nullptr; candidate = candidate->parentWidget()) {
        QWidget* proxy = candidate;
        while (proxy->focusProxy() != nullptr) {
            proxy = proxy->focusProxy();
        }
        const bool takesClick = (candidate->focusPolicy() & Qt::ClickFocus) == Qt::ClickFocus &&
                                (proxy->focusPolicy() & Qt::ClickFocus) == Qt::ClickFocus;
        if (candidate->isEnabled() && candidate->rect().contains(pos) && takesClick) {
            candidate->setFocus(Qt::MouseFocusReason);
            return;
        }
        if (candidate->isWindow() || proxy->hasFocus()) {
            return;
        }
        pos += candidate->pos();
    }
}

// The text a key gives without Ctrl, Alt or Meta, as the keyboard's own layout would: letters in
// lower case, the other printable keys as themselves, and the control characters of Tab, Enter,
// Backspace and Escape.
QString keyText(Qt::Key key, Qt::KeyboardModifiers modifiers) {
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) {
        return {};
    }
    if (key >= Qt::Key_A && key <= Qt::Key_Z) {
        const char letter = static_cast<char>('a' + (key - Qt::Key_A));
        return QString(QChar::fromLatin1(modifiers & Qt::ShiftModifier ? letter - 'a' + 'A' : letter));
    }
    if (key >= Qt::Key_Space && key <= Qt::Key_AsciiTilde) {
        return QString(QChar::fromLatin1(static_cast<char>(key)));
    }
    switch (key) {
    case Qt::Key_Tab:
        return QStringLiteral("\t");
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QStringLiteral("\r");
    case Qt::Key_Backspace:
        return QStringLiteral("\b");
    case Qt::Key_Escape:
        return QStringLiteral("\x1b");
    default:
        return {};
    }
}

// Sends a key press (the shortcuts are tried first: Qt does so for a press it did not get from
// the window system) and, unless the press closed the widget, its release.
void sendKey(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers, const QString& text) {
    QPointer<QWidget> receiver(widget);
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(widget, &press);
    if (receiver != nullptr) {
        QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
        QApplication::sendEvent(receiver, &release);
    }
}

} // namespace

void ScriptInput::sendMouse(QWidget* widget, int type, const QPoint& pos) {
    const auto eventType = static_cast<QEvent::Type>(type);
    const Qt::MouseButton button = eventType == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(eventType, QPointF(pos), QPointF(widget->mapTo(widget->window(), pos)),
                      QPointF(widget->mapToGlobal(pos)), button, heldByScript, Qt::NoModifier,
                      QPointingDevice::primaryPointingDevice());
    QApplication::sendEvent(widget, &event);
}

void ScriptInput::pressMouse(QWidget* widget, const QPoint& pos) {
    heldByScript |= Qt::LeftButton;
    giveClickFocus(widget, pos);
    sendMouse(widget, QEvent::MouseButtonPress, pos);
}

void ScriptInput::moveMouse(QWidget* widget, const QPoint& pos) {
    sendMouse(widget, QEvent::MouseMove, pos);
}

void ScriptInput::releaseMouse(QWidget* widget, const QPoint& pos) {
    heldByScript &= ~Qt::LeftButton;
    sendMouse(widget, QEvent::MouseButtonRelease, pos);
}

void ScriptInput::clickMouse(QWidget* widget, const QPoint& pos) {
    QPointer<QWidget> receiver(widget);
    pressMouse(widget, pos);
    if (receiver != nullptr) {
        releaseMouse(receiver, pos);
    }
}

Qt::MouseButtons ScriptInput::heldButtons() {
    return heldByScript;
}

void ScriptInput::pressKey(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers) {
    sendKey(widget, key, modifiers, keyText(key, modifiers));
}

void ScriptInput::typeText(QWidget* widget, const QString& text) {
    QPointer<QWidget> receiver(widget);
    for (const QChar character : text) {
        if (receiver == nullptr) {
            return;
        }
        const char16_t code = character.toUpper().unicode();
        const bool ascii = code >= Qt::Key_Space && code <= Qt::Key_AsciiTilde;
        sendKey(receiver, ascii ? static_cast<Qt::Key>(code) : Qt::Key_unknown, Qt::NoModifier,
                QString(character));
    }
}

} // namespace app
