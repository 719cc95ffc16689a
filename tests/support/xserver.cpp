#include "xserver.h"

#include "sandbox.h"

#include <csignal>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace testsupport {

namespace {

// Starts /bin/sh -c command with its output in outputFile (or nowhere), in a process group of its
// own so that everything it starts can be stopped together.
pid_t spawnShell(const std::string& command, const std::string& outputFile) {
    const pid_t pid = ::fork();
    if (pid != 0) {
        return pid;
    }
    ::setpgid(0, 0);
    const int out =
        ::open(outputFile.empty() ? "/dev/null" : outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (out >= 0) {
        ::dup2(out, 1);
        ::dup2(out, 2);
        ::close(out);
    }
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
}

void stopGroup(pid_t pid) {
    if (pid > 0) {
        ::kill(-pid, SIGTERM);
        int status = 0;
        for (int tries = 0; tries < 100; ++tries) {
            if (::waitpid(pid, &status, WNOHANG) != 0) {
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        ::kill(-pid, SIGKILL);
        ::waitpid(pid, &status, 0);
    }
}

} // namespace

XServer::XServer() {
    if (runShell("command -v Xvfb >/dev/null && command -v xdotool >/dev/null") != 0) {
        m_whyNot = "Xvfb or xdotool is not installed (scripts/setup.sh installs both)";
        return;
    }
    // A display number of our own: the first free one from a start that differs between tests
    // running at once.
    for (int number = 70 + ::getpid() % 400; number < 900 && m_pid < 0; ++number) {
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(number);
        if (fileExists(socket) || fileExists("/tmp/.X" + std::to_string(number) + "-lock")) {
            continue;
        }
        m_display = ":" + std::to_string(number);
        const pid_t pid =
            spawnShell("exec Xvfb " + m_display + " -screen 0 1600x1000x24 -nolisten tcp -noreset", "");
        for (int tries = 0; tries < 100; ++tries) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) != 0) {
                break; // the display was taken meanwhile: try the next
            }
            if (fileExists(socket) && xdotool("getdisplaygeometry") == 0) {
                m_pid = pid;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        stopGroup(pid);
    }
    m_whyNot = "the X server (Xvfb) could not be started";
}

XServer::~XServer() {
    m_windowManager.reset();
    stopGroup(m_pid);
}

bool XServer::startWindowManager() {
    for (const char* manager : {"openbox", "matchbox-window-manager"}) {
        if (runShell(std::string("command -v ") + manager + " >/dev/null") == 0) {
            m_windowManager =
                std::make_unique<BackgroundRun>("DISPLAY=" + m_display + " exec " + manager, "");
            // It is up once it keeps the desktops (xdotool reads them from the root window).
            for (int tries = 0; tries < 100; ++tries) {
                if (xdotool("get_desktop >/dev/null") == 0) {
                    return true;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
            return true;
        }
    }
    m_whyNot = "no window manager is installed (scripts/setup.sh installs openbox)";
    return false;
}

int XServer::xdotool(const std::string& arguments, std::string* output) const {
    // A search that waits for a window never waits longer than this.
    return runShell("DISPLAY=" + m_display + " timeout 30 xdotool " + arguments + " 2>&1", output);
}

BackgroundRun::BackgroundRun(const std::string& command, const std::string& outputFile)
    : m_pid(spawnShell(command, outputFile)), m_outputFile(outputFile) {}

BackgroundRun::~BackgroundRun() {
    if (m_status < 0) {
        stopGroup(m_pid);
    }
}

std::string BackgroundRun::output() const {
    return fileExists(m_outputFile) ? readFile(m_outputFile) : std::string();
}

bool BackgroundRun::waitForOutput(const std::string& text, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < deadline) {
        if (output().find(text) != std::string::npos) {
            return true;
        }
        if (m_status >= 0 || waitForEnd(std::chrono::milliseconds(0))) {
            return output().find(text) != std::string::npos;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

bool BackgroundRun::waitForEnd(std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        int status = 0;
        if (m_status >= 0) {
            return true;
        }
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

} // namespace testsupport
