#pragma once

#include <QWidget>

class QLabel;

namespace frame {

// The window shown while the program starts, until the main window is ready: one line in large
// bold type, centred on the screen, with no buttons. It reacts to nothing; the start-up
// destroys it.
class SplashWindow : public QWidget {
    Q_OBJECT
public:
    SplashWindow();

    // Shows the window and lets it paint before the start-up goes on blocking the thread.
    void showNow();
    QString text() const;
    const QLabel* textLabel() const { return m_text; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void centreOnScreen();

    QLabel* m_text = nullptr;
};

} // namespace frame
