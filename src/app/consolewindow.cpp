#include "consolewindow.h"

#include <cstdio>

namespace app {

namespace {

// Progress without a window: the title once, then nothing; never cancelled.
class ConsoleProgress : public archive::ProgressDialog {
public:
    void setPosition(int) override {}
    void addNowProcessing(const archive::ProgressRow&) override {}
    void clearNowProcessing() override {}
    void addCompleted(const archive::ProgressRow&) override {}
    void scrollCompletedToEnd() override {}
    void setCountTexts(const std::string&, const std::string&) override {}
    bool checkCancelled() override { return false; }
};

} // namespace

std::unique_ptr<archive::ProgressDialog> ConsoleWindow::createProgressDialog(const std::string& title) {
    std::fprintf(stderr, "Pellix: %s\n", title.c_str());
    return std::make_unique<ConsoleProgress>();
}

archive::MessageAnswer ConsoleWindow::showMessage(const std::string& text, const std::string& caption,
                                                  archive::MessageIcon icon, archive::MessageButtons) {
    const char* iconName = icon == archive::MessageIcon::Stop          ? "Stop"
                           : icon == archive::MessageIcon::Question    ? "Question"
                           : icon == archive::MessageIcon::Exclamation ? "Exclamation"
                                                                       : "Information";
    std::fprintf(stderr, "Pellix: [%s] %s: %s -> OK\n", iconName, caption.c_str(), text.c_str());
    return archive::MessageAnswer::Ok;
}

} // namespace app
