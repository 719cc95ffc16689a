#include "sandbox.h"

#include "drivemap.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

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
    setenv("HOME", m_home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", m_config.c_str(), 1);
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
    const char* dir = std::getenv("PELLIX_PROGRAM_DIR");
    if (dir == nullptr) {
        throw std::runtime_error("PELLIX_PROGRAM_DIR is not set: run the tests through ctest");
    }
    return dir;
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
