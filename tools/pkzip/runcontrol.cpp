#include "runcontrol.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace pkzip {

namespace {

std::atomic<bool> g_stop{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

extern "C" void onStopSignal(int) {
    g_stop.store(true, std::memory_order_relaxed);
}

constexpr int64_t kReportEveryNs = 100'000'000;

std::atomic<int> g_progressFd{-1};
std::atomic<uint64_t> g_done{0};
uint64_t g_total = 0;
std::atomic<int64_t> g_lastReport{0};

int64_t nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void writeReport(int fd) {
    char line[64];
    const int length =
        std::snprintf(line, sizeof line, "%llu %llu\n", static_cast<unsigned long long>(g_done.load()),
                      static_cast<unsigned long long>(g_total));
    // One append of a short line: a reader sees either none of it or all of it before the next.
    (void)!::write(fd, line, static_cast<size_t>(length));
}

} // namespace

void watchForStopRequests() {
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: a wait for the archive's lock returns, and sees the stop.
    action.sa_flags = 0;
    for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
        (void)::sigaction(signal, &action, nullptr);
    }
}

bool stopRequested() {
    return g_stop.load(std::memory_order_relaxed);
}

void setStopRequested(bool requested) {
    g_stop.store(requested);
}

Error stoppedError() {
    return platform::makeError(ECANCELED, "stopped on request");
}

namespace progress {

void start(const std::string& hostPath, uint64_t total) {
    const int fd =
        ::open(hostPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return;
    }
    g_done = 0;
    g_total = total;
    g_lastReport = nowNs();
    writeReport(fd);
    g_progressFd = fd;
}

void advance(uint64_t bytes) {
    g_done.fetch_add(bytes, std::memory_order_relaxed);
    const int fd = g_progressFd.load(std::memory_order_relaxed);
    if (fd < 0) {
        return;
    }
    const int64_t now = nowNs();
    int64_t last = g_lastReport.load(std::memory_order_relaxed);
    // One thread writes each report: the one that moves the time of the last one on.
    if (now - last >= kReportEveryNs && g_lastReport.compare_exchange_strong(last, now)) {
        writeReport(fd);
    }
}

void finish() {
    const int fd = g_progressFd.exchange(-1);
    if (fd >= 0) {
        writeReport(fd);
        ::close(fd);
    }
}

} // namespace progress

} // namespace pkzip
