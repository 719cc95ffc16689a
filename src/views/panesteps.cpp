#include "panesteps.h"

#include "archiveengine.h"
#include "texts.h"
#include "viewhost.h"

#include <QString>

namespace views {

namespace {

void showStatus(ViewHost& host, const char* text) {
    host.setStatusPaneText(0, QString::fromUtf8(text));
}

bool confirmed(archive::ArchiveWindow& window, const char* text, const char* caption) {
    return window.showMessage(text, caption, archive::MessageIcon::Question,
                              archive::MessageButtons::OkCancel) == archive::MessageAnswer::Ok;
}

// Every collection starts afresh: nothing cancelled, no items left from the last one.
void startCollection(archive::ArchiveEngine& engine) {
    engine.state().cancelled = false;
    engine.clearOperationItems();
}

} // namespace

bool runConfirmedTransfer(ViewHost& host, bool extraction, const std::function<void()>& body) {
    archive::ArchiveWindow& window = host.window();
    archive::ArchiveEngine& engine = host.engine();
    if (extraction) {
        engine.state().deleteRequest = false;
    }
    const bool ok = extraction ? confirmed(window, res::kConfirmUnzip, res::kConfirmUnzipCaption)
                               : confirmed(window, res::kConfirmCopy, res::kConfirmCopyCaption);
    if (!ok) {
        return false;
    }
    showStatus(host, extraction ? res::kUnzippingStatus : res::kCopyingStatus);
    archive::PumpPendingMessages(window);
    startCollection(engine);
    archive::WaitCursor wait(window);
    body();
    showStatus(host, res::kReady);
    return true;
}

void runConfirmedDelete(ViewHost& host, const char* statusText, const std::function<void()>& body) {
    archive::ArchiveWindow& window = host.window();
    if (!confirmed(window, res::kConfirmDelete, res::kConfirmDeleteCaption)) {
        return;
    }
    archive::WaitCursor wait(window);
    showStatus(host, statusText);
    archive::PumpPendingMessages(window);
    startCollection(host.engine());
    body();
    showStatus(host, res::kReady);
}

void deleteFromArchive(archive::ArchiveEngine& engine, const std::function<void()>& body) {
    engine.state().deleteRequest = true;
    body();
    engine.state().deleteRequest = false;
}

void finishRename(ViewHost& host, const char* statusText, const std::function<bool()>& rename,
                  const std::function<void()>& renamed, const std::function<void()>& reopen) {
    archive::ArchiveWindow& window = host.window();
    archive::WaitCursor wait(window);
    showStatus(host, statusText);
    archive::PumpPendingMessages(window);
    const bool done = rename();
    showStatus(host, res::kReady);
    if (done) {
        renamed();
        return;
    }
    window.showMessage(res::kRenameFailed, res::kRenameFailedCaption, archive::MessageIcon::Stop,
                       archive::MessageButtons::Ok);
    reopen();
}

} // namespace views
