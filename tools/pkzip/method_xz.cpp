// Methods 14 (LZMA) and 95 (XZ), by liblzma (see runtimelib.h), bound the first time such a member is read.

#include "decoder.h"
#include "runtimelib.h"

#include <algorithm>
#include <lzma.h>

namespace pkzip {

namespace {

struct LzmaLibrary {
    decltype(&lzma_alone_decoder) aloneDecoder = nullptr;
    decltype(&lzma_stream_decoder) streamDecoder = nullptr;
    decltype(&lzma_code) code = nullptr;
    decltype(&lzma_end) end = nullptr;
    RuntimeLibrary library{"liblzma", PELLIX_LZMA_SONAME};

    LzmaLibrary() {
        library.bind(aloneDecoder, "lzma_alone_decoder");
        library.bind(streamDecoder, "lzma_stream_decoder");
        library.bind(code, "lzma_code");
        library.bind(end, "lzma_end");
    }
};

const LzmaLibrary& lzmaLibrary() {
    static const LzmaLibrary library;
    return library;
}

// Runs a started decoder over the rest of the source; prelude (already read) goes first.
Status runDecoder(const LzmaLibrary& xz, lzma_stream& stream, ByteSource& source, ByteSink& sink,
                  const uint8_t* prelude, size_t preludeSize) {
    char* input = scratchBuffer(0);
    char* output = scratchBuffer(1);
    stream.next_in = prelude;
    stream.avail_in = preludeSize;
    bool sourceDone = false;
    for (;;) {
        if (stream.avail_in == 0 && !sourceDone) {
            Result<size_t> n = source.read(input, kScratchSize);
            if (!n.ok()) {
                return n.error();
            }
            sourceDone = *n == 0;
            stream.next_in = reinterpret_cast<const uint8_t*>(input);
            stream.avail_in = *n;
        }
        stream.next_out = reinterpret_cast<uint8_t*>(output);
        stream.avail_out = kScratchSize;
        const size_t availableBefore = stream.avail_in;
        const lzma_ret result = xz.code(&stream, sourceDone ? LZMA_FINISH : LZMA_RUN);
        if (result != LZMA_OK && result != LZMA_STREAM_END) {
            if (result == LZMA_MEMLIMIT_ERROR || result == LZMA_MEM_ERROR) {
                return tooMuchMemory(kDecoderMemoryLimit + 1);
            }
            if (result == LZMA_BUF_ERROR && sourceDone) {
                return dataEndEarly();
            }
            return damagedData();
        }
        const size_t produced = kScratchSize - stream.avail_out;
        if (Status put = sink.put(output, produced); !put.ok()) {
            return put;
        }
        if (result == LZMA_STREAM_END) {
            return Status::success();
        }
        if (produced == 0 && stream.avail_in == availableBefore && sourceDone) {
            return dataEndEarly();
        }
    }
}

class StreamGuard {
public:
    StreamGuard(const LzmaLibrary& xz, lzma_stream& stream) : m_xz(xz), m_stream(stream) {}
    ~StreamGuard() { m_xz.end(&m_stream); }
    StreamGuard(const StreamGuard&) = delete;
    StreamGuard& operator=(const StreamGuard&) = delete;

private:
    const LzmaLibrary& m_xz;
    lzma_stream& m_stream;
};

Status reads(ByteSource& source, uint8_t* buffer, size_t size) {
    for (size_t done = 0; done < size;) {
        Result<size_t> n = source.read(reinterpret_cast<char*>(buffer) + done, size - done);
        if (!n.ok()) {
            return n.error();
        }
        if (*n == 0) {
            return dataEndEarly();
        }
        done += *n;
    }
    return Status::success();
}

Error noLibrary(const LzmaLibrary& xz) {
    return platform::makeError(ENOTSUP, "it cannot be decoded: " + xz.library.problem());
}

} // namespace

// The ZIP form of LZMA: a 2-byte encoder version, a 2-byte properties size (5), the 5 properties
// bytes (lc/lp/pb, dictionary size), then the raw stream, which ends with an end marker where flag
// bit 1 says so and otherwise after the member's size. liblzma reads it as an .lzma file whose
// 13-byte header is built from those fields.
Status decodeLzma(const DecoderInput& member, ByteSource& source, ByteSink& sink) {
    const LzmaLibrary& xz = lzmaLibrary();
    if (!xz.library.problem().empty()) {
        return noLibrary(xz);
    }
    uint8_t header[9];
    if (Status read = reads(source, header, sizeof header); !read.ok()) {
        return read;
    }
    if (get16(header + 2) != 5 || header[4] >= 9 * 5 * 5) {
        return damagedData();
    }
    // The decoder never looks further back than the member is long, so a dictionary larger than that
    // is only memory: a hostile header claiming 4 GB costs nothing.
    const uint64_t declared = get32(header + 5);
    const uint64_t dictionary = std::max<uint64_t>(4096, std::min<uint64_t>(declared, member.size));
    if (dictionary > kDecoderMemoryLimit) {
        return tooMuchMemory(dictionary);
    }
    uint8_t alone[13];
    alone[0] = header[4];
    for (int i = 0; i < 4; ++i) {
        alone[1 + i] = static_cast<uint8_t>(dictionary >> (8 * i));
    }
    const bool endMarker = (member.flags & 0x0002) != 0;
    for (int i = 0; i < 8; ++i) {
        alone[5 + i] = endMarker ? 0xff : static_cast<uint8_t>(member.size >> (8 * i));
    }
    lzma_stream stream = LZMA_STREAM_INIT;
    if (xz.aloneDecoder(&stream, kDecoderMemoryLimit + (16u << 20)) != LZMA_OK) {
        return platform::makeError(ENOMEM, "cannot start decompression");
    }
    StreamGuard guard(xz, stream);
    return runDecoder(xz, stream, source, sink, alone, sizeof alone);
}

// XZ: a whole .xz stream, whose dictionary sizes liblzma checks against the limit.
Status decodeXz(const DecoderInput&, ByteSource& source, ByteSink& sink) {
    const LzmaLibrary& xz = lzmaLibrary();
    if (!xz.library.problem().empty()) {
        return noLibrary(xz);
    }
    lzma_stream stream = LZMA_STREAM_INIT;
    if (xz.streamDecoder(&stream, kDecoderMemoryLimit + (16u << 20), 0) != LZMA_OK) {
        return platform::makeError(ENOMEM, "cannot start decompression");
    }
    StreamGuard guard(xz, stream);
    return runDecoder(xz, stream, source, sink, nullptr, 0);
}

} // namespace pkzip
