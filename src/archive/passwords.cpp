#include "passwords.h"

#include "passwordtexts.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace archive {

namespace {

constexpr char kArchiverPrefix[] = "PKZIP25.EXE: ";
constexpr char kWrongSuffix[] = "the password is wrong";
// How many member names a question names before it says how many more there are.
constexpr size_t kNamesShown = 3;

std::string replaced(std::string text, const std::string& mark, const std::string& by) {
    const size_t at = text.find(mark);
    return at == std::string::npos ? text : text.replace(at, mark.size(), by);
}

// "a.txt", "a.txt, b.txt and c.txt", "a.txt, b.txt, c.txt and 4 more".
std::string namesText(const std::vector<std::string>& names) {
    std::string text;
    const size_t shown = std::min(names.size(), kNamesShown);
    for (size_t i = 0; i < shown; ++i) {
        text += i == 0 ? "" : (i + 1 == shown && names.size() == shown ? " and " : ", ");
        text += names[i];
    }
    if (names.size() > shown) {
        text += " and " + std::to_string(names.size() - shown) + " more";
    }
    return text;
}

// A list-file line as the member path the listing shows: "\" between folders is "/", and leading
// separators go.
std::string memberPathOf(const std::string& line) {
    std::string path = line;
    for (char& c : path) {
        c = c == '\\' ? '/' : c;
    }
    const size_t first = path.find_first_not_of('/');
    return first == std::string::npos ? std::string() : path.substr(first);
}

std::string entryPath(const ArchiveEntry& entry) {
    return entry.folder.empty() ? entry.name : entry.folder + "/" + entry.name;
}

} // namespace

PasswordRefusals takePasswordRefusals(const std::string& errors, const std::string& verb) {
    PasswordRefusals refusals;
    const std::string wrong = ": not " + verb + ": " + kWrongSuffix;
    const std::string missing = ": not " + verb + ": " + kNoPasswordGiven;
    size_t start = 0;
    while (start < errors.size()) {
        size_t end = errors.find('\n', start);
        end = end == std::string::npos ? errors.size() : end + 1;
        std::string line = errors.substr(start, end - start);
        start = end;
        std::string bare = line;
        while (!bare.empty() && (bare.back() == '\n' || bare.back() == '\r')) {
            bare.pop_back();
        }
        auto endsWith = [&](const std::string& suffix) {
            return bare.size() > suffix.size() + sizeof kArchiverPrefix - 1 &&
                   bare.compare(0, sizeof kArchiverPrefix - 1, kArchiverPrefix) == 0 &&
                   bare.compare(bare.size() - suffix.size(), suffix.size(), suffix) == 0;
        };
        auto name = [&](const std::string& suffix) {
            return bare.substr(sizeof kArchiverPrefix - 1,
                               bare.size() - suffix.size() - (sizeof kArchiverPrefix - 1));
        };
        if (endsWith(wrong)) {
            refusals.wrong.push_back(name(wrong));
        } else if (endsWith(missing)) {
            refusals.missing.push_back(name(missing));
        } else {
            refusals.rest += line;
        }
    }
    return refusals;
}

std::string passwordSwitch(const JobFiles& files) {
    return " -password=@\"" + files.password + "\"";
}

std::string encryptSwitch(const JobFiles& files) {
    return " -encrypt=aes256" + passwordSwitch(files);
}

platform::Status writePasswordFile(const JobFiles& files, const platform::DriveMap& drives,
                                   const std::string& password) {
    platform::Result<std::string> host = drives.toHost(files.password);
    if (!host.ok()) {
        return host.error();
    }
    if (::unlink(host->c_str()) != 0 && errno != ENOENT) {
        return platform::errnoError("cannot remove the old password file " + *host);
    }
    const int fd = ::open(host->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return platform::errnoError("cannot create the password file " + *host);
    }
    size_t done = 0;
    while (done < password.size()) {
        const ssize_t n = ::write(fd, password.data() + done, password.size() - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            platform::Error error = platform::errnoError("cannot write the password file " + *host);
            ::close(fd);
            ::unlink(host->c_str());
            return error;
        }
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0) {
        platform::Error error = platform::errnoError("cannot write the password file " + *host);
        ::unlink(host->c_str());
        return error;
    }
    return platform::Status::success();
}

void removePasswordFile(const JobFiles& files, const platform::DriveMap& drives) {
    if (platform::Result<std::string> host = drives.toHost(files.password); host.ok()) {
        ::unlink(host->c_str());
    }
}

void ArchivePasswords::forget(std::optional<std::string>& password) {
    if (password) {
        // The bytes are overwritten before the memory is given back.
        volatile char* bytes = password->data();
        for (size_t i = 0; i < password->size(); ++i) {
            bytes[i] = 0;
        }
        password.reset();
    }
}

std::optional<std::string> ArchivePasswords::readPassword(ArchiveWindow& window,
                                                          const std::string& archiveName,
                                                          const std::vector<std::string>& wrongFor) {
    if (!wrongFor.empty()) {
        forget(m_read);
    }
    if (m_read) {
        return m_read;
    }
    PasswordRequest request;
    request.caption = res::kPasswordCaption;
    request.text = replaced(res::kPasswordQuestion, "%1", archiveName);
    if (!wrongFor.empty()) {
        request.text = replaced(res::kPasswordWrong, "%1", namesText(wrongFor)) + "\n" + request.text;
    }
    std::optional<PasswordAnswer> answer = window.askPassword(request);
    if (!answer) {
        return std::nullopt;
    }
    m_read = std::move(answer->password);
    return m_read;
}

bool ArchivePasswords::startEncryptingAdds(ArchiveWindow& window, const std::string& archiveName) {
    PasswordRequest request;
    request.caption = res::kEncryptCaption;
    request.text = replaced(res::kEncryptQuestion, "%1", archiveName);
    request.confirm = true;
    for (;;) {
        std::optional<PasswordAnswer> answer = window.askPassword(request);
        if (!answer) {
            return false;
        }
        const char* problem = answer->password.empty()                   ? res::kPasswordEmpty
                              : answer->password != answer->confirmation ? res::kPasswordsDiffer
                                                                         : nullptr;
        if (problem == nullptr) {
            forget(m_add);
            m_add = answer->password;
            if (!m_read) {
                m_read = answer->password;
            }
            return true;
        }
        window.showMessage(problem, res::kEncryptCaption, MessageIcon::Stop, MessageButtons::Ok);
    }
}

OperationPasswords::OperationPasswords(ArchivePasswords& passwords, ArchiveWindow& window,
                                       const ArchiveState& state, std::string verb)
    : m_passwords(passwords), m_window(window), m_state(state), m_verb(std::move(verb)) {
    for (const ArchiveEntry& entry : state.entries) {
        if (entry.encrypted) {
            m_encrypted.insert(entryPath(entry));
        }
    }
}

bool OperationPasswords::askForPassword(const std::vector<std::string>& wrongFor) {
    if (m_declined) {
        return false;
    }
    std::optional<std::string> given = m_passwords.readPassword(m_window, m_state.archiveFileName, wrongFor);
    if (!given) {
        m_declined = true;
        return false;
    }
    m_password = *given;
    return true;
}

void OperationPasswords::prepareChunk(std::vector<std::string>& lines) {
    m_needed = false;
    if (m_encrypted.empty()) {
        return;
    }
    std::vector<std::string> open;
    std::vector<std::string> locked;
    for (std::string& line : lines) {
        (m_encrypted.count(memberPathOf(line)) != 0 ? locked : open).push_back(std::move(line));
    }
    if (!locked.empty() && askForPassword({})) {
        m_needed = true;
        open.insert(open.end(), locked.begin(), locked.end());
    } else {
        for (const std::string& line : locked) {
            m_skipped.push_back(memberPathOf(line));
        }
    }
    lines = std::move(open);
}

std::string OperationPasswords::commandLineTail(const JobFiles& files) const {
    return m_needed ? passwordSwitch(files) : std::string();
}

std::vector<std::string> OperationPasswords::membersToRetry(std::string& errors) {
    PasswordRefusals refusals = takePasswordRefusals(errors, m_verb);
    if (refusals.wrong.empty() && refusals.missing.empty()) {
        return {};
    }
    errors = refusals.rest;
    std::vector<std::string> again = refusals.wrong;
    again.insert(again.end(), refusals.missing.begin(), refusals.missing.end());
    // A member the listing did not mark was sent without the password: ask as for any other.
    if (askForPassword(refusals.wrong)) {
        m_needed = true;
        return again;
    }
    m_skipped.insert(m_skipped.end(), again.begin(), again.end());
    return {};
}

std::unordered_set<std::string> foldersWithEncryptedMembers(const std::vector<ArchiveEntry>& entries) {
    std::unordered_set<std::string> folders;
    for (const ArchiveEntry& entry : entries) {
        if (!entry.encrypted) {
            continue;
        }
        std::string folder = entry.folder;
        while (!folder.empty() && folders.insert(folder).second) {
            const size_t slash = folder.rfind('/');
            folder.resize(slash == std::string::npos ? 0 : slash);
        }
    }
    return folders;
}

} // namespace archive
