// PKZIP25.EXE: lists, extracts, adds and deletes ZIP archive members for Pellix. It never asks
// anything; every problem is one line on standard error, and the exit status is 0 only when
// everything asked was done.

#include "commandline.h"
#include "extract.h"
#include "guard.h"
#include "listing.h"
#include "names.h"
#include "writer.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <string_view>
#include <sys/stat.h>
#include <unordered_map>
#include <unordered_set>

namespace pkzip {
namespace {

constexpr int kDone = 0;
constexpr int kPartlyDone = 1;
constexpr int kFailed = 2;

void report(const std::string& message) {
    std::fprintf(stderr, "PKZIP25.EXE: %s\n", message.c_str());
}

int reportAll(const Problems& problems) {
    for (const std::string& problem : problems) {
        report(problem);
    }
    return problems.empty() ? kDone : kPartlyDone;
}

// Takes the lock and finishes whatever an interrupted run left behind.
Result<ArchiveLock> lockArchive(const ArchivePaths& paths, bool exclusive) {
    Result<ArchiveLock> lock = ArchiveLock::acquire(paths, exclusive);
    if (!lock.ok()) {
        return lock;
    }
    if (hasLeftovers(paths)) {
        if (Status upgraded = lock->makeExclusive(); !upgraded.ok()) {
            return upgraded.error();
        }
        if (Status recovered = recoverInterrupted(paths); !recovered.ok()) {
            return recovered.error();
        }
    }
    return lock;
}

// The open archive and its directory, for reading.
struct OpenArchive {
    FileHandle file;
    ArchiveIndex index;
};

Result<OpenArchive> openArchive(const ArchivePaths& paths, int flags) {
    Result<FileHandle> file = openRegularFile(paths.archive, flags);
    if (!file.ok()) {
        return file.error();
    }
    Result<ArchiveIndex> index = readIndex(file->get(), paths.archive);
    if (!index.ok()) {
        return index.error();
    }
    return OpenArchive{std::move(*file), std::move(*index)};
}

bool writeOut(const std::string& text) {
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0) {
        report(std::string("cannot write the listing: ") + std::strerror(errno));
        return false;
    }
    return true;
}

int runListing(const Command& command) {
    Result<std::string> host = hostPathOf(command.archive);
    Status status;
    std::optional<ArchivePaths> paths;
    std::optional<ArchiveLock> lock;
    std::optional<FileHandle> file;
    if (!host.ok()) {
        status = host.error();
    } else {
        paths = pathsFor(*host);
        Result<ArchiveLock> locked = lockArchive(*paths, false);
        if (!locked.ok()) {
            status = locked.error();
        } else if (Result<FileHandle> opened = openRegularFile(paths->archive, O_RDONLY); opened.ok()) {
            lock = std::move(*locked);
            file = std::move(*opened);
        } else {
            status = opened.error();
        }
    }
    bool written = true;
    if (file) {
        const ListingOutcome outcome =
            streamListing(command.archive, file->get(), paths->archive, [](std::string_view piece) {
                return std::fwrite(piece.data(), 1, piece.size(), stdout) == piece.size();
            });
        status = outcome.archive;
        written = outcome.written && std::fflush(stdout) == 0;
        if (!written) {
            report(std::string("cannot write the listing: ") + std::strerror(errno));
        }
    } else {
        written = writeOut(formatListing(command.archive, nullptr));
    }
    if (!status.ok()) {
        report(status.error().message);
    }
    return status.ok() && written ? kDone : kPartlyDone;
}

int runExtract(const Command& command) {
    Result<std::string> host = hostPathOf(command.archive);
    Result<std::string> listHost = hostPathOf(command.listFile);
    Result<std::string> destination = hostPathOf(command.destination);
    for (const Status& status : {host.status(), listHost.status(), destination.status()}) {
        if (!status.ok()) {
            report(status.error().message);
            return kFailed;
        }
    }
    Result<std::vector<std::string>> names = readListFile(*listHost);
    if (!names.ok()) {
        report(names.error().message);
        return kFailed;
    }
    const ArchivePaths paths = pathsFor(*host);
    Result<ArchiveLock> lock = lockArchive(paths, false);
    if (!lock.ok()) {
        report(lock.error().message);
        return kFailed;
    }
    Result<OpenArchive> archive = openArchive(paths, O_RDONLY);
    if (!archive.ok()) {
        report(archive.error().message);
        return kFailed;
    }
    Problems problems;
    ExtractRequest request{*names, *destination, command.keepFolders};
    extractMembers(paths, archive->file.get(), archive->index, request, problems);
    return reportAll(problems);
}

// The identity of a file, to tell whether a listed file is the archive or one of its side files
// (a link or a second name included).
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileIdentity&) const = default;
};

std::vector<FileIdentity> identitiesOf(const ArchivePaths& paths) {
    std::vector<FileIdentity> found;
    for (const std::string* path : {&paths.archive, &paths.journal, &paths.scratch}) {
        struct stat info {};
        if (::stat(path->c_str(), &info) == 0) {
            found.push_back({info.st_dev, info.st_ino});
        }
    }
    return found;
}

bool hasUnicodePathField(std::string_view extra) {
    for (size_t pos = 0; pos + 4 <= extra.size();) {
        const auto* p = reinterpret_cast<const unsigned char*>(extra.data() + pos);
        if (get16(p) == 0x7075) {
            return true;
        }
        pos += 4 + get16(p + 2);
    }
    return false;
}

std::string_view lastPart(std::string_view name) {
    size_t start = name.size();
    while (start > 0 && name[start - 1] != '/' && name[start - 1] != '\\') {
        --start;
    }
    return name.substr(start);
}

// The file name part of a stored name when it is all printable ASCII: whatever the rest of the
// name holds, the listed name then ends in the same file name (decoding as UTF-8 or CP437 leaves
// ASCII as it is), unless a Unicode path field names the member otherwise.
std::optional<std::string_view> plainFileName(std::string_view raw) {
    size_t start = raw.size();
    for (; start > 0; --start) {
        const char c = raw[start - 1];
        if (c == '/' || c == '\\') {
            break;
        }
        if (c < 0x20 || c >= 0x7f) {
            return std::nullopt;
        }
    }
    return raw.substr(start);
}

// A quick first test of file names: one bit per hash of the length and the last eight bytes. A
// name whose bit is clear is not among the new ones; one whose bit is set is looked up.
class NameFilter {
public:
    void add(std::string_view name) { m_bits[hash(name) / 64] |= uint64_t{1} << (hash(name) % 64); }
    bool mayHold(std::string_view name) const {
        return (m_bits[hash(name) / 64] >> (hash(name) % 64) & 1) != 0;
    }

private:
    static constexpr size_t kBits = 1u << 14;
    static size_t hash(std::string_view name) {
        uint64_t tail = 0;
        const size_t n = std::min<size_t>(name.size(), 8);
        std::memcpy(&tail, name.data() + name.size() - n, n);
        return static_cast<size_t>(((tail ^ name.size()) * 0x9E3779B97F4A7C15ULL) >> 50) % kBits;
    }
    uint64_t m_bits[kBits / 64] = {};
};

struct OldRecords {
    uint64_t count = 0;
    std::vector<uint64_t> replaced; // positions of the records whose members are replaced
};

// The old members that new ones of the same listed name replace, found in one pass over the
// directory's records without making an entry for each: a member can only be replaced when its
// file name is one of the new ones, which for most names is seen in the stored bytes. Every
// record is checked as readIndex checks it.
Result<OldRecords> findReplaced(int fd, const std::string& path, const DirectoryPlace& place,
                                std::string_view directory,
                                const std::unordered_map<std::string, size_t>& byKey) {
    std::unordered_set<std::string_view> fileNames;
    NameFilter filter;
    for (const auto& [key, position] : byKey) {
        fileNames.insert(lastPart(key));
        filter.add(lastPart(key));
    }
    OldRecords old;
    if (place.fileSize == 0) {
        return old;
    }
    DirectoryReader reader(fd, path, place, directory);
    CentralRecord record;
    Entry entry;
    std::string listed;
    for (;;) {
        Result<bool> more = reader.next(record);
        if (!more.ok()) {
            return more.error();
        }
        if (!*more) {
            old.count = reader.records();
            return old;
        }
        const std::optional<std::string_view> fileName = plainFileName(record.rawName);
        if (fileName && !record.isMasked() && !hasUnicodePathField(record.extra) &&
            (!filter.mayHold(*fileName) || fileNames.count(*fileName) == 0)) {
            continue;
        }
        if (Status read = readEntry(record, place.prefixShift, reader.records(), path, entry); !read.ok()) {
            return read.error();
        }
        listed.clear();
        appendListedName(listed, entry.name);
        if (fileNames.count(lastPart(listed)) != 0 && byKey.count(matchKey(listed)) != 0) {
            old.replaced.push_back(reader.records() - 1);
        }
    }
}

int runAdd(const Command& command) {
    Result<std::string> host = hostPathOf(command.archive);
    Result<std::string> listHost = hostPathOf(command.listFile);
    for (const Status& status : {host.status(), listHost.status()}) {
        if (!status.ok()) {
            report(status.error().message);
            return kFailed;
        }
    }
    Result<std::vector<std::string>> lines = readListFile(*listHost);
    if (!lines.ok()) {
        report(lines.error().message);
        return kFailed;
    }
    const ArchivePaths paths = pathsFor(*host);
    const std::vector<FileIdentity> archiveFiles = identitiesOf(paths);
    Problems problems;
    // One member per name: a later line naming the same member wins over an earlier one.
    std::vector<NewMember> members;
    std::unordered_map<std::string, size_t> byKey;
    for (const std::string& line : *lines) {
        Result<std::string> file = hostPathOf(line);
        if (!file.ok()) {
            problems.push_back(line + ": " + file.error().message);
            continue;
        }
        struct stat info {};
        if (::stat(file->c_str(), &info) != 0) {
            problems.push_back(platform::errnoError("cannot add " + line).message);
            continue;
        }
        if (!S_ISREG(info.st_mode) && !S_ISDIR(info.st_mode)) {
            problems.push_back(line + ": not added: it is not a regular file");
            continue;
        }
        if (std::find(archiveFiles.begin(), archiveFiles.end(), FileIdentity{info.st_dev, info.st_ino}) !=
            archiveFiles.end()) {
            problems.push_back(line + ": the archive cannot be added to itself");
            continue;
        }
        const std::string stored = storedNameFor(line, command.storeFolders);
        if (stored.empty()) {
            problems.push_back(line + ": has no file name to store");
            continue;
        }
        const std::string key = matchKey(listedName(stored));
        if (const auto seen = byKey.find(key); seen != byKey.end()) {
            members[seen->second] = NewMember{*file, stored};
        } else {
            byKey.emplace(key, members.size());
            members.push_back(NewMember{*file, stored});
        }
    }
    if (members.empty()) {
        return reportAll(problems);
    }
    // The files are read and compressed from here on, while the archive is locked and read.
    MemberPipeline pipeline(std::move(members));
    Result<ArchiveLock> lock = lockArchive(paths, true);
    if (!lock.ok()) {
        report(lock.error().message);
        return kFailed;
    }
    auto notChanged = [&](const Error& error) {
        reportAll(problems);
        report(error.message + "; the archive was not changed");
        return kFailed;
    };
    Status status;
    Result<FileHandle> file = openRegularFile(paths.archive, O_RDWR);
    if (!file.ok()) {
        if (file.error().code != ENOENT) {
            return notChanged(file.error());
        }
        status = rewriteArchive(paths, -1, ArchiveIndex{}, {}, &pipeline, problems);
    } else {
        Result<DirectoryPlace> place = locateDirectory(file->get(), paths.archive);
        if (!place.ok()) {
            return notChanged(place.error());
        }
        // The old tail (directory and end records) is read once: it is checked and searched for
        // replaced names here, saved by the journal and written back after the new members.
        ByteBuffer tail(static_cast<size_t>(place->fileSize - place->centralOffset));
        if (Status read = readAt(file->get(), tail.data(), tail.size(), place->centralOffset, paths.archive);
            !read.ok()) {
            return notChanged(read.error());
        }
        Result<OldRecords> old = findReplaced(file->get(), paths.archive, *place, tail, byKey);
        if (!old.ok()) {
            return notChanged(old.error());
        }
        // Old directory records are reused by an append, so records whose offsets need correcting
        // go through a rewrite.
        if (!old->replaced.empty() || place->fileSize == 0 || place->prefixShift != 0) {
            Result<ArchiveIndex> index = readIndex(file->get(), paths.archive, *place, tail);
            if (!index.ok()) {
                return notChanged(index.error());
            }
            std::vector<bool> keep(index->entries.size(), true);
            for (uint64_t position : old->replaced) {
                keep[position] = false;
            }
            status = rewriteArchive(paths, file->get(), *index, keep, &pipeline, problems);
        } else {
            status =
                appendToArchive(paths, file->get(), *place, old->count, std::move(tail), pipeline, problems);
        }
    }
    if (!status.ok()) {
        return notChanged(status.error());
    }
    return reportAll(problems);
}

int runDelete(const Command& command) {
    Result<std::string> host = hostPathOf(command.archive);
    Result<std::string> listHost = hostPathOf(command.listFile);
    for (const Status& status : {host.status(), listHost.status()}) {
        if (!status.ok()) {
            report(status.error().message);
            return kFailed;
        }
    }
    Result<std::vector<std::string>> names = readListFile(*listHost);
    if (!names.ok()) {
        report(names.error().message);
        return kFailed;
    }
    const ArchivePaths paths = pathsFor(*host);
    Result<ArchiveLock> lock = lockArchive(paths, true);
    if (!lock.ok()) {
        report(lock.error().message);
        return kFailed;
    }
    // Opened for writing although a delete writes a new file: an archive its owner made read-only
    // is refused, as an append to it would be.
    Result<OpenArchive> archive = openArchive(paths, O_RDWR);
    if (!archive.ok()) {
        report(archive.error().message + "; the archive was not changed");
        return kFailed;
    }
    Problems problems;
    std::vector<bool> keep(archive->index.entries.size(), true);
    bool removing = false;
    const std::vector<std::vector<size_t>> found = lookUpMembers(archive->index, *names);
    for (size_t k = 0; k < names->size(); ++k) {
        if (found[k].empty()) {
            problems.push_back((*names)[k] + ": no such member in the archive");
        }
        for (size_t position : found[k]) {
            keep[position] = false;
            removing = true;
        }
    }
    if (removing) {
        if (Status status =
                rewriteArchive(paths, archive->file.get(), archive->index, keep, nullptr, problems);
            !status.ok()) {
            reportAll(problems);
            report(status.error().message + "; the archive was not changed");
            return kFailed;
        }
    }
    return reportAll(problems);
}

} // namespace
} // namespace pkzip

int main(int argc, char** argv) {
    using namespace pkzip;
    // Past a file-size limit a write should fail with EFBIG, which the tool reports and rolls
    // back like a full disk, rather than kill the tool halfway through a change.
    std::signal(SIGXFSZ, SIG_IGN);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    Result<Command> command = parseCommand(arguments);
    if (!command.ok()) {
        report(command.error().message);
        return kFailed;
    }
    switch (command->kind) {
    case Command::Kind::List:
        return runListing(*command);
    case Command::Kind::Extract:
        return runExtract(*command);
    case Command::Kind::Add:
        return runAdd(*command);
    case Command::Kind::Delete:
        return runDelete(*command);
    }
    return kFailed;
}
