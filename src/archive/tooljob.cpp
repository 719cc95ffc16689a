#include "tooljob.h"

#include "fileservices.h"
#include "hostfile.h"
#include "hostnames.h"
#include "launch.h"
#include "messages.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <fcntl.h>
#include <unistd.h>

namespace archive {

namespace {

// At most one job runs at a time in a program; its wait lets the window handle events.
bool g_jobRunning = false;

class RunningJob {
public:
    RunningJob() { g_jobRunning = true; }
    ~RunningJob() { g_jobRunning = false; }
    RunningJob(const RunningJob&) = delete;
    RunningJob& operator=(const RunningJob&) = delete;
};

// Creates or truncates a job file and writes text to it, all or nothing reported.
platform::Status writeJobFile(const platform::DriveMap& drives, const std::string& windowsPath,
                              const std::string& text) {
    platform::Result<std::string> host = drives.toHost(windowsPath);
    if (!host.ok()) {
        return host.error();
    }
    return platform::writeWholeFile(*host, text);
}

// The last bytes of a file, enough for its last few lines; "" when it cannot be read.
std::string tailOfFile(const std::string& hostPath, size_t length) {
    const int fd = ::open(hostPath.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        return std::string();
    }
    std::string tail;
    const off_t size = ::lseek(fd, 0, SEEK_END);
    if (size > 0) {
        const off_t from = size > static_cast<off_t>(length) ? size - static_cast<off_t>(length) : 0;
        tail.resize(static_cast<size_t>(size - from));
        const ssize_t n = ::pread(fd, tail.data(), tail.size(), from);
        tail.resize(n > 0 ? static_cast<size_t>(n) : 0);
    }
    ::close(fd);
    return tail;
}

} // namespace

std::optional<JobProgress> lastJobProgress(const std::string& text) {
    // The line being written may be cut short: only a line with its line end counts.
    const size_t end = text.rfind('\n');
    if (end == std::string::npos) {
        return std::nullopt;
    }
    const size_t start = end == 0 ? std::string::npos : text.rfind('\n', end - 1);
    const std::string_view line = std::string_view(text).substr(
        start == std::string::npos ? 0 : start + 1, end - (start == std::string::npos ? 0 : start + 1));
    JobProgress progress;
    const size_t blank = line.find(' ');
    if (blank == std::string_view::npos) {
        return std::nullopt;
    }
    const char* first = line.data();
    const auto [doneEnd, doneError] = std::from_chars(first, first + blank, progress.done);
    const auto [totalEnd, totalError] =
        std::from_chars(first + blank + 1, first + line.size(), progress.total);
    if (doneError != std::errc() || doneEnd != first + blank || totalError != std::errc() ||
        totalEnd != first + line.size()) {
        return std::nullopt;
    }
    return progress;
}

JobFiles JobFiles::inFolders(const std::string& programDir, const std::string& jobDir,
                             const std::string& interpreterHost) {
    JobFiles files;
    files.programDir = programDir;
    files.jobDir = jobDir;
    files.archiver = programDir + kArchiverName;
    files.script = jobDir + "temp.bat";
    files.marker = jobDir + "tempdone.txt";
    files.listing = jobDir + "temp.txt";
    files.list = jobDir + "temp.lst";
    files.errors = jobDir + "temp.err";
    files.password = jobDir + "temp.pwd";
    files.progress = jobDir + "temp.prg";
    files.interpreterHost = interpreterHost;
    return files;
}

JobFiles JobFiles::inProgramDir(const std::string& programDir, const std::string& interpreterHost) {
    return inFolders(programDir, programDir, interpreterHost);
}

std::string jobScriptText(const std::string& commandLine, const JobFiles& files) {
    return commandLine + "\r\n" + "copy \"" + files.script + "\" \"" + files.marker + "\"";
}

ToolJob::ToolJob(const JobFiles& files, ArchiveWindow& window, const platform::DriveMap& drives)
    : m_files(files), m_window(window), m_drives(drives) {}

bool ToolJob::fail(platform::Error reason) {
    m_failure = std::move(reason);
    m_window.showMessage(res::kJobFileError, res::kApplicationTitle, MessageIcon::Stop, MessageButtons::Ok);
    return false;
}

bool ToolJob::refuseName(const std::string& name, const std::string& reason) {
    m_failure = platform::makeError(EINVAL, reason + ": " + name);
    m_window.showMessage(std::string(res::kUnsafeNameError) + "\n" + platform::shownNameOf(name),
                         res::kUnsafeNameCaption, MessageIcon::Stop, MessageButtons::Ok);
    return false;
}

bool ToolJob::refusesPath(const std::string& path) {
    if (platform::unsafeJobCharacter(path) == std::string::npos) {
        return false;
    }
    return !refuseName(path, "a path holds a character a job line cannot carry");
}

bool ToolJob::writeScript(const std::string& commandLine) {
    // The program's own files are named on every line; the caller has checked its own paths.
    for (const std::string* path :
         {&m_files.archiver, &m_files.script, &m_files.marker, &m_files.listing, &m_files.list}) {
        if (refusesPath(*path)) {
            return false;
        }
    }
    // The last guard: whatever made the line, a line break or an odd quote in it would change
    // what the interpreter runs.
    const bool oddQuotes = std::count(commandLine.begin(), commandLine.end(), '"') % 2 != 0;
    const bool breaks = std::any_of(commandLine.begin(), commandLine.end(),
                                    [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
    if (oddQuotes || breaks) {
        return refuseName(commandLine, "a job line would not say what it was made to");
    }
    platform::Status written = writeJobFile(m_drives, m_files.script, jobScriptText(commandLine, m_files));
    return written.ok() || fail(written.error());
}

bool ToolJob::writeListFile(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        // A quote is an ordinary character on a list line; a line break would make two lines.
        const bool breaks = line.empty() || std::any_of(line.begin(), line.end(), [](char c) {
                                return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
                            });
        if (breaks) {
            return refuseName(line, "a list line would not name one file");
        }
        text += line;
        text += "\r\n";
    }
    platform::Status written = writeJobFile(m_drives, m_files.list, text);
    return written.ok() || fail(written.error());
}

void ToolJob::deleteMarker() {
    (void)platform::deleteFile(m_drives, m_files.marker);
}

bool ToolJob::isRunning() {
    return g_jobRunning;
}

bool ToolJob::launchAndWait(ProgressDialog* dialog) {
    m_stopped = false;
    m_endedWhenStopped = false;
    m_windowClosing = false;
    if (g_jobRunning) {
        // Reached from an event handled during another job's wait: that job's files are in use.
        m_failure = platform::makeError(EBUSY, "another job is running");
        return false;
    }
    platform::Result<std::string> script = m_drives.toHost(m_files.script);
    if (!script.ok()) {
        return fail(script.error());
    }
    if (m_onProgress) {
        // The last job's reports must not show as this one's before it writes its own.
        (void)platform::deleteFile(m_drives, m_files.progress);
    }
    const platform::LaunchResult launched = platform::launchHidden(m_files.interpreterHost, *script);
    if (!launched.started()) {
        return fail(platform::makeError(launched.code, "cannot start " + m_files.interpreterHost +
                                                           " (launch code " + std::to_string(launched.code) +
                                                           ")"));
    }
    // The script's last line creates the marker just before the interpreter exits, so the end
    // of the interpreter is the moment to look for it: no polling interval is lost. A job whose
    // interpreter is gone without leaving the marker (the marker line failed, the disk is full)
    // would otherwise be waited for forever.
    if (!waitForJob(launched.process, dialog)) {
        m_failure = platform::makeError(ECANCELED, "the job was stopped by the user");
        return false;
    }
    // A job started hidden here has no console window, so none is left to close afterwards.
    platform::Status taken = platform::deleteFile(m_drives, m_files.marker);
    return taken.ok() || fail(taken.error());
}

bool ToolJob::userWantsToStop() {
    return m_window.showMessage(res::kStopArchiverQuestion, res::kStopArchiverCaption, MessageIcon::Question,
                                MessageButtons::OkCancel) == MessageAnswer::Ok;
}

bool ToolJob::waitForJob(pid_t process, ProgressDialog* dialog) {
    const RunningJob running;
    if (platform::waitForProcessEnd(process, kLongJobAfter) != platform::ProcessEnd::StillRunning) {
        return true;
    }
    // A long job: a big archive or a hung archiver look alike from here, so it is never stopped
    // without asking.
    const std::string statusBefore = m_window.statusText();
    m_window.setStatusText(res::kArchiverWorkingStatus);
    bool cancelAnswered = false;
    for (;;) {
        const JobRequest request = m_window.processEventsDuringJob();
        const bool closeAsked = request == JobRequest::CloseWindow;
        const bool cancelAsked = !cancelAnswered && dialog != nullptr && dialog->cancelRequested();
        if (closeAsked || cancelAsked) {
            // A Cancel answered "let it finish" stays a Cancel: the operation stops after this job.
            cancelAnswered = cancelAnswered || cancelAsked;
            if (userWantsToStop()) {
                m_windowClosing = closeAsked;
                // The job may have ended while the question was up; then its work stands.
                if (platform::waitForProcessEnd(process, std::chrono::milliseconds(0)) ==
                    platform::ProcessEnd::StillRunning) {
                    m_endedWhenStopped = platform::stopProcessGroup(process, kStopGrace);
                    m_stopped = true;
                }
                break;
            }
        }
        reportProgress();
        if (platform::waitForProcessEnd(process, kLongJobPoll) != platform::ProcessEnd::StillRunning) {
            break;
        }
    }
    m_window.setStatusText(statusBefore);
    return !m_stopped;
}

void ToolJob::reportProgress() {
    if (!m_onProgress) {
        return;
    }
    platform::Result<std::string> host = m_drives.toHost(m_files.progress);
    if (!host.ok()) {
        return;
    }
    if (const std::optional<JobProgress> progress = lastJobProgress(tailOfFile(*host, 256))) {
        m_onProgress(*progress);
    }
}

bool ToolJob::run(const std::string& commandLine) {
    if (!writeScript(commandLine)) {
        return false;
    }
    deleteMarker();
    return launchAndWait();
}

void DeleteJobFiles(const JobFiles& files, const platform::DriveMap& drives) {
    for (const std::string* path : {&files.script, &files.marker, &files.list, &files.listing, &files.errors,
                                    &files.password, &files.progress}) {
        (void)platform::deleteFile(drives, *path);
    }
}

} // namespace archive
