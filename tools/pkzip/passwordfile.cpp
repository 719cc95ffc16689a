#include "passwordfile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pkzip {

namespace {

constexpr off_t kLongestPassword = 4096;

} // namespace

Result<std::string> takePasswordFile(const std::string& hostPath) {
    const int fd = ::open(hostPath.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        return platform::errnoError("cannot read the password file " + hostPath);
    }
    FileHandle file(fd);
    struct stat info {};
    if (::fstat(file.get(), &info) != 0) {
        return platform::errnoError("cannot read the password file " + hostPath);
    }
    if (!S_ISREG(info.st_mode) || info.st_uid != ::geteuid()) {
        return platform::makeError(EPERM, "the password file " + hostPath + " is not a file of this user");
    }
    (void)::unlink(hostPath.c_str());
    if (info.st_size > kLongestPassword) {
        return platform::makeError(EFBIG, "the password file " + hostPath + " is too long for a password");
    }
    std::string password(static_cast<size_t>(info.st_size), '\0');
    Result<size_t> n = readSome(file.get(), password.data(), password.size(), hostPath);
    if (!n.ok()) {
        return n.error();
    }
    password.resize(*n);
    return password;
}

} // namespace pkzip
