#include "instancefolder.h"

#include "hostfile.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <filesystem>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {

namespace {

constexpr char kLockName[] = "lock";
constexpr int kNameAttempts = 100;

// flock, retried when a signal interrupts it.
int lockFile(int fd, int operation) {
    int result = 0;
    do {
        result = ::flock(fd, operation);
    } while (result != 0 && errno == EINTR);
    return result;
}

// The parent's lock, held while folders are made and cleared away; released when it goes.
class ParentLock {
public:
    explicit ParentLock(const std::string& parent)
        : m_fd(::open((parent + "/" + kLockName).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600)) {
        if (m_fd >= 0 && lockFile(m_fd, LOCK_EX) != 0) {
            const int code = errno;
            ::close(m_fd);
            m_fd = -1;
            errno = code;
        }
    }
    ~ParentLock() {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
    }
    ParentLock(const ParentLock&) = delete;
    ParentLock& operator=(const ParentLock&) = delete;
    bool held() const { return m_fd >= 0; }

private:
    int m_fd;
};

// A folder name of ours: the process id, "-", eight lower-case hex digits. Lower case only, so
// that no two of them differ by case alone (Windows paths ignore case).
bool isInstanceName(const std::string& name) {
    const size_t dash = name.find('-');
    if (dash == 0 || dash == std::string::npos || name.size() != dash + 9) {
        return false;
    }
    for (size_t i = 0; i < name.size(); ++i) {
        const char c = name[i];
        const bool digit = c >= '0' && c <= '9';
        if (i < dash ? !digit : i > dash && !digit && !(c >= 'a' && c <= 'f')) {
            return false;
        }
    }
    return true;
}

std::string newInstanceName() {
    static std::random_device device;
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(device()));
    return std::to_string(::getpid()) + "-" + suffix;
}

void removeTree(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

// Whether the program that made this folder is gone: its lock file can be locked, or it has none
// (it died before it could make one; folders are made under the parent's lock, so one that is
// still being made is never seen here).
bool belongsToEndedProgram(const std::string& folder) {
    const int fd = ::open((folder + "/" + kLockName).c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        return errno == ENOENT;
    }
    const bool free = lockFile(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return free;
}

void removeEndedInstances(const std::string& parent) {
    DIR* dir = ::opendir(parent.c_str());
    if (dir == nullptr) {
        return;
    }
    std::vector<std::string> ended;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        struct stat info {};
        const std::string path = parent + "/" + name;
        if (isInstanceName(name) && ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
            belongsToEndedProgram(path)) {
            ended.push_back(path);
        }
    }
    ::closedir(dir);
    for (const std::string& path : ended) {
        removeTree(path);
    }
}

// The parent folder, made private to this user when it is new; one that is not a folder of this
// user's (a link, someone else's) is not used.
Status prepareParent(const std::string& parent) {
    const size_t slash = parent.rfind('/');
    if (slash != std::string::npos && slash > 0) {
        if (Status made = makeFolders(parent.substr(0, slash)); !made.ok()) {
            return made;
        }
    }
    if (::mkdir(parent.c_str(), 0700) != 0 && errno != EEXIST) {
        return errnoError("cannot create folder " + parent);
    }
    struct stat info {};
    if (::lstat(parent.c_str(), &info) != 0) {
        return errnoError("cannot read folder " + parent);
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid()) {
        return makeError(EPERM, "not a folder of this user's: " + parent);
    }
    if ((info.st_mode & 077) != 0 && ::chmod(parent.c_str(), 0700) != 0) {
        return errnoError("cannot make folder " + parent + " private");
    }
    return Status::success();
}

} // namespace

InstanceFolder::InstanceFolder(InstanceFolder&& other) noexcept
    : m_parent(std::move(other.m_parent)), m_path(std::move(other.m_path)), m_lock(other.m_lock) {
    other.m_lock = -1;
}

InstanceFolder& InstanceFolder::operator=(InstanceFolder&& other) noexcept {
    if (this != &other) {
        remove();
        m_parent = std::move(other.m_parent);
        m_path = std::move(other.m_path);
        m_lock = other.m_lock;
        other.m_lock = -1;
    }
    return *this;
}

InstanceFolder::~InstanceFolder() {
    remove();
}

Result<InstanceFolder> InstanceFolder::create(const std::string& parentHostPath) {
    if (Status prepared = prepareParent(parentHostPath); !prepared.ok()) {
        return prepared.error();
    }
    ParentLock parentLock(parentHostPath);
    if (!parentLock.held()) {
        return errnoError("cannot lock " + parentHostPath + "/" + kLockName);
    }
    removeEndedInstances(parentHostPath);

    InstanceFolder folder;
    folder.m_parent = parentHostPath;
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        const std::string path = parentHostPath + "/" + newInstanceName();
        if (::mkdir(path.c_str(), 0700) == 0) {
            folder.m_path = path;
            break;
        }
        if (errno != EEXIST) {
            return errnoError("cannot create folder " + path);
        }
    }
    if (folder.m_path.empty()) {
        return makeError(EEXIST, "no free folder name in " + parentHostPath);
    }
    const std::string lockPath = folder.m_path + "/" + kLockName;
    const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0 || lockFile(fd, LOCK_EX | LOCK_NB) != 0) {
        Error error = errnoError("cannot lock " + lockPath);
        if (fd >= 0) {
            ::close(fd);
        }
        removeTree(folder.m_path);
        return error;
    }
    folder.m_lock = fd;
    return folder;
}

void InstanceFolder::remove() {
    if (m_lock < 0) {
        return;
    }
    {
        // Under the parent's lock, so that no start-up that clears away ended programs' folders
        // finds this one half removed.
        ParentLock parentLock(m_parent);
        removeTree(m_path);
    }
    ::close(m_lock);
    m_lock = -1;
}

} // namespace platform
