#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace testsupport {

// A temporary world for one test: its own home folder (drive C:), configuration, data, cache and
// runtime folders, with HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME and XDG_RUNTIME_DIR
// pointing there for as long as it lives. The process's drive map is reset to C: = that home,
// Z: = "/". Removed with everything in it.
class Sandbox {
public:
    Sandbox();
    ~Sandbox();
    Sandbox(const Sandbox&) = delete;
    Sandbox& operator=(const Sandbox&) = delete;

    const std::string& root() const { return m_root; }
    const std::string& home() const { return m_home; }
    const std::string& config() const { return m_config; }
    // Where the running programs' own folders are made (below the runtime folder).
    std::string instanceParent() const { return m_root + "/runtime/pellix"; }
    // The running (or crashed) programs' own folders there, by name.
    std::vector<std::string> instanceFolders() const;

    // Host path of a file below the home folder, and its Windows name on drive C:.
    std::string hostPath(const std::string& relative) const { return m_home + "/" + relative; }
    static std::string windowsPath(const std::string& relative);

private:
    std::string m_root;
    std::string m_home;
    std::string m_config;
    // The variables the sandbox set, with their old values (none when they were not set).
    std::vector<std::pair<std::string, std::optional<std::string>>> m_saved;
};

// For as long as it lives, the calling thread is held to file permissions as an ordinary user is:
// a test run as root loses its right to read and write whatever it likes, so that a folder
// made unreadable with chmod is unreadable to the code under test too.
class PermissionsEnforced {
public:
    PermissionsEnforced();
    ~PermissionsEnforced();
    PermissionsEnforced(const PermissionsEnforced&) = delete;
    PermissionsEnforced& operator=(const PermissionsEnforced&) = delete;

private:
    unsigned m_effective[2] = {0, 0};
};

void writeFile(const std::string& hostPath, const std::string& contents);
std::string readFile(const std::string& hostPath);
bool fileExists(const std::string& hostPath);

// The build's program directory (where pellix, PKZIP25.EXE and the interpreter are built).
std::string programDir();
// A file below tests/ in the source tree, read whole; and its path.
std::string readTestFixture(const std::string& relativePath);
std::string testSourcePath(const std::string& relativePath);

// Runs a command line through /bin/sh; returns its exit status and fills output with its
// standard output.
int runShell(const std::string& command, std::string* output = nullptr);

} // namespace testsupport
