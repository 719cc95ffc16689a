#include "writer.h"

#include "freespace.h"
#include "names.h"
#include "runcontrol.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <functional>
#include <mutex>
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
// Members from this size on are deflated in blocks on several cores.
constexpr size_t kParallelLimit = 512u << 10;
constexpr size_t kBlock = 256u << 10;
constexpr size_t kWindow = 32u << 10;
// Members up to this size are read and compressed ahead of the writer, at most kAheadCount at a
// time (64 MiB held at most); larger ones are handled by the writer when their turn comes.
constexpr uint64_t kAheadLimit = 1u << 20;
constexpr size_t kAheadCount = 64;
// The writer hands the kernel the bytes of many small members in one write.
constexpr size_t kWriteBatch = 128u << 10;
constexpr size_t kWritePieces = 1024;
// Deflate may grow incompressible data a little; above this a member carries ZIP64 sizes from
// the start so that its local header never has to change size.
constexpr uint64_t kZip64Threshold = 0xff000000u;

// The member that a write produced, and where the next one may start.
struct Written {
    Entry entry;
    uint64_t end = 0;
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

// A buffer of one thread that grows as needed and is never filled with zeros: reading a file or
// compressing it writes every byte that is later read.
class ScratchBuffer {
public:
    char* get(size_t size) {
        if (size > m_size) {
            m_data = std::make_unique_for_overwrite<char[]>(size);
            m_size = size;
        }
        return m_data.get();
    }

private:
    std::unique_ptr<char[]> m_data;
    size_t m_size = 0;
};

ScratchBuffer& scratch(int which) {
    thread_local ScratchBuffer buffers[2];
    return buffers[which];
}

// One raw deflate stream per thread and level, reset between uses rather than made again: its
// state is a quarter of a megabyte, more than most members.
class Deflater {
public:
    explicit Deflater(int level) {
        m_ok = deflateInit2(&m_stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    }
    ~Deflater() { deflateEnd(&m_stream); }
    Deflater(const Deflater&) = delete;
    Deflater& operator=(const Deflater&) = delete;

    // Each level's stream is made on its first use in the thread: a stream's state costs fresh
    // pages, and most threads never need the fast one.
    static Deflater& forThread(int level) {
        if (level == 1) {
            thread_local Deflater fast(1);
            return fast;
        }
        thread_local Deflater normal(Z_DEFAULT_COMPRESSION);
        return normal;
    }

    // Starts a new stream, primed with a dictionary when one is given.
    bool reset(const char* dictionary = nullptr, size_t dictionarySize = 0) {
        if (!m_ok || deflateReset(&m_stream) != Z_OK) {
            return false;
        }
        return dictionarySize == 0 ||
               deflateSetDictionary(&m_stream, reinterpret_cast<const Bytef*>(dictionary),
                                    static_cast<uInt>(dictionarySize)) == Z_OK;
    }
    size_t bound(size_t size) { return deflateBound(&m_stream, size) + 16; }

    // Compresses all of input into output (at least bound(size) bytes) in one call, ending with
    // flush (Z_FINISH or Z_SYNC_FLUSH); returns the bytes written, or nothing on failure.
    std::optional<size_t> once(const char* input, size_t size, char* output, size_t room, int flush) {
        m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input));
        m_stream.avail_in = static_cast<uInt>(size);
        m_stream.next_out = reinterpret_cast<Bytef*>(output);
        m_stream.avail_out = static_cast<uInt>(room);
        const int result = deflate(&m_stream, flush);
        const bool done = flush == Z_FINISH
                              ? result == Z_STREAM_END
                              : result == Z_OK && m_stream.avail_in == 0 && m_stream.avail_out != 0;
        if (!done) {
            return std::nullopt;
        }
        return room - m_stream.avail_out;
    }

    // Compresses input and appends the output; finish ends the stream.
    bool run(const char* input, size_t size, bool finish, std::string& output) {
        m_stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input));
        m_stream.avail_in = static_cast<uInt>(size);
        char* buffer = scratch(1).get(kOutputPiece);
        for (;;) {
            m_stream.next_out = reinterpret_cast<Bytef*>(buffer);
            m_stream.avail_out = kOutputPiece;
            const int result = deflate(&m_stream, finish ? Z_FINISH : Z_NO_FLUSH);
            if (result == Z_STREAM_ERROR) {
                return false;
            }
            output.append(buffer, kOutputPiece - m_stream.avail_out);
            if (finish ? result == Z_STREAM_END : (m_stream.avail_in == 0 && m_stream.avail_out != 0)) {
                return true;
            }
        }
    }

private:
    static constexpr size_t kOutputPiece = 64u << 10;
    z_stream m_stream{};
    bool m_ok = false;
};

// A few threads made once per run. Tasks run in the order they were posted. With no thread (none
// could be made) nothing posted runs: every user of the pool also does its work itself.
class WorkerPool {
public:
    explicit WorkerPool(unsigned threads) {
        for (unsigned t = 0; t < threads; ++t) {
            try {
                m_threads.emplace_back([this] { serve(); });
            } catch (const std::system_error&) {
                break;
            }
        }
    }
    ~WorkerPool() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_stopping = true;
        }
        m_wake.notify_all();
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }
    WorkerPool(const WorkerPool&) = delete;
    WorkerPool& operator=(const WorkerPool&) = delete;

    bool hasThreads() const { return !m_threads.empty(); }

    void post(std::function<void()> task) {
        if (m_threads.empty()) {
            return;
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_tasks.push_back(std::move(task));
        }
        m_wake.notify_one();
    }

    // Runs task(i) for every i below count on the calling thread and on any worker that is free,
    // and returns when all are done. The caller takes items too, so the work ends even when every
    // worker is busy.
    template <class Task> void forEach(size_t count, Task&& task) {
        struct Progress {
            std::atomic<size_t> next{0};
            size_t done = 0;
            std::mutex mutex;
            std::condition_variable finished;
        };
        auto progress = std::make_shared<Progress>();
        // A helper that starts after the last item was taken does nothing, so task is never used
        // after forEach has returned.
        auto work = [progress, count, &task] {
            size_t doneHere = 0;
            for (size_t i = progress->next++; i < count; i = progress->next++) {
                task(i);
                ++doneHere;
            }
            if (doneHere > 0) {
                std::lock_guard<std::mutex> lock(progress->mutex);
                progress->done += doneHere;
                if (progress->done == count) {
                    progress->finished.notify_all();
                }
            }
        };
        for (size_t helper = 0; helper + 1 < count && helper < m_threads.size(); ++helper) {
            post(work);
        }
        work();
        std::unique_lock<std::mutex> lock(progress->mutex);
        progress->finished.wait(lock, [&] { return progress->done == count; });
    }

private:
    void serve() {
        for (;;) {
            std::function<void()> task;
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_wake.wait(lock, [this] { return m_stopping || !m_tasks.empty(); });
                if (m_stopping) {
                    return;
                }
                task = std::move(m_tasks.front());
                m_tasks.pop_front();
            }
            task();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_tasks;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

// Deflates data of kParallelLimit or more on several cores: the data are cut into blocks, each
// compressed on its own but primed with the 32 KiB before it, and all but the last ended with a
// sync flush, so the pieces joined make one ordinary deflate stream (the way pigz does it).
bool deflateInParallel(const char* data, size_t size, std::string& packed, WorkerPool& pool) {
    const size_t blocks = (size + kBlock - 1) / kBlock;
    // Every block's output goes to its own stretch of one buffer, closed up afterwards.
    const size_t room = compressBound(kBlock) + 64;
    auto output = std::make_unique_for_overwrite<char[]>(blocks * room);
    std::vector<size_t> lengths(blocks, 0);
    std::atomic<bool> failed{false};
    pool.forEach(blocks, [&](size_t b) {
        // After a stop the blocks left are not compressed: the member is not written anyway.
        if (failed || stopRequested()) {
            failed = true;
            return;
        }
        const size_t start = b * kBlock;
        const size_t length = std::min(kBlock, size - start);
        const size_t window = std::min(kWindow, start);
        Deflater& deflater = Deflater::forThread(Z_DEFAULT_COMPRESSION);
        const bool last = b + 1 == blocks;
        std::optional<size_t> written;
        if (deflater.reset(data + start - window, window)) {
            written = deflater.once(data + start, length, output.get() + b * room, room,
                                    last ? Z_FINISH : Z_SYNC_FLUSH);
        }
        if (!written) {
            failed = true;
            return;
        }
        lengths[b] = *written;
    });
    if (failed) {
        return false;
    }
    size_t total = 0;
    for (size_t length : lengths) {
        total += length;
    }
    packed.reserve(packed.size() + total);
    for (size_t b = 0; b < blocks; ++b) {
        packed.append(output.get() + b * room, lengths[b]);
    }
    return true;
}

// The information in the data's byte frequencies, in bits per byte (0 to 8). Text and most
// documents have 4 to 6; compressed or encrypted data, whose bytes look random, nearly 8.
double byteEntropy(const unsigned char* data, size_t size) {
    // Four counts interleaved, so that runs of one byte value do not wait on one another.
    uint32_t counts[4][256] = {};
    size_t i = 0;
    for (; i + 4 <= size; i += 4) {
        ++counts[0][data[i]];
        ++counts[1][data[i + 1]];
        ++counts[2][data[i + 2]];
        ++counts[3][data[i + 3]];
    }
    for (; i < size; ++i) {
        ++counts[0][data[i]];
    }
    double bits = 0;
    for (int value = 0; value < 256; ++value) {
        const uint32_t n = counts[0][value] + counts[1][value] + counts[2][value] + counts[3][value];
        if (n > 0) {
            const double p = static_cast<double>(n) / static_cast<double>(size);
            bits -= p * std::log2(p);
        }
    }
    return bits;
}

// Whether some 8 bytes of the data occur twice, at least at every repeat of 15 bytes or more: each
// 8-byte word at a multiple of 8 is noted, then every other position's word is looked up (a repeat
// of 15 bytes holds a noted word of one of its copies). In random bytes two words alike are too
// rare to matter. A bit per hash value, in a filter that fits the first-level cache, answers most
// lookups without touching the table of noted words.
bool hasRepeats(const unsigned char* data, size_t size) {
    size_t slots = 16;
    while (slots < size / 4) {
        slots *= 2;
    }
    constexpr unsigned kFilterBits = 16;
    constexpr uint32_t kEmpty = UINT32_MAX;
    // Kept per thread between calls: a fresh table per small file cost more in new pages than the
    // search itself.
    thread_local std::vector<uint32_t> table;
    thread_local std::vector<uint64_t> filter;
    table.assign(slots, kEmpty);
    filter.assign((size_t{1} << kFilterBits) / 64, 0);
    auto word = [&](size_t at) {
        uint64_t value = 0;
        std::memcpy(&value, data + at, 8);
        return value;
    };
    auto hashOf = [](uint64_t value) { return value * 0x9E3779B97F4A7C15ULL; };
    auto slotOf = [&](uint64_t hash) { return static_cast<size_t>(hash >> 40) & (slots - 1); };
    auto filterBit = [](uint64_t hash) { return static_cast<size_t>(hash >> (64 - kFilterBits)); };
    for (size_t at = 0; at + 8 <= size; at += 8) {
        const uint64_t value = word(at);
        const uint64_t hash = hashOf(value);
        size_t slot = slotOf(hash);
        for (; table[slot] != kEmpty; slot = (slot + 1) & (slots - 1)) {
            if (word(table[slot]) == value) {
                return true;
            }
        }
        table[slot] = static_cast<uint32_t>(at);
        filter[filterBit(hash) / 64] |= uint64_t{1} << (filterBit(hash) % 64);
    }
    // Noted words alike were found above, so a position at a multiple of 8 has nothing to add.
    for (size_t at = 1; at + 8 <= size; ++at) {
        if (at % 8 == 0) {
            continue;
        }
        const uint64_t value = word(at);
        const uint64_t hash = hashOf(value);
        if ((filter[filterBit(hash) / 64] >> (filterBit(hash) % 64) & 1) == 0) {
            continue;
        }
        for (size_t slot = slotOf(hash); table[slot] != kEmpty; slot = (slot + 1) & (slots - 1)) {
            if (word(table[slot]) == value) {
                return true;
            }
        }
    }
    return false;
}

// Compressing data that do not compress (photos, videos, archives) costs most of an add's time
// and gains nothing. Data whose byte frequencies leave room to gain are compressed. Near-random
// data are stored: below 64 KiB when no 16 bytes repeat (deflate gains only from repeats there),
// from 64 KiB on when a fast trial on the first 128 KiB saves less than 2%.
bool looksIncompressible(const char* data, size_t size) {
    constexpr size_t kSample = 128u << 10;
    constexpr size_t kFirstLook = 32u << 10;
    // Below 4 KiB random bytes do not show their randomness in their frequencies.
    if (size < 4096) {
        return false;
    }
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    if (byteEntropy(bytes, std::min(size, kFirstLook)) < 7.9) {
        return false;
    }
    if (size < kSample / 2) {
        return !hasRepeats(bytes, size);
    }
    const size_t sample = std::min(size, kSample);
    Deflater& deflater = Deflater::forThread(1);
    if (!deflater.reset()) {
        return false;
    }
    const size_t room = deflater.bound(sample);
    const std::optional<size_t> packed = deflater.once(data, sample, scratch(1).get(room), room, Z_FINISH);
    return packed && *packed * 100 >= sample * 98;
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

// Reads and compresses one file of at most maxSize bytes (or a folder) into memory; a larger one
// comes back not ready.
Result<Prepared> prepareMember(const NewMember& member, uint64_t maxSize, WorkerPool& pool,
                               const AddEncryption* encryption) {
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
    Prepared prepared;
    const uint64_t expected = folder ? 0 : static_cast<uint64_t>(info.st_size);
    if (expected > maxSize) {
        return prepared;
    }
    Entry entry = entryFor(member, info, folder);
    const bool zip64 = expected >= kZip64Threshold;
    // Small files: read whole, compress whole, keep whichever of stored and deflated is smaller.
    char* data = scratch(0).get(expected + 1);
    size_t size = 0;
    if (!folder) {
        Result<size_t> n = readSome(source->get(), data, expected + 1, member.hostPath);
        if (!n.ok()) {
            return n.error();
        }
        if (*n > expected) {
            return platform::makeError(EAGAIN, member.hostPath + " grew while it was being added");
        }
        size = *n;
    }
    entry.size = size;
    entry.crc = static_cast<uint32_t>(crc32_z(0, reinterpret_cast<const Bytef*>(data), size));
    std::string parallel;
    std::string_view packed;
    if (size > 0 && !looksIncompressible(data, size)) {
        if (size >= kParallelLimit) {
            if (!deflateInParallel(data, size, parallel, pool)) {
                if (stopRequested()) {
                    return stoppedError();
                }
                return platform::makeError(EIO, "cannot compress " + member.hostPath);
            }
            packed = parallel;
        } else {
            Deflater& deflater = Deflater::forThread(Z_DEFAULT_COMPRESSION);
            const size_t room = deflater.reset() ? deflater.bound(size) : 0;
            char* output = scratch(1).get(room);
            const std::optional<size_t> written =
                room > 0 ? deflater.once(data, size, output, room, Z_FINISH) : std::nullopt;
            if (!written) {
                return platform::makeError(EIO, "cannot compress " + member.hostPath);
            }
            packed = std::string_view(output, *written);
        }
    }
    const bool deflated = !packed.empty() && packed.size() < size;
    entry.method = deflated ? kMethodDeflated : kMethodStored;
    entry.packedSize = deflated ? packed.size() : size;
    std::optional<MemberEncryption> encrypted;
    if (encryption != nullptr && !folder) {
        Result<MemberEncryption> started = MemberEncryption::start(*encryption);
        if (!started.ok()) {
            return started.error();
        }
        encrypted.emplace(std::move(*started));
        MemberEncryption::mark(entry, entry.method, entry.packedSize);
    }
    prepared.bytes.reserve(kLocalHeaderSize + entry.rawName.size() + entry.extra.size() + 20 +
                           entry.packedSize);
    appendLocalHeader(prepared.bytes, entry, zip64);
    if (encrypted) {
        prepared.bytes += encrypted->prefix();
    }
    const size_t dataStart = prepared.bytes.size();
    if (deflated) {
        prepared.bytes += packed;
    } else {
        prepared.bytes.append(data, size);
    }
    if (encrypted) {
        encrypted->encrypt(prepared.bytes.data() + dataStart, prepared.bytes.size() - dataStart);
        Result<std::string> code = encrypted->suffix();
        if (!code.ok()) {
            return code.error();
        }
        prepared.bytes += *code;
    }
    prepared.entry = std::move(entry);
    prepared.ready = true;
    return prepared;
}

// Writes one member that was too large to prepare ahead (local header and data) at offset: in
// memory up to kInMemoryLimit, else streamed, with the header written last when sizes and CRC are
// known.
Result<Written> writeLargeMember(int fd, const std::string& archivePath, uint64_t offset,
                                 const NewMember& member, bool& archiveFault, WorkerPool& pool,
                                 const AddEncryption* encryption) {
    archiveFault = false;
    Result<Prepared> prepared = prepareMember(member, kInMemoryLimit, pool, encryption);
    if (!prepared.ok()) {
        return prepared.error();
    }
    if (prepared->ready) {
        if (Status written = writeAt(fd, prepared->bytes.data(), prepared->bytes.size(), offset, archivePath);
            !written.ok()) {
            archiveFault = true;
            return written.error();
        }
        prepared->entry.localOffset = offset;
        progress::advance(prepared->entry.size);
        return Written{std::move(prepared->entry), offset + prepared->bytes.size()};
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
    std::optional<MemberEncryption> encrypted;
    if (encryption != nullptr && !folder) {
        Result<MemberEncryption> started = MemberEncryption::start(*encryption);
        if (!started.ok()) {
            return started.error();
        }
        encrypted.emplace(std::move(*started));
        MemberEncryption::mark(entry, kMethodDeflated, 0); // the field's size, for the header's
    }
    const uint64_t headerSize =
        kLocalHeaderSize + entry.rawName.size() + entry.extra.size() + (zip64 ? 20 : 0);
    const uint64_t dataOffset = offset + headerSize;
    std::string out;

    Deflater& deflater = Deflater::forThread(Z_DEFAULT_COMPRESSION);
    if (!deflater.reset()) {
        return platform::makeError(EIO, "cannot compress " + member.hostPath);
    }
    char* buffer = scratch(0).get(kChunk);
    uint32_t crc = 0;
    uint64_t total = 0;
    uint64_t position = dataOffset;
    SparseReader reader(source->get(), member.hostPath);
    bool first = true;
    uint16_t method = kMethodStored;
    auto put = [&](const char* bytes, size_t size) -> Status {
        Status written = writeAt(fd, bytes, size, position, archivePath);
        archiveFault = !written.ok();
        position += size;
        return written;
    };
    if (encrypted) {
        if (Status written = put(encrypted->prefix().data(), encrypted->prefix().size()); !written.ok()) {
            return written.error();
        }
    }
    for (;;) {
        if (stopRequested()) {
            // Not a problem of this file: the run ends here, and what it wrote is undone.
            archiveFault = true;
            return stoppedError();
        }
        Result<size_t> n = reader.read(buffer, kChunk);
        if (!n.ok()) {
            return n.error();
        }
        progress::advance(*n);
        if (first) {
            method = looksIncompressible(buffer, *n) ? kMethodStored : kMethodDeflated;
            first = false;
        }
        crc = static_cast<uint32_t>(crc32_z(crc, reinterpret_cast<const Bytef*>(buffer), *n));
        total += *n;
        const bool last = *n < kChunk;
        char* chunk = buffer;
        size_t chunkSize = *n;
        if (method == kMethodDeflated) {
            out.clear();
            if (!deflater.run(buffer, *n, last, out)) {
                return platform::makeError(EIO, "cannot compress " + member.hostPath);
            }
            chunk = out.data();
            chunkSize = out.size();
        }
        if (encrypted) {
            encrypted->encrypt(chunk, chunkSize);
        }
        if (Status written = put(chunk, chunkSize); !written.ok()) {
            return written.error();
        }
        if (last) {
            break;
        }
    }
    entry.method = method;
    entry.crc = crc;
    entry.size = total;
    entry.packedSize = position - dataOffset;
    if (encrypted) {
        Result<std::string> code = encrypted->suffix();
        if (!code.ok()) {
            return code.error();
        }
        if (Status written = put(code->data(), code->size()); !written.ok()) {
            return written.error();
        }
        MemberEncryption::mark(entry, method, position - dataOffset - kAes256Overhead);
    }
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

} // namespace

// The members in slots, each prepared by a worker ahead of time, or by the writer itself when no
// worker could be made. The writer waits rather than prepare a member no worker has begun: the
// workers already keep every core busy, and a third deflate stream would only cost fresh pages.
struct MemberPipeline::State {
    State(std::vector<NewMember> list, std::optional<AddEncryption> settings)
        : members(std::move(list)), encryption(std::move(settings)),
          slots(std::make_unique<Slot[]>(members.size())),
          pool(std::min(std::max(1u, std::thread::hardware_concurrency()), 4u)) {
        topUp();
    }

    // The member at position k, once prepared; positions are taken in order, each once.
    Result<Prepared> take(size_t k) {
        std::optional<Result<Prepared>> result;
        int queued = 0;
        if (!pool.hasThreads() && slots[k].stage.compare_exchange_strong(queued, 1)) {
            result.emplace(prepareMember(members[k], kAheadLimit, pool, encryptionOrNull()));
        } else {
            std::unique_lock<std::mutex> lock(mutex);
            ready.wait(lock, [&] { return slots[k].stage.load() == 2; });
            result = std::move(slots[k].prepared);
            slots[k].prepared.reset();
        }
        taken = k + 1;
        topUp();
        return std::move(*result);
    }

    // Hands the workers the members up to kAheadCount beyond the one the writer waits for.
    void topUp() {
        while (posted < members.size() && posted < taken + kAheadCount) {
            const size_t k = posted++;
            pool.post([this, k] { prepareAhead(k); });
        }
    }

    void prepareAhead(size_t k) {
        int queued = 0;
        if (!slots[k].stage.compare_exchange_strong(queued, 1)) {
            return; // the writer took it first
        }
        // After a stop nothing more is read: the writer ends at the member it takes next.
        Result<Prepared> result = stopRequested()
                                      ? Result<Prepared>(stoppedError())
                                      : prepareMember(members[k], kAheadLimit, pool, encryptionOrNull());
        {
            std::lock_guard<std::mutex> lock(mutex);
            slots[k].prepared.emplace(std::move(result));
            slots[k].stage = 2;
        }
        ready.notify_all();
    }

    const AddEncryption* encryptionOrNull() const { return encryption ? &*encryption : nullptr; }

    struct Slot {
        std::atomic<int> stage{0}; // 0 waiting, 1 being prepared, 2 prepared
        std::optional<Result<Prepared>> prepared;
    };

    const std::vector<NewMember> members;
    const std::optional<AddEncryption> encryption;
    std::unique_ptr<Slot[]> slots;
    std::mutex mutex;
    std::condition_variable ready;
    size_t posted = 0;
    size_t taken = 0;
    // Last, so that its threads have stopped before anything they use goes.
    WorkerPool pool;
};

MemberPipeline::MemberPipeline(std::vector<NewMember> members, std::optional<AddEncryption> encryption)
    : m_state(std::make_unique<State>(std::move(members), std::move(encryption))) {}

MemberPipeline::~MemberPipeline() = default;

namespace {

// How far members may be written before the run must make more room (free space before a
// directory that has to stay where it is): widen() makes it, after which there is no limit.
struct Room {
    uint64_t limit = UINT64_MAX;
    std::function<Status()> widen;

    // Makes room for a member of size bytes from offset; unknown sizes always need it.
    Status makeFor(uint64_t offset, std::optional<uint64_t> size) {
        if (!widen || (size && offset <= limit && *size <= limit - offset)) {
            return Status::success();
        }
        Status made = widen();
        widen = nullptr;
        limit = UINT64_MAX;
        return made;
    }
};

// Writes the members one after another from offset, in the pipeline's order: prepared ones
// gathered into large writes, larger ones one by one. A file that cannot be read is a problem of
// its own; a failed write stops the run.
template <class OnEntry>
Status writeMembers(int fd, const std::string& archivePath, uint64_t& offset, MemberPipeline::State& pipeline,
                    Problems& problems, OnEntry&& onEntry, Room room = {}) {
    // Prepared members wait here until a megabyte is together, then go to the kernel in one write
    // straight from their own buffers.
    std::vector<Prepared> batch;
    batch.reserve(kWritePieces); // never moved while pieces point into it
    std::vector<std::string_view> pieces;
    size_t batchBytes = 0;
    uint64_t batchOffset = offset;
    auto flush = [&]() -> Status {
        Status written = writeAt(fd, pieces.data(), pieces.size(), batchOffset, archivePath);
        batch.clear();
        pieces.clear();
        batchBytes = 0;
        batchOffset = offset;
        return written;
    };
    for (size_t k = 0; k < pipeline.members.size(); ++k) {
        if (stopRequested()) {
            return stoppedError();
        }
        Result<Prepared> prepared = pipeline.take(k);
        if (!prepared.ok()) {
            if (stopRequested()) {
                return stoppedError();
            }
            problems.push_back(prepared.error().message);
            continue;
        }
        if (Status made = room.makeFor(
                offset, prepared->ready ? std::optional<uint64_t>(prepared->bytes.size()) : std::nullopt);
            !made.ok()) {
            return made;
        }
        if (prepared->ready) {
            progress::advance(prepared->entry.size);
            prepared->entry.localOffset = offset;
            offset += prepared->bytes.size();
            batchBytes += prepared->bytes.size();
            onEntry(std::move(prepared->entry));
            batch.push_back(std::move(*prepared));
            pieces.push_back(batch.back().bytes);
            if (batchBytes >= kWriteBatch || pieces.size() >= kWritePieces) {
                if (Status written = flush(); !written.ok()) {
                    return written;
                }
            }
            continue;
        }
        if (Status written = flush(); !written.ok()) {
            return written;
        }
        bool archiveFault = false;
        Result<Written> written = writeLargeMember(fd, archivePath, offset, pipeline.members[k], archiveFault,
                                                   pipeline.pool, pipeline.encryptionOrNull());
        if (!written.ok()) {
            if (archiveFault || stopRequested()) {
                return written.error();
            }
            problems.push_back(written.error().message);
            continue;
        }
        onEntry(std::move(written->entry));
        offset = written->end;
        batchOffset = offset;
    }
    return flush();
}

// Copies the kept members into the new archive as they lie in the old one: the old file up to
// its central directory, less the stretches of the removed members, in as few kernel copies as
// the gaps allow. Local headers hold no offsets, so the bytes move unchanged; only the
// directory records get new offsets. The member data end at dataEnd (the directory's start, or
// the free space's before it). Returns the end of what was copied.
Result<uint64_t> copyKeptMembers(int fromFd, const std::string& fromPath, const ArchiveIndex& old,
                                 uint64_t dataEnd, const std::vector<bool>& keep, int toFd,
                                 const std::string& toPath, std::vector<Entry>& kept) {
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
        const uint64_t end = k < starts.size() ? starts[k].first : dataEnd;
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
    if (Status copied = copyUpTo(dataEnd); !copied.ok()) {
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

JournalPlan appendPlan(const AppendSite& site, bool intoFreeSpace) {
    const DirectoryPlace& place = site.place;
    JournalPlan plan;
    plan.oldSize = place.fileSize;
    plan.guardEnd = site.freeStart.value_or(place.centralOffset);
    if (site.freeStart) {
        plan.clearFrom = *site.freeStart;
        plan.clearTo = site.roomEnd();
    }
    if (!intoFreeSpace) {
        plan.pieces.push_back({site.savedFrom, site.saved});
        return plan;
    }
    // The directory stays: only the index's header, the mark and the end records are written
    // over. Slots the run fills in the index lie past the ones the old header counts.
    const uint64_t headerStart = site.headerStart();
    plan.pieces.push_back(
        {headerStart, site.saved.substr(headerStart - site.savedFrom, place.centralOffset - headerStart)});
    plan.pieces.push_back({place.centralOffset + place.centralSize,
                           site.saved.substr(place.centralOffset + place.centralSize - site.savedFrom)});
    plan.keptTo = place.centralOffset + place.centralSize;
    plan.keptFrom = plan.keptTo - std::min<uint64_t>(place.centralSize, 64u << 10);
    return plan;
}

namespace {

// The name hashes of the old members, in order: from the index when the space has one, else from
// every record of the old directory (while it is still where it was).
Result<std::vector<uint64_t>> oldNameHashes(const AppendSite& site, int fd, const std::string& path) {
    if (site.names) {
        return allHashes(*site.names, site.nameSlots());
    }
    std::vector<uint64_t> hashes;
    hashes.reserve(static_cast<size_t>(std::min<uint64_t>(site.place.count, site.place.centralSize / 46)));
    DirectoryReader reader(fd, path, site.place,
                           site.saved.substr(site.place.centralOffset - site.savedFrom));
    Entry entry;
    std::string listed;
    if (Status walked = reader.forEach([&](const CentralRecord& record) -> Status {
            Result<uint64_t> hash = recordNameHash(record, reader.records(), path, entry, listed);
            if (!hash.ok()) {
                return hash.error();
            }
            hashes.push_back(*hash);
            return Status::success();
        });
        !walked.ok()) {
        return walked.error();
    }
    std::sort(hashes.begin(), hashes.end());
    return hashes;
}

} // namespace

Status appendToArchive(const ArchivePaths& paths, int archiveFd, const AppendSite& site, uint64_t oldRecords,
                       AppendJournal journal, bool intoFreeSpace, MemberPipeline& members,
                       Problems& problems) {
    if (Status sealed = journal.seal(); !sealed.ok()) {
        return sealed;
    }
    const DirectoryPlace& place = site.place;
    const uint64_t markBytes = place.centralOffset - site.savedFrom;
    // The old members stay where they are, so their directory records are reused byte for byte;
    // only the new members' records are made. That keeps a run's cost independent of how many
    // members the archive already has: into free space the old directory is not even moved.
    std::string central; // the new members' records and the end records
    std::vector<uint64_t> newHashes;
    uint64_t count = oldRecords;
    uint64_t offset = site.freeStart.value_or(place.centralOffset);
    bool moving = !intoFreeSpace;
    // A moved directory gets a new index of every name: the old names are taken before anything is
    // written over the old index or directory. Names that cannot be told leave the archive
    // without an index, which only makes later runs read the directory.
    std::optional<std::vector<uint64_t>> oldHashes;
    bool hashesKnown = true;
    auto takeOldHashes = [&] {
        Result<std::vector<uint64_t>> hashes = oldNameHashes(site, archiveFd, paths.archive);
        if (hashes.ok()) {
            oldHashes = std::move(*hashes);
        }
    };
    if (moving) {
        takeOldHashes();
    }
    Room room;
    if (intoFreeSpace) {
        room.limit = site.roomEnd();
        room.widen = [&] {
            moving = true;
            Status replaced = journal.replace(archiveFd, appendPlan(site, false));
            if (replaced.ok()) {
                takeOldHashes();
            }
            return replaced;
        };
    }
    Status failure = writeMembers(
        archiveFd, paths.archive, offset, members.state(), problems,
        [&](Entry entry) {
            const size_t at = central.size();
            appendCentralRecord(central, entry);
            Entry scratch;
            std::string listed;
            Result<uint64_t> hash =
                recordNameHash(centralRecordAt(reinterpret_cast<const unsigned char*>(central.data()) + at),
                               count + 1, paths.archive, scratch, listed);
            if (hash.ok()) {
                newHashes.push_back(*hash);
            } else {
                hashesKnown = false;
            }
            ++count;
        },
        std::move(room));
    uint64_t end = 0;
    if (failure.ok()) {
        uint64_t centralOffset = place.centralOffset;
        const uint64_t centralSize = place.centralSize + central.size();
        std::sort(newHashes.begin(), newHashes.end());
        std::optional<NameIndex> index;
        std::string slots;
        if (moving) {
            // The directory moves up past the new members, with free space before it again and the
            // index of every name at the space's top; what lay there before is cleared (a stale
            // directory record there would end a reading that goes through the archive from the
            // front).
            if (oldHashes && hashesKnown) {
                std::vector<uint64_t> hashes(oldHashes->size() + newHashes.size());
                std::merge(oldHashes->begin(), oldHashes->end(), newHashes.begin(), newHashes.end(),
                           hashes.begin());
                slots = encodeSlots(hashes);
                index.emplace();
                index->sorted = hashes.size();
                index->capacity = slotsForLaterRuns(index->sorted);
            }
            centralOffset = offset + freeSpaceFor(centralSize) + (index ? index->bytes() : 0);
            failure = clearRange(archiveFd, paths.archive, offset,
                                 std::min(centralOffset - kFreeSpaceMarkSize, place.fileSize));
            if (failure.ok()) {
                failure = journal.copySaved(0, markBytes, place.centralSize, archiveFd, centralOffset);
            }
            if (failure.ok() && index) {
                index->start = centralOffset - kFreeSpaceMarkSize - index->bytes();
                failure = writeAt(archiveFd, slots.data(), slots.size(), index->start, paths.archive);
            }
        } else if (site.names && hashesKnown &&
                   newHashes.size() <= site.names->capacity - site.names->logged) {
            // The run's names go into the free slots; the new header counts them.
            index = site.names;
            slots = encodeSlots(newHashes);
            failure = writeAt(archiveFd, slots.data(), slots.size(),
                              index->start + 8 * (index->sorted + index->logged), paths.archive);
            index->logged += newHashes.size();
        }
        // Without a header written now, an old one no longer fits the directory and is not used.
        appendEndRecords(central, count, centralOffset, centralSize, place.comment);
        if (failure.ok()) {
            failure = writeAt(archiveFd, central.data(), central.size(), centralOffset + place.centralSize,
                              paths.archive);
        }
        std::string header;
        if (failure.ok() && index) {
            Result<uint32_t> tail = directoryTailCrc(archiveFd, paths.archive, centralOffset, centralSize);
            if (!tail.ok()) {
                failure = tail.error();
            } else {
                index->members = count;
                index->centralOffset = centralOffset;
                index->centralSize = centralSize;
                index->tailCrc = *tail;
                header = encodeHeader(*index);
            }
        }
        const std::string mark = freeSpaceMark(offset, centralOffset);
        if (failure.ok()) {
            failure = writeAt(archiveFd, {header, mark}, centralOffset - mark.size() - header.size(),
                              paths.archive);
        }
        end = centralOffset + place.centralSize + central.size();
        if (failure.ok() && ::ftruncate(archiveFd, static_cast<off_t>(end)) != 0) {
            failure = platform::errnoError("cannot set the length of " + paths.archive);
        }
        if (failure.ok()) {
            failure = syncFile(archiveFd, paths.archive);
        }
    }
    if (!failure.ok()) {
        if (Status rolledBack = journal.rollback(archiveFd); !rolledBack.ok()) {
            return platform::makeError(failure.error().code,
                                       failure.error().message +
                                           "; the archive will be restored on the next run (" +
                                           rolledBack.error().message + ")");
        }
        return failure;
    }
    return journal.commit();
}

Status rewriteArchive(const ArchivePaths& paths, int oldFd, const ArchiveIndex& old,
                      const std::vector<bool>& keep, MemberPipeline* members, Problems& problems) {
    mode_t mode = 0666;
    if (oldFd >= 0) {
        struct stat info {};
        if (::fstat(oldFd, &info) == 0) {
            mode = info.st_mode & 07777;
        }
    }
    Result<FileHandle> scratchFile =
        openFile(paths.scratch, O_RDWR | O_CREAT | O_TRUNC, static_cast<int>(mode));
    if (!scratchFile.ok()) {
        return scratchFile.error();
    }
    if (oldFd >= 0) {
        (void)::fchmod(scratchFile->get(), mode); // the umask must not narrow an existing archive's mode
    }
    auto fail = [&](const Error& error) -> Status {
        ::unlink(paths.scratch.c_str());
        return error;
    };
    std::vector<Entry> entries;
    entries.reserve(old.entries.size());
    uint64_t offset = 0;
    if (oldFd >= 0) {
        // Free space before the old directory is not carried into the new archive.
        const uint64_t dataEnd = freeSpaceOf(oldFd, paths.archive, old).value_or(old.centralOffset);
        Result<uint64_t> end = copyKeptMembers(oldFd, paths.archive, old, dataEnd, keep, scratchFile->get(),
                                               paths.scratch, entries);
        if (!end.ok()) {
            return fail(end.error());
        }
        offset = *end;
    }
    if (members != nullptr) {
        if (Status written =
                writeMembers(scratchFile->get(), paths.scratch, offset, members->state(), problems,
                             [&](Entry entry) { entries.push_back(std::move(entry)); });
            !written.ok()) {
            return fail(written.error());
        }
    }
    const std::string central = buildCentralDirectory(entries, offset, old.comment);
    if (Status written = writeAt(scratchFile->get(), central.data(), central.size(), offset, paths.scratch);
        !written.ok()) {
        return fail(written.error());
    }
    if (Status synced = syncFile(scratchFile->get(), paths.scratch); !synced.ok()) {
        return fail(synced.error());
    }
    if (::rename(paths.scratch.c_str(), paths.archive.c_str()) != 0) {
        return fail(platform::errnoError("cannot replace " + paths.archive));
    }
    return syncFolder(paths.folder);
}

} // namespace pkzip
