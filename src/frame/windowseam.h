#pragma once

#include "archivewindow.h"

#include <QMessageBox>
#include <QObject>
#include <QString>
#include <QStringList>
#include <deque>
#include <functional>
#include <optional>
#include <string>

class QWidget;

namespace frame {

class CMainFrame;

// The message box icon that shows a box's icon.
QMessageBox::Icon qtIcon(archive::MessageIcon icon);

// How message boxes and file dialogs are answered.
enum class SeamMode {
    Interactive, // real dialogs
    Screenshot,  // no dialog: each box gets its default button, and is printed on standard error
    Script,      // no dialog: answers come from the script's queue, every box is printed
};

// While a tool job runs, the user's input reaches only windows of their own (the progress dialog,
// a message box, the help): a key, a shortcut or a click meant for the main window or one of its
// menus is dropped, so that nothing handled during the wait starts a second job.
class JobInputFilter : public QObject {
public:
    explicit JobInputFilter(QWidget* mainWindow);
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QWidget* m_mainWindow;
};

// The one place where the program meets its user through modal windows: message boxes and the
// Open and New file dialogs, plus the status bar, the wait cursor and the main window's state as
// the archive engine uses them. Exists before the main frame (the start-up shows boxes before
// there is a window) and forwards to the frame once it is attached. In the headless modes no
// modal window ever opens, so tests and screenshots never block.
class WindowSeam : public archive::ArchiveWindow {
public:
    explicit WindowSeam(SeamMode mode = SeamMode::Interactive);

    void attachFrame(CMainFrame* frame) { m_frame = frame; }
    SeamMode mode() const { return m_mode; }

    // Script mode: the answers of the next boxes and file dialogs, in order. A box's answer is the
    // text of one of its buttons ("OK", "Cancel", "Replace", ...), matched without regard to case.
    void queueAnswer(archive::MessageAnswer answer) {
        m_answers.push_back(answer == archive::MessageAnswer::Ok ? "OK" : "Cancel");
    }
    void queueAnswer(const QString& buttonText) { m_answers.push_back(buttonText); }
    void queueFile(std::optional<std::string> windowsPath) { m_files.push_back(std::move(windowsPath)); }
    // Script mode: what the next password fields are filled with, in order (one per field; none:
    // Cancel).
    void queuePassword(std::optional<std::string> password) { m_passwords.push_back(std::move(password)); }
    // Where the printed lines go (standard error unless set).
    void setLogger(std::function<void(const QString&)> logger) { m_logger = std::move(logger); }
    int unexpectedBoxes() const { return m_unexpected; }

    archive::MessageAnswer showMessage(const std::string& text, const std::string& caption,
                                       archive::MessageIcon icon, archive::MessageButtons buttons) override;
    size_t askQuestion(const std::string& text, const std::string& caption,
                       const std::vector<std::string>& buttons) override;
    void showReport(const std::string& text, const std::string& caption, archive::MessageIcon icon,
                    const std::vector<std::string>& lines) override;
    void setStatusText(const std::string& text) override;
    std::string statusText() const override;
    void beginWaitCursor() override;
    void endWaitCursor() override;
    bool processOnePendingMessage() override;
    void setMainWindowEnabled(bool enabled) override;
    void focusMainWindow() override;
    void repaintMainFrame() override;
    void rebuildArchiveViews() override;
    std::unique_ptr<archive::ProgressDialog> createProgressDialog(const std::string& title) override;
    std::optional<std::string> chooseArchiveFile(const archive::FileDialogRequest& request) override;
    archive::JobRequest processEventsDuringJob() override;
    void closeMainWindowLater() override;
    std::optional<archive::PasswordAnswer> askPassword(const archive::PasswordRequest& request) override;

    // The last box that ended in a list, as it was shown or printed.
    struct Report {
        archive::MessageIcon icon = archive::MessageIcon::Information;
        std::string caption;
        std::string text;
        std::vector<std::string> lines;
    };
    const std::optional<Report>& lastReport() const { return m_lastReport; }

    // A close request that came while a job ran: the job's wait asks the user about it.
    void putOffCloseDuringJob() { m_closeRequested = true; }

private:
    void log(const QString& line);
    // Script mode: the queued answer for a box with these buttons, as the index of the button it
    // names; nothing (and counted as unexpected, with note set) when none is queued or the one
    // queued names none of them.
    std::optional<size_t> takeAnswer(const QStringList& buttons, QString& note);

    SeamMode m_mode;
    CMainFrame* m_frame = nullptr;
    std::deque<QString> m_answers;
    std::deque<std::optional<std::string>> m_files;
    std::deque<std::optional<std::string>> m_passwords;
    std::function<void(const QString&)> m_logger;
    std::optional<Report> m_lastReport;
    int m_waitDepth = 0;
    int m_unexpected = 0;
    bool m_closeRequested = false;
};

} // namespace frame
