#include "operationchecks.h"

#include "archiveengine.h"
#include "formats.h"
#include "questions.h"

#include <cerrno>
#include <sys/stat.h>
#include <unordered_map>

namespace archive {

namespace {

// text with %1, %2, ... replaced by the arguments in order.
std::string fillIn(std::string text, const std::vector<std::string>& arguments) {
    for (size_t i = arguments.size(); i-- > 0;) {
        const std::string mark = "%" + std::to_string(i + 1);
        for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
            text.replace(at, mark.size(), arguments[i]);
            at += arguments[i].size();
        }
    }
    return text;
}

// The first few lines, one a line, and the note saying how many more there are.
struct NamedLines {
    std::string lines;
    std::string more;
};

NamedLines nameFirstFew(const std::vector<std::string>& lines) {
    NamedLines named;
    for (size_t i = 0; i < lines.size() && i < static_cast<size_t>(res::kNamedAtMost); ++i) {
        named.lines += (i == 0 ? "" : "\n") + lines[i];
    }
    if (lines.size() > static_cast<size_t>(res::kNamedAtMost)) {
        named.more = fillIn(res::kMoreLine, {std::to_string(lines.size() - res::kNamedAtMost)});
    }
    return named;
}

// A member's path as the archiver looks it up: "\" and "/" alike, leading separators ignored.
std::vector<std::string> memberParts(const std::string& itemName) {
    const std::string line = listFileLine(itemName, false);
    std::vector<std::string> parts;
    std::string part;
    for (char c : line + "/") {
        if (c == '/' || c == '\\') {
            if (!part.empty()) {
                parts.push_back(part);
            }
            part.clear();
        } else {
            part += c;
        }
    }
    return parts;
}

std::string joined(const std::vector<std::string>& parts, size_t count, char separator) {
    std::string path;
    for (size_t i = 0; i < count; ++i) {
        path += (i == 0 ? "" : std::string(1, separator)) + parts[i];
    }
    return path;
}

enum class DiskKind { Missing, Folder, Other };

// What the destination holds at a path, each folder of a path looked at once.
class DiskLook {
public:
    DiskKind kindOf(const std::string& path, struct stat* info = nullptr) {
        if (info == nullptr) {
            if (const auto known = m_folders.find(path); known != m_folders.end()) {
                return known->second;
            }
        }
        struct stat found {};
        DiskKind kind = DiskKind::Missing;
        if (::lstat(path.c_str(), &found) == 0) {
            kind = S_ISDIR(found.st_mode) ? DiskKind::Folder : DiskKind::Other;
        } else if (errno != ENOENT && errno != ENOTDIR) {
            kind = DiskKind::Other; // there, but unreadable: not taken for missing
        }
        if (info != nullptr) {
            *info = found;
        } else {
            m_folders[path] = kind;
        }
        return kind;
    }

private:
    std::unordered_map<std::string, DiskKind> m_folders;
};

std::string destinationShown(std::string destination) {
    // A drive root is handed over as "C:/".
    if (destination.size() == 3 && destination[1] == ':' && destination[2] == '/') {
        destination[2] = '\\';
    }
    return destination;
}

// Keeps the items whose checks pass keep, in order.
template <class Keep>
void keepItems(std::vector<OperationItem>& items, const std::vector<ExtractCheck>& checks, Keep keep) {
    std::vector<OperationItem> kept;
    kept.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        if (keep(checks[i])) {
            kept.push_back(std::move(items[i]));
        }
    }
    items = std::move(kept);
}

bool isBlocked(const ExtractCheck& check) {
    return check.effect == ExtractEffect::FolderInTheWay || check.effect == ExtractEffect::FileInTheWay;
}

std::string storedNameOf(const std::string& localPath) {
    const size_t cut = localPath.rfind('\\');
    return cut == std::string::npos ? localPath : localPath.substr(cut + 1);
}

} // namespace

std::vector<ExtractCheck> checkExtraction(const std::vector<OperationItem>& items,
                                          const std::vector<ArchiveEntry>& entries,
                                          const std::string& hostDestination, bool keepFolders) {
    std::unordered_map<std::string, const ArchiveEntry*> byPath;
    byPath.reserve(entries.size());
    for (const ArchiveEntry& entry : entries) {
        byPath.emplace(entry.folder.empty() ? entry.name : entry.folder + "/" + entry.name, &entry);
    }
    const std::string base =
        hostDestination.empty() || hostDestination.back() == '/' ? hostDestination : hostDestination + "/";
    DiskLook disk;
    std::vector<ExtractCheck> checks(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        std::vector<std::string> parts = memberParts(items[i].name);
        const auto member = byPath.find(joined(parts, parts.size(), '/'));
        bool unsafe = parts.empty() || member == byPath.end();
        for (const std::string& part : parts) {
            unsafe = unsafe || part == "." || part == "..";
        }
        if (unsafe) {
            continue; // the archiver refuses it, or finds no such member, and says so
        }
        if (!keepFolders) {
            parts.erase(parts.begin(), parts.end() - 1);
        }
        ExtractCheck& check = checks[i];
        check.placedPath = joined(parts, parts.size(), '\\');
        check.memberSize = member->second->size;
        check.memberTime = member->second->time;
        bool folderMissing = false;
        for (size_t depth = 1; depth < parts.size() && !folderMissing; ++depth) {
            const DiskKind kind = disk.kindOf(base + joined(parts, depth, '/'));
            folderMissing = kind == DiskKind::Missing;
            if (kind == DiskKind::Other) {
                check.effect = ExtractEffect::FileInTheWay;
                check.blockingPath = joined(parts, depth, '\\');
                break;
            }
        }
        if (folderMissing || check.effect != ExtractEffect::New) {
            continue;
        }
        struct stat info {};
        const DiskKind kind = disk.kindOf(base + joined(parts, parts.size(), '/'), &info);
        if (kind == DiskKind::Folder) {
            check.effect = ExtractEffect::FolderInTheWay;
        } else if (kind == DiskKind::Other) {
            check.diskSize = static_cast<std::int64_t>(info.st_size);
            check.diskTime = static_cast<std::int64_t>(info.st_mtime);
            const bool sameTime =
                check.diskTime >= check.memberTime && check.diskTime < check.memberTime + 60;
            check.effect = S_ISREG(info.st_mode) && check.diskSize == check.memberSize && sameTime
                               ? ExtractEffect::Identical
                               : ExtractEffect::Replaces;
        }
    }
    return checks;
}

bool confirmExtraction(ArchiveWindow& window, const platform::DriveMap& drives,
                       std::vector<OperationItem>& items, const std::vector<ArchiveEntry>& entries,
                       const std::string& destination, bool keepFolders) {
    const platform::Result<std::string> host = drives.toHost(destination);
    if (!host.ok()) {
        return true; // the archiver reports a destination it cannot reach
    }
    const std::vector<ExtractCheck> checks = checkExtraction(items, entries, *host, keepFolders);
    std::vector<std::string> replacing;
    std::vector<std::string> blocked;
    for (const ExtractCheck& check : checks) {
        if (check.effect == ExtractEffect::Replaces) {
            replacing.push_back(
                fillIn(res::kReplaceLine,
                       {check.placedPath, FormatDateText(check.diskTime), FormatSizeText(check.diskSize),
                        FormatDateText(check.memberTime), FormatSizeText(check.memberSize)}));
        } else if (check.effect == ExtractEffect::FolderInTheWay) {
            blocked.push_back(fillIn(res::kFolderInTheWay, {check.placedPath}));
        } else if (check.effect == ExtractEffect::FileInTheWay) {
            blocked.push_back(fillIn(res::kFileInTheWay, {check.placedPath, check.blockingPath}));
        }
    }
    bool skipReplacing = false;
    if (!replacing.empty()) {
        const NamedLines named = nameFirstFew(replacing);
        const size_t answer = window.askQuestion(
            fillIn(res::kReplaceQuestion, {FormatSizeText(static_cast<std::int64_t>(replacing.size())),
                                           destinationShown(destination), named.lines, named.more}),
            res::kReplaceQuestionCaption, {res::kReplaceButton, res::kSkipTheseButton, res::kCancelButton});
        if (answer != 0 && answer != 1) {
            return false;
        }
        skipReplacing = answer == 1;
    }
    if (!blocked.empty()) {
        const NamedLines named = nameFirstFew(blocked);
        window.showMessage(fillIn(res::kBlockedMessage, {named.lines, named.more}), res::kBlockedCaption,
                           MessageIcon::Exclamation, MessageButtons::Ok);
    }
    keepItems(items, checks, [skipReplacing](const ExtractCheck& check) {
        return !isBlocked(check) && !(skipReplacing && check.effect == ExtractEffect::Replaces);
    });
    return true;
}

void leaveOutIdenticalCopies(const platform::DriveMap& drives, std::vector<OperationItem>& items,
                             const std::vector<ArchiveEntry>& entries, const std::string& destination) {
    const platform::Result<std::string> host = drives.toHost(destination);
    if (!host.ok()) {
        return;
    }
    const std::vector<ExtractCheck> checks = checkExtraction(items, entries, *host, true);
    keepItems(items, checks,
              [](const ExtractCheck& check) { return check.effect != ExtractEffect::Identical; });
}

bool confirmAddNames(ArchiveWindow& window, std::vector<OperationItem>& items, bool& includePath) {
    // Each stored name with the files of this add that would be stored under it, in the order of
    // first appearance.
    std::unordered_map<std::string, size_t> groupOf;
    std::vector<std::vector<size_t>> groups;
    std::vector<bool> later(items.size(), false);
    for (size_t i = 0; i < items.size(); ++i) {
        const auto [at, isNew] = groupOf.emplace(storedNameOf(items[i].name), groups.size());
        if (isNew) {
            groups.emplace_back();
        } else {
            later[i] = true;
        }
        groups[at->second].push_back(i);
    }
    std::vector<std::string> repeated;
    for (const std::vector<size_t>& group : groups) {
        if (group.size() < 2) {
            continue;
        }
        std::string line = storedNameOf(items[group.front()].name) + ":";
        for (size_t member : group) {
            line += (member == group.front() ? " " : ", ") + items[member].name;
        }
        repeated.push_back(line);
    }
    if (repeated.empty()) {
        return true;
    }
    const NamedLines named = nameFirstFew(repeated);
    const size_t answer = window.askQuestion(
        fillIn(res::kRepeatedNamesQuestion,
               {FormatSizeText(static_cast<std::int64_t>(repeated.size())), named.lines, named.more}),
        res::kRepeatedNamesCaption, {res::kIncludePathButton, res::kFirstOfEachButton, res::kCancelButton});
    if (answer == 0) {
        includePath = true;
        return true;
    }
    if (answer != 1) {
        return false;
    }
    std::vector<OperationItem> kept;
    kept.reserve(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        if (!later[i]) {
            kept.push_back(std::move(items[i]));
        }
    }
    items = std::move(kept);
    return true;
}

CheckOutcome checkBeforeJobs(ArchiveWindow& window, const platform::DriveMap& drives, ArchiveState& state,
                             bool add, bool copies, bool& includePath) {
    std::vector<OperationItem>& items = state.operationItems;
    if (state.deleteRequest || items.empty()) {
        return CheckOutcome::Run;
    }
    bool go = true;
    if (add) {
        go = includePath || confirmAddNames(window, items, includePath);
    } else if (copies) {
        leaveOutIdenticalCopies(drives, items, state.entries, state.extractDestination);
    } else {
        go = confirmExtraction(window, drives, items, state.entries, state.extractDestination, includePath);
    }
    return !go ? CheckOutcome::Cancelled : items.empty() ? CheckOutcome::NothingLeft : CheckOutcome::Run;
}

} // namespace archive
