// pellix-batch: runs a job script the way the Windows command interpreter runs the two-line
// scripts Pellix writes. Each line runs in turn; a line that cannot run is reported on standard
// error and the next line still runs, so the completion marker line always gets its chance.

#include "drivemap.h"
#include "hostfile.h"
#include "script.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

bool hostPathOf(const platform::DriveMap& drives, const std::string& windowsPath, std::string& host) {
    if (!windowsPath.empty() && windowsPath[0] == '/') {
        host = windowsPath;
        return true;
    }
    platform::Result<std::string> resolved = drives.toHost(windowsPath);
    if (!resolved.ok()) {
        std::fprintf(stderr, "pellix-batch: %s\n", resolved.error().message.c_str());
        return false;
    }
    host = *resolved;
    return true;
}

bool runCopy(const platform::DriveMap& drives, const batch::ScriptLine& line) {
    std::string from;
    std::string to;
    if (!hostPathOf(drives, line.arguments[0], from) || !hostPathOf(drives, line.arguments[1], to)) {
        return false;
    }
    platform::Result<std::string> contents = platform::readWholeFile(from);
    if (!contents.ok()) {
        std::fprintf(stderr, "pellix-batch: copy: %s\n", contents.error().message.c_str());
        return false;
    }
    const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::fprintf(stderr, "pellix-batch: copy: cannot create %s: %s\n", to.c_str(), std::strerror(errno));
        return false;
    }
    const std::string& data = *contents;
    bool ok = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    if (!ok) {
        std::fprintf(stderr, "pellix-batch: copy: cannot write %s: %s\n", to.c_str(), std::strerror(errno));
    }
    if (::close(fd) != 0) {
        ok = false;
    }
    return ok;
}

bool runProgram(const platform::DriveMap& drives, const batch::ScriptLine& line) {
    std::string program;
    if (!hostPathOf(drives, line.program, program)) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (line.redirect) {
        std::string output;
        if (!hostPathOf(drives, *line.redirect, output)) {
            posix_spawn_file_actions_destroy(&actions);
            return false;
        }
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
    }
    std::vector<std::string> words;
    words.push_back(program);
    words.insert(words.end(), line.arguments.begin(), line.arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) {
        argv.push_back(word.data());
    }
    argv.push_back(nullptr);
    pid_t child = -1;
    const int failure = posix_spawn(&child, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (failure != 0) {
        std::fprintf(stderr, "pellix-batch: cannot run %s: %s\n", program.c_str(), std::strerror(failure));
        return false;
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: pellix-batch SCRIPT\n");
        return 2;
    }
    const platform::DriveMap& drives = platform::DriveMap::current();
    std::string scriptPath;
    if (!hostPathOf(drives, argv[1], scriptPath)) {
        return 1;
    }
    platform::Result<std::string> script = platform::readWholeFile(scriptPath);
    if (!script.ok()) {
        std::fprintf(stderr, "pellix-batch: %s\n", script.error().message.c_str());
        return 1;
    }
    bool allRan = true;
    for (const std::string& text : batch::splitScriptLines(*script)) {
        const batch::ScriptLine line = batch::parseScriptLine(text);
        switch (line.kind) {
        case batch::ScriptLine::Kind::Empty:
            break;
        case batch::ScriptLine::Kind::Malformed:
            std::fprintf(stderr, "pellix-batch: %s: %s\n", line.problem.c_str(), text.c_str());
            allRan = false;
            break;
        case batch::ScriptLine::Kind::Copy:
            allRan = runCopy(drives, line) && allRan;
            break;
        case batch::ScriptLine::Kind::Run:
            allRan = runProgram(drives, line) && allRan;
            break;
        }
    }
    return allRan ? 0 : 1;
}
