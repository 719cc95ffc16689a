#include "archivewindow.h"

namespace archive {

void PumpPendingMessages(ArchiveWindow& window) {
    while (window.processOnePendingMessage()) {
    }
    window.beginWaitCursor();
    window.endWaitCursor();
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
