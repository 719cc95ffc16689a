// pellix-batch: runs a job script the way the Windows command interpreter runs the two-line
// scripts Pellix writes, and nothing else: a script that is not a job line followed by the copy of
// the script to its completion marker runs nothing. A job line that does not parse, or whose
// program cannot run, is reported and the marker line still runs, so the program sees the job end.
//
// The program cannot see a hidden job's console, so what went wrong is kept beside the script:
// SCRIPT.err (temp.err for temp.bat) is emptied when the script starts and then holds the
// standard error of every program line that failed, or a line naming its exit status. A program
// that succeeds leaves nothing there, even if it printed warnings.
//
// A stop (SIGTERM, SIGINT, SIGHUP) is passed on to the running program, which is waited for, so
// that what it says as it stops reaches the error file; a stopped script does not make its marker.

#include "drivemap.h"
#include "hostfile.h"
#include "script.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <spawn.h>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// Where failures are written; -1 when the error file cannot be created.
int g_errorFile = -1;

// The stop that reached the interpreter (0 for none), and the program it is passed on to.
volatile std::sig_atomic_t g_stopSignal = 0;
volatile pid_t g_child = -1;

extern "C" void onStopSignal(int signal) {
    g_stopSignal = signal;
    if (g_child > 0) {
        (void)::kill(g_child, signal);
    }
}

void watchForStopRequests() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        (void)::sigaction(signal, &action, nullptr);
    }
}

void report(const std::string& text) {
    std::fprintf(stderr, "pellix-batch: %s\n", text.c_str());
    if (g_errorFile >= 0) {
        const std::string line = text + "\n";
        (void)!::write(g_errorFile, line.data(), line.size());
    }
}

std::string errorFileFor(const std::string& scriptPath) {
    const size_t slash = scriptPath.rfind('/');
    const size_t dot = scriptPath.rfind('.');
    const bool hasExtension = dot != std::string::npos && (slash == std::string::npos || dot > slash);
    return (hasExtension ? scriptPath.substr(0, dot) : scriptPath) + ".err";
}

bool hostPathOf(const platform::DriveMap& drives, const std::string& windowsPath, std::string& host) {
    if (!windowsPath.empty() && windowsPath[0] == '/') {
        host = windowsPath;
        return true;
    }
    platform::Result<std::string> resolved = drives.toHost(windowsPath);
    if (!resolved.ok()) {
        report(resolved.error().message);
        return false;
    }
    host = *resolved;
    return true;
}

// Why a marker line is not the copy of this script to a file beside it; empty when it is.
std::string markerProblem(const platform::DriveMap& drives, const batch::ScriptLine& line,
                          const std::string& scriptPath) {
    std::string from;
    std::string to;
    if (!hostPathOf(drives, line.arguments[0], from) || !hostPathOf(drives, line.arguments[1], to)) {
        return "the completion marker's copy names a path that cannot be found";
    }
    struct stat source {};
    struct stat script {};
    const bool sameFile = ::stat(from.c_str(), &source) == 0 && ::stat(scriptPath.c_str(), &script) == 0 &&
                          source.st_dev == script.st_dev && source.st_ino == script.st_ino;
    if (!sameFile) {
        return "the second line does not copy the script itself";
    }
    auto folderOf = [](const std::string& path) { return path.substr(0, path.rfind('/') + 1); };
    if (folderOf(platform::normaliseHostPath(to)) != folderOf(platform::normaliseHostPath(scriptPath))) {
        return "the second line does not copy the script to a file beside it";
    }
    return std::string();
}

bool runCopy(const platform::DriveMap& drives, const batch::ScriptLine& line) {
    std::string from;
    std::string to;
    if (!hostPathOf(drives, line.arguments[0], from) || !hostPathOf(drives, line.arguments[1], to)) {
        return false;
    }
    platform::Result<std::string> contents = platform::readWholeFile(from);
    if (!contents.ok()) {
        report("copy: " + contents.error().message);
        return false;
    }
    const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        report("copy: cannot create " + to + ": " + std::strerror(errno));
        return false;
    }
    const std::string& data = *contents;
    bool ok = ::write(fd, data.data(), data.size()) == static_cast<ssize_t>(data.size());
    if (!ok) {
        report("copy: cannot write " + to + ": " + std::strerror(errno));
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
    // The program's complaints go to the error file; they stay there only if it fails.
    const off_t before = g_errorFile >= 0 ? ::lseek(g_errorFile, 0, SEEK_END) : 0;
    if (g_errorFile >= 0) {
        posix_spawn_file_actions_adddup2(&actions, g_errorFile, STDERR_FILENO);
    }
    // The program starts with the signals' default actions; a stop that arrives before it is
    // known here is passed on as soon as it is.
    sigset_t stops;
    sigemptyset(&stops);
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        sigaddset(&stops, signal);
    }
    sigset_t unblocked;
    sigprocmask(SIG_BLOCK, &stops, &unblocked);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setsigdefault(&attributes, &stops);
    posix_spawnattr_setsigmask(&attributes, &unblocked);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    pid_t child = -1;
    const int failure = posix_spawn(&child, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failure == 0) {
        g_child = child;
    }
    sigprocmask(SIG_SETMASK, &unblocked, nullptr);
    if (failure != 0) {
        report("cannot run " + line.program + ": " + std::strerror(failure));
        return false;
    }
    if (g_stopSignal != 0) {
        (void)::kill(child, g_stopSignal);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const bool succeeded = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    if (g_errorFile >= 0) {
        const off_t after = ::lseek(g_errorFile, 0, SEEK_END);
        if (succeeded) {
            (void)!::ftruncate(g_errorFile, before);
        } else if (after == before) {
            report(line.program + (WIFSIGNALED(status)
                                       ? " was killed by signal " + std::to_string(WTERMSIG(status))
                                       : " ended with exit status " + std::to_string(WEXITSTATUS(status))));
        }
    }
    return succeeded;
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
    g_errorFile =
        ::open(errorFileFor(scriptPath).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    platform::Result<std::string> script = platform::readWholeFile(scriptPath);
    if (!script.ok()) {
        report(script.error().message);
        return 1;
    }
    // A script that is not exactly a job line and its marker's copy runs nothing at all: whatever
    // made it, it is not what the program wrote.
    const batch::JobScript parsed = batch::parseJobScript(*script);
    if (!parsed.problem.empty()) {
        report(parsed.problem + "; nothing was run");
        return 1;
    }
    if (std::string why = markerProblem(drives, parsed.marker, scriptPath); !why.empty()) {
        report(why + "; nothing was run");
        return 1;
    }
    // A job line that does not parse does not run, but the marker is still made, so the program
    // sees the job end and reads why it failed.
    watchForStopRequests();
    bool allRan = true;
    if (parsed.job.kind == batch::ScriptLine::Kind::Malformed) {
        report(parsed.job.problem + "; the line was not run: " + batch::splitScriptLines(*script).front());
        allRan = false;
    } else {
        allRan = runProgram(drives, parsed.job);
    }
    if (g_stopSignal != 0) {
        // Whoever stopped the job no longer waits for its marker; the error file says whether the
        // program had done its work (nothing there) or what it said as it stopped.
        return 1;
    }
    allRan = runCopy(drives, parsed.marker) && allRan;
    return allRan ? 0 : 1;
}
