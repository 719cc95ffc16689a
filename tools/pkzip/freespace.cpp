#include "freespace.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace pkzip {

namespace {

// No "PK" in it, so that a tool reading the archive as a stream takes it for nothing.
constexpr char kMarkMagic[8] = {'P', 'X', 'F', 'R', 'E', 'E', '0', '1'};
// The directory moves with this many times its own size of free space before it.
constexpr uint64_t kFreeSpaceFactor = 8;
constexpr uint64_t kMinimumFreeSpace = 64u << 10;

uint32_t crcOf(std::string_view bytes) {
    return static_cast<uint32_t>(
        crc32_z(0, reinterpret_cast<const Bytef*>(bytes.data()), static_cast<z_size_t>(bytes.size())));
}

} // namespace

std::string freeSpaceMark(uint64_t start, uint64_t centralOffset) {
    std::string mark(kMarkMagic, sizeof kMarkMagic);
    put64(mark, start);
    put64(mark, centralOffset);
    put32(mark, crcOf(mark));
    put32(mark, 0);
    return mark;
}

std::optional<uint64_t> readFreeSpaceMark(int fd, const std::string& path, uint64_t centralOffset) {
    if (centralOffset < kFreeSpaceMarkSize) {
        return std::nullopt;
    }
    unsigned char mark[kFreeSpaceMarkSize];
    if (!readAt(fd, mark, sizeof mark, centralOffset - kFreeSpaceMarkSize, path).ok() ||
        std::memcmp(mark, kMarkMagic, sizeof kMarkMagic) != 0 ||
        get32(mark + 24) != crcOf(std::string_view(reinterpret_cast<const char*>(mark), 24)) ||
        get64(mark + 16) != centralOffset || get64(mark + 8) > centralOffset - kFreeSpaceMarkSize) {
        return std::nullopt;
    }
    return get64(mark + 8);
}

std::optional<uint64_t> endOfMemberData(int fd, const std::string& path, const Entry& entry) {
    unsigned char header[kLocalHeaderSize];
    if ((entry.flags & kFlagDataDescriptor) != 0 ||
        !readAt(fd, header, sizeof header, entry.localOffset, path).ok() ||
        get32(header) != kLocalHeaderSignature) {
        return std::nullopt;
    }
    const uint64_t end =
        entry.localOffset + kLocalHeaderSize + get16(header + 26) + get16(header + 28) + entry.packedSize;
    if (end < entry.localOffset) {
        return std::nullopt;
    }
    return end;
}

bool isClearStretch(int fd, const std::string& path, uint64_t from, uint64_t to) {
    struct stat info {};
    if (to <= from) {
        return true;
    }
    if (::fstat(fd, &info) != 0) {
        return false;
    }
    const uint64_t block = info.st_blksize > 0 ? static_cast<uint64_t>(info.st_blksize) : 4096;
    auto holdsZeros = [&](uint64_t begin, uint64_t end) {
        std::string bytes(static_cast<size_t>(end - begin), '\0');
        return readAt(fd, bytes.data(), bytes.size(), begin, path).ok() &&
               bytes.find_first_not_of('\0') == std::string::npos;
    };
    const uint64_t innerFrom = (from + block - 1) / block * block;
    const uint64_t innerTo = to / block * block;
    if (innerFrom >= innerTo) {
        return to - from <= 2 * block && holdsZeros(from, to);
    }
    if (!holdsZeros(from, innerFrom) || !holdsZeros(innerTo, to)) {
        return false;
    }
    // Between the holes lie at most a few blocks of zeros (where a cleared stretch ended inside a
    // block): those are read, up to a small budget.
    uint64_t budget = 256u << 10;
    for (uint64_t at = innerFrom; at < innerTo;) {
        const off_t data = ::lseek(fd, static_cast<off_t>(at), SEEK_DATA);
        if (data < 0) {
            return errno == ENXIO; // nothing but a hole up to the end
        }
        if (static_cast<uint64_t>(data) >= innerTo) {
            return true;
        }
        const off_t hole = ::lseek(fd, data, SEEK_HOLE);
        if (hole < 0) {
            return false;
        }
        const uint64_t end = std::min(static_cast<uint64_t>(hole), innerTo);
        if (end - static_cast<uint64_t>(data) > budget || !holdsZeros(static_cast<uint64_t>(data), end)) {
            return false;
        }
        budget -= end - static_cast<uint64_t>(data);
        at = end;
    }
    return true;
}

uint64_t freeSpaceFor(uint64_t directoryBytes) {
    return std::max(kMinimumFreeSpace, kFreeSpaceFactor * directoryBytes) + kFreeSpaceMarkSize;
}

Status HighestMember::considerMasked(const CentralRecord& record, uint64_t number, const std::string& path) {
    Entry entry;
    if (Status read = readEntry(record, 0, number, path, entry); !read.ok()) {
        return read;
    }
    note(record, entry.localOffset, number);
    return Status::success();
}

std::optional<uint64_t> HighestMember::dataEnd(int fd, const std::string& path) const {
    if (!m_seen) {
        return 0;
    }
    Entry entry;
    if (!readEntry(m_record, 0, m_number, path, entry).ok()) {
        return std::nullopt;
    }
    return endOfMemberData(fd, path, entry);
}

std::optional<uint64_t> freeSpaceOf(int fd, const std::string& path, const ArchiveIndex& index) {
    if (index.prefixShift != 0) {
        return std::nullopt;
    }
    const std::optional<uint64_t> start = readFreeSpaceMark(fd, path, index.centralOffset);
    if (!start) {
        return std::nullopt;
    }
    const Entry* highest = nullptr;
    for (const Entry& entry : index.entries) {
        if (highest == nullptr || entry.localOffset >= highest->localOffset) {
            highest = &entry;
        }
    }
    const std::optional<uint64_t> end = highest == nullptr ? 0 : endOfMemberData(fd, path, *highest);
    if (!end || *end > *start) {
        return std::nullopt;
    }
    return start;
}

Status compactArchive(const ArchivePaths& paths, int fd) {
    Result<DirectoryPlace> place = locateDirectory(fd, paths.archive);
    if (!place.ok()) {
        return place.error();
    }
    if (place->fileSize == 0 || place->prefixShift != 0) {
        return Status::success();
    }
    const std::optional<uint64_t> start = readFreeSpaceMark(fd, paths.archive, place->centralOffset);
    if (!start) {
        return Status::success();
    }
    // The mark and everything after it, saved by the journal; the records are checked on the way
    // and the member whose data end last found.
    const uint64_t from = place->centralOffset - kFreeSpaceMarkSize;
    Result<MappedRange> mapped =
        MappedRange::map(fd, from, static_cast<size_t>(place->fileSize - from), paths.archive);
    if (!mapped.ok()) {
        return mapped.error();
    }
    const std::string_view saved = mapped->view();
    DirectoryReader reader(fd, paths.archive, *place, saved.substr(kFreeSpaceMarkSize));
    HighestMember highest;
    if (Status walked = reader.forEach([&](const CentralRecord& record) {
            return highest.consider(record, reader.records(), paths.archive);
        });
        !walked.ok()) {
        return walked;
    }
    const std::optional<uint64_t> dataEnd = highest.dataEnd(fd, paths.archive);
    if (!dataEnd || *dataEnd > *start) {
        return Status::success(); // not space this tool left: nothing is moved over it
    }
    JournalPlan plan;
    plan.oldSize = place->fileSize;
    plan.pieces.push_back({from, saved});
    plan.clearFrom = *start;
    plan.clearTo = from;
    plan.guardEnd = *start;
    Result<AppendJournal> journal = AppendJournal::start(paths, fd, plan);
    if (!journal.ok()) {
        return journal.error();
    }
    if (Status sealed = journal->seal(); !sealed.ok()) {
        return sealed;
    }
    std::string end;
    appendEndRecords(end, reader.records(), *start, place->centralSize, place->comment);
    Status status = journal->copySaved(0, kFreeSpaceMarkSize, place->centralSize, fd, *start);
    if (status.ok()) {
        status = writeAt(fd, end.data(), end.size(), *start + place->centralSize, paths.archive);
    }
    return journal->finish(fd, std::move(status), *start + place->centralSize + end.size(), paths.archive,
                           "the archive will be restored on the next run");
}

} // namespace pkzip
