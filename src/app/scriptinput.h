#pragma once

#include <QPoint>
#include <QString>
#include <Qt>

class QWidget;

namespace app {

// The mouse and the keyboard of a script, delivered through Qt's own event delivery as the
// window system would deliver them: application event filters see every event, a press gives
// the focus as a click does, and a key press tries the shortcuts before the widget sees it.
class ScriptInput {
public:
    // The left button at pos (widget coordinates): down, moved with the button held, up.
    void pressMouse(QWidget* widget, const QPoint& pos);
    void moveMouse(QWidget* widget, const QPoint& pos);
    void releaseMouse(QWidget* widget, const QPoint& pos);
    void clickMouse(QWidget* widget, const QPoint& pos);
    // The buttons a script holds down: a script has one mouse, whichever input pressed them.
    static Qt::MouseButtons heldButtons();

    // One key pressed and released with its modifiers held, as the focused widget gets it.
    static void pressKey(QWidget* widget, Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    // Each character typed in turn.
    static void typeText(QWidget* widget, const QString& text);

private:
    void sendMouse(QWidget* widget, int type, const QPoint& pos);
};

} // namespace app
