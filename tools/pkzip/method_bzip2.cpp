// Method 12, bzip2, by libbz2 (see runtimelib.h), bound the first time such a member is read. A large
// member's blocks are decoded on several cores: each block, found by its 48-bit signature, is handed to
// libbz2 as a stream of its own, and the blocks' bytes go to the sink in order.

#include "decoder.h"
#include "runtimelib.h"

#include <algorithm>
#include <bzlib.h>
#include <deque>
#include <future>
#include <memory>
#include <thread>
#include <vector>

namespace pkzip {

namespace {

struct Bzip2Library {
    decltype(&BZ2_bzDecompressInit) init = nullptr;
    decltype(&BZ2_bzDecompress) decompress = nullptr;
    decltype(&BZ2_bzDecompressEnd) end = nullptr;
    RuntimeLibrary library{"libbz2", PELLIX_BZ2_SONAME};

    Bzip2Library() {
        library.bind(init, "BZ2_bzDecompressInit");
        library.bind(decompress, "BZ2_bzDecompress");
        library.bind(end, "BZ2_bzDecompressEnd");
    }
};

const Bzip2Library& bzip2Library() {
    static const Bzip2Library library;
    return library;
}

Status decodeWhole(const Bzip2Library& bz, ByteSource& source, ByteSink& sink);
Status decodeBlocks(const Bzip2Library& bz, const DecoderInput& member, ByteSource& source, ByteSink& sink);

// Members this large have their blocks decoded in parallel (a block holds up to 900 kB).
constexpr uint64_t kParallelSize = 8u << 20;

} // namespace

Status decodeBzip2(const DecoderInput& member, ByteSource& source, ByteSink& sink) {
    const Bzip2Library& bz = bzip2Library();
    if (!bz.library.problem().empty()) {
        return platform::makeError(ENOTSUP, "it cannot be decoded: " + bz.library.problem());
    }
    if (member.size >= kParallelSize && std::thread::hardware_concurrency() > 1) {
        return decodeBlocks(bz, member, source, sink);
    }
    return decodeWhole(bz, source, sink);
}

namespace {

// The stream as it is, on this thread.
Status decodeWhole(const Bzip2Library& bz, ByteSource& source, ByteSink& sink) {
    bz_stream stream{};
    // The small-memory mode is slower by half and never needed: a block takes at most 3.6 MB.
    if (bz.init(&stream, 0, 0) != BZ_OK) {
        return platform::makeError(ENOMEM, "cannot start decompression");
    }
    char* input = scratchBuffer(0);
    char* output = scratchBuffer(1);
    bool sourceDone = false;
    Status status;
    while (status.ok()) {
        if (stream.avail_in == 0 && !sourceDone) {
            Result<size_t> n = source.read(input, kScratchSize);
            if (!n.ok()) {
                status = n.error();
                break;
            }
            sourceDone = *n == 0;
            stream.next_in = input;
            stream.avail_in = static_cast<unsigned>(*n);
        }
        stream.next_out = output;
        stream.avail_out = static_cast<unsigned>(kScratchSize);
        const unsigned availableBefore = stream.avail_in;
        const int result = bz.decompress(&stream);
        if (result != BZ_OK && result != BZ_STREAM_END) {
            status = result == BZ_MEM_ERROR ? tooMuchMemory(4u << 20) : damagedData();
            break;
        }
        const size_t produced = kScratchSize - stream.avail_out;
        status = sink.put(output, produced);
        if (result == BZ_STREAM_END) {
            break;
        }
        if (status.ok() && produced == 0 && stream.avail_in == availableBefore) {
            status = sourceDone ? dataEndEarly() : damagedData();
        }
    }
    bz.end(&stream);
    return status;
}

constexpr uint64_t kBlockMagic = 0x314159265359;
constexpr uint64_t kEndMagic = 0x177245385090;
constexpr uint64_t kMagicMask = (uint64_t{1} << 48) - 1;
// A block's packed bits are at most a little over its 900 kB; more bits in one piece are damage.
constexpr size_t kLargestPiece = 2u << 20;

// Bits, most significant first, as bzip2 writes them.
class Bits {
public:
    void append(uint64_t value, unsigned count) {
        while (count-- > 0) {
            appendBit(static_cast<unsigned>((value >> count) & 1));
        }
    }
    // Bits [from, to) of data, a byte at a time.
    void appendFrom(const std::vector<uint8_t>& data, uint64_t from, uint64_t to) {
        const unsigned gap = m_count & 7;
        for (; from + 8 <= to; from += 8) {
            const size_t at = static_cast<size_t>(from >> 3);
            const unsigned shift = from & 7;
            const unsigned next = shift != 0 ? data[at + 1] : 0;
            const auto value = static_cast<uint8_t>((data[at] << shift) | (next >> (8 - shift)));
            if (gap == 0) {
                m_bytes.push_back(value);
            } else {
                m_bytes.back() = static_cast<uint8_t>(m_bytes.back() | (value >> gap));
                m_bytes.push_back(static_cast<uint8_t>(value << (8 - gap)));
            }
            m_count += 8;
        }
        for (; from < to; ++from) {
            appendBit((data[from >> 3] >> (7 - (from & 7))) & 1);
        }
    }
    void appendBits(const Bits& other) { appendFrom(other.m_bytes, 0, other.m_count); }
    uint64_t count() const { return m_count; }
    const std::vector<uint8_t>& bytes() const { return m_bytes; }

private:
    void appendBit(unsigned bit) {
        if ((m_count & 7) == 0) {
            m_bytes.push_back(0);
        }
        m_bytes.back() = static_cast<uint8_t>(m_bytes.back() | (bit << (7 - (m_count & 7))));
        ++m_count;
    }

    std::vector<uint8_t> m_bytes;
    uint64_t m_count = 0;
};

// One block's bits: from its signature up to the next signature or the end of stream signature.
struct Piece {
    Bits bits;
    bool last = false; // ends at the end of stream signature
};

struct Decoded {
    bool ok = false;
    std::vector<char> data;
};

// A block as a stream of its own: the stream header, the block, the end of stream signature and the
// stream's CRC, which for one block is the block's own.
Decoded decodePiece(const Bzip2Library& bz, char level, const Bits& block, uint64_t limit) {
    Decoded decoded;
    if (block.count() < 80) {
        return decoded;
    }
    Bits stream;
    stream.append(0x425a68, 24);
    stream.append(static_cast<uint8_t>(level), 8);
    stream.appendBits(block);
    stream.append(kEndMagic, 48);
    uint64_t crc = 0;
    for (uint64_t i = 48; i < 80; ++i) {
        crc = (crc << 1) | ((block.bytes()[i >> 3] >> (7 - (i & 7))) & 1);
    }
    stream.append(crc, 32);
    bz_stream z{};
    if (bz.init(&z, 0, 0) != BZ_OK) {
        return decoded;
    }
    z.next_in = reinterpret_cast<char*>(const_cast<uint8_t*>(stream.bytes().data()));
    z.avail_in = static_cast<unsigned>(stream.bytes().size());
    decoded.data.resize(1u << 20);
    size_t produced = 0;
    for (;;) {
        if (produced == decoded.data.size()) {
            if (produced >= limit) {
                break;
            }
            decoded.data.resize(std::min<uint64_t>(decoded.data.size() * 2, limit + 1));
        }
        z.next_out = decoded.data.data() + produced;
        z.avail_out = static_cast<unsigned>(decoded.data.size() - produced);
        const int result = bz.decompress(&z);
        produced = decoded.data.size() - z.avail_out;
        if (result == BZ_STREAM_END) {
            decoded.ok = true;
            break;
        }
        if (result != BZ_OK || (z.avail_in == 0 && z.avail_out != 0)) {
            break;
        }
    }
    bz.end(&z);
    decoded.data.resize(produced);
    return decoded;
}

// Splits the stream at every block signature and at end of stream signatures. A signature may also
// occur by chance inside a block: the two pieces it makes fail to decode, and are joined again.
class Splitter {
public:
    explicit Splitter(ByteSource& source) : m_source(source) {}

    // The next piece, or nothing at the end of the data (status says whether it failed).
    bool next(Piece& piece) {
        for (;;) {
            while ((m_scanned >> 3) + 8 > m_end && !m_done) {
                if (!fill()) {
                    return false;
                }
            }
            uint64_t at = kNone;
            bool block = false;
            if ((m_scanned >> 3) + 8 <= m_end) {
                // Eight bit positions at a time, from one 64-bit window.
                const uint64_t byte = m_scanned >> 3;
                uint64_t window = 0;
                for (unsigned k = 0; k < 8; ++k) {
                    window = (window << 8) | m_data[byte - m_base + k];
                }
                for (unsigned shift = m_scanned & 7; shift < 8 && at == kNone; ++shift) {
                    const uint64_t word = (window >> (16 - shift)) & kMagicMask;
                    if (word == kBlockMagic || word == kEndMagic) {
                        at = byte * 8 + shift;
                        block = word == kBlockMagic;
                    }
                }
                m_scanned = at == kNone ? (byte + 1) * 8 : at + 1;
            } else {
                for (; m_scanned + 48 <= m_end * 8 && at == kNone; ++m_scanned) {
                    const uint64_t word = peek48(m_scanned);
                    if (word == kBlockMagic || word == kEndMagic) {
                        at = m_scanned;
                        block = word == kBlockMagic;
                    }
                }
                if (at == kNone) {
                    // The data end without an end of stream: what is left is the last piece.
                    if (m_start == kNone) {
                        return false;
                    }
                    cut(piece, m_end * 8, false);
                    m_start = kNone;
                    return true;
                }
            }
            if (at == kNone) {
                continue;
            }
            if (m_start == kNone) {
                if (!block) {
                    return false; // an end of stream before any block: an empty stream
                }
                m_start = at;
                continue;
            }
            // Pieces follow one another without a gap, so that joined pieces are the bits as they were.
            cut(piece, at, !block);
            m_start = at;
            drop();
            return true;
        }
    }

    char level() const { return m_level; }
    bool headerOk() {
        while (m_end < 4 && !m_done) {
            if (!fill()) {
                return false;
            }
        }
        if (m_end < 4 || m_data[0] != 'B' || m_data[1] != 'Z' || m_data[2] != 'h' || m_data[3] < '1' ||
            m_data[3] > '9') {
            return false;
        }
        m_level = static_cast<char>(m_data[3]);
        m_scanned = 32;
        return true;
    }
    const Status& status() const { return m_status; }

private:
    static constexpr uint64_t kNone = ~uint64_t{0};

    void cut(Piece& piece, uint64_t to, bool last) {
        piece.bits = Bits();
        piece.bits.appendFrom(m_data, m_start - m_base * 8, to - m_base * 8);
        piece.last = last;
    }
    uint64_t peek48(uint64_t bit) const {
        uint64_t value = 0;
        const uint64_t first = (bit >> 3) - m_base;
        for (unsigned k = 0; k < 7 && first + k < m_data.size(); ++k) {
            value = (value << 8) | m_data[first + k];
        }
        const unsigned available = static_cast<unsigned>(std::min<uint64_t>(7, m_data.size() - first)) * 8;
        return (value >> (available - (bit & 7) - 48)) & kMagicMask;
    }
    // Forgets the bytes before the current piece.
    void drop() {
        const uint64_t keep = (m_start == kNone ? m_scanned : std::min(m_start, m_scanned)) / 8;
        if (keep > m_base + (1u << 20)) {
            m_data.erase(m_data.begin(), m_data.begin() + static_cast<std::ptrdiff_t>(keep - m_base));
            m_base = keep;
        }
    }
    bool fill() {
        const size_t old = m_data.size();
        m_data.resize(old + kScratchSize);
        Result<size_t> n = m_source.read(reinterpret_cast<char*>(m_data.data() + old), kScratchSize);
        if (!n.ok()) {
            m_status = n.error();
            m_data.resize(old);
            return false;
        }
        m_data.resize(old + *n);
        m_done = *n == 0;
        m_end = m_base + m_data.size();
        return true;
    }

    ByteSource& m_source;
    std::vector<uint8_t> m_data; // the bytes from m_base on
    uint64_t m_base = 0;
    uint64_t m_end = 0;     // bytes read so far
    uint64_t m_scanned = 0; // bits looked at for signatures
    uint64_t m_start = kNone;
    bool m_done = false;
    char m_level = '9';
    Status m_status;
};

Status decodeBlocks(const Bzip2Library& bz, const DecoderInput& member, ByteSource& source, ByteSink& sink) {
    Splitter splitter(source);
    if (!splitter.headerOk()) {
        return splitter.status().ok() ? damagedData() : splitter.status();
    }
    const unsigned threads = std::min(4u, std::thread::hardware_concurrency());
    struct Job {
        std::unique_ptr<Piece> piece = std::make_unique<Piece>();
        std::future<Decoded> result;
    };
    std::deque<Job> jobs;
    bool sourceDone = false;
    auto refill = [&]() {
        while (!sourceDone && jobs.size() < 2 * threads) {
            Job job;
            if (!splitter.next(*job.piece)) {
                sourceDone = true;
                break;
            }
            job.result = std::async(std::launch::async, decodePiece, std::cref(bz), splitter.level(),
                                    std::cref(job.piece->bits), member.size);
            jobs.push_back(std::move(job));
        }
    };
    refill();
    Bits carry;
    bool carrying = false;
    while (!jobs.empty()) {
        Job job = std::move(jobs.front());
        jobs.pop_front();
        Decoded decoded = job.result.get();
        refill();
        if (carrying) {
            // The pieces before failed: this one may be the rest of their block.
            carry.appendBits(job.piece->bits);
            if (carry.count() > kLargestPiece * 8) {
                return damagedData();
            }
            decoded = decodePiece(bz, splitter.level(), carry, member.size);
        }
        if (!decoded.ok) {
            if (!carrying) {
                carry = std::move(job.piece->bits);
                carrying = true;
            }
            continue;
        }
        carrying = false;
        carry = Bits();
        if (Status put = sink.put(decoded.data.data(), decoded.data.size()); !put.ok()) {
            return put;
        }
        if (job.piece->last) {
            // What follows the end of the stream is not read, as libbz2 does not read it.
            for (Job& rest : jobs) {
                rest.result.wait();
            }
            return Status::success();
        }
    }
    if (!splitter.status().ok()) {
        return splitter.status();
    }
    return carrying ? damagedData() : dataEndEarly();
}

} // namespace

} // namespace pkzip
