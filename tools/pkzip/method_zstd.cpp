// Methods 93 and 20 (the id Zstandard had before it got its own), by libzstd (see runtimelib.h), bound the
// first time such a member is read.

#include "decoder.h"
#include "runtimelib.h"

#include <zstd.h>
#include <zstd_errors.h>

namespace pkzip {

namespace {

struct ZstdLibrary {
    decltype(&ZSTD_createDCtx) create = nullptr;
    decltype(&ZSTD_freeDCtx) free = nullptr;
    decltype(&ZSTD_DCtx_setParameter) setParameter = nullptr;
    decltype(&ZSTD_decompressStream) decompress = nullptr;
    decltype(&ZSTD_isError) isError = nullptr;
    decltype(&ZSTD_getErrorCode) errorCode = nullptr;
    RuntimeLibrary library{"libzstd", PELLIX_ZSTD_SONAME};

    ZstdLibrary() {
        library.bind(create, "ZSTD_createDCtx");
        library.bind(free, "ZSTD_freeDCtx");
        library.bind(setParameter, "ZSTD_DCtx_setParameter");
        library.bind(decompress, "ZSTD_decompressStream");
        library.bind(isError, "ZSTD_isError");
        library.bind(errorCode, "ZSTD_getErrorCode");
    }
};

// The largest window a frame may ask for: 1 GiB (frames made with zstd --long=31 ask for 2 GiB).
constexpr int kWindowLogLimit = 30;

} // namespace

Status decodeZstd(const DecoderInput&, ByteSource& source, ByteSink& sink) {
    static const ZstdLibrary zstd;
    if (!zstd.library.problem().empty()) {
        return platform::makeError(ENOTSUP, "it cannot be decoded: " + zstd.library.problem());
    }
    ZSTD_DCtx* context = zstd.create();
    if (context == nullptr ||
        zstd.isError(zstd.setParameter(context, ZSTD_d_windowLogMax, kWindowLogLimit))) {
        zstd.free(context);
        return platform::makeError(ENOMEM, "cannot start decompression");
    }
    char* output = scratchBuffer(1);
    ZSTD_inBuffer in{scratchBuffer(0), 0, 0};
    bool sourceDone = false;
    size_t pending = 1; // what the last call said is still to come; 0 at the end of a frame
    Status status;
    while (status.ok()) {
        if (in.pos == in.size) {
            if (!sourceDone) {
                Result<size_t> n = source.read(static_cast<char*>(const_cast<void*>(in.src)), kScratchSize);
                if (!n.ok()) {
                    status = n.error();
                    break;
                }
                sourceDone = *n == 0;
                in.size = *n;
                in.pos = 0;
            }
            // The member may hold several frames one after another; it ends with the last one.
            if (sourceDone && pending == 0) {
                break;
            }
        }
        ZSTD_outBuffer out{output, kScratchSize, 0};
        const size_t consumedBefore = in.pos;
        pending = zstd.decompress(context, &out, &in);
        if (zstd.isError(pending)) {
            status = zstd.errorCode(pending) == ZSTD_error_frameParameter_windowTooLarge
                         ? tooMuchMemory(kDecoderMemoryLimit + 1)
                         : damagedData();
            break;
        }
        status = sink.put(output, out.pos);
        if (status.ok() && out.pos == 0 && in.pos == consumedBefore && sourceDone) {
            status = dataEndEarly();
        }
    }
    zstd.free(context);
    return status;
}

} // namespace pkzip
