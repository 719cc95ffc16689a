#include "transfers.h"

#include "fileservices.h"
#include "formats.h"
#include "hostnames.h"
#include "texts.h"

#include <algorithm>
#include <string_view>

namespace views {

std::string extractFolderOf(const std::string& destinationFolder) {
    if (destinationFolder.size() == 3) {
        return destinationFolder.substr(0, 2) + "/";
    }
    return destinationFolder.empty() ? destinationFolder
                                     : destinationFolder.substr(0, destinationFolder.size() - 1);
}

DropAction dropAction(Role targetRole, int sourceKind) {
    if (targetRole == Role::Archive) {
        // The target does not choose a folder inside the archive: the Zip command adds.
        return DropAction::ZipCommand;
    }
    switch (sourceKind) {
    case archive::kDragLocalList:
        return DropAction::CopyRows;
    case archive::kDragArchiveList:
        return DropAction::ExtractRows;
    case archive::kDragLocalTree:
        return DropAction::CopyFolder;
    case archive::kDragArchiveTree:
        return DropAction::ExtractFolder;
    default:
        return DropAction::Nothing;
    }
}

bool isExtraction(DropAction action) {
    return action == DropAction::ExtractRows || action == DropAction::ExtractFolder;
}

int sourceListRow(int sourceKind) {
    return sourceKind == archive::kDragLocalList ? 0 : 1;
}

RowStep transferStep(bool deleteRequest, int sourceKind, bool add, bool folder) {
    if (!deleteRequest && sourceKind == archive::kDragLocalList) {
        if (add) {
            return folder ? RowStep::AddLocalFolder : RowStep::AddItem;
        }
        return folder ? RowStep::CopyFolder : RowStep::CopyFile;
    }
    if (deleteRequest || (sourceKind == archive::kDragArchiveList && !add)) {
        return folder ? RowStep::AddArchiveFolder : RowStep::AddItem;
    }
    return RowStep::Nothing;
}

bool runsArchiveOperation(bool add, int sourceKind, bool deleteRequest) {
    return add || sourceKind == archive::kDragArchiveList || deleteRequest;
}

std::vector<TransferSource> desktopSources(const platform::DriveMap& drives,
                                           const std::vector<std::string>& paths) {
    std::vector<TransferSource> sources;
    for (const std::string& path : paths) {
        const size_t cut = path.find_last_of('\\');
        if (cut == std::string::npos || cut + 1 == path.size()) {
            continue; // a drive's own folder is no row of a list
        }
        const std::string folder = path.substr(0, cut + 1);
        const std::string name = path.substr(cut + 1);
        platform::Result<std::vector<platform::FindEntry>> found = platform::findFiles(drives, path);
        if (!found.ok() || found->empty()) {
            continue;
        }
        // The search ignores case: of "a.txt" and "A.txt" the one named.
        const platform::FindEntry* entry = &found->front();
        for (const platform::FindEntry& each : *found) {
            if (each.name == name) {
                entry = &each;
            }
        }
        ListRecord record;
        record.name = entry->name;
        record.size = entry->size;
        record.time = entry->lastWriteTime;
        record.attributes = entry->attributes;
        if (sources.empty() || sources.back().folder != folder) {
            sources.push_back(TransferSource{Role::Local, folder, {}});
        }
        sources.back().rows.push_back(std::move(record));
    }
    return sources;
}

TransferSource wholePathSource(const std::vector<TransferSource>& sources) {
    TransferSource whole;
    for (const TransferSource& source : sources) {
        for (ListRecord row : source.rows) {
            row.name = source.folder + row.name;
            whole.rows.push_back(std::move(row));
        }
    }
    return whole;
}

std::string memberPathOf(const std::string& itemName) {
    std::string path = archive::listFileLine(itemName, false);
    for (char& c : path) {
        if (c == '\\') {
            c = '/';
        }
    }
    return path;
}

std::string extractedHostPath(const std::string& hostFolder, const std::string& itemName) {
    std::string path = hostFolder;
    const std::string member = memberPathOf(itemName);
    size_t start = 0;
    while (start <= member.size()) {
        const size_t end = std::min(member.find('/', start), member.size());
        if (end > start) {
            path += "/" + platform::hostNameOfListed(std::string_view(member).substr(start, end - start));
        }
        start = end + 1;
    }
    return path;
}

Transfers::Transfers(archive::ArchiveEngine& engine, archive::ArchiveWindow& window,
                     const platform::DriveMap& drives)
    : m_engine(engine), m_window(window), m_disk(window, drives) {}

bool Transfers::TransferSelection(const std::string& destinationFolder, bool add,
                                  const TransferSource& source) {
    archive::ArchiveState& state = m_engine.state();
    const std::int32_t kind = m_engine.dragState().sourceKind;
    if (!destinationFolder.empty()) {
        state.extractDestination = extractFolderOf(destinationFolder);
    }
    bool failed = false;
    for (const ListRecord& row : source.rows) {
        const std::string itemSource = source.folder + row.name;
        const std::string itemDestination = destinationFolder + row.name;
        switch (transferStep(state.deleteRequest, kind, add, row.isFolder())) {
        case RowStep::AddItem:
            m_engine.AddOperationItem(itemSource, row.size, dateText(row));
            break;
        case RowStep::AddLocalFolder:
            if (!AddFolderFiles(itemSource)) {
                return false; // named in its message; nothing is added
            }
            break;
        case RowStep::AddArchiveFolder:
            m_engine.AddArchiveFolderItems(itemSource);
            break;
        case RowStep::CopyFile:
            failed = !m_disk.CopyOneFile(itemSource, itemDestination);
            break;
        case RowStep::CopyFolder:
            failed = !m_disk.ReplaceFolderTree(itemSource, itemDestination);
            break;
        case RowStep::Nothing:
            break;
        }
        if (failed) {
            break; // the step said what went wrong; what was done stays done
        }
        if (state.cancelled) {
            return true;
        }
    }
    if (runsArchiveOperation(add, kind, state.deleteRequest)) {
        m_engine.RunArchiveOperation(add);
    }
    return !failed;
}

void Transfers::TransferToFolderRow(Role targetRole, const std::string& destinationFolder,
                                    const TransferSource& source) {
    const archive::ArchiveState& state = m_engine.state();
    const std::int32_t kind = m_engine.dragState().sourceKind;
    const bool localTarget = targetRole == Role::Local;
    const bool bothLocal = localTarget && source.role == Role::Local;
    for (const ListRecord& row : source.rows) {
        if (!row.isFolder() || state.deleteRequest || (localTarget && kind != archive::kDragLocalList)) {
            // This handles every selected row again, from the first.
            TransferSelection(destinationFolder, false, source);
            return;
        }
        if (bothLocal && !m_disk.ReplaceFolderTree(source.folder + row.name, destinationFolder + row.name)) {
            return;
        }
    }
}

bool Transfers::AddFolderFiles(const std::string& folder) {
    platform::Result<std::vector<platform::FindEntry>> found =
        platform::findFiles(m_disk.drives(), folder + "\\*.*");
    if (!found.ok()) {
        const std::string_view pattern = res::kFolderUnreadable;
        const size_t at = pattern.find("%1");
        std::string text(pattern.substr(0, at));
        text += folder;
        text += pattern.substr(at + 2);
        m_window.showMessage(text, res::kFolderUnreadableCaption, archive::MessageIcon::Stop,
                             archive::MessageButtons::Ok);
        return false;
    }
    for (const platform::FindEntry& entry : *found) {
        if (entry.name == "." || entry.name == "..") {
            continue;
        }
        const std::string path = folder + "\\" + entry.name;
        const bool link = (entry.attributes & platform::kAttrReparsePoint) != 0;
        const bool subFolder = (entry.attributes & platform::kAttrDirectory) != 0;
        if (subFolder && !link) {
            if (!AddFolderFiles(path)) {
                return false;
            }
        } else if (!subFolder) {
            // A link to a file adds the file it names; a link to a folder is not followed, as
            // one pointing back up would never end.
            m_engine.AddOperationItem(path, entry.size, archive::FormatDateText(entry.lastWriteTime));
        }
    }
    return true;
}

void Transfers::transferDraggedFolder(const std::string& destinationFolder) {
    const archive::DragState& drag = m_engine.dragState();
    if (drag.sourceKind == archive::kDragArchiveTree) {
        m_engine.state().extractDestination = extractFolderOf(destinationFolder);
        m_engine.AddArchiveFolderItems(drag.draggedFolderPath);
    } else if (drag.sourceKind == archive::kDragLocalTree) {
        (void)m_disk.ReplaceFolderTree(drag.draggedFolderPath, destinationFolder + drag.draggedFolderName);
    }
}

} // namespace views
