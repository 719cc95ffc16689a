// Method 0: the member's bytes as they are.

#include "decoder.h"

namespace pkzip {

Status decodeStored(const DecoderInput&, ByteSource& source, ByteSink& sink) {
    char* buffer = scratchBuffer(0);
    for (;;) {
        Result<size_t> n = source.read(buffer, kScratchSize);
        if (!n.ok()) {
            return n.error();
        }
        if (*n == 0) {
            return Status::success();
        }
        if (Status put = sink.put(buffer, *n); !put.ok()) {
            return put;
        }
    }
}

} // namespace pkzip
