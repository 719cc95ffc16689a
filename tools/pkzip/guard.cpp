#include "guard.h"

#include "runcontrol.h"
#include "zipformat.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <string_view>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace pkzip {

namespace {

// The record of this version: magic, device, inode, old size, the stretch to clear, the end of
// the guarded member data and their CRC-32, the kept stretch and its CRC-32, the number of saved
// pieces and the offset and length of each; then the pieces' bytes and a CRC-32 of everything
// before.
constexpr char kPlanMagic[8] = {'P', 'X', 'J', 'O', 'U', 'R', '0', '3'};
constexpr size_t kPlanFixedSize = 8 + 11 * 8;
// The two earlier versions' records: one saved tail put back at the old directory's place.
constexpr char kJournalMagic[8] = {'P', 'X', 'J', 'O', 'U', 'R', '0', '2'};
// magic, device, inode, old size, central offset, CRC-32 of the data before it, tail length; then
// the tail and a CRC-32 of everything before.
constexpr size_t kJournalHeaderSize = 8 + 6 * 8;
// The previous version's record: the same without the CRC of the data before the old directory.
constexpr char kOldJournalMagic[8] = {'P', 'X', 'J', 'O', 'U', 'R', '0', '1'};
constexpr size_t kOldJournalHeaderSize = 8 + 5 * 8;
// How much of the member data just before the old central directory the record vouches for.
constexpr uint64_t kGuardedLength = 64u << 10;

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

struct JournalRecord {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t oldSize = 0;
    uint64_t centralOffset = 0;
    std::optional<uint32_t> dataCrc; // of the kGuardedLength bytes (or fewer) before centralOffset
    std::string tail;
};

// The CRC-32 of the member data just before offset, which an append never changes.
Result<uint32_t> guardedDataCrc(int fd, const std::string& path, uint64_t offset) {
    const size_t length = static_cast<size_t>(std::min(offset, kGuardedLength));
    const auto data = std::make_unique_for_overwrite<unsigned char[]>(length);
    if (Status read = readAt(fd, data.get(), length, offset - length, path); !read.ok()) {
        return read.error();
    }
    return static_cast<uint32_t>(crc32_z(0, data.get(), static_cast<z_size_t>(length)));
}

enum class RecordState {
    Complete, // whole, and of a format this version reads
    CutShort, // the run that wrote it died before it was whole, so before the archive was touched
    Foreign,  // whole but not readable here (another format, or fields that contradict each other)
};

// Reads a record of this version, or of the previous one, which has no CRC of the data before
// the old directory.
RecordState decodeJournal(const std::string& data, JournalRecord& record) {
    const bool current = data.size() >= 8 && data.compare(0, 8, kJournalMagic, 8) == 0;
    const bool previous = data.size() >= 8 && data.compare(0, 8, kOldJournalMagic, 8) == 0;
    if (!current && !previous) {
        // Killed before the magic was written whole: an empty file or the start of one.
        const bool startOfMagic =
            data.size() < 8 && std::string_view(kJournalMagic, 7).substr(0, data.size()) == data;
        return startOfMagic ? RecordState::CutShort : RecordState::Foreign;
    }
    const size_t headerSize = current ? kJournalHeaderSize : kOldJournalHeaderSize;
    if (data.size() < headerSize + 4) {
        return RecordState::CutShort;
    }
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    const uint32_t stored = get32(p + data.size() - 4);
    if (stored != static_cast<uint32_t>(crc32_z(0, p, data.size() - 4))) {
        return RecordState::CutShort;
    }
    record.device = get64(p + 8);
    record.inode = get64(p + 16);
    record.oldSize = get64(p + 24);
    record.centralOffset = get64(p + 32);
    if (current) {
        record.dataCrc = static_cast<uint32_t>(get64(p + 40));
    }
    const uint64_t tailLength = get64(p + headerSize - 8);
    if (tailLength != data.size() - 4 - headerSize) {
        return RecordState::Foreign;
    }
    record.tail = data.substr(headerSize, tailLength);
    return RecordState::Complete;
}

struct PlanRecord {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t oldSize = 0;
    uint64_t clearFrom = 0;
    uint64_t clearTo = 0;
    uint64_t guardEnd = 0;
    uint32_t guardCrc = 0;
    uint64_t keptFrom = 0;
    uint64_t keptTo = 0;
    uint32_t keptCrc = 0;
    std::vector<std::pair<uint64_t, std::string_view>> pieces; // into the record's data
};

std::string encodePlanHeader(const PlanRecord& record, const JournalPlan& plan) {
    std::string out(kPlanMagic, sizeof kPlanMagic);
    for (uint64_t field : {record.device, record.inode, plan.oldSize, plan.clearFrom, plan.clearTo,
                           plan.guardEnd, uint64_t{record.guardCrc}, plan.keptFrom, plan.keptTo,
                           uint64_t{record.keptCrc}, uint64_t{plan.pieces.size()}}) {
        put64(out, field);
    }
    for (const JournalPlan::Piece& piece : plan.pieces) {
        put64(out, piece.offset);
        put64(out, piece.bytes.size());
    }
    return out;
}

// A record of this version whose closing CRC has been checked.
RecordState decodePlan(const std::string& data, PlanRecord& record) {
    const auto* p = reinterpret_cast<const unsigned char*>(data.data());
    if (data.size() < kPlanFixedSize + 4) {
        return RecordState::CutShort;
    }
    uint64_t fields[11];
    for (size_t i = 0; i < 11; ++i) {
        fields[i] = get64(p + 8 + 8 * i);
    }
    record.device = fields[0];
    record.inode = fields[1];
    record.oldSize = fields[2];
    record.clearFrom = fields[3];
    record.clearTo = fields[4];
    record.guardEnd = fields[5];
    record.guardCrc = static_cast<uint32_t>(fields[6]);
    record.keptFrom = fields[7];
    record.keptTo = fields[8];
    record.keptCrc = static_cast<uint32_t>(fields[9]);
    const uint64_t count = fields[10];
    const uint64_t body = data.size() - 4;
    if (count > (body - kPlanFixedSize) / 16 || record.clearFrom > record.clearTo ||
        record.keptFrom > record.keptTo) {
        return RecordState::Foreign;
    }
    uint64_t at = kPlanFixedSize + 16 * count;
    for (uint64_t i = 0; i < count; ++i) {
        const uint64_t offset = get64(p + kPlanFixedSize + 16 * i);
        const uint64_t length = get64(p + kPlanFixedSize + 16 * i + 8);
        if (length > body - at || offset > UINT64_MAX - length) {
            return RecordState::Foreign;
        }
        record.pieces.emplace_back(offset, std::string_view(data).substr(at, length));
        at += length;
    }
    return at == body ? RecordState::Complete : RecordState::Foreign;
}

// Whether the archive is the one the record was made for, unchanged where the change never writes.
bool fitsPlan(int fd, const std::string& path, const PlanRecord& record) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || static_cast<uint64_t>(info.st_dev) != record.device ||
        static_cast<uint64_t>(info.st_ino) != record.inode ||
        static_cast<uint64_t>(info.st_size) < std::max(record.guardEnd, record.keptTo)) {
        return false;
    }
    Result<uint32_t> guard =
        crcOfRange(fd, path, record.guardEnd - std::min(record.guardEnd, kGuardedLength), record.guardEnd);
    if (!guard.ok() || *guard != record.guardCrc) {
        return false;
    }
    if (record.keptTo > record.keptFrom) {
        Result<uint32_t> kept = crcOfRange(fd, path, record.keptFrom, record.keptTo);
        return kept.ok() && *kept == record.keptCrc;
    }
    return true;
}

// Undoes a change: the stretch it wrote into free space cleared, the saved bytes put back, the old
// length restored, all flushed. pieceBytes(i) gives the bytes of piece i.
template <class PieceBytes>
Status applyPlan(int fd, const std::string& path, uint64_t clearFrom, uint64_t clearTo,
                 const std::vector<uint64_t>& offsets, PieceBytes&& putPiece, uint64_t oldSize) {
    if (Status cleared = clearRange(fd, path, clearFrom, clearTo); !cleared.ok()) {
        return cleared;
    }
    for (size_t i = 0; i < offsets.size(); ++i) {
        if (Status put = putPiece(i, offsets[i]); !put.ok()) {
            return put;
        }
    }
    if (::ftruncate(fd, static_cast<off_t>(oldSize)) != 0) {
        return platform::errnoError("cannot restore the length of " + path);
    }
    return syncFile(fd, path);
}

Status restoreTail(int fd, const std::string& path, uint64_t centralOffset, std::string_view tail,
                   uint64_t oldSize) {
    if (Status written = writeAt(fd, tail.data(), tail.size(), centralOffset, path); !written.ok()) {
        return written;
    }
    if (::ftruncate(fd, static_cast<off_t>(oldSize)) != 0) {
        return platform::errnoError("cannot restore the length of " + path);
    }
    return syncFile(fd, path);
}

// Whether the archive is still in a state the interrupted append left it in: the same file, its
// member data before the old directory unchanged, and at the old directory's place either the old
// directory itself (nothing written yet, or the header of a streamed member not yet written) or
// the local header of the first new member. An archive copied back from a backup or changed by
// another tool since fails one of these, and the old tail must not be written over it.
bool fitsRecord(int fd, const std::string& path, const JournalRecord& record) {
    struct stat info {};
    if (::fstat(fd, &info) != 0 || static_cast<uint64_t>(info.st_dev) != record.device ||
        static_cast<uint64_t>(info.st_ino) != record.inode ||
        static_cast<uint64_t>(info.st_size) < record.centralOffset + 4 || record.tail.size() < 4) {
        return false;
    }
    // A record of the previous version has no CRC of the data: the other checks must do.
    if (record.dataCrc) {
        Result<uint32_t> crc = guardedDataCrc(fd, path, record.centralOffset);
        if (!crc.ok() || *crc != *record.dataCrc) {
            return false;
        }
    }
    unsigned char start[4];
    if (!readAt(fd, start, sizeof start, record.centralOffset, path).ok()) {
        return false;
    }
    return get32(start) == kLocalHeaderSignature || std::memcmp(start, record.tail.data(), sizeof start) == 0;
}

// Keeps a record that cannot be applied under a new name for a person to look at, and says why:
// the archive is left as it is.
Status setAside(const ArchivePaths& paths, const char* why) {
    char stamp[32];
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    std::string kept = paths.journal + ".set-aside-" + stamp;
    for (int n = 2; exists(kept); ++n) {
        kept = paths.journal + ".set-aside-" + stamp + "-" + std::to_string(n);
    }
    if (::rename(paths.journal.c_str(), kept.c_str()) != 0) {
        return platform::errnoError("cannot set aside " + paths.journal);
    }
    std::fprintf(stderr,
                 "PKZIP25.EXE: %s: the recovery record of an interrupted change %s; the archive was left as "
                 "it is and the record kept as %s\n",
                 paths.archive.c_str(), why, kept.c_str());
    return syncFolder(paths.folder);
}

} // namespace

ArchivePaths pathsFor(const std::string& hostArchive) {
    std::string resolved = hostArchive;
    char buffer[PATH_MAX];
    if (::realpath(hostArchive.c_str(), buffer) != nullptr) {
        resolved = buffer;
    } else if (::realpath(folderOf(hostArchive).c_str(), buffer) != nullptr) {
        resolved = std::string(buffer) + (std::string(buffer) == "/" ? "" : "/") + baseNameOf(hostArchive);
    }
    ArchivePaths paths;
    paths.archive = resolved;
    paths.folder = folderOf(resolved);
    const std::string prefix = paths.folder + (paths.folder == "/" ? "." : "/.") + baseNameOf(resolved);
    paths.journal = prefix + ".pellix-journal";
    paths.scratch = prefix + ".pellix-new";
    return paths;
}

Result<ArchiveLock> ArchiveLock::acquire(const ArchivePaths& paths, bool exclusive) {
    Result<FileHandle> folder = openFile(paths.folder, O_RDONLY | O_DIRECTORY);
    if (!folder.ok()) {
        return folder.error();
    }
    ArchiveLock lock;
    lock.m_folder = std::move(*folder);
    lock.m_path = paths.folder;
    int result = 0;
    do {
        result = ::flock(lock.m_folder.get(), exclusive ? LOCK_EX : LOCK_SH);
    } while (result != 0 && errno == EINTR && !stopRequested());
    if (result != 0 && stopRequested()) {
        return stoppedError();
    }
    if (result != 0) {
        return platform::errnoError("cannot lock folder " + paths.folder);
    }
    lock.m_exclusive = exclusive;
    return lock;
}

Status ArchiveLock::makeExclusive() {
    if (m_exclusive) {
        return Status::success();
    }
    int result = 0;
    do {
        result = ::flock(m_folder.get(), LOCK_EX);
    } while (result != 0 && errno == EINTR);
    if (result != 0) {
        return platform::errnoError("cannot lock folder " + m_path);
    }
    m_exclusive = true;
    return Status::success();
}

bool hasLeftovers(const ArchivePaths& paths) {
    return exists(paths.journal) || exists(paths.scratch);
}

Status recoverInterrupted(const ArchivePaths& paths) {
    if (exists(paths.scratch) && ::unlink(paths.scratch.c_str()) != 0 && errno != ENOENT) {
        return platform::errnoError("cannot remove the unfinished " + paths.scratch);
    }
    if (!exists(paths.journal)) {
        return Status::success();
    }
    Result<FileHandle> journalFile = openFile(paths.journal, O_RDONLY);
    if (!journalFile.ok()) {
        return journalFile.status();
    }
    std::string data;
    char buffer[65536];
    for (;;) {
        Result<size_t> n = readSome(journalFile->get(), buffer, sizeof buffer, paths.journal);
        if (!n.ok()) {
            return n.status();
        }
        data.append(buffer, *n);
        if (*n < sizeof buffer) {
            break;
        }
    }
    if (data.size() >= 8 && data.compare(0, 8, kPlanMagic, 8) == 0) {
        const auto* p = reinterpret_cast<const unsigned char*>(data.data());
        PlanRecord plan;
        const RecordState state =
            data.size() < kPlanFixedSize + 4 ? RecordState::CutShort
            : get32(p + data.size() - 4) != static_cast<uint32_t>(crc32_z(0, p, data.size() - 4))
                ? RecordState::CutShort
                : decodePlan(data, plan);
        if (state == RecordState::Foreign) {
            return setAside(paths, "is not one this version of the tool can read");
        }
        if (state == RecordState::Complete) {
            Result<FileHandle> archive = openRegularFile(paths.archive, O_RDWR);
            if (!archive.ok() || !fitsPlan(archive->get(), paths.archive, plan)) {
                return setAside(paths,
                                "does not fit the archive as it is now (it was put back or changed since)");
            }
            std::vector<uint64_t> offsets;
            for (const auto& piece : plan.pieces) {
                offsets.push_back(piece.first);
            }
            const int fd = archive->get();
            Status restored = applyPlan(
                fd, paths.archive, plan.clearFrom, plan.clearTo, offsets,
                [&](size_t i, uint64_t offset) {
                    return writeAt(fd, plan.pieces[i].second.data(), plan.pieces[i].second.size(), offset,
                                   paths.archive);
                },
                plan.oldSize);
            if (!restored.ok()) {
                return restored;
            }
            std::fprintf(stderr, "PKZIP25.EXE: %s: an interrupted change was rolled back\n",
                         paths.archive.c_str());
        }
        if (::unlink(paths.journal.c_str()) != 0 && errno != ENOENT) {
            return platform::errnoError("cannot remove " + paths.journal);
        }
        return syncFolder(paths.folder);
    }
    JournalRecord record;
    switch (decodeJournal(data, record)) {
    case RecordState::Foreign:
        return setAside(paths, "is not one this version of the tool can read");
    case RecordState::Complete: {
        Result<FileHandle> archive = openRegularFile(paths.archive, O_RDWR);
        if (!archive.ok() || !fitsRecord(archive->get(), paths.archive, record)) {
            return setAside(paths,
                            "does not fit the archive as it is now (it was put back or changed since)");
        }
        if (Status restored =
                restoreTail(archive->get(), paths.archive, record.centralOffset, record.tail, record.oldSize);
            !restored.ok()) {
            return restored;
        }
        std::fprintf(stderr, "PKZIP25.EXE: %s: an interrupted change was rolled back\n",
                     paths.archive.c_str());
        break;
    }
    case RecordState::CutShort:
        break;
    }
    if (::unlink(paths.journal.c_str()) != 0 && errno != ENOENT) {
        return platform::errnoError("cannot remove " + paths.journal);
    }
    return syncFolder(paths.folder);
}

Result<AppendJournal> AppendJournal::start(const ArchivePaths& paths, int archiveFd, uint64_t oldSize,
                                           uint64_t centralOffset, std::string_view tail) {
    if (tail.size() != oldSize - centralOffset) {
        return platform::makeError(EINVAL, "the saved directory of " + paths.archive + " is incomplete");
    }
    JournalPlan plan;
    plan.oldSize = oldSize;
    plan.pieces.push_back({centralOffset, tail});
    plan.guardEnd = centralOffset;
    return start(paths, archiveFd, plan);
}

Result<AppendJournal> AppendJournal::start(const ArchivePaths& paths, int archiveFd,
                                           const JournalPlan& plan) {
    // Read and write: saved pieces are copied back from it.
    Result<FileHandle> journal = openFile(paths.journal, O_RDWR | O_CREAT | O_TRUNC, 0600);
    if (!journal.ok()) {
        return journal.error();
    }
    AppendJournal result;
    result.m_paths = paths;
    result.m_journal = std::move(*journal);
    result.m_unsealed = Unsealed(paths.journal);
    if (Status written = result.write(archiveFd, plan); !written.ok()) {
        return written.error(); // the unsealed record is removed with result
    }
    return result;
}

Status AppendJournal::write(int archiveFd, const JournalPlan& plan) {
    struct stat info {};
    if (::fstat(archiveFd, &info) != 0) {
        return platform::errnoError("cannot examine " + m_paths.archive);
    }
    PlanRecord record;
    record.device = static_cast<uint64_t>(info.st_dev);
    record.inode = static_cast<uint64_t>(info.st_ino);
    Result<uint32_t> guard = crcOfRange(
        archiveFd, m_paths.archive, plan.guardEnd - std::min(plan.guardEnd, kGuardedLength), plan.guardEnd);
    if (!guard.ok()) {
        return guard.error();
    }
    record.guardCrc = *guard;
    if (plan.keptTo > plan.keptFrom) {
        Result<uint32_t> kept = crcOfRange(archiveFd, m_paths.archive, plan.keptFrom, plan.keptTo);
        if (!kept.ok()) {
            return kept.error();
        }
        record.keptCrc = *kept;
    }
    m_plan = plan;
    m_header = encodePlanHeader(record, plan);
    std::vector<std::string_view> pieces{m_header};
    m_pieceBytes.clear();
    m_pieceStarts.clear();
    uint64_t at = m_header.size();
    for (const JournalPlan::Piece& piece : plan.pieces) {
        pieces.push_back(piece.bytes);
        m_pieceBytes.push_back(piece.bytes);
        m_pieceStarts.push_back(at);
        at += piece.bytes.size();
    }
    m_end = at;
    if (Status written = writeAt(m_journal.get(), pieces.data(), pieces.size(), 0, m_paths.journal);
        !written.ok()) {
        return written;
    }
    startWriteback(m_journal.get());
    return Status::success();
}

void AppendJournal::Unsealed::remove() {
    if (!m_path.empty()) {
        ::unlink(m_path.c_str());
        m_path.clear();
    }
}

Status AppendJournal::writeTrailer() {
    // The CRC is worked out while the disk writes what write() wrote.
    uint32_t crc = static_cast<uint32_t>(
        crc32_z(0, reinterpret_cast<const Bytef*>(m_header.data()), static_cast<z_size_t>(m_header.size())));
    for (std::string_view bytes : m_pieceBytes) {
        crc = static_cast<uint32_t>(
            crc32_z(crc, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<z_size_t>(bytes.size())));
    }
    m_pieceBytes.clear();
    std::string trailer;
    put32(trailer, crc);
    Status status = writeAt(m_journal.get(), trailer.data(), trailer.size(), m_end, m_paths.journal);
    if (status.ok()) {
        status = syncFile(m_journal.get(), m_paths.journal);
    }
    return status;
}

Status AppendJournal::seal() {
    Status status = writeTrailer();
    if (status.ok()) {
        status = syncFolder(m_paths.folder);
    }
    if (!status.ok()) {
        m_unsealed.remove();
        return status;
    }
    m_unsealed.keep();
    return Status::success();
}

Status AppendJournal::replace(int archiveFd, const JournalPlan& plan) {
    // Until the new record is whole, undoing the change means clearing what it wrote into free
    // space: nothing the old record saved has been overwritten yet.
    JournalPlan before = m_plan;
    before.pieces.clear();
    Status status = ::ftruncate(m_journal.get(), 0) == 0
                        ? Status::success()
                        : platform::errnoError("cannot write " + m_paths.journal);
    if (status.ok()) {
        status = write(archiveFd, plan);
    }
    if (status.ok()) {
        status = writeTrailer();
    }
    if (!status.ok()) {
        m_plan = before;
        m_pieceStarts.clear();
    }
    return status;
}

Status AppendJournal::copySaved(size_t piece, uint64_t skip, uint64_t length, int archiveFd,
                                uint64_t offset) const {
    return copyInKernel(m_journal.get(), m_pieceStarts.at(piece) + skip, archiveFd, offset, length,
                        m_paths.journal, m_paths.archive);
}

Status AppendJournal::rollback(int archiveFd) {
    std::vector<uint64_t> offsets;
    for (size_t i = 0; i < m_pieceStarts.size(); ++i) {
        offsets.push_back(m_plan.pieces[i].offset);
    }
    Status restored = applyPlan(
        archiveFd, m_paths.archive, m_plan.clearFrom, m_plan.clearTo, offsets,
        [&](size_t i, uint64_t offset) {
            return copySaved(i, 0, m_plan.pieces[i].bytes.size(), archiveFd, offset);
        },
        m_plan.oldSize);
    if (!restored.ok()) {
        return restored; // the journal stays, and the next run retries
    }
    return commit();
}

Status AppendJournal::commit() {
    if (::unlink(m_paths.journal.c_str()) != 0 && errno != ENOENT) {
        return platform::errnoError("cannot remove " + m_paths.journal);
    }
    return syncFolder(m_paths.folder);
}

Status AppendJournal::finish(int archiveFd, Status written, uint64_t length, const std::string& archivePath,
                             const std::string& restoredLater) {
    Status status = std::move(written);
    if (status.ok() && ::ftruncate(archiveFd, static_cast<off_t>(length)) != 0) {
        status = platform::errnoError("cannot set the length of " + archivePath);
    }
    if (status.ok()) {
        status = syncFile(archiveFd, archivePath);
    }
    if (!status.ok()) {
        if (Status undone = rollback(archiveFd); !undone.ok()) {
            return platform::makeError(status.error().code, status.error().message + "; " + restoredLater +
                                                                " (" + undone.error().message + ")");
        }
        return status;
    }
    return commit();
}

} // namespace pkzip
