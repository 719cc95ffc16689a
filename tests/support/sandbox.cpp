#include "sandbox.h"

#include "drivemap.h"
#include "hostnames.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <linux/capability.h>
#include <sstream>
#include <stdexcept>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace testsupport {

Sandbox::Sandbox() {
    std::string pattern = std::filesystem::temp_directory_path().string() + "/pellix-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a sandbox folder");
    }
    m_root = pattern;
    m_home = m_root + "/home";
    m_config = m_root + "/config";
    std::filesystem::create_directories(m_home);
    std::filesystem::create_directories(m_config);
    std::filesystem::create_directories(m_root + "/runtime");
    std::filesystem::permissions(m_root + "/runtime", std::filesystem::perms::owner_all);
    const std::pair<const char*, std::string> variables[] = {{"HOME", m_home},
                                                             {"XDG_CONFIG_HOME", m_config},
                                                             {"XDG_DATA_HOME", m_root + "/data"},
                                                             {"XDG_CACHE_HOME", m_root + "/cache"},
                                                             {"XDG_RUNTIME_DIR", m_root + "/runtime"}};
    for (const auto& [name, value] : variables) {
        const char* old = std::getenv(name);
        m_saved.emplace_back(name, old != nullptr ? std::optional<std::string>(old) : std::nullopt);
        setenv(name, value.c_str(), 1);
    }
    platform::DriveMap::setCurrent(platform::DriveMap::defaults());
}

Sandbox::~Sandbox() {
    for (const auto& [name, old] : m_saved) {
        if (old) {
            setenv(name.c_str(), old->c_str(), 1);
        } else {
            unsetenv(name.c_str());
        }
    }
    platform::DriveMap::setCurrent(platform::DriveMap::defaults());
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

std::vector<std::string> Sandbox::instanceFolders() const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(instanceParent(), error)) {
        if (entry.is_directory()) {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Sandbox::windowsPath(const std::string& relative) {
    // Each name as the drive map carries it, so that any host name can be named.
    std::string path = "C:";
    size_t start = 0;
    do {
        const size_t end = std::min(relative.find('/', start), relative.size());
        path += "\\" + platform::windowsNameOf(std::string_view(relative).substr(start, end - start));
        start = end + 1;
    } while (start <= relative.size());
    return path;
}

namespace {

// The thread's capability sets through the system calls themselves (no libcap needed).
bool capabilities(__user_cap_data_struct (&data)[2], bool set) {
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    return syscall(set ? SYS_capset : SYS_capget, &header, data) == 0;
}

constexpr unsigned kOverrideBits = (1u << CAP_DAC_OVERRIDE) | (1u << CAP_DAC_READ_SEARCH);

} // namespace

PermissionsEnforced::PermissionsEnforced() {
    __user_cap_data_struct data[2] = {};
    if (!capabilities(data, false)) {
        throw std::runtime_error("cannot read the thread's capabilities");
    }
    m_effective[0] = data[0].effective;
    m_effective[1] = data[1].effective;
    data[0].effective &= ~kOverrideBits;
    if (!capabilities(data, true)) {
        throw std::runtime_error("cannot give up the permission override");
    }
}

PermissionsEnforced::~PermissionsEnforced() {
    __user_cap_data_struct data[2] = {};
    if (capabilities(data, false)) {
        data[0].effective = m_effective[0];
        data[1].effective = m_effective[1];
        (void)capabilities(data, true);
    }
}

void writeFile(const std::string& hostPath, const std::string& contents) {
    std::filesystem::create_directories(std::filesystem::path(hostPath).parent_path());
    std::ofstream out(hostPath, std::ios::binary | std::ios::trunc);
    out << contents;
    if (!out) {
        throw std::runtime_error("cannot write " + hostPath);
    }
}

std::string readFile(const std::string& hostPath) {
    std::ifstream in(hostPath, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

bool fileExists(const std::string& hostPath) {
    std::error_code ignored;
    return std::filesystem::exists(std::filesystem::symlink_status(hostPath, ignored));
}

std::string programDir() {
    return PELLIX_PROGRAM_DIR;
}

std::string testSourcePath(const std::string& relativePath) {
    return std::string(PELLIX_SOURCE_DIR) + "/tests/" + relativePath;
}

std::string readTestFixture(const std::string& relativePath) {
    const std::string path = testSourcePath(relativePath);
    if (!fileExists(path)) {
        throw std::runtime_error("missing test fixture " + path);
    }
    return readFile(path);
}

int runShell(const std::string& command, std::string* output) {
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return -1;
    }
    char buffer[4096];
    size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        if (output != nullptr) {
            output->append(buffer, n);
        }
    }
    const int status = pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0);
}

} // namespace testsupport
