// Method 8, deflate, by zlib.

#include "decoder.h"

#include <zlib.h>

namespace pkzip {

Status decodeDeflate(const DecoderInput&, ByteSource& source, ByteSink& sink) {
    z_stream stream{};
    if (inflateInit2(&stream, -15) != Z_OK) {
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
            stream.next_in = reinterpret_cast<Bytef*>(input);
            stream.avail_in = static_cast<uInt>(*n);
        }
        stream.next_out = reinterpret_cast<Bytef*>(output);
        stream.avail_out = static_cast<uInt>(kScratchSize);
        const uInt availableBefore = stream.avail_in;
        const int result = inflate(&stream, Z_NO_FLUSH);
        if (result != Z_OK && result != Z_STREAM_END && result != Z_BUF_ERROR) {
            status = damagedData();
            break;
        }
        const size_t produced = kScratchSize - stream.avail_out;
        status = sink.put(output, produced);
        if (result == Z_STREAM_END) {
            break;
        }
        // Running out of input is not the end: output that did not fit the last buffer is still
        // held in the stream. Only a call that can take nothing and give nothing ends the data.
        if (status.ok() && produced == 0 && stream.avail_in == availableBefore) {
            status = stream.avail_in == 0 && sourceDone ? dataEndEarly() : damagedData();
        }
    }
    inflateEnd(&stream);
    return status;
}

} // namespace pkzip
