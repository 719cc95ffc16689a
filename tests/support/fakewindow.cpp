#include "fakewindow.h"

namespace testsupport {

namespace {

const char* iconName(archive::MessageIcon icon) {
    switch (icon) {
    case archive::MessageIcon::Stop:
        return "Stop";
    case archive::MessageIcon::Question:
        return "Question";
    case archive::MessageIcon::Information:
        return "Information";
    case archive::MessageIcon::Exclamation:
        return "Exclamation";
    }
    return "?";
}

} // namespace

archive::MessageAnswer FakeWindow::showMessage(const std::string& text, const std::string& caption,
                                               archive::MessageIcon icon, archive::MessageButtons buttons) {
    calls.push_back(std::string("box ") + iconName(icon) + "|" + caption + "|" + text);
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

void FakeWindow::setStatusText(const std::string& text) {
    calls.push_back("status " + text);
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
