#include "hostfile.h"

#include <cerrno>
#include <climits>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

Status writeAll(int fd, std::string_view contents, const std::string& path) {
    size_t written = 0;
    while (written < contents.size()) {
        const ssize_t n = ::write(fd, contents.data() + written, contents.size() - written);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errnoError("cannot write " + path);
        }
        written += static_cast<size_t>(n);
    }
    return Status::success();
}

// Writes contents to a new temporary file beside hostPath and flushes it; its path.
Result<std::string> writeTemporary(const std::string& hostPath, std::string_view contents) {
    const std::string temporary = hostPath + ".tmp" + std::to_string(::getpid());
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return errnoError("cannot create " + temporary);
    }
    Status status = writeAll(fd, contents, temporary);
    if (status.ok() && ::fsync(fd) != 0) {
        status = errnoError("cannot flush " + temporary);
    }
    if (::close(fd) != 0 && status.ok()) {
        status = errnoError("cannot close " + temporary);
    }
    if (!status.ok()) {
        ::unlink(temporary.c_str());
        return status.error();
    }
    return temporary;
}

} // namespace

Status writeNewFileAtomically(const std::string& hostPath, std::string_view contents) {
    Result<std::string> temporary = writeTemporary(hostPath, contents);
    if (!temporary.ok()) {
        return temporary.error();
    }
    // A second name for the finished file, given only where no file exists: whoever is first
    // wins, and nobody's file is replaced.
    Status status = Status::success();
    if (::link(temporary->c_str(), hostPath.c_str()) != 0) {
        status = errno == EEXIST ? makeError(EEXIST, hostPath + " exists already")
                                 : errnoError("cannot create " + hostPath);
    }
    ::unlink(temporary->c_str());
    return status;
}

Status writeFileAtomically(const std::string& hostPath, std::string_view contents) {
    Result<std::string> temporary = writeTemporary(hostPath, contents);
    if (!temporary.ok()) {
        return temporary.error();
    }
    if (::rename(temporary->c_str(), hostPath.c_str()) != 0) {
        Error error = errnoError("cannot replace " + hostPath);
        ::unlink(temporary->c_str());
        return error;
    }
    return Status::success();
}

Status writeWholeFile(const std::string& hostPath, std::string_view contents) {
    const int fd = ::open(hostPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return errnoError("cannot create " + hostPath);
    }
    Status status = writeAll(fd, contents, hostPath);
    if (::close(fd) != 0 && status.ok()) {
        status = errnoError("cannot close " + hostPath);
    }
    return status;
}

Result<std::string> readWholeFile(const std::string& hostPath) {
    const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errnoError("cannot open " + hostPath);
    }
    std::string contents;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            Error error = errnoError("cannot read " + hostPath);
            ::close(fd);
            return error;
        }
        if (n == 0) {
            break;
        }
        contents.append(buffer, static_cast<size_t>(n));
    }
    ::close(fd);
    return contents;
}

Status makeFolders(const std::string& hostPath) {
    for (size_t slash = hostPath.find('/', 1);; slash = hostPath.find('/', slash + 1)) {
        const std::string prefix = hostPath.substr(0, slash);
        if (!prefix.empty() && ::mkdir(prefix.c_str(), 0755) != 0 && errno != EEXIST) {
            return errnoError("cannot create folder " + prefix);
        }
        if (slash == std::string::npos) {
            break;
        }
    }
    struct stat info {};
    if (::stat(hostPath.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
        return makeError(ENOTDIR, "not a folder: " + hostPath);
    }
    return Status::success();
}

Status replaceLink(const std::string& hostPath, const std::string& target) {
    const std::string temporary = hostPath + ".pellix-link" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0) {
        return errnoError("cannot make the link " + hostPath);
    }
    if (::rename(temporary.c_str(), hostPath.c_str()) != 0) {
        Error error = errnoError("cannot make the link " + hostPath);
        ::unlink(temporary.c_str());
        return error;
    }
    return Status::success();
}

Result<std::string> readLink(const std::string& hostPath) {
    std::vector<char> target(PATH_MAX + 1);
    const ssize_t length = ::readlink(hostPath.c_str(), target.data(), target.size() - 1);
    if (length < 0) {
        return errnoError("cannot read the link " + hostPath);
    }
    return std::string(target.data(), static_cast<size_t>(length));
}

} // namespace platform
