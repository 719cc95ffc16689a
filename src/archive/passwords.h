#pragma once

#include "archivestate.h"
#include "archivewindow.h"
#include "drivemap.h"
#include "result.h"
#include "tooljob.h"

#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace archive {

// The reason the archiver gives for an encrypted member it had no password for.
inline constexpr char kNoPasswordGiven[] = "it is encrypted and no password was given";

// What the archiver said of encrypted members in a job's error text, one line each: the members it
// refused for a wrong password, those it refused for want of one, and every other line.
struct PasswordRefusals {
    std::vector<std::string> wrong;
    std::vector<std::string> missing;
    std::string rest;
};
// verb: "extracted", or "tested" for a test.
PasswordRefusals takePasswordRefusals(const std::string& errors, const std::string& verb);

// The switches that end a job line naming the password file: an extract's (or a test's), and an
// encrypted add's.
std::string passwordSwitch(const JobFiles& files);
std::string encryptSwitch(const JobFiles& files);

// The password goes to the archiver in a file of the private work folder, made for this user alone
// (a stale one removed first, then created exclusively with mode 0600) just before the job; the
// archiver removes it as it reads it, and the program after the job if it is still there.
platform::Status writePasswordFile(const JobFiles& files, const platform::DriveMap& drives,
                                   const std::string& password);
void removePasswordFile(const JobFiles& files, const platform::DriveMap& drives);

// The passwords of the open archive, in memory only and until another archive is opened or made:
// the one its encrypted members are read with, asked for once, and the one its adds are encrypted
// with while "Encrypt Added Files..." is on.
class ArchivePasswords {
public:
    ~ArchivePasswords() { forgetAll(); }

    // The archive's password, asking the user when none is known; wrongFor names the members the
    // last one failed for, which is then forgotten and asked for again. Nothing when the user
    // cancelled.
    std::optional<std::string> readPassword(ArchiveWindow& window, const std::string& archiveName,
                                            const std::vector<std::string>& wrongFor = {});
    bool knowsReadPassword() const { return m_read.has_value(); }

    // Asks twice for the password the adds are encrypted with, until both fields agree; false when
    // the user cancelled. The archive's password becomes the same when none is known yet.
    bool startEncryptingAdds(ArchiveWindow& window, const std::string& archiveName);
    void stopEncryptingAdds() { forget(m_add); }
    bool encryptsAdds() const { return m_add.has_value(); }
    const std::string& addPassword() const { return *m_add; }

    void forgetAll() {
        forget(m_read);
        forget(m_add);
    }

private:
    static void forget(std::optional<std::string>& password);

    std::optional<std::string> m_read;
    std::optional<std::string> m_add;
};

// An extract's passwords over one operation: which lines of a chunk name encrypted members (by the
// listing's mark), the question before the first job that needs the password, the members the user
// gave no password for, and the members to run again after a wrong password.
class OperationPasswords {
public:
    // verb as for takePasswordRefusals.
    OperationPasswords(ArchivePasswords& passwords, ArchiveWindow& window, const ArchiveState& state,
                       std::string verb = "extracted");

    // Before a chunk's job: asks for the password when the chunk names an encrypted member and none
    // is known yet; when the user gives none, those lines leave the chunk and are kept for the
    // closing message.
    void prepareChunk(std::vector<std::string>& lines);
    // The tail of the next job's line: the password switch when the job needs the password.
    std::string commandLineTail(const JobFiles& files) const;
    const std::string& password() const { return m_password; }
    bool jobNeedsPassword() const { return m_needed; }
    // After a job: takes the password refusals out of errors and asks again (saying which members
    // the password was wrong for); the members to run again, or none.
    std::vector<std::string> membersToRetry(std::string& errors);
    // The members not extracted for want of a password.
    const std::vector<std::string>& skipped() const { return m_skipped; }

private:
    bool askForPassword(const std::vector<std::string>& wrongFor);

    ArchivePasswords& m_passwords;
    ArchiveWindow& m_window;
    const ArchiveState& m_state;
    std::string m_verb;
    std::unordered_set<std::string> m_encrypted; // the encrypted members' paths
    std::string m_password;
    bool m_needed = false;
    bool m_declined = false;
    std::vector<std::string> m_skipped;
};

// The folders that hold encrypted members, at any depth, "/"-separated.
std::unordered_set<std::string> foldersWithEncryptedMembers(const std::vector<ArchiveEntry>& entries);

} // namespace archive
