#include "fakewindow.h"

namespace testsupport {

namespace {

// Records what the operation does to its progress dialog into the window's call list.
class FakeProgressDialog : public archive::ProgressDialog {
public:
    explicit FakeProgressDialog(FakeWindow& window) : m_window(window) {}
    ~FakeProgressDialog() override { m_window.calls.push_back("progress closed"); }

    void setPosition(int percent) override {
        m_window.calls.push_back("position " + std::to_string(percent));
    }
    void addNowProcessing(const archive::ProgressRow& row) override {
        m_window.calls.push_back("now " + row.name + "|" + row.sizeText + "|" + row.dateText);
    }
    void clearNowProcessing() override { m_window.calls.push_back("now cleared"); }
    void addCompleted(const archive::ProgressRow& row) override {
        m_window.calls.push_back("completed " + row.name + "|" + row.sizeText + "|" + row.dateText);
    }
    void scrollCompletedToEnd() override { m_window.calls.push_back("completed scrolled"); }
    void setCountTexts(const std::string& fileCount, const std::string& fileSizes) override {
        m_window.calls.push_back("counts " + fileCount + "|" + fileSizes);
    }
    void setRateText(const std::string& text) override { m_window.calls.push_back("rate " + text); }
    bool checkCancelled() override {
        const int check = ++m_window.checksMade;
        m_window.calls.push_back("check " + std::to_string(check));
        if (m_window.cancelBeforeCheck != 0 && check >= m_window.cancelBeforeCheck) {
            m_window.cancelPressed = true;
        }
        if (m_window.cancelPressed) {
            m_window.showMessage("The process has been cancelled by the user.", "Process Cancelled",
                                 archive::MessageIcon::Stop, archive::MessageButtons::Ok);
            return true;
        }
        return false;
    }

    bool cancelRequested() const override { return m_window.cancelPressed; }
    void requestCancel() override {
        m_window.calls.push_back("cancel requested");
        m_window.cancelPressed = true;
    }

private:
    FakeWindow& m_window;
};

} // namespace

void FakeWindow::repaintMainFrame() {
    calls.push_back("repaint");
}

void FakeWindow::rebuildArchiveViews() {
    calls.push_back("rebuild");
    if (onRebuild) {
        onRebuild();
    }
}

std::unique_ptr<archive::ProgressDialog> FakeWindow::createProgressDialog(const std::string& title) {
    calls.push_back("progress " + title);
    checksMade = 0;
    cancelPressed = false;
    return std::make_unique<FakeProgressDialog>(*this);
}

std::optional<std::string> FakeWindow::chooseArchiveFile(const archive::FileDialogRequest& request) {
    calls.push_back("file dialog " + request.title + "|" + request.initialFolder);
    if (chosenFiles.empty()) {
        return std::nullopt;
    }
    std::optional<std::string> chosen = chosenFiles.front();
    chosenFiles.pop_front();
    return chosen;
}

std::vector<std::string> FakeWindow::callsStartingWith(const std::string& prefix) const {
    std::vector<std::string> result;
    for (const std::string& call : calls) {
        if (call.rfind(prefix, 0) == 0) {
            result.push_back(call);
        }
    }
    return result;
}

archive::MessageAnswer FakeWindow::showMessage(const std::string& text, const std::string& caption,
                                               archive::MessageIcon icon, archive::MessageButtons buttons) {
    calls.push_back(std::string("box ") + archive::messageIconName(icon) + "|" + caption + "|" + text);
    if (buttons == archive::MessageButtons::Ok) {
        return archive::MessageAnswer::Ok;
    }
    if (answers.empty()) {
        calls.push_back("unexpected box answered Cancel");
        return archive::MessageAnswer::Cancel;
    }
    const archive::MessageAnswer answer = answers.front();
    answers.pop_front();
    return answer;
}

size_t FakeWindow::askQuestion(const std::string& text, const std::string& caption,
                               const std::vector<std::string>& buttons) {
    std::string shown;
    for (const std::string& button : buttons) {
        shown += (shown.empty() ? "" : "/") + button;
    }
    calls.push_back("question " + caption + "|" + text + "|" + shown);
    if (!questionAnswers.empty()) {
        const std::string answer = questionAnswers.front();
        questionAnswers.pop_front();
        for (size_t i = 0; i < buttons.size(); ++i) {
            if (buttons[i] == answer) {
                return i;
            }
        }
    }
    calls.push_back("unexpected question answered with its last button");
    return buttons.empty() ? 0 : buttons.size() - 1;
}

void FakeWindow::setStatusText(const std::string& text) {
    status = text;
    calls.push_back("status " + text);
}

archive::JobRequest FakeWindow::processEventsDuringJob() {
    const int call = ++jobEventCalls;
    return onJobEvents ? onJobEvents(call) : archive::JobRequest::None;
}

std::optional<archive::PasswordAnswer> FakeWindow::askPassword(const archive::PasswordRequest& request) {
    calls.push_back("password " + request.caption + "|" + request.text);
    if (passwords.empty()) {
        return std::nullopt;
    }
    std::optional<archive::PasswordAnswer> answer = passwords.front();
    passwords.pop_front();
    return answer;
}

void FakeWindow::closeMainWindowLater() {
    closingLater = true;
    calls.push_back("close later");
}

void FakeWindow::beginWaitCursor() {
    ++waitCursorDepth;
    calls.push_back("wait+");
}

void FakeWindow::endWaitCursor() {
    --waitCursorDepth;
    calls.push_back("wait-");
}

bool FakeWindow::processOnePendingMessage() {
    if (pendingMessages == 0) {
        return false;
    }
    --pendingMessages;
    calls.push_back("message");
    return true;
}

void FakeWindow::setMainWindowEnabled(bool enabled) {
    mainWindowEnabled = enabled;
    calls.push_back(enabled ? "enable 1" : "enable 0");
}

void FakeWindow::focusMainWindow() {
    calls.push_back("focus");
}

std::vector<std::string> FakeWindow::boxes() const {
    std::vector<std::string> result;
    for (const std::string& call : calls) {
        if (call.rfind("box ", 0) == 0) {
            result.push_back(call.substr(4));
        }
    }
    return result;
}

} // namespace testsupport
