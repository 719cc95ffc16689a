#include "drivemap.h"

#include "hostfile.h"
#include "hostnames.h"
#include "userdirs.h"

#include <algorithm>
#include <cctype>
#include <memory>
#include <mutex>
#include <unistd.h>

namespace platform {

namespace {

std::vector<std::string_view> splitComponents(std::string_view path, bool windowsSeparators) {
    std::vector<std::string_view> parts;
    size_t start = 0;
    for (size_t i = 0; i <= path.size(); ++i) {
        const bool atSeparator = i == path.size() || path[i] == '/' || (windowsSeparators && path[i] == '\\');
        if (atSeparator) {
            if (i > start) {
                parts.push_back(path.substr(start, i - start));
            }
            start = i + 1;
        }
    }
    return parts;
}

// Drops "." and resolves ".." against what came before, never climbing above the first level.
std::vector<std::string_view> resolveDots(const std::vector<std::string_view>& parts) {
    std::vector<std::string_view> resolved;
    for (std::string_view part : parts) {
        if (part == ".") {
            continue;
        }
        if (part == "..") {
            if (!resolved.empty()) {
                resolved.pop_back();
            }
            continue;
        }
        resolved.push_back(part);
    }
    return resolved;
}

std::string joinHost(std::string_view root, const std::vector<std::string_view>& parts) {
    std::string path(root);
    for (std::string_view part : parts) {
        if (path.empty() || path.back() != '/') {
            path += '/';
        }
        path += part;
    }
    return path.empty() ? "/" : path;
}

// The parts of a Windows path joined below a host folder, each Windows name made a host name
// again. The dots were resolved on the Windows names, and no carrier gives a "." or a "/", so a
// name can never climb out of the folder.
std::string joinHostNames(std::string_view root, const std::vector<std::string_view>& windowsParts) {
    std::vector<std::string> names;
    names.reserve(windowsParts.size());
    for (std::string_view part : windowsParts) {
        names.push_back(hostNameOf(part));
    }
    std::vector<std::string_view> views(names.begin(), names.end());
    return joinHost(root, views);
}

std::string trim(std::string_view text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) {
        ++begin;
    }
    while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) {
        --end;
    }
    return std::string(text.substr(begin, end - begin));
}

std::mutex& currentMutex() {
    static std::mutex mutex;
    return mutex;
}

std::unique_ptr<DriveMap>& currentMap() {
    static std::unique_ptr<DriveMap> map;
    return map;
}

} // namespace

std::string normaliseHostPath(std::string_view path) {
    return joinHost("", resolveDots(splitComponents(path, false)));
}

DriveMap DriveMap::defaults() {
    DriveMap map;
    map.map('C', homeFolder());
    map.map('Z', "/");
    return map;
}

std::string DriveMap::filePath() {
    return configFolder() + "/drives.conf";
}

DriveMap DriveMap::load() {
    const std::string path = filePath();
    if (Result<std::string> text = readWholeFile(path); text.ok()) {
        if (Result<DriveMap> parsed = parse(*text); parsed.ok()) {
            return std::move(*parsed);
        }
        return defaults();
    }
    DriveMap map = defaults();
    // Writing the default table is a courtesy to the user; the map works without it. Another
    // program starting at the same moment may write it first: its table is then the one used,
    // and never replaced.
    if (makeFolders(configFolder()).ok()) {
        Status created = writeNewFileAtomically(path, map.toText());
        if (!created.ok() && created.error().code == EEXIST) {
            if (Result<std::string> text = readWholeFile(path); text.ok()) {
                if (Result<DriveMap> parsed = parse(*text); parsed.ok()) {
                    return std::move(*parsed);
                }
            }
        }
    }
    return map;
}

const DriveMap& DriveMap::current() {
    std::lock_guard lock(currentMutex());
    if (!currentMap()) {
        currentMap() = std::make_unique<DriveMap>(load());
    }
    return *currentMap();
}

void DriveMap::setCurrent(DriveMap map) {
    std::lock_guard lock(currentMutex());
    currentMap() = std::make_unique<DriveMap>(std::move(map));
}

Result<DriveMap> DriveMap::parse(std::string_view text) {
    DriveMap map;
    size_t lineNumber = 0;
    while (!text.empty()) {
        const size_t end = text.find('\n');
        const std::string line = trim(text.substr(0, end));
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++lineNumber;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const bool wellFormed = line.size() >= 3 && std::isalpha(static_cast<unsigned char>(line[0])) &&
                                line[1] == ':' && std::isspace(static_cast<unsigned char>(line[2]));
        const std::string root = wellFormed ? trim(std::string_view(line).substr(2)) : std::string();
        if (!wellFormed || root.empty() || root[0] != '/') {
            return makeError(EINVAL, "drive map line " + std::to_string(lineNumber) +
                                         " is not of the form \"X: /host/folder\": " + line);
        }
        map.map(line[0], root);
    }
    return map;
}

std::string DriveMap::toText() const {
    std::string text = "# Pellix drive letters: one \"LETTER: host folder\" per line.\n";
    for (const DriveMapping& drive : m_drives) {
        text += drive.letter;
        text += ": ";
        text += drive.hostRoot;
        text += '\n';
    }
    return text;
}

void DriveMap::map(char letter, const std::string& hostRoot) {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    const std::string root = normaliseHostPath(hostRoot);
    auto found = std::find_if(m_drives.begin(), m_drives.end(),
                              [upper](const DriveMapping& drive) { return drive.letter == upper; });
    if (found != m_drives.end()) {
        found->hostRoot = root;
        return;
    }
    m_drives.push_back(DriveMapping{upper, root});
    std::sort(m_drives.begin(), m_drives.end(),
              [](const DriveMapping& a, const DriveMapping& b) { return a.letter < b.letter; });
}

std::optional<std::string> DriveMap::hostRoot(char letter) const {
    const char upper = static_cast<char>(std::toupper(static_cast<unsigned char>(letter)));
    for (const DriveMapping& drive : m_drives) {
        if (drive.letter == upper) {
            return drive.hostRoot;
        }
    }
    return std::nullopt;
}

bool DriveMap::canChangeToDrive(char letter) const {
    const std::optional<std::string> root = hostRoot(letter);
    return root && ::access(root->c_str(), R_OK | X_OK) == 0;
}

Result<std::string> DriveMap::toHost(std::string_view windowsPath) const {
    const bool hasDrive = windowsPath.size() >= 2 && windowsPath[1] == ':' &&
                          std::isalpha(static_cast<unsigned char>(windowsPath[0]));
    if (!hasDrive) {
        const std::vector<std::string_view> parts = splitComponents(windowsPath, true);
        if (!windowsPath.empty() && (windowsPath[0] == '\\' || windowsPath[0] == '/')) {
            return joinHostNames("", resolveDots(parts));
        }
        char cwd[4096];
        if (::getcwd(cwd, sizeof cwd) == nullptr) {
            return errnoError("cannot read the working folder");
        }
        // The working folder is a host path already: its names are made Windows names for the
        // dots to be resolved together with the relative path's.
        std::vector<std::string> cwdNames;
        for (std::string_view part : splitComponents(cwd, false)) {
            cwdNames.push_back(windowsNameOf(part));
        }
        std::vector<std::string_view> all(cwdNames.begin(), cwdNames.end());
        all.insert(all.end(), parts.begin(), parts.end());
        return joinHostNames("", resolveDots(all));
    }
    const std::optional<std::string> root = hostRoot(windowsPath[0]);
    if (!root) {
        return makeError(ENOENT,
                         std::string("drive ") +
                             static_cast<char>(std::toupper(static_cast<unsigned char>(windowsPath[0]))) +
                             ": is not mapped to a host folder");
    }
    return joinHostNames(*root, resolveDots(splitComponents(windowsPath.substr(2), true)));
}

Result<std::string> DriveMap::toWindows(std::string_view hostPath) const {
    if (hostPath.empty() || hostPath[0] != '/') {
        return makeError(EINVAL, "not an absolute host path: " + std::string(hostPath));
    }
    const std::string path = normaliseHostPath(hostPath);
    const DriveMapping* best = nullptr;
    for (const DriveMapping& drive : m_drives) {
        const std::string& root = drive.hostRoot;
        const bool contains = root == "/" || path == root ||
                              (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                               path[root.size()] == '/');
        if (contains && (best == nullptr || root.size() > best->hostRoot.size())) {
            best = &drive;
        }
    }
    if (best == nullptr) {
        return makeError(ENOENT, "no drive letter is mapped to a folder holding " + path);
    }
    const std::string rest = best->hostRoot == "/"
                                 ? path.substr(1)
                                 : path.substr(std::min(path.size(), best->hostRoot.size() + 1));
    std::string windows;
    windows += best->letter;
    windows += ":\\";
    const std::vector<std::string_view> names = splitComponents(rest, false);
    for (size_t i = 0; i < names.size(); ++i) {
        windows += i == 0 ? "" : "\\";
        windows += windowsNameOf(names[i]);
    }
    return windows;
}

} // namespace platform
