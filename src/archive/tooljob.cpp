#include "tooljob.h"

#include "fileservices.h"
#include "hostfile.h"
#include "launch.h"
#include "messages.h"

namespace archive {

namespace {

// Creates or truncates a job file and writes text to it, all or nothing reported.
platform::Status writeJobFile(const platform::DriveMap& drives, const std::string& windowsPath,
                              const std::string& text) {
    platform::Result<std::string> host = drives.toHost(windowsPath);
    if (!host.ok()) {
        return host.error();
    }
    return platform::writeWholeFile(*host, text);
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

bool ToolJob::fail(platform::Error reason) {
    m_failure = std::move(reason);
    m_window.showMessage(res::kJobFileError, res::kApplicationTitle, MessageIcon::Stop, MessageButtons::Ok);
    return false;
}

bool ToolJob::writeScript(const std::string& commandLine) {
    platform::Status written = writeJobFile(m_drives, m_files.script, jobScriptText(commandLine, m_files));
    return written.ok() || fail(written.error());
}

bool ToolJob::writeListFile(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += "\r\n";
    }
    platform::Status written = writeJobFile(m_drives, m_files.list, text);
    return written.ok() || fail(written.error());
}

void ToolJob::deleteMarker() {
    (void)platform::deleteFile(m_drives, m_files.marker);
}

bool ToolJob::launchAndWait() {
    platform::Result<std::string> script = m_drives.toHost(m_files.script);
    if (!script.ok()) {
        return fail(script.error());
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
    platform::waitForProcessEnd(launched.process);
    // A job started hidden here has no console window, so none is left to close afterwards.
    platform::Status taken = platform::deleteFile(m_drives, m_files.marker);
    return taken.ok() || fail(taken.error());
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
