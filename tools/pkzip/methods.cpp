// The compression methods the tool decodes, by their ids in the archive. Each decoder lives in a file
// of its own (method_NAME.cpp); adding a method is its file, its row here and its tests.

#include "decoder.h"

#include <iterator>

namespace pkzip {

namespace {

constexpr Method kMethods[] = {
    {0, "Stored", decodeStored},   {1, "Shrink", decodeShrink},   {2, "Reduce1", decodeReduce},
    {3, "Reduce2", decodeReduce},  {4, "Reduce3", decodeReduce},  {5, "Reduce4", decodeReduce},
    {6, "Implode", decodeImplode}, {8, "Deflate", decodeDeflate}, {9, "Defl64", decodeDeflate64},
    {12, "BZip2", decodeBzip2},    {14, "LZMA", decodeLzma},      {20, "Zstd", decodeZstd},
    {93, "Zstd", decodeZstd},      {95, "XZ", decodeXz},          {98, "PPMd", decodePpmd},
};

} // namespace

const Method* findMethod(uint16_t id) {
    for (const Method& method : kMethods) {
        if (method.id == id) {
            return &method;
        }
    }
    return nullptr;
}

char* scratchBuffer(int which) {
    static thread_local ByteBuffer buffers[2] = {ByteBuffer(kScratchSize), ByteBuffer(kScratchSize)};
    return buffers[which].data();
}

Error damagedData() {
    return platform::makeError(EILSEQ, "its compressed data are damaged");
}

Error dataEndEarly() {
    return platform::makeError(EILSEQ, "its compressed data end early (damaged archive)");
}

Error tooMuchMemory(uint64_t needed) {
    return platform::makeError(ENOMEM, "its data would need " +
                                           std::to_string((needed + (1 << 20) - 1) >> 20) +
                                           " MiB of memory to decode, more than the " +
                                           std::to_string(kDecoderMemoryLimit >> 20) + " MiB allowed");
}

} // namespace pkzip
