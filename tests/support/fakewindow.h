#pragma once

#include "archivewindow.h"

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

// A scripted stand-in for the main window: OK/Cancel boxes take their answers from a queue
// (Cancel, recorded as unexpected, when it is empty) and every call is recorded in order, as one
// readable line each.
class FakeWindow : public archive::ArchiveWindow {
public:
    archive::MessageAnswer showMessage(const std::string& text, const std::string& caption,
                                       archive::MessageIcon icon, archive::MessageButtons buttons) override;
    // Answered from questionAnswers (button texts; none left: the last button, recorded as
    // unexpected), recorded as "question caption|text|button/button/...".
    size_t askQuestion(const std::string& text, const std::string& caption,
                       const std::vector<std::string>& buttons) override;
    void setStatusText(const std::string& text) override;
    std::string statusText() const override { return status; }
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

    std::deque<archive::MessageAnswer> answers;
    std::deque<std::string> questionAnswers;
    // The answers of the password questions, in order; none: Cancel (also when empty).
    std::deque<std::optional<archive::PasswordAnswer>> passwords;
    std::deque<std::optional<std::string>> chosenFiles; // answers of the file dialogs; none: cancelled
    // The progress dialog's Cancel is pressed before this cancellation check (1 = the first check
    // of an operation); 0: never.
    int cancelBeforeCheck = 0;
    int checksMade = 0;
    bool cancelPressed = false; // the progress dialog's Cancel has been pressed
    // Runs at each call of processEventsDuringJob (1 = the first of the program) and says what
    // the user asked meanwhile; it may press Cancel. None when unset.
    std::function<archive::JobRequest(int call)> onJobEvents;
    int jobEventCalls = 0;
    std::string status;              // the status text last set
    bool closingLater = false;       // closeMainWindowLater was called
    std::function<void()> onRebuild; // runs inside rebuildArchiveViews
    int pendingMessages = 0;         // how many queued window messages processOnePendingMessage finds
    std::vector<std::string> calls;  // "box Stop|Pellix|text", "status Ready", "enable 0", ...
    bool mainWindowEnabled = true;
    int waitCursorDepth = 0;

    // The recorded message boxes only, as "Icon|caption|text".
    std::vector<std::string> boxes() const;
    // The recorded calls that begin with prefix.
    std::vector<std::string> callsStartingWith(const std::string& prefix) const;
};

} // namespace testsupport
