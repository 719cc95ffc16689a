#include "tooljob.h"

#include "fileservices.h"
#include "launch.h"
#include "messages.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace archive {

namespace {

// Creates or truncates a file and writes text to it, all or nothing reported.
bool writeJobFile(const platform::DriveMap& drives, const std::string& windowsPath, const std::string& text) {
    platform::Result<std::string> host = drives.toHost(windowsPath);
    if (!host.ok()) {
        return false;
    }
    const int fd = ::open(host->c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return false;
    }
    size_t written = 0;
    bool ok = true;
    while (written < text.size()) {
        const ssize_t n = ::write(fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            ok = false; // a full disk must not leave a job running on half a list
            break;
        }
        written += static_cast<size_t>(n);
    }
    return ::close(fd) == 0 && ok;
}

} // namespace

JobFiles JobFiles::inProgramDir(const std::string& programDir, const std::string& interpreterHost) {
    JobFiles files;
    files.programDir = programDir;
    files.archiver = programDir + kArchiverName;
    files.script = programDir + "temp.bat";
    files.marker = programDir + "tempdone.txt";
    files.listing = programDir + "temp.txt";
    files.list = programDir + "temp.lst";
    files.errors = programDir + "temp.err";
    files.interpreterHost = interpreterHost;
    return files;
}

std::string jobScriptText(const std::string& commandLine, const JobFiles& files) {
    return commandLine + "\r\n" + "copy \"" + files.script + "\" \"" + files.marker + "\"";
}

ToolJob::ToolJob(const JobFiles& files, ArchiveWindow& window, const platform::DriveMap& drives)
    : m_files(files), m_window(window), m_drives(drives) {}

bool ToolJob::fail() {
    m_window.showMessage(res::kJobFileError, res::kApplicationTitle, MessageIcon::Stop, MessageButtons::Ok);
    return false;
}

bool ToolJob::writeScript(const std::string& commandLine) {
    return writeJobFile(m_drives, m_files.script, jobScriptText(commandLine, m_files)) || fail();
}

bool ToolJob::writeListFile(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    return writeJobFile(m_drives, m_files.list, text) || fail();
}

void ToolJob::deleteMarker() {
    (void)platform::deleteFile(m_drives, m_files.marker);
}

bool ToolJob::launchAndWait() {
    platform::Result<std::string> script = m_drives.toHost(m_files.script);
    if (!script.ok()) {
        return fail();
    }
    const platform::LaunchResult launched = platform::launchHidden(m_files.interpreterHost, *script);
    if (!launched.started()) {
        return fail();
    }
    // The script's last line creates the marker just before the interpreter exits, so the end
    // of the interpreter is the moment to look for it: no polling interval is lost. A job whose
    // interpreter is gone without leaving the marker (the marker line failed, the disk is full)
    // would otherwise be waited for forever.
    platform::waitForProcessEnd(launched.process);
    // A job started hidden here has no console window, so none is left to close afterwards.
    return platform::deleteFile(m_drives, m_files.marker).ok() || fail();
}

bool ToolJob::run(const std::string& commandLine) {
    if (!writeScript(commandLine)) {
        return false;
    }
    deleteMarker();
    return launchAndWait();
}

void DeleteJobFiles(const JobFiles& files, const platform::DriveMap& drives) {
    for (const std::string* path :
         {&files.script, &files.marker, &files.list, &files.listing, &files.errors}) {
        (void)platform::deleteFile(drives, *path);
    }
}

} // namespace archive
