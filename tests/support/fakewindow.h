#pragma once

#include "archivewindow.h"

#include <deque>
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
    void setStatusText(const std::string& text) override;
    void beginWaitCursor() override;
    void endWaitCursor() override;
    bool processOnePendingMessage() override;
    void setMainWindowEnabled(bool enabled) override;
    void focusMainWindow() override;

    std::deque<archive::MessageAnswer> answers;
    int pendingMessages = 0;        // how many queued window messages processOnePendingMessage finds
    std::vector<std::string> calls; // "box Stop|Pellix|text", "status Ready", "enable 0", ...
    bool mainWindowEnabled = true;
    int waitCursorDepth = 0;

    // The recorded message boxes only, as "Icon|caption|text".
    std::vector<std::string> boxes() const;
};

} // namespace testsupport
