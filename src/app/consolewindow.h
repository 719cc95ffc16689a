#pragma once

#include "archivewindow.h"

namespace app {

// The window seam for runs without a window: every message box is printed as one line on
// standard error ("Pellix: [Stop] caption: text -> OK") and answered with its default button.
class ConsoleWindow : public archive::ArchiveWindow {
public:
    archive::MessageAnswer showMessage(const std::string& text, const std::string& caption,
                                       archive::MessageIcon icon, archive::MessageButtons buttons) override;
    void setStatusText(const std::string&) override {}
    void beginWaitCursor() override {}
    void endWaitCursor() override {}
    bool processOnePendingMessage() override { return false; }
    void setMainWindowEnabled(bool) override {}
    void focusMainWindow() override {}
    void repaintMainFrame() override {}
    void rebuildArchiveViews() override {}
    std::unique_ptr<archive::ProgressDialog> createProgressDialog(const std::string& title) override;
    std::optional<std::string> chooseArchiveFile(const archive::FileDialogRequest&) override {
        return std::nullopt;
    }
};

} // namespace app
