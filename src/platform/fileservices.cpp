#include "fileservices.h"

#include "hostnames.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

namespace platform {

namespace {

bool sameLetterIgnoringCase(char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
}

bool wildcardFrom(std::string_view pattern, std::string_view name) {
    size_t p = 0;
    size_t n = 0;
    size_t starAt = std::string_view::npos;
    size_t resumeAt = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || sameLetterIgnoringCase(pattern[p], name[n]))) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            resumeAt = n;
        } else if (starAt != std::string_view::npos) {
            p = starAt + 1;
            n = ++resumeAt;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

FindEntry describe(const std::string& name, const std::string& hostPath) {
    FindEntry entry;
    entry.name = name;
    struct stat info {};
    if (::lstat(hostPath.c_str(), &info) != 0) {
        return entry;
    }
    if (S_ISLNK(info.st_mode)) {
        entry.attributes |= kAttrReparsePoint;
        struct stat target {};
        if (::stat(hostPath.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) {
            entry.attributes |= kAttrDirectory;
        }
    } else if (S_ISDIR(info.st_mode)) {
        entry.attributes |= kAttrDirectory;
    } else {
        entry.attributes |= kAttrArchive;
        entry.size = static_cast<std::int64_t>(info.st_size);
    }
    if ((info.st_mode & 0222) == 0) {
        entry.attributes |= kAttrReadOnly;
    }
    if (name.size() > 1 && name[0] == '.' && name != "..") {
        entry.attributes |= kAttrHidden;
    }
    entry.lastWriteTime = static_cast<std::int64_t>(info.st_mtim.tv_sec);
    return entry;
}

bool hasWildcard(std::string_view text) {
    return text.find_first_of("*?") != std::string_view::npos;
}

bool isReadOnly(const struct stat& info) {
    return (info.st_mode & 0222) == 0;
}

std::string describePair(std::string_view from, std::string_view to) {
    return std::string(from) + " to " + std::string(to);
}

Status copyContents(const std::string& fromHost, const std::string& toHost, std::string_view from,
                    std::string_view to) {
    const int in = ::open(fromHost.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return errnoError("cannot open " + std::string(from));
    }
    struct stat info {};
    if (::fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(in);
        return makeError(EISDIR, "cannot copy " + std::string(from) + ": not a file");
    }
    const std::string temporary = toHost + ".pellix-copy" + std::to_string(::getpid());
    const int out = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (out < 0) {
        Error error = errnoError("cannot create a copy beside " + std::string(to));
        ::close(in);
        return error;
    }
    Status status;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            status = errnoError("cannot read " + std::string(from));
            break;
        }
        if (n == 0) {
            break;
        }
        for (ssize_t done = 0; done < n;) {
            const ssize_t w = ::write(out, buffer + done, static_cast<size_t>(n - done));
            if (w < 0 && errno == EINTR) {
                continue;
            }
            if (w < 0) {
                status = errnoError("cannot write " + std::string(to));
                break;
            }
            done += w;
        }
        if (!status.ok()) {
            break;
        }
    }
    if (status.ok()) {
        const struct timespec times[2] = {info.st_atim, info.st_mtim};
        ::futimens(out, times);
        ::fchmod(out, info.st_mode & 07777);
        if (::fsync(out) != 0) {
            status = errnoError("cannot flush " + std::string(to));
        }
    }
    ::close(in);
    if (::close(out) != 0 && status.ok()) {
        status = errnoError("cannot write " + std::string(to));
    }
    if (status.ok() && ::rename(temporary.c_str(), toHost.c_str()) != 0) {
        status = errnoError("cannot replace " + std::string(to));
    }
    if (!status.ok()) {
        ::unlink(temporary.c_str());
    }
    return status;
}

} // namespace

bool matchesWildcard(std::string_view pattern, std::string_view name) {
    // "*.*" is Windows' way of saying "every name", dotted or not.
    if (pattern == "*.*" || pattern == "*") {
        return true;
    }
    return wildcardFrom(pattern, name);
}

Result<std::vector<FindEntry>> findFiles(const DriveMap& drives, std::string_view windowsPattern) {
    const size_t cut = windowsPattern.find_last_of("\\/");
    const std::string_view last =
        cut == std::string_view::npos ? windowsPattern : windowsPattern.substr(cut + 1);
    std::vector<FindEntry> entries;
    if (!hasWildcard(last)) {
        Result<std::string> host = drives.toHost(windowsPattern);
        if (!host.ok()) {
            return host.error();
        }
        struct stat info {};
        if (last.empty() || ::lstat(host->c_str(), &info) != 0) {
            return entries;
        }
        entries.push_back(describe(std::string(last), *host));
        return entries;
    }
    const std::string_view folder =
        cut == std::string_view::npos ? std::string_view() : windowsPattern.substr(0, cut + 1);
    Result<std::string> hostFolder = drives.toHost(folder.empty() ? std::string_view(".") : folder);
    if (!hostFolder.ok()) {
        return hostFolder.error();
    }
    DIR* dir = ::opendir(hostFolder->c_str());
    if (dir == nullptr) {
        if (errno == ENOENT || errno == ENOTDIR) {
            return entries;
        }
        return errnoError("cannot search " + std::string(folder));
    }
    const std::string prefix = *hostFolder == "/" ? "/" : *hostFolder + "/";
    std::vector<FindEntry> dots;
    while (const dirent* item = ::readdir(dir)) {
        const std::string hostName = item->d_name;
        const std::string name = windowsNameOf(hostName);
        if (!matchesWildcard(last, name)) {
            continue;
        }
        FindEntry entry = describe(name, prefix + hostName);
        (name == "." || name == ".." ? dots : entries).push_back(std::move(entry));
    }
    ::closedir(dir);
    std::sort(entries.begin(), entries.end(),
              [](const FindEntry& a, const FindEntry& b) { return a.name < b.name; });
    std::sort(dots.begin(), dots.end(),
              [](const FindEntry& a, const FindEntry& b) { return a.name < b.name; });
    entries.insert(entries.begin(), dots.begin(), dots.end());
    return entries;
}

bool pathExists(const DriveMap& drives, std::string_view windowsPath) {
    Result<std::vector<FindEntry>> found = findFiles(drives, windowsPath);
    return found.ok() && !found->empty();
}

Status deleteFile(const DriveMap& drives, std::string_view windowsPath) {
    Result<std::string> host = drives.toHost(windowsPath);
    if (!host.ok()) {
        return host.error();
    }
    struct stat info {};
    if (::lstat(host->c_str(), &info) != 0) {
        return errnoError("cannot delete " + std::string(windowsPath));
    }
    if (S_ISDIR(info.st_mode)) {
        return makeError(EISDIR, "cannot delete " + std::string(windowsPath) + ": it is a folder");
    }
    if (!S_ISLNK(info.st_mode) && isReadOnly(info)) {
        return makeError(EACCES, "cannot delete " + std::string(windowsPath) + ": the file is read-only");
    }
    if (::unlink(host->c_str()) != 0) {
        return errnoError("cannot delete " + std::string(windowsPath));
    }
    return Status::success();
}

Status copyFile(const DriveMap& drives, std::string_view fromWindowsPath, std::string_view toWindowsPath) {
    Result<std::string> from = drives.toHost(fromWindowsPath);
    Result<std::string> to = drives.toHost(toWindowsPath);
    if (!from.ok()) {
        return from.error();
    }
    if (!to.ok()) {
        return to.error();
    }
    struct stat target {};
    if (::stat(to->c_str(), &target) == 0) {
        if (S_ISDIR(target.st_mode)) {
            return makeError(EISDIR, "cannot copy " + describePair(fromWindowsPath, toWindowsPath) +
                                         ": the target is a folder");
        }
        if (isReadOnly(target)) {
            return makeError(EACCES, "cannot copy " + describePair(fromWindowsPath, toWindowsPath) +
                                         ": the target is read-only");
        }
    }
    struct stat source {};
    if (::stat(from->c_str(), &source) == 0 && source.st_dev == target.st_dev &&
        source.st_ino == target.st_ino) {
        return makeError(EINVAL, "cannot copy " + std::string(fromWindowsPath) + " onto itself");
    }
    return copyContents(*from, *to, fromWindowsPath, toWindowsPath);
}

Status moveFile(const DriveMap& drives, std::string_view fromWindowsPath, std::string_view toWindowsPath) {
    Result<std::string> from = drives.toHost(fromWindowsPath);
    Result<std::string> to = drives.toHost(toWindowsPath);
    if (!from.ok()) {
        return from.error();
    }
    if (!to.ok()) {
        return to.error();
    }
    if (::renameat2(AT_FDCWD, from->c_str(), AT_FDCWD, to->c_str(), RENAME_NOREPLACE) == 0) {
        return Status::success();
    }
    if (errno == EXDEV) {
        // Another file system: a file is copied and the original removed; a folder is refused,
        // as Windows refuses to move a folder across volumes.
        struct stat info {};
        if (::lstat(from->c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
            return makeError(EXDEV, "cannot move " + describePair(fromWindowsPath, toWindowsPath) +
                                        ": they are on different devices");
        }
        if (::access(to->c_str(), F_OK) == 0) {
            return makeError(EEXIST, "cannot move " + describePair(fromWindowsPath, toWindowsPath) +
                                         ": the target exists");
        }
        if (Status copied = copyContents(*from, *to, fromWindowsPath, toWindowsPath); !copied.ok()) {
            return copied;
        }
        if (::unlink(from->c_str()) != 0) {
            return errnoError("moved, but cannot remove " + std::string(fromWindowsPath));
        }
        return Status::success();
    }
    return errnoError("cannot move " + describePair(fromWindowsPath, toWindowsPath));
}

Status createFolder(const DriveMap& drives, std::string_view windowsPath) {
    Result<std::string> host = drives.toHost(windowsPath);
    if (!host.ok()) {
        return host.error();
    }
    if (::mkdir(host->c_str(), 0777) != 0) {
        return errnoError("cannot create folder " + std::string(windowsPath));
    }
    return Status::success();
}

Status removeFolder(const DriveMap& drives, std::string_view windowsPath) {
    Result<std::string> host = drives.toHost(windowsPath);
    if (!host.ok()) {
        return host.error();
    }
    if (::rmdir(host->c_str()) != 0) {
        return errnoError("cannot remove folder " + std::string(windowsPath));
    }
    return Status::success();
}

} // namespace platform
