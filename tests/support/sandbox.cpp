#include "sandbox.h"

#include "drivemap.h"

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
    if (const char* home = std::getenv("HOME")) {
        m_hadHome = true;
        m_oldHome = home;
    }
    if (const char* config = std::getenv("XDG_CONFIG_HOME")) {
        m_hadConfig = true;
        m_oldConfig = config;
    }
    if (const char* data = std::getenv("XDG_DATA_HOME")) {
        m_hadData = true;
        m_oldData = data;
    }
    setenv("HOME", m_home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", m_config.c_str(), 1);
    setenv("XDG_DATA_HOME", (m_root + "/data").c_str(), 1);
    platform::DriveMap::setCurrent(platform::DriveMap::defaults());
}

Sandbox::~Sandbox() {
    if (m_hadHome) {
        setenv("HOME", m_oldHome.c_str(), 1);
    } else {
        unsetenv("HOME");
    }
    if (m_hadConfig) {
        setenv("XDG_CONFIG_HOME", m_oldConfig.c_str(), 1);
    } else {
        unsetenv("XDG_CONFIG_HOME");
    }
    if (m_hadData) {
        setenv("XDG_DATA_HOME", m_oldData.c_str(), 1);
    } else {
        unsetenv("XDG_DATA_HOME");
    }
    platform::DriveMap::setCurrent(platform::DriveMap::defaults());
    std::error_code ignored;
    std::filesystem::remove_all(m_root, ignored);
}

std::string Sandbox::windowsPath(const std::string& relative) {
    std::string path = "C:\\" + relative;
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
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

std::string readTestFixture(const std::string& relativePath) {
    const std::string path = std::string(PELLIX_SOURCE_DIR) + "/tests/" + relativePath;
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
