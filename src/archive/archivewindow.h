#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace archive {

enum class MessageIcon { Stop, Question, Information, Exclamation };
enum class MessageButtons { Ok, OkCancel };
enum class MessageAnswer { Ok, Cancel };
// What the user asked of the window while a long tool job ran.
enum class JobRequest { None, CloseWindow };

// One row of the progress dialog's lists: name, size text, date text.
struct ProgressRow {
    std::string name;
    std::string sizeText;
    std::string dateText;
};

// The progress dialog of an extract, add or delete, as the operation drives it. Created visible,
// with progress 0 and empty lists; destroyed when the operation ends.
class ProgressDialog {
public:
    virtual ~ProgressDialog() = default;
    virtual void setPosition(int percent) = 0;
    virtual void addNowProcessing(const ProgressRow& row) = 0;
    virtual void clearNowProcessing() = 0;
    virtual void addCompleted(const ProgressRow& row) = 0;
    virtual void scrollCompletedToEnd() = 0;
    // The texts after "File Count:" and "File Sizes:".
    virtual void setCountTexts(const std::string& fileCount, const std::string& fileSizes) = 0;
    // Handles every input event waiting for the dialog, then reports whether Cancel has been
    // pressed; when it has, shows "The process has been cancelled by the user." first.
    virtual bool checkCancelled() = 0;
    // Whether Cancel has been pressed, without handling events or showing anything.
    virtual bool cancelRequested() const = 0;
    // Cancels as the Cancel button does: the next check reports it.
    virtual void requestCancel() = 0;
    // The speed and the time left, beside the counts ("38.2 MB/s, about 12 s left"); "" for none.
    virtual void setRateText(const std::string& text) = 0;
};

// What a file dialog of the Open and New commands is asked for.
struct FileDialogRequest {
    std::string title;
    std::string initialFolder; // "" for the dialog's default
    bool forSaving = false;    // New: a save dialog that confirms overwriting
};

// A password question: a masked field, a second one that must repeat it for a new password, and
// "Show Password".
struct PasswordRequest {
    std::string caption;
    std::string text;
    bool confirm = false;
};
struct PasswordAnswer {
    std::string password;
    std::string confirmation; // the second field, when asked for
};

// Everything the archive engine needs of the window, and nothing more. The window layers
// implement it with the real main frame; tests implement it with a scripted fake that answers
// message boxes from a queue and records every call. The engine never sees a widget.
class ArchiveWindow {
public:
    virtual ~ArchiveWindow() = default;

    // A message box with a fixed text and caption; returns the button the user chose.
    virtual MessageAnswer showMessage(const std::string& text, const std::string& caption, MessageIcon icon,
                                      MessageButtons buttons) = 0;
    // A question with buttons of its own, by their texts (the first is the default, the last
    // cancels); the index of the button chosen, the last one's when the box is closed otherwise.
    virtual size_t askQuestion(const std::string& text, const std::string& caption,
                               const std::vector<std::string>& buttons) = 0;
    // A box whose text is followed by a list of lines the user can scroll through and copy (each
    // failed member of a test). Unless a window shows it its own way, one box with the lines
    // below the text.
    virtual void showReport(const std::string& text, const std::string& caption, MessageIcon icon,
                            const std::vector<std::string>& lines);
    // Status bar pane 0.
    virtual void setStatusText(const std::string& text) = 0;
    virtual std::string statusText() const = 0;
    virtual void beginWaitCursor() = 0;
    virtual void endWaitCursor() = 0;
    // Lets one queued message of the main window run; false when none was waiting.
    virtual bool processOnePendingMessage() = 0;
    virtual void setMainWindowEnabled(bool enabled) = 0;
    virtual void focusMainWindow() = 0;
    // Invalidates and repaints the main frame at once.
    virtual void repaintMainFrame() = 0;
    // Has the archive folder tree rebuild from its root, which refills the archive list; with
    // the archive-just-opened flag set it also labels the root and sets the window title.
    virtual void rebuildArchiveViews() = 0;
    virtual std::unique_ptr<ProgressDialog> createProgressDialog(const std::string& title) = 0;
    // A .zip file dialog; the chosen file's full Windows path, or nothing when cancelled.
    virtual std::optional<std::string> chooseArchiveFile(const FileDialogRequest& request) = 0;
    // Called between the waits of a tool job that runs long: the window repaints and takes the
    // progress dialog's buttons and a request to close it; every other input of the user is
    // dropped, so nothing can start a second job. Reports a close request made meanwhile, which
    // the window has put off.
    virtual JobRequest processEventsDuringJob() = 0;
    // The user stopped a job to close the window: it closes once the step running now is over.
    virtual void closeMainWindowLater() = 0;
    // Asks for a password; nothing when the user cancelled. A window that cannot ask cancels.
    virtual std::optional<PasswordAnswer> askPassword(const PasswordRequest& request) {
        (void)request;
        return std::nullopt;
    }
};

// Lets the messages waiting for the main window run before a long step blocks the thread (a
// status text just set gets painted), then restores the wait cursor.
void PumpPendingMessages(ArchiveWindow& window);

// Keeps a wait-cursor period open for as long as it lives, so every way out of a step ends it.
class WaitCursor {
public:
    explicit WaitCursor(ArchiveWindow& window) : m_window(window) { m_window.beginWaitCursor(); }
    ~WaitCursor() { m_window.endWaitCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;

private:
    ArchiveWindow& m_window;
};

// "Stop", "Question", "Information" or "Exclamation", as printed records of message boxes say.
const char* messageIconName(MessageIcon icon);

} // namespace archive
