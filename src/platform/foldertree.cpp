#include "foldertree.h"

#include "fileservices.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

std::string withBackslash(std::string_view path) {
    std::string text(path);
    if (text.empty() || (text.back() != '\\' && text.back() != '/')) {
        text += '\\';
    }
    return text;
}

std::string withoutBackslash(std::string_view path) {
    std::string text(path);
    while (text.size() > 3 && (text.back() == '\\' || text.back() == '/')) {
        text.pop_back();
    }
    return text;
}

// The real path of a host path, resolving every link; for a path that does not exist yet, the
// real path of its nearest existing folder followed by the rest.
std::string realHostPath(const std::string& host) {
    std::string existing = host;
    std::string rest;
    for (;;) {
        char resolved[PATH_MAX];
        if (::realpath(existing.c_str(), resolved) != nullptr) {
            std::string real(resolved);
            if (!rest.empty()) {
                real += (real == "/" ? "" : "/") + rest;
            }
            return real;
        }
        const size_t cut = existing.rfind('/');
        if (cut == std::string::npos || existing == "/") {
            return host;
        }
        const std::string name = existing.substr(cut + 1);
        rest = rest.empty() ? name : name + "/" + rest;
        existing = cut == 0 ? "/" : existing.substr(0, cut);
    }
}

bool hostIsLink(const std::string& host) {
    struct stat info {};
    return ::lstat(host.c_str(), &info) == 0 && S_ISLNK(info.st_mode);
}

// Makes a link at toHost pointing where the link fromHost points, replacing a file or link there
// (not a folder): the new link is made beside it and renamed over it.
Status copyLink(const std::string& fromHost, const std::string& toHost, std::string_view from,
                std::string_view to) {
    std::vector<char> target(PATH_MAX + 1);
    const ssize_t length = ::readlink(fromHost.c_str(), target.data(), target.size() - 1);
    if (length < 0) {
        return errnoError("cannot read the link " + std::string(from));
    }
    target[static_cast<size_t>(length)] = '\0';
    struct stat existing {};
    if (::lstat(toHost.c_str(), &existing) == 0 && S_ISDIR(existing.st_mode)) {
        return makeError(EISDIR, "cannot copy " + std::string(from) + " to " + std::string(to) +
                                     ": the target is a folder");
    }
    const std::string temporary = toHost + ".pellix-link" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(target.data(), temporary.c_str()) != 0) {
        return errnoError("cannot make the link " + std::string(to));
    }
    if (::rename(temporary.c_str(), toHost.c_str()) != 0) {
        Error error = errnoError("cannot make the link " + std::string(to));
        ::unlink(temporary.c_str());
        return error;
    }
    return Status::success();
}

TreeStatus removeTree(const DriveMap& drives, const std::string& folder) {
    // folder ends in "\".
    Result<std::vector<FindEntry>> found = findFiles(drives, folder + "*.*");
    if (!found.ok()) {
        return TreeStatus(TreeStep::RemoveFolder, found.error());
    }
    for (const FindEntry& entry : *found) {
        if (entry.name == "." || entry.name == "..") {
            continue;
        }
        const std::string path = folder + entry.name;
        const bool isFolder = (entry.attributes & kAttrDirectory) && !(entry.attributes & kAttrReparsePoint);
        if (isFolder) {
            if (TreeStatus removed = removeTree(drives, path + "\\"); !removed.ok()) {
                return removed;
            }
        } else if (Status deleted = deleteFile(drives, path); !deleted.ok()) {
            return TreeStatus(TreeStep::DeleteFile, deleted.error());
        }
    }
    if (Status removed = removeFolder(drives, withoutBackslash(folder)); !removed.ok()) {
        return TreeStatus(TreeStep::RemoveFolder, removed.error());
    }
    return TreeStatus::success();
}

TreeStatus copyTree(const DriveMap& drives, const std::string& source, const std::string& destination) {
    // Both without a trailing "\"; destination does not exist yet.
    Result<std::vector<FindEntry>> found = findFiles(drives, source + "\\*.*");
    if (!found.ok()) {
        return TreeStatus(TreeStep::CopyFile, found.error());
    }
    if (Status made = createFolder(drives, destination); !made.ok()) {
        return TreeStatus(TreeStep::CreateFolder, made.error());
    }
    for (const FindEntry& entry : *found) {
        if (entry.name == "." || entry.name == "..") {
            continue;
        }
        const std::string from = source + "\\" + entry.name;
        const std::string to = destination + "\\" + entry.name;
        const bool isFolder = (entry.attributes & kAttrDirectory) && !(entry.attributes & kAttrReparsePoint);
        if (isFolder) {
            if (TreeStatus copied = copyTree(drives, from, to); !copied.ok()) {
                return copied;
            }
        } else if (Status copied = copyFileOrLink(drives, from, to); !copied.ok()) {
            return TreeStatus(TreeStep::CopyFile, copied.error());
        }
    }
    return TreeStatus::success();
}

} // namespace

bool isSameOrInsideText(std::string_view source, std::string_view destination) {
    const std::string from = withBackslash(source);
    const std::string to = withBackslash(destination);
    return to.compare(0, from.size(), from) == 0;
}

bool isSameOrInside(const DriveMap& drives, std::string_view source, std::string_view destination) {
    if (isSameOrInsideText(source, destination)) {
        return true;
    }
    Result<std::string> from = drives.toHost(withoutBackslash(source));
    Result<std::string> to = drives.toHost(withoutBackslash(destination));
    if (!from.ok() || !to.ok()) {
        return false;
    }
    // A source that is itself a link is copied as a link: only the link's own place counts.
    std::string realFrom;
    if (hostIsLink(*from)) {
        const size_t cut = from->rfind('/');
        realFrom = realHostPath(cut == 0 ? "/" : from->substr(0, cut));
        realFrom += (realFrom == "/" ? "" : "/") + from->substr(cut + 1);
    } else {
        realFrom = realHostPath(*from);
    }
    std::string realTo;
    if (hostIsLink(*to)) {
        const size_t cut = to->rfind('/');
        realTo = realHostPath(cut == 0 ? "/" : to->substr(0, cut));
        realTo += (realTo == "/" ? "" : "/") + to->substr(cut + 1);
    } else {
        realTo = realHostPath(*to);
    }
    if (realFrom == "/") {
        return true;
    }
    return realTo == realFrom || realTo.compare(0, realFrom.size() + 1, realFrom + "/") == 0;
}

Status checkCopySource(const DriveMap& drives, std::string_view windowsPath) {
    Result<std::string> host = drives.toHost(withoutBackslash(windowsPath));
    if (!host.ok()) {
        return host.error();
    }
    if (hostIsLink(*host)) {
        return Status::success();
    }
    DIR* dir = ::opendir(host->c_str());
    if (dir == nullptr) {
        return errnoError("cannot read the folder " + std::string(windowsPath));
    }
    ::closedir(dir);
    return Status::success();
}

bool isLink(const DriveMap& drives, std::string_view windowsPath) {
    Result<std::string> host = drives.toHost(withoutBackslash(windowsPath));
    return host.ok() && hostIsLink(*host);
}

TreeStatus removeFolderTree(const DriveMap& drives, std::string_view windowsPath) {
    Result<std::string> host = drives.toHost(withoutBackslash(windowsPath));
    if (!host.ok()) {
        return TreeStatus(TreeStep::RemoveFolder, host.error());
    }
    if (hostIsLink(*host)) {
        // A link to a folder goes; the folder it points at stays.
        if (Status deleted = deleteFile(drives, withoutBackslash(windowsPath)); !deleted.ok()) {
            return TreeStatus(TreeStep::DeleteFile, deleted.error());
        }
        return TreeStatus::success();
    }
    return removeTree(drives, withBackslash(windowsPath));
}

TreeStatus copyFolderTree(const DriveMap& drives, std::string_view source, std::string_view destination) {
    const std::string from = withoutBackslash(source);
    const std::string to = withoutBackslash(destination);
    if (isSameOrInside(drives, from, to)) {
        return TreeStatus(TreeStep::SameFolder,
                          makeError(EINVAL, "cannot copy " + from + " into itself (" + to + ")"));
    }
    if (isLink(drives, from)) {
        if (pathExists(drives, to)) {
            return TreeStatus(TreeStep::CreateFolder,
                              makeError(EEXIST, "cannot copy to " + to + ": it exists"));
        }
        if (Status copied = copyFileOrLink(drives, from, to); !copied.ok()) {
            return TreeStatus(TreeStep::CopyFile, copied.error());
        }
        return TreeStatus::success();
    }
    // A source that has gone or cannot be listed must not give an empty copy that reads as done.
    if (Status readable = checkCopySource(drives, from); !readable.ok()) {
        return TreeStatus(TreeStep::CopyFile, readable.error());
    }
    return copyTree(drives, from, to);
}

Status copyFileOrLink(const DriveMap& drives, std::string_view source, std::string_view destination) {
    Result<std::string> from = drives.toHost(source);
    Result<std::string> to = drives.toHost(destination);
    if (!from.ok()) {
        return from.error();
    }
    if (!to.ok()) {
        return to.error();
    }
    struct stat info {};
    if (::lstat(from->c_str(), &info) != 0) {
        return errnoError("cannot copy " + std::string(source));
    }
    if (S_ISLNK(info.st_mode)) {
        return copyLink(*from, *to, source, destination);
    }
    if (!S_ISREG(info.st_mode)) {
        // A pipe or a device would block the reader or never end.
        return makeError(EINVAL, "cannot copy " + std::string(source) + ": not a regular file");
    }
    return copyFile(drives, source, destination);
}

} // namespace platform
