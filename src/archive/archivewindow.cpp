#include "archivewindow.h"

namespace archive {

void PumpPendingMessages(ArchiveWindow& window) {
    while (window.processOnePendingMessage()) {
    }
    window.beginWaitCursor();
    window.endWaitCursor();
}

void ArchiveWindow::showReport(const std::string& text, const std::string& caption, MessageIcon icon,
                               const std::vector<std::string>& lines) {
    std::string all = text;
    for (const std::string& line : lines) {
        all += "\n" + line;
    }
    (void)showMessage(all, caption, icon, MessageButtons::Ok);
}

const char* messageIconName(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Stop:
        return "Stop";
    case MessageIcon::Question:
        return "Question";
    case MessageIcon::Information:
        return "Information";
    case MessageIcon::Exclamation:
        return "Exclamation";
    }
    return "?";
}

} // namespace archive
