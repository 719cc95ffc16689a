// Method 12, bzip2, by libbz2, loaded the first time such a member is read.

#include "decoder.h"
#include "runtimelib.h"

#include <bzlib.h>

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

} // namespace

Status decodeBzip2(const DecoderInput&, ByteSource& source, ByteSink& sink) {
    static const Bzip2Library bz;
    if (!bz.library.problem().empty()) {
        return platform::makeError(ENOTSUP, "it cannot be decoded: " + bz.library.problem());
    }
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

} // namespace pkzip
