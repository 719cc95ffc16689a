#pragma once

#include <chrono>
#include <string>
#include <sys/types.h>

namespace platform {

// What a hidden launch reports. As with the Windows shell launch, a code above 32 means the
// program was started; 2 (file not found) and 5 (access denied) and 31 (cannot be run) are the
// failures.
struct LaunchResult {
    int code = 0;
    pid_t process = -1; // the started process, while code > 32

    bool started() const { return code > 32; }
};

inline constexpr int kLaunchStarted = 42;
inline constexpr int kLaunchFileNotFound = 2;
inline constexpr int kLaunchAccessDenied = 5;
inline constexpr int kLaunchNoAssociation = 31;

// Starts program with one argument, hidden: in a session of its own (no controlling terminal),
// with standard input, output and error on /dev/null. Nothing is shown.
LaunchResult launchHidden(const std::string& programHostPath, const std::string& argument);

// How a started process ended, or that it has not ended yet.
enum class ProcessEnd { Exited, Unknown, StillRunning };

// Blocks until the process has ended; returns at once for a process that is not ours to wait
// for (it is then polled until it is gone).
ProcessEnd waitForProcessEnd(pid_t process);

// Waits at most `timeout` for the process to end and takes its exit when it has; StillRunning
// otherwise. Wakes as soon as the process ends, not at the next tick of a poll.
ProcessEnd waitForProcessEnd(pid_t process, std::chrono::milliseconds timeout);

// Ends a process started by launchHidden together with everything it started: the whole
// process group its session leads. Asks politely first, then kills what is left after
// `grace`, and takes the leader's exit. True when the leader ended on the request, within the
// grace: it had the chance to say what it did.
bool stopProcessGroup(pid_t leader, std::chrono::milliseconds grace = std::chrono::milliseconds(500));

} // namespace platform
