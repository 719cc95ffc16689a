// PKZIP25.EXE: lists, extracts, adds and deletes ZIP archive members for Pellix. It never asks
// anything; every problem is one line on standard error, and the exit status is 0 only when
// everything asked was done.

#include "collisions.h"
#include "commandline.h"
#include "extract.h"
#include "freespace.h"
#include "guard.h"
#include "hostfile.h"
#include "integrity.h"
#include "listing.h"
#include "nameindex.h"
#include "names.h"
#include "passwordfile.h"
#include "properties.h"
#include "runcontrol.h"
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
#include <unistd.h>
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

// Ends a run whose work is complete (a change: flushed too): the kernel takes back the memory, the
// files, the lock and the idle workers of the pipeline faster at exit than the destructors would
// give them up one by one, and a chunked add or extraction pays that once per 500,000 bytes.
[[noreturn]] void endNow(int status) {
    std::fflush(stdout);
    std::fflush(stderr);
    ::_exit(status);
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

// The password the run was handed, taken from its file first of all, so that the file is gone
// however the run ends; nothing when none was given.
Result<std::optional<std::string>> takePassword(const Command& command) {
    if (command.passwordFile.empty()) {
        return std::optional<std::string>();
    }
    Result<std::string> host = hostPathOf(command.passwordFile);
    if (!host.ok()) {
        return host.error();
    }
    Result<std::string> password = takePasswordFile(*host);
    if (!password.ok()) {
        return password.error();
    }
    return std::optional<std::string>(std::move(*password));
}

int runExtract(const Command& command) {
    Result<std::optional<std::string>> password = takePassword(command);
    if (!password.ok()) {
        report(password.error().message);
        return kFailed;
    }
    Result<std::string> host = hostPathOf(command.archive);
    Result<std::string> listHost = hostPathOf(command.listFile);
    Result<std::string> destination = hostPathOf(command.destination);
    for (const Status& status : {host.status(), listHost.status(), destination.status()}) {
        if (!status.ok()) {
            report(status.error().message);
            return kFailed;
        }
    }
    // Kept: an empty line is the only name of a member whose name is empty.
    Result<std::vector<std::string>> names = readListFile(*listHost, true);
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
    ExtractRequest request{*names, *destination, command.keepFolders, {}, {}};
    request.secrets.password = std::move(*password);
    if (!command.progressFile.empty()) {
        Result<std::string> progressHost = hostPathOf(command.progressFile);
        request.progressFile = progressHost.ok() ? *progressHost : std::string();
    }
    extractMembers(paths, archive->file.get(), archive->index, request, problems);
    endNow(reportAll(problems));
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

int runAdd(const Command& command) {
    Result<std::optional<std::string>> password = takePassword(command);
    if (!password.ok()) {
        report(password.error().message);
        return kFailed;
    }
    std::optional<AddEncryption> encryption;
    if (command.encrypt) {
        encryption = AddEncryption{std::move(**password)};
    }
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
    uint64_t bytesToRead = 0;
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
        bytesToRead += S_ISREG(info.st_mode) ? static_cast<uint64_t>(info.st_size) : 0;
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
    if (!command.progressFile.empty()) {
        if (Result<std::string> progressHost = hostPathOf(command.progressFile); progressHost.ok()) {
            progress::start(*progressHost, bytesToRead);
        }
    }
    const size_t memberCount = members.size();
    // The files are read and compressed from here on, while the archive is locked and read.
    MemberPipeline pipeline(std::move(members), std::move(encryption));
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
        // Old directory records are reused by an append, so records whose offsets need correcting
        // go through a rewrite, and so does an add that replaces members.
        const bool appendable = place->fileSize != 0 && place->prefixShift == 0;
        // The old tail (directory and end records, and the name index and mark of the free space
        // before them when there is some) is mapped, not read into a buffer: it is searched for
        // replaced names here and saved by the journal, which writes back what the append needs.
        // With an index, the few pages a run needs are read as they are touched.
        AppendSite site{*place,
                        appendable ? readFreeSpaceMark(file->get(), paths.archive, place->centralOffset)
                                   : std::nullopt,
                        0,
                        {},
                        std::nullopt};
        if (site.freeStart) {
            site.names = readNameIndex(file->get(), paths.archive, *place, *site.freeStart);
            // The index spares the search of the directory that would tell a mark inside the
            // member data: the space must then be seen to be empty.
            if (site.names &&
                !isClearStretch(file->get(), paths.archive, *site.freeStart, site.names->start)) {
                site.names.reset();
            }
        }
        site.savedFrom = site.names       ? site.names->start
                         : site.freeStart ? place->centralOffset - kFreeSpaceMarkSize
                                          : place->centralOffset;
        Result<MappedRange> mapped = MappedRange::map(file->get(), site.savedFrom,
                                                      static_cast<size_t>(place->fileSize - site.savedFrom),
                                                      paths.archive, !site.names);
        if (!mapped.ok()) {
            return notChanged(mapped.error());
        }
        site.saved = mapped->view();
        const std::string_view tail = site.saved.substr(place->centralOffset - site.savedFrom);
        // Into the free space unless the index has no slots left for the run's names; the
        // directory moves then, and gets a larger index.
        bool intoFreeSpace =
            site.freeStart && (!site.names || memberCount <= site.names->capacity - site.names->logged);
        // The journal of an append is written before the directory is searched, so that the disk
        // writes it meanwhile; it is dropped unused when the search finds replaced members.
        Result<AppendJournal> journal = AppendJournal{};
        if (appendable) {
            journal = AppendJournal::start(paths, file->get(), appendPlan(site, intoFreeSpace));
            if (!journal.ok()) {
                return notChanged(journal.error());
            }
        }
        // The index tells that no new name is in the archive yet without reading the directory,
        // whose records this tool checked when it made the index; the directory is searched when
        // a name may be there.
        std::vector<uint64_t> wanted;
        if (site.names) {
            for (const auto& [key, position] : byKey) {
                wanted.push_back(nameHash(key));
            }
        }
        Result<OldRecords> old = site.names && !mayHoldAny(*site.names, site.nameSlots(), wanted)
                                     ? Result<OldRecords>(OldRecords{site.names->members, {}, site.freeStart})
                                     : findReplaced(file->get(), paths.archive, *place, tail, byKey);
        if (!old.ok()) {
            return notChanged(old.error());
        }
        if (site.freeStart && (!old->dataEnd || *old->dataEnd > *site.freeStart)) {
            // A mark that member data run past is not this tool's: the space is not used.
            site.freeStart.reset();
            site.names.reset();
            intoFreeSpace = false;
            *journal = AppendJournal{};
            journal = AppendJournal::start(paths, file->get(), appendPlan(site, false));
            if (!journal.ok()) {
                return notChanged(journal.error());
            }
        }
        if (!old->replaced.empty() || !appendable) {
            *journal = AppendJournal{};
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
            status = appendToArchive(paths, file->get(), site, old->count, std::move(*journal), intoFreeSpace,
                                     pipeline, problems);
        }
    }
    progress::finish();
    if (!status.ok()) {
        return notChanged(status.error());
    }
    endNow(reportAll(problems));
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

// -test: the named members read and checked, nothing written.
int runTest(const Command& command) {
    Result<std::optional<std::string>> password = takePassword(command);
    if (!password.ok()) {
        report(password.error().message);
        return kFailed;
    }
    Result<std::string> host = hostPathOf(command.archive);
    Result<std::string> listHost = hostPathOf(command.listFile);
    for (const Status& status : {host.status(), listHost.status()}) {
        if (!status.ok()) {
            report(status.error().message);
            return kFailed;
        }
    }
    Result<std::vector<std::string>> names = readListFile(*listHost, true);
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
    Secrets secrets;
    secrets.password = std::move(*password);
    testMembers(paths, archive->file.get(), archive->index, *names, secrets, problems);
    return reportAll(problems);
}

// -info: the archive's properties, and those of the members a list names, on standard output.
int runInfo(const Command& command) {
    Result<std::string> host = hostPathOf(command.archive);
    if (!host.ok()) {
        report(host.error().message);
        return kFailed;
    }
    std::vector<std::string> names;
    if (!command.listFile.empty()) {
        Result<std::string> listHost = hostPathOf(command.listFile);
        Result<std::vector<std::string>> lines =
            listHost.ok() ? readListFile(*listHost) : Result<std::vector<std::string>>(listHost.error());
        if (!lines.ok()) {
            report(lines.error().message);
            return kFailed;
        }
        names = std::move(*lines);
    }
    const ArchivePaths paths = pathsFor(*host);
    Result<ArchiveLock> lock = lockArchive(paths, false);
    if (!lock.ok()) {
        report(lock.error().message);
        return kFailed;
    }
    Result<FileHandle> file = openRegularFile(paths.archive, O_RDONLY);
    if (!file.ok()) {
        report(file.error().message);
        return kFailed;
    }
    Problems problems;
    Result<std::string> text = describeArchive(command.archive, file->get(), paths.archive, names, problems);
    if (!text.ok()) {
        report(text.error().message);
        return kFailed;
    }
    if (!writeOut(*text)) {
        return kFailed;
    }
    return reportAll(problems);
}

// -comment: the archive comment becomes the bytes of the comment file, as they are.
int runComment(const Command& command) {
    Result<std::string> host = hostPathOf(command.archive);
    Result<std::string> commentHost = hostPathOf(command.listFile);
    for (const Status& status : {host.status(), commentHost.status()}) {
        if (!status.ok()) {
            report(status.error().message);
            return kFailed;
        }
    }
    Result<std::string> comment = platform::readWholeFile(*commentHost);
    if (!comment.ok()) {
        report(comment.error().message);
        return kFailed;
    }
    if (const std::string problem = commentProblem(*comment); !problem.empty()) {
        report(problem + "; the archive was not changed");
        return kFailed;
    }
    const ArchivePaths paths = pathsFor(*host);
    Result<ArchiveLock> lock = lockArchive(paths, true);
    if (!lock.ok()) {
        report(lock.error().message);
        return kFailed;
    }
    Result<FileHandle> file = openRegularFile(paths.archive, O_RDWR);
    if (!file.ok()) {
        report(file.error().message + "; the archive was not changed");
        return kFailed;
    }
    Problems problems;
    if (Status replaced = replaceComment(paths, file->get(), *comment, problems); !replaced.ok()) {
        reportAll(problems);
        report(replaced.error().message + "; the archive was not changed");
        return kFailed;
    }
    return reportAll(problems);
}

// -compact: the free space an add left before the directory is taken out.
int runCompact(const Command& command) {
    Result<std::string> host = hostPathOf(command.archive);
    if (!host.ok()) {
        report(host.error().message);
        return kFailed;
    }
    const ArchivePaths paths = pathsFor(*host);
    Result<ArchiveLock> lock = lockArchive(paths, true);
    if (!lock.ok()) {
        report(lock.error().message);
        return kFailed;
    }
    Result<FileHandle> file = openRegularFile(paths.archive, O_RDWR);
    if (!file.ok()) {
        report(file.error().message + "; the archive was not changed");
        return kFailed;
    }
    if (Status compacted = compactArchive(paths, file->get()); !compacted.ok()) {
        report(compacted.error().message + "; the archive was not changed");
        return kFailed;
    }
    return kDone;
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
    // A stop of a run that changes an archive or writes files is seen between blocks, and the
    // run undoes what it had begun; the others end at once, as they change nothing.
    if (command->kind == Command::Kind::Add || command->kind == Command::Kind::Extract ||
        command->kind == Command::Kind::Test) {
        watchForStopRequests();
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
    case Command::Kind::Test:
        return runTest(*command);
    case Command::Kind::Info:
        return runInfo(*command);
    case Command::Kind::Comment:
        return runComment(*command);
    case Command::Kind::Compact:
        return runCompact(*command);
    }
    return kFailed;
}
