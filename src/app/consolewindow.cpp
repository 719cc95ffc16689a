#include "consolewindow.h"

#include <cstdio>

namespace app {

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
