#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <sys/types.h>

namespace testsupport {

// An X server of the test's own (Xvfb, 1600 by 1000), so that programs get real X input from
// xdotool and real drag and drop between them. Stopped when it goes.
class BackgroundRun;

class XServer {
public:
    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // Whether the server is up; when it is not, why.
    bool isRunning() const { return m_pid > 0; }
    const std::string& whyNot() const { return m_whyNot; }
    // ":N", the DISPLAY of the programs started on it.
    const std::string& display() const { return m_display; }
    // Runs xdotool with these arguments on this server; its exit status, output in *output.
    int xdotool(const std::string& arguments, std::string* output = nullptr) const;
    // Starts a window manager (openbox, else matchbox-window-manager) on the server, which runs
    // until the server goes: drag and drop between programs goes through what it does with their
    // windows. False, with whyNot set, when none is installed.
    bool startWindowManager();

private:
    std::unique_ptr<BackgroundRun> m_windowManager;
    pid_t m_pid = -1;
    std::string m_display;
    std::string m_whyNot;
};

// A shell command running in the background, its standard output and error kept in a file.
class BackgroundRun {
public:
    BackgroundRun(const std::string& command, const std::string& outputFile);
    ~BackgroundRun();
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    // Waits until the output holds text; false when the time ran out or the command ended first.
    bool waitForOutput(const std::string& text, std::chrono::milliseconds timeout);
    std::string output() const;
    // Waits for the command to end; false when it is still running after timeout.
    bool waitForEnd(std::chrono::milliseconds timeout);
    int exitStatus() const { return m_status; }

private:
    pid_t m_pid = -1;
    std::string m_outputFile;
    int m_status = -1;
};

} // namespace testsupport
