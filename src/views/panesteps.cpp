#include "panesteps.h"

#include "archiveengine.h"
#include "brenlodoc.h"
#include "fileservices.h"
#include "formats.h"
#include "listrules.h"
#include "mylistview.h"
#include "texts.h"
#include "transfers.h"
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

// The folder the copies of the open archive's members go to for one use (a drag, an opened file):
// one per archive and use, made at its first extraction and used again after, so that a member
// handed over again replaces or reuses its copy instead of piling up copies.
std::string copiesFolderFor(ViewHost& host, CopiesUse use) {
    // An archive changed since (a member deleted, say) gets a folder of its own, so that no copy
    // of a member it no longer holds is handed over with a folder.
    const std::string& archive = host.engine().state().archivePath;
    platform::Result<std::vector<platform::FindEntry>> archiveFile =
        platform::findFiles(host.drives(), archive);
    std::string key = archive + (use == CopiesUse::Drag ? "|drag" : "|open");
    if (archiveFile.ok() && !archiveFile->empty()) {
        key += "|" + std::to_string(archiveFile->front().size) + "|" +
               std::to_string(archiveFile->front().lastWriteTime);
    }
    std::map<std::string, std::string>& known = host.document().copiesFolders();
    if (const auto found = known.find(key); found != known.end() &&
                                            found->second.rfind(host.scratchDir(), 0) == 0 &&
                                            platform::pathExists(host.drives(), found->second)) {
        return found->second;
    }
    const std::string parent = host.scratchDir() + "copies";
    (void)platform::createFolder(host.drives(), parent);
    for (size_t number = known.size() + 1;; ++number) {
        const std::string folder = parent + "\\" + std::to_string(number);
        if (platform::createFolder(host.drives(), folder).ok()) {
            known[key] = folder;
            return folder;
        }
        platform::Result<std::vector<platform::FindEntry>> found = platform::findFiles(host.drives(), folder);
        if (!found.ok() || found->empty()) {
            return {}; // cannot be made, and not because it is there already
        }
    }
}

QString hostPathOf(ViewHost& host, const std::string& windowsPath) {
    platform::Result<std::string> path = host.drives().toHost(windowsPath);
    return path.ok() ? QString::fromStdString(*path) : QString();
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

void addFromDesktop(ViewHost& host, const std::vector<std::string>& paths) {
    const TransferSource source = wholePathSource(desktopSources(host.drives(), paths));
    archive::ArchiveEngine& engine = host.engine();
    if (source.rows.empty() || !engine.beginZipCommand()) {
        return;
    }
    host.document().drag().sourceKind = archive::kDragLocalList;
    Transfers(engine, host.window(), host.drives()).TransferSelection(std::string(), true, source);
    engine.endZipCommand();
}

bool copyFromDesktop(ViewHost& host, const std::string& folder, const std::vector<std::string>& paths) {
    const std::vector<TransferSource> sources = desktopSources(host.drives(), paths);
    if (sources.empty()) {
        return false;
    }
    return runConfirmedTransfer(host, false, [&] {
        host.document().drag().sourceKind = archive::kDragLocalList;
        Transfers transfers(host.engine(), host.window(), host.drives());
        for (const TransferSource& source : sources) {
            if (!transfers.TransferSelection(folder, false, source)) {
                break; // the failed step said why
            }
        }
    });
}

std::optional<std::string> extractCopies(ViewHost& host, CopiesUse use,
                                         const std::function<void()>& collect) {
    archive::ArchiveEngine& engine = host.engine();
    const std::string folder = copiesFolderFor(host, use);
    if (folder.empty()) {
        return std::nullopt;
    }
    startCollection(engine);
    // Collected as from the archive list: a folder's members are gathered, not extracted at once.
    archive::DragState& drag = host.document().drag();
    const std::int32_t kind = drag.sourceKind;
    drag.sourceKind = archive::kDragArchiveList;
    collect();
    drag.sourceKind = kind;
    if (engine.state().operationItems.empty() || !engine.extractCopies(extractFolderOf(folder + "\\"))) {
        return std::nullopt;
    }
    platform::Result<std::string> hostFolder = host.drives().toHost(folder);
    if (!hostFolder.ok()) {
        return std::nullopt;
    }
    return *hostFolder;
}

QStringList desktopDragPaths(ViewHost& host) {
    const archive::DragState& drag = host.document().drag();
    QStringList paths;
    switch (drag.sourceKind) {
    case archive::kDragLocalList:
    case archive::kDragArchiveList: {
        CMyListView* list = host.listAt(drag.sourceKind == archive::kDragLocalList ? 0 : 1);
        if (list == nullptr) {
            return {};
        }
        const TransferSource source = list->selectionSource();
        if (source.role == Role::Local) {
            for (const ListRecord& row : source.rows) {
                paths.push_back(hostPathOf(host, source.folder + row.name));
            }
            break;
        }
        const std::optional<std::string> copies = extractCopies(host, CopiesUse::Drag, [&] {
            for (const ListRecord& row : source.rows) {
                const std::string name = source.folder + row.name;
                if (row.isFolder()) {
                    host.engine().AddArchiveFolderItems(name);
                } else {
                    host.engine().AddOperationItem(name, row.size, dateText(row));
                }
            }
        });
        if (!copies) {
            return {};
        }
        for (const ListRecord& row : source.rows) {
            paths.push_back(QString::fromStdString(extractedHostPath(*copies, source.folder + row.name)));
        }
        break;
    }
    case archive::kDragLocalTree:
        paths.push_back(hostPathOf(host, drag.draggedFolderPath));
        break;
    case archive::kDragArchiveTree: {
        const std::string folder = drag.draggedFolderPath;
        const std::optional<std::string> copies =
            extractCopies(host, CopiesUse::Drag, [&] { host.engine().AddArchiveFolderItems(folder); });
        if (copies) {
            paths.push_back(QString::fromStdString(extractedHostPath(*copies, folder)));
        }
        break;
    }
    default:
        break;
    }
    paths.removeAll(QString());
    return paths;
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
