#include "archivernames.h"

#include <cctype>
#include <climits>
#include <cstdlib>
#include <vector>

namespace archive {

namespace {

const char* const kSideSuffixes[] = {".pellix-new", ".pellix-journal", ".pellix-part"};

// "/.NAME.pellix-new" becomes "/NAME"; a set-aside journal (".pellix-journal.set-aside-...") is
// a file of its own, kept for the user, and keeps its name.
void nameSideFilesByTheirFile(std::string& text) {
    for (const char* suffix : kSideSuffixes) {
        const std::string mark = suffix;
        for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
            const size_t end = at + mark.size();
            const size_t dot = text.rfind("/.", at);
            const bool followedByMore = end < text.size() && text[end] == '.';
            if (dot == std::string::npos || followedByMore || text.find_first_of("/\n", dot + 1) < at) {
                at = end;
                continue;
            }
            text.erase(at, mark.size());
            text.erase(dot + 1, 1);
            at = dot + 1;
        }
    }
}

bool continuesAName(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '.' || c == '_' || c == '-' || c == '/';
}

void replaceWholePath(std::string& text, const std::string& path, const std::string& name) {
    if (path.empty()) {
        return;
    }
    for (size_t at = text.find(path); at != std::string::npos; at = text.find(path, at)) {
        const size_t end = at + path.size();
        if (end < text.size() && continuesAName(text[end])) {
            at = end;
            continue;
        }
        text.replace(at, path.size(), name);
        at += name.size();
    }
}

} // namespace

std::string withNamesTheUserKnows(std::string text, const ArchiveState& state,
                                  const platform::DriveMap& drives) {
    nameSideFilesByTheirFile(text);
    const platform::Result<std::string> host = drives.toHost(state.archivePath);
    if (!host.ok()) {
        return text;
    }
    const std::string shown =
        !state.scratchArchivePath.empty() && state.archivePath == state.scratchArchivePath
            ? state.archiveFileName
            : state.archivePath;
    // The archiver names a file by its resolved path.
    std::vector<std::string> paths{*host};
    char resolved[PATH_MAX];
    if (::realpath(host->c_str(), resolved) != nullptr && *host != resolved) {
        paths.emplace_back(resolved);
    }
    for (const std::string& path : paths) {
        replaceWholePath(text, path, shown);
    }
    return text;
}

} // namespace archive
