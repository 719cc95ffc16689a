#include "launch.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace platform {

LaunchResult launchHidden(const std::string& programHostPath, const std::string& argument) {
    if (::access(programHostPath.c_str(), F_OK) != 0) {
        return LaunchResult{kLaunchFileNotFound, -1};
    }
    if (::access(programHostPath.c_str(), X_OK) != 0) {
        return LaunchResult{kLaunchAccessDenied, -1};
    }
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attributes);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    // A session of its own: no terminal, and no signal of ours reaches it by accident.
    short flags = POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
    posix_spawnattr_setflags(&attributes, flags);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigaddset(&defaults, SIGCHLD);
    posix_spawnattr_setsigdefault(&attributes, &defaults);

    std::string program = programHostPath;
    std::string arg = argument;
    char* argv[] = {program.data(), arg.data(), nullptr};
    pid_t child = -1;
    const int failure = posix_spawn(&child, programHostPath.c_str(), &actions, &attributes, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (failure != 0) {
        return LaunchResult{failure == ENOENT ? kLaunchFileNotFound : kLaunchNoAssociation, -1};
    }
    return LaunchResult{kLaunchStarted, child};
}

ProcessEnd waitForProcessEnd(pid_t process) {
    for (;;) {
        int status = 0;
        const pid_t ended = ::waitpid(process, &status, 0);
        if (ended == process) {
            return ProcessEnd::Exited;
        }
        if (ended < 0 && errno == EINTR) {
            continue;
        }
        break;
    }
    // Someone else reaped it, or it is not our child: watch for it to go away.
    const struct timespec pause = {0, 2'000'000};
    while (::kill(process, 0) == 0 || errno == EPERM) {
        ::nanosleep(&pause, nullptr);
    }
    return ProcessEnd::Unknown;
}

} // namespace platform
