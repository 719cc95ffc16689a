#include "launch.h"

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

extern char** environ;

namespace platform {

namespace {

// A descriptor that becomes readable when the process ends; -1 where the kernel has none.
int openProcessHandle(pid_t process) {
#ifdef SYS_pidfd_open
    return static_cast<int>(::syscall(SYS_pidfd_open, process, 0));
#else
    (void)process;
    errno = ENOSYS;
    return -1;
#endif
}

// Whether the process has ended, without taking its exit (the leader of a group stays a
// zombie, so its group id cannot be given to anyone else while the group is killed).
bool hasEnded(pid_t process) {
    siginfo_t info{};
    if (::waitid(P_PID, static_cast<id_t>(process), &info, WEXITED | WNOHANG | WNOWAIT) != 0) {
        return errno != EINTR && ::kill(process, 0) != 0 && errno != EPERM; // not our child
    }
    return info.si_pid == process;
}

// Waits until the process has ended or the deadline has passed; does not take its exit.
bool waitUntilEnded(pid_t process, std::chrono::steady_clock::time_point deadline) {
    const int handle = openProcessHandle(process);
    for (;;) {
        if (hasEnded(process)) {
            if (handle >= 0) {
                ::close(handle);
            }
            return true;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            if (handle >= 0) {
                ::close(handle);
            }
            return false;
        }
        if (handle >= 0) {
            pollfd watched{handle, POLLIN, 0};
            (void)::poll(&watched, 1, static_cast<int>(std::min<long long>(left.count(), 1000)));
        } else {
            // No process handle: look again soon, never later than the deadline.
            const long long nap = std::min<long long>(left.count(), 5);
            const struct timespec pause = {0, static_cast<long>(nap) * 1'000'000};
            ::nanosleep(&pause, nullptr);
        }
    }
}

} // namespace

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

ProcessEnd waitForProcessEnd(pid_t process, std::chrono::milliseconds timeout) {
    if (!waitUntilEnded(process, std::chrono::steady_clock::now() + timeout)) {
        return ProcessEnd::StillRunning;
    }
    int status = 0;
    while (::waitpid(process, &status, 0) < 0) {
        if (errno != EINTR) {
            return ProcessEnd::Unknown;
        }
    }
    return ProcessEnd::Exited;
}

bool stopProcessGroup(pid_t leader, std::chrono::milliseconds grace) {
    if (leader <= 0) {
        return false;
    }
    // The job leads a session and a process group of its own (launchHidden), so the group id is
    // its process id; until its exit is taken, that id cannot name anyone else's group.
    (void)::kill(-leader, SIGTERM);
    const bool ended = waitUntilEnded(leader, std::chrono::steady_clock::now() + grace);
    // What did not end on the request (the leader, or a program it started) ends now.
    (void)::kill(-leader, SIGKILL);
    (void)waitForProcessEnd(leader);
    return ended;
}

} // namespace platform
