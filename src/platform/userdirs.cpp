#include "userdirs.h"

#include <climits>
#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

std::string homeFolder() {
    if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        return home;
    }
    if (const passwd* entry = getpwuid(getuid()); entry != nullptr && entry->pw_dir != nullptr) {
        return entry->pw_dir;
    }
    return "/";
}

std::string configFolder() {
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
        return std::string(xdg) + "/pellix";
    }
    std::string home = homeFolder();
    if (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    return home + "/.config/pellix";
}

std::vector<std::string> instanceFolderParents() {
    std::vector<std::string> parents;
    // The runtime folder is the session's own (private, on a memory file system, emptied at
    // log-out); one that is not this user's folder is not used.
    struct stat info {};
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        runtime != nullptr && *runtime == '/' && ::stat(runtime, &info) == 0 && S_ISDIR(info.st_mode) &&
        info.st_uid == ::getuid() && ::access(runtime, W_OK | X_OK) == 0) {
        parents.push_back(std::string(runtime) + "/pellix");
    }
    parents.push_back(scratchFolderParent());
    return parents;
}

std::string scratchFolderParent() {
    if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache != nullptr && *cache == '/') {
        return std::string(cache) + "/pellix";
    }
    std::string home = homeFolder();
    if (home.size() > 1 && home.back() == '/') {
        home.pop_back();
    }
    return home + "/.cache/pellix";
}

std::string runningExecutable() {
    char buffer[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
    if (length <= 0) {
        return {};
    }
    return std::string(buffer, static_cast<size_t>(length));
}

} // namespace platform
