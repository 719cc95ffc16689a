#include "archivewindow.h"

namespace archive {

void PumpPendingMessages(ArchiveWindow& window) {
    while (window.processOnePendingMessage()) {
    }
    window.beginWaitCursor();
    window.endWaitCursor();
}

} // namespace archive
