// The archive engine's part in encrypted archives: the password file around a job, the jobs run
// again after a wrong password, and "Encrypt Added Files...".

#include "archiveengine.h"
#include "messages.h"

namespace archive {

bool ArchiveEngine::launchJob(ToolJob& job, ProgressDialog* dialog, bool withPassword,
                              const std::string& password) {
    if (withPassword) {
        if (platform::Status written = writePasswordFile(m_files, m_drives, password); !written.ok()) {
            removePasswordFile(m_files, m_drives);
            m_window.showMessage(res::kJobFileError, res::kApplicationTitle, MessageIcon::Stop,
                                 MessageButtons::Ok);
            return false;
        }
    }
    const bool done = job.launchAndWait(dialog);
    if (withPassword) {
        // The archiver removes it as it reads it; a job that never got so far leaves it.
        removePasswordFile(m_files, m_drives);
    }
    return done;
}

bool ArchiveEngine::retryRefusedMembers(ToolJob& job, ProgressDialog* dialog, OperationPasswords& passwords,
                                        const std::string& commandLine, std::string& scriptLine,
                                        std::string& errors, const std::string& lineTail) {
    std::vector<std::string> again = passwords.membersToRetry(errors);
    while (!again.empty()) {
        const std::string line = commandLine + passwords.commandLineTail(m_files) + lineTail;
        if (line != scriptLine) {
            if (!job.writeScript(line)) {
                return false;
            }
            scriptLine = line;
        }
        if (!job.writeListFile(again)) {
            return false;
        }
        job.deleteMarker();
        if (!launchJob(job, dialog, passwords.jobNeedsPassword(), passwords.password())) {
            return false;
        }
        std::string said = archiverErrors();
        again = passwords.membersToRetry(said);
        errors += said;
    }
    return true;
}

void ArchiveEngine::toggleAddEncryption() {
    if (m_passwords.encryptsAdds()) {
        m_passwords.stopEncryptingAdds();
    } else {
        (void)m_passwords.startEncryptingAdds(m_window, m_state.archiveFileName);
    }
}

void ArchiveEngine::forgetPasswordsUnless(const std::string& samePath) {
    if (samePath != m_state.archivePath) {
        m_passwords.forgetAll();
    }
}

} // namespace archive
