#include "writer.h"

#include "names.h"

#include <algorithm>
#include <atomic>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <system_error>
#include <thread>
#include <unistd.h>
#include <vector>
#include <zlib.h>

namespace pkzip {

namespace {

constexpr size_t kInMemoryLimit = 8u << 20;
constexpr size_t kChunk = 1u << 20;
constexpr size_t kParallelLimit = 1u << 20;
// Deflate may grow incompressible data a little; above this a member carries ZIP64 sizes from
// the start so that its local header never has to change size.
constexpr uint64_t kZip64Threshold = 0xff000000u;

// The member that writeMember produced, and where the next one may start.
struct Written {
    Entry entry;
    uint64_t end = 0;
};

// A failure while adding one file: either the file could not be read (the run goes on without
// it) or the archive could not be written (the run stops).
struct AddFailure {
    Error error;
    bool archiveFault = false;
};

Entry entryFor(const NewMember& member, const struct stat& info, bool folder) {
    Entry entry;
    entry.rawName = member.storedName +
                    (folder && (member.storedName.empty() || member.storedName.back() != '/') ? "/" : "");
    entry.name = entry.rawName;
    entry.versionMadeBy = (3 << 8) | 30;
    entry.versionNeeded = 20;
    // Only names that are UTF-8 may say so; other bytes are stored as they are, unflagged.
    entry.flags = !isAscii(entry.rawName) && isValidUtf8(entry.rawName) ? kFlagUtf8 : 0;
    entry.method = kMethodStored;
    toDosTime(info.st_mtime, entry.dosDate, entry.dosTime);
    entry.modified = info.st_mtime;
    entry.extra = extendedTimestampField(info.st_mtime);
    entry.externalAttributes =
        (static_cast<uint32_t>(info.st_mode) << 16) | (folder ? kDosFolderAttribute : 0u);
    return entry;
}

class Deflater {
public:
    Deflater() {
        m_ok = deflateInit2(&m_stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~Deflater() { deflateEnd(&m_stream); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;
    bool ok() const { return m_ok; }

    // Compresses input and appends the output; finish ends the stream.
    bool run(const char* input, size_t size, bool finish, std::string& output) {
        m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input));
        m_stream.avail_in = static_cast<uInt>(size);
        char buffer[65536];
        for (;;) {
            m_stream.next_out = reinterpret_cast<Bytef*>(buffer);
            m_stream.avail_out = sizeof buffer;
            const int result = deflate(&m_stream, finish ? Z_FINISH : Z_NO_FLUSH);
            if (result == Z_STREAM_ERROR) {
                return false;
            }
            output.append(buffer, sizeof buffer - m_stream.avail_out);
            if (finish ? result == Z_STREAM_END : (m_stream.avail_in == 0 && m_stream.avail_out != 0)) {
                return true;
            }
        }
    }

private:
    z_stream m_stream{};
    bool m_ok = false;
};

// Runs task(i) for every i below count on up to four cores, the calling thread included. Work is
// handed out one item at a time, so when no further thread can be started the running ones
// share out the rest.
template <class Task> void runOnCores(size_t count, Task&& task) {
    const unsigned threads = std::min<unsigned>(std::max(1u, std::thread::hardware_concurrency()), 4u);
    std::atomic<size_t> next{0};
    auto work = [&] {
        for (size_t i = next++; i < count; i = next++) {
            task(i);
        }
    };
    std::vector<std::thread> workers;
    for (unsigned t = 1; t < threads && t < count; ++t) {
        try {
            workers.emplace_back(work);
        } catch (const std::system_error&) {
            break;
        }
    }
    work();
    for (std::thread& worker : workers) {
        worker.join();
    }
}

// Deflates data of a megabyte or more on several cores: the data are cut into blocks, each
// compressed on its own but primed with the 32 KiB before it, and all but the last ended with a
// sync flush, so the pieces joined make one ordinary deflate stream (the way pigz does it).
bool deflateInParallel(const std::string& data, std::string& packed) {
    constexpr size_t kBlock = 256u << 10;
    constexpr size_t kWindow = 32u << 10;
    const size_t blocks = (data.size() + kBlock - 1) / kBlock;
    std::vector<std::string> pieces(blocks);
    std::vector<char> failed(blocks, 0);
    runOnCores(blocks, [&](size_t b) {
        z_stream stream{};
        if (deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
            failed[b] = 1;
            return;
        }
        const size_t start = b * kBlock;
        const size_t size = std::min(kBlock, data.size() - start);
        if (start > 0) {
            const size_t window = std::min(kWindow, start);
            deflateSetDictionary(&stream, reinterpret_cast<const Bytef*>(data.data() + start - window),
                                 static_cast<uInt>(window));
        }
        std::string& out = pieces[b];
        out.resize(deflateBound(&stream, size) + 16);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + start));
        stream.avail_in = static_cast<uInt>(size);
        stream.next_out = reinterpret_cast<Bytef*>(out.data());
        stream.avail_out = static_cast<uInt>(out.size());
        const bool last = b + 1 == blocks;
        const int result = deflate(&stream, last ? Z_FINISH : Z_SYNC_FLUSH);
        if ((last && result != Z_STREAM_END) || (!last && (result != Z_OK || stream.avail_in != 0))) {
            failed[b] = 1;
        }
        out.resize(stream.total_out);
        deflateEnd(&stream);
    });
    if (std::find(failed.begin(), failed.end(), 1) != failed.end()) {
        return false;
    }
    size_t total = 0;
    for (const std::string& piece : pieces) {
        total += piece.size();
    }
    packed.reserve(total);
    for (const std::string& piece : pieces) {
        packed += piece;
    }
    return true;
}

// Compressing data that do not compress (photos, videos, archives) costs most of an add's time
// and gains nothing. A fast trial on the first 128 KiB decides: when it saves less than 2%, the
// member is stored.
bool looksIncompressible(const char* data, size_t size) {
    constexpr size_t kSample = 128u << 10;
    if (size < kSample / 2) {
        return false; // small enough to simply try
    }
    const size_t sample = std::min(size, kSample);
    z_stream stream{};
    if (deflateInit2(&stream, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        return false;
    }
    std::vector<unsigned char> out(deflateBound(&stream, sample));
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
    stream.avail_in = static_cast<uInt>(sample);
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    const uint64_t packed = stream.total_out;
    deflateEnd(&stream);
    return result == Z_STREAM_END && packed * 100 >= sample * 98;
}

// Reads a file from start to end, taking the holes of a sparse file as zeros without reading
// them: a 5 GB file of holes costs no reading at all.
class SparseReader {
public:
    SparseReader(int fd, std::string path) : m_fd(fd), m_path(std::move(path)) {}

    // Fills up to size bytes; fewer only at the end of the file.
    Result<size_t> read(char* buffer, size_t size) {
        size_t done = 0;
        while (done < size) {
            if (m_position >= m_dataEnd) {
                findNextRegion();
            }
            if (m_position < m_holeEnd) {
                const size_t n = static_cast<size_t>(std::min<uint64_t>(size - done, m_holeEnd - m_position));
                std::memset(buffer + done, 0, n);
                done += n;
                m_position += n;
                continue;
            }
            const size_t wanted =
                static_cast<size_t>(std::min<uint64_t>(size - done, m_dataEnd - m_position));
            const ssize_t n = ::pread(m_fd, buffer + done, wanted, static_cast<off_t>(m_position));
            if (n < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return platform::errnoError("cannot read " + m_path);
            }
            if (n == 0) {
                break;
            }
            done += static_cast<size_t>(n);
            m_position += static_cast<uint64_t>(n);
        }
        return done;
    }

private:
    // Sets the hole that starts at the current position (possibly empty) and the data after it.
    void findNextRegion() {
        constexpr uint64_t kUnknown = UINT64_MAX;
        m_holeEnd = m_position;
        m_dataEnd = kUnknown;
        struct stat info {};
        const uint64_t size = ::fstat(m_fd, &info) == 0 ? static_cast<uint64_t>(info.st_size) : kUnknown;
        const off_t data = ::lseek(m_fd, static_cast<off_t>(m_position), SEEK_DATA);
        if (data < 0) {
            // ENXIO: only a hole up to the end; anything else: no hole information, just read.
            if (errno == ENXIO && size != kUnknown && size > m_position) {
                m_holeEnd = size;
                m_dataEnd = size;
            }
            return;
        }
        m_holeEnd = static_cast<uint64_t>(data);
        const off_t hole = ::lseek(m_fd, data, SEEK_HOLE);
        m_dataEnd = hole > data ? static_cast<uint64_t>(hole) : kUnknown;
    }

    int m_fd;
    std::string m_path;
    uint64_t m_position = 0;
    uint64_t m_holeEnd = 0;
    uint64_t m_dataEnd = 0;
};

// A small member read and compressed ahead of writing: its local header and data, ready to be
// placed at any offset (a local header holds no offset).
struct Prepared {
    Entry entry;
    std::string bytes;
    bool ready = false; // false: larger than asked for, to be prepared or streamed later
};

// Reads and compresses one file of at most maxSize bytes (or a folder) into memory.
Result<Prepared> prepareMember(const NewMember& member, uint64_t maxSize) {
    // O_NONBLOCK: a named pipe put in the list must not hang the tool; regular files ignore it.
    Result<FileHandle> source = openFile(member.hostPath, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (!source.ok()) {
        return source.error();
    }
    struct stat info {};
    if (::fstat(source->get(), &info) != 0) {
        return platform::errnoError("cannot examine " + member.hostPath);
    }
    const bool folder = S_ISDIR(info.st_mode);
    if (!folder && !S_ISREG(info.st_mode)) {
        return platform::makeError(EINVAL, member.hostPath + " is not a regular file");
    }
    Entry entry = entryFor(member, info, folder);
    const uint64_t expected = folder ? 0 : static_cast<uint64_t>(info.st_size);
    const bool zip64 = expected >= kZip64Threshold;
    const uint64_t headerSize =
        kLocalHeaderSize + entry.rawName.size() + entry.extra.size() + (zip64 ? 20 : 0);

    Prepared prepared;
    if (expected > maxSize) {
        return prepared;
    }
    {
        // Small files: read whole, compress whole, keep whichever of stored and deflated is smaller.
        std::string data;
        if (!folder) {
            data.resize(expected + 1);
            Result<size_t> n = readSome(source->get(), data.data(), data.size(), member.hostPath);
            if (!n.ok()) {
                return n.error();
            }
            if (*n > expected) {
                return platform::makeError(EAGAIN, member.hostPath + " grew while it was being added");
            }
            data.resize(*n);
        }
        entry.size = data.size();
        entry.crc = static_cast<uint32_t>(
            crc32_z(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<z_size_t>(data.size())));
        std::string packed;
        if (data.size() >= kParallelLimit && !looksIncompressible(data.data(), data.size())) {
            if (!deflateInParallel(data, packed)) {
                return platform::makeError(EIO, "cannot compress " + member.hostPath);
            }
        } else if (!data.empty() && !looksIncompressible(data.data(), data.size())) {
            Deflater deflater;
            if (!deflater.ok() || !deflater.run(data.data(), data.size(), true, packed)) {
                return platform::makeError(EIO, "cannot compress " + member.hostPath);
            }
        }
        const bool deflated = !packed.empty() && packed.size() < data.size();
        entry.method = deflated ? kMethodDeflated : kMethodStored;
        entry.packedSize = deflated ? packed.size() : data.size();
        prepared.bytes.reserve(headerSize + entry.packedSize);
        appendLocalHeader(prepared.bytes, entry, zip64);
        prepared.bytes += deflated ? packed : data;
    }
    prepared.entry = std::move(entry);
    prepared.ready = true;
    return prepared;
}

// Writes one member (local header and data) at offset.
Result<Written> writeMember(int fd, const std::string& archivePath, uint64_t offset, const NewMember& member,
                            bool& archiveFault, Prepared* ahead = nullptr) {
    archiveFault = false;
    Prepared local;
    if (ahead == nullptr || !ahead->ready) {
        Result<Prepared> prepared = prepareMember(member, kInMemoryLimit);
        if (!prepared.ok()) {
            return prepared.error();
        }
        local = std::move(*prepared);
        ahead = &local;
    }
    if (ahead->ready) {
        if (Status written = writeAt(fd, ahead->bytes.data(), ahead->bytes.size(), offset, archivePath);
            !written.ok()) {
            archiveFault = true;
            return written.error();
        }
        ahead->entry.localOffset = offset;
        return Written{std::move(ahead->entry), offset + ahead->bytes.size()};
    }
    // O_NONBLOCK: a named pipe put in the list must not hang the tool; regular files ignore it.
    Result<FileHandle> source = openFile(member.hostPath, O_RDONLY | O_NONBLOCK | O_NOCTTY);
    if (!source.ok()) {
        return source.error();
    }
    struct stat info {};
    if (::fstat(source->get(), &info) != 0) {
        return platform::errnoError("cannot examine " + member.hostPath);
    }
    const bool folder = S_ISDIR(info.st_mode);
    if (!folder && !S_ISREG(info.st_mode)) {
        return platform::makeError(EINVAL, member.hostPath + " is not a regular file");
    }
    Entry entry = entryFor(member, info, folder);
    entry.localOffset = offset;
    const uint64_t expected = folder ? 0 : static_cast<uint64_t>(info.st_size);
    const bool zip64 = expected >= kZip64Threshold;
    const uint64_t headerSize =
        kLocalHeaderSize + entry.rawName.size() + entry.extra.size() + (zip64 ? 20 : 0);
    const uint64_t dataOffset = offset + headerSize;
    std::string out;

    // Large files are streamed; the header is written last, when sizes and CRC are known.
    Deflater deflater;
    if (!deflater.ok()) {
        return platform::makeError(EIO, "cannot compress " + member.hostPath);
    }
    std::vector<char> buffer(kChunk);
    uint32_t crc = 0;
    uint64_t total = 0;
    uint64_t position = dataOffset;
    SparseReader reader(source->get(), member.hostPath);
    bool first = true;
    for (;;) {
        Result<size_t> n = reader.read(buffer.data(), buffer.size());
        if (!n.ok()) {
            return n.error();
        }
        if (first) {
            entry.method = looksIncompressible(buffer.data(), *n) ? kMethodStored : kMethodDeflated;
            first = false;
        }
        crc = static_cast<uint32_t>(crc32_z(crc, reinterpret_cast<const Bytef*>(buffer.data()), *n));
        total += *n;
        const bool last = *n < buffer.size();
        const char* chunk = buffer.data();
        size_t chunkSize = *n;
        if (entry.method == kMethodDeflated) {
            out.clear();
            if (!deflater.run(buffer.data(), *n, last, out)) {
                return platform::makeError(EIO, "cannot compress " + member.hostPath);
            }
            chunk = out.data();
            chunkSize = out.size();
        }
        if (Status written = writeAt(fd, chunk, chunkSize, position, archivePath); !written.ok()) {
            archiveFault = true;
            return written.error();
        }
        position += chunkSize;
        if (last) {
            break;
        }
    }
    entry.crc = crc;
    entry.size = total;
    entry.packedSize = position - dataOffset;
    if (!zip64 && (entry.size >= kZip64Limit || entry.packedSize >= kZip64Limit)) {
        return platform::makeError(EAGAIN, member.hostPath + " grew while it was being added");
    }
    out.clear();
    appendLocalHeader(out, entry, zip64);
    if (Status written = writeAt(fd, out.data(), out.size(), offset, archivePath); !written.ok()) {
        archiveFault = true;
        return written.error();
    }
    return Written{std::move(entry), position};
}

// Writes the members one after another from offset. Small files are read and compressed on all
// cores, a batch at a time, ahead of being written in order; larger ones are handled one by one.
// A file that cannot be read is a problem of its own; a failed write stops the run.
template <class OnEntry>
Status writeMembers(int fd, const std::string& archivePath, uint64_t& offset,
                    const std::vector<NewMember>& members, Problems& problems, OnEntry&& onEntry) {
    constexpr size_t kBatch = 64;
    constexpr uint64_t kAheadLimit = 1u << 20; // read ahead: at most 1 MiB a file, 64 MiB a batch
    for (size_t start = 0; start < members.size(); start += kBatch) {
        const size_t count = std::min(kBatch, members.size() - start);
        std::vector<std::optional<Result<Prepared>>> ahead(count);
        runOnCores(count,
                   [&](size_t k) { ahead[k].emplace(prepareMember(members[start + k], kAheadLimit)); });
        for (size_t k = 0; k < count; ++k) {
            Result<Prepared>& prepared = *ahead[k];
            if (!prepared.ok()) {
                problems.push_back(prepared.error().message);
                continue;
            }
            bool archiveFault = false;
            Result<Written> written =
                writeMember(fd, archivePath, offset, members[start + k], archiveFault, &*prepared);
            if (!written.ok()) {
                if (archiveFault) {
                    return written.error();
                }
                problems.push_back(written.error().message);
                continue;
            }
            onEntry(std::move(written->entry));
            offset = written->end;
        }
    }
    return Status::success();
}

// Copies the kept members into the new archive as they lie in the old one: the old file up to
// its central directory, less the stretches of the removed members, in as few kernel copies as
// the gaps allow. Local headers hold no offsets, so the bytes move unchanged; only the
// directory records get new offsets. Returns the end of what was copied.
Result<uint64_t> copyKeptMembers(int fromFd, const std::string& fromPath, const ArchiveIndex& old,
                                 const std::vector<bool>& keep, int toFd, const std::string& toPath,
                                 std::vector<Entry>& kept) {
    // A member's stretch runs from its local header to the next member's (or the directory).
    // Several directory records may name one local header; its stretch goes only when all do.
    std::vector<std::pair<uint64_t, bool>> starts; // offset, kept
    starts.reserve(old.entries.size());
    for (size_t i = 0; i < old.entries.size(); ++i) {
        if (old.entries[i].localOffset >= old.centralOffset) {
            return platform::makeError(EILSEQ, fromPath + ": member " + old.entries[i].name +
                                                   " lies outside the archive's data (damaged archive)");
        }
        starts.emplace_back(old.entries[i].localOffset, keep[i]);
    }
    std::sort(starts.begin(), starts.end());
    std::vector<std::pair<uint64_t, uint64_t>> removed; // [begin, end) stretches that go
    for (size_t k = 0; k < starts.size();) {
        const uint64_t offset = starts[k].first;
        bool anyKept = false;
        for (; k < starts.size() && starts[k].first == offset; ++k) {
            anyKept = anyKept || starts[k].second;
        }
        const uint64_t end = k < starts.size() ? starts[k].first : old.centralOffset;
        if (!anyKept) {
            if (!removed.empty() && removed.back().second == offset) {
                removed.back().second = end;
            } else {
                removed.emplace_back(offset, end);
            }
        }
    }
    // Copy the stretches between the removed ones.
    uint64_t from = 0;
    uint64_t to = 0;
    auto copyUpTo = [&](uint64_t limit) -> Status {
        if (limit > from) {
            if (Status copied = copyRange(fromFd, from, toFd, to, limit - from, fromPath, toPath);
                !copied.ok()) {
                return copied;
            }
            to += limit - from;
        }
        return Status::success();
    };
    for (const auto& [begin, end] : removed) {
        if (Status copied = copyUpTo(begin); !copied.ok()) {
            return copied.error();
        }
        from = end;
    }
    if (Status copied = copyUpTo(old.centralOffset); !copied.ok()) {
        return copied.error();
    }
    // Each kept member moves back by the removed bytes before it (no removed stretch holds a
    // kept member's header, so "before" is "begins before").
    std::vector<uint64_t> removedBefore(removed.size() + 1, 0);
    for (size_t r = 0; r < removed.size(); ++r) {
        removedBefore[r + 1] = removedBefore[r] + (removed[r].second - removed[r].first);
    }
    for (size_t i = 0; i < old.entries.size(); ++i) {
        if (!keep[i]) {
            continue;
        }
        Entry entry = old.entries[i];
        const auto after = std::lower_bound(removed.begin(), removed.end(), entry.localOffset,
                                            [](const std::pair<uint64_t, uint64_t>& stretch,
                                               uint64_t offset) { return stretch.first < offset; });
        entry.localOffset -= removedBefore[static_cast<size_t>(after - removed.begin())];
        kept.push_back(std::move(entry));
    }
    return to;
}

} // namespace

Status appendToArchive(const ArchivePaths& paths, int archiveFd, const ArchiveIndex& old,
                       const std::vector<NewMember>& members, Problems& problems) {
    Result<AppendJournal> journal = AppendJournal::begin(paths, archiveFd, old.fileSize, old.centralOffset);
    if (!journal.ok()) {
        return journal.error();
    }
    // The old members stay where they are, so their directory records are reused byte for byte;
    // only the new members' records are made. That keeps a run's cost independent of how many
    // members the archive already has (apart from reading its directory once).
    const std::string& oldCentral = journal->oldTail();
    std::string central; // the new members' records and the end records
    uint64_t count = old.entries.size();
    uint64_t offset = old.centralOffset;
    Status failure = writeMembers(archiveFd, paths.archive, offset, members, problems, [&](Entry entry) {
        appendCentralRecord(central, entry);
        ++count;
    });
    if (failure.ok()) {
        const uint64_t centralSize = old.centralSize + central.size();
        appendEndRecords(central, count, offset, centralSize, old.comment);
        failure = writeAt(archiveFd, oldCentral.data(), static_cast<size_t>(old.centralSize), offset,
                          paths.archive);
        if (failure.ok()) {
            failure =
                writeAt(archiveFd, central.data(), central.size(), offset + old.centralSize, paths.archive);
        }
        const uint64_t end = offset + old.centralSize + central.size();
        if (failure.ok() && ::ftruncate(archiveFd, static_cast<off_t>(end)) != 0) {
            failure = platform::errnoError("cannot set the length of " + paths.archive);
        }
        if (failure.ok()) {
            failure = syncFile(archiveFd, paths.archive);
        }
    }
    if (!failure.ok()) {
        if (Status rolledBack = journal->rollback(archiveFd); !rolledBack.ok()) {
            return platform::makeError(failure.error().code,
                                       failure.error().message +
                                           "; the archive will be restored on the next run (" +
                                           rolledBack.error().message + ")");
        }
        return failure;
    }
    return journal->commit();
}

Status rewriteArchive(const ArchivePaths& paths, int oldFd, const ArchiveIndex& old,
                      const std::vector<bool>& keep, const std::vector<NewMember>& members,
                      Problems& problems) {
    mode_t mode = 0666;
    if (oldFd >= 0) {
        struct stat info {};
        if (::fstat(oldFd, &info) == 0) {
            mode = info.st_mode & 07777;
        }
    }
    Result<FileHandle> scratch = openFile(paths.scratch, O_RDWR | O_CREAT | O_TRUNC, static_cast<int>(mode));
    if (!scratch.ok()) {
        return scratch.error();
    }
    if (oldFd >= 0) {
        (void)::fchmod(scratch->get(), mode); // the umask must not narrow an existing archive's mode
    }
    auto fail = [&](const Error& error) -> Status {
        ::unlink(paths.scratch.c_str());
        return error;
    };
    std::vector<Entry> entries;
    entries.reserve(old.entries.size() + members.size());
    uint64_t offset = 0;
    if (oldFd >= 0) {
        Result<uint64_t> end =
            copyKeptMembers(oldFd, paths.archive, old, keep, scratch->get(), paths.scratch, entries);
        if (!end.ok()) {
            return fail(end.error());
        }
        offset = *end;
    }
    if (Status written = writeMembers(scratch->get(), paths.scratch, offset, members, problems,
                                      [&](Entry entry) { entries.push_back(std::move(entry)); });
        !written.ok()) {
        return fail(written.error());
    }
    const std::string central = buildCentralDirectory(entries, offset, old.comment);
    if (Status written = writeAt(scratch->get(), central.data(), central.size(), offset, paths.scratch);
        !written.ok()) {
        return fail(written.error());
    }
    if (Status synced = syncFile(scratch->get(), paths.scratch); !synced.ok()) {
        return fail(synced.error());
    }
    if (::rename(paths.scratch.c_str(), paths.archive.c_str()) != 0) {
        return fail(platform::errnoError("cannot replace " + paths.archive));
    }
    return syncFolder(paths.folder);
}

} // namespace pkzip
