#include "programcopy.h"

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <thread>

namespace testsupport {

ProgramCopy::ProgramCopy() {
    dir = sandbox.hostPath("Program Files/Pellix");
    std::filesystem::create_directories(dir);
    // The program itself is copied: it finds its program directory from its own path.
    std::filesystem::copy_file(programDir() + "/pellix", dir + "/pellix");
    for (const char* file : {"PKZIP25.EXE", "pellix-batch", "pellix.html"}) {
        std::filesystem::create_symlink(programDir() + "/" + file, dir + "/" + file);
    }
}

std::string ProgramCopy::runScript(const std::string& script, const std::string& archive, int* status) {
    const std::string file = sandbox.root() + "/script.txt";
    writeFile(file, script);
    std::string output;
    const int exitStatus = runShell(scriptCommand(sandbox, dir + "/pellix", file, archive), &output);
    if (status != nullptr) {
        *status = exitStatus;
    }
    return output;
}

std::string shellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) {
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string scriptCommand(const Sandbox& sandbox, const std::string& program, const std::string& scriptFile,
                          const std::string& archive) {
    return "cd " + shellQuoted(sandbox.home()) + " && TZ=UTC QT_QPA_PLATFORM=offscreen " +
           shellQuoted(program) + " --script " + shellQuoted(scriptFile) + " " +
           (archive.empty() ? "" : shellQuoted(archive)) + " 2>/dev/null";
}

std::string ProgramCopy::registryText() const {
    return readFile(sandbox.config() + "/pellix/registry.reg");
}

void writeSlowArchiver(const std::string& hostPath, const std::string& pattern, int seconds,
                       const std::string& log, const std::string& sleeperPid) {
    std::filesystem::remove(hostPath);
    // The command line is logged by printf's %s: the archiver's arguments hold Windows paths, whose
    // backslashes echo would read as escapes (a folder named "\n..." becoming a line break).
    writeFile(hostPath, "#!/bin/sh\n"
                        "printf '%s\\n' \"$*\" >> " +
                            shellQuoted(log) +
                            "\n"
                            "case \"$*\" in\n"
                            "*" +
                            pattern +
                            "*)\n"
                            "    trap '' TERM\n"
                            "    sleep " +
                            std::to_string(seconds) +
                            " &\n"
                            "    echo $! > " +
                            shellQuoted(sleeperPid) +
                            "\n"
                            "    wait\n"
                            "    ;;\n"
                            "esac\n"
                            "exec " +
                            shellQuoted(programDir() + "/PKZIP25.EXE") + " \"$@\"\n");
    std::filesystem::permissions(hostPath, std::filesystem::perms::owner_all);
}

bool processEndsWithin(const std::string& pidFile, std::chrono::milliseconds timeout) {
    const std::string text = readFile(pidFile);
    const pid_t process = static_cast<pid_t>(std::atoi(text.c_str()));
    if (process <= 0) {
        return false;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        // A process that has ended but not been reaped yet (a zombie) counts as ended.
        const std::string stat = fileExists("/proc/" + std::to_string(process) + "/stat")
                                     ? readFile("/proc/" + std::to_string(process) + "/stat")
                                     : std::string();
        const size_t state = stat.rfind(") ");
        if ((::kill(process, 0) != 0 && errno == ESRCH) ||
            (state != std::string::npos && (stat[state + 2] == 'Z' || stat[state + 2] == 'X'))) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

size_t count(const std::string& text, const std::string& part) {
    size_t found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++found;
    }
    return found;
}

} // namespace testsupport
