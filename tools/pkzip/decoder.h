#pragma once

#include "fileio.h"

#include <cstddef>
#include <cstdint>

namespace pkzip {

// A member's bytes at one stage of the extraction pipeline, read in order.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Up to size bytes into buffer: how many were read, 0 only at the end of the data.
    [[nodiscard]] virtual Result<size_t> read(char* buffer, size_t size) = 0;
};

// Where a stage of the pipeline hands the bytes it made.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    [[nodiscard]] virtual Status put(const char* data, size_t size) = 0;
};

// What a decoder is told about the member besides its packed bytes.
struct DecoderInput {
    uint16_t method = 0;
    uint16_t flags = 0; // the general purpose flags: LZMA's end marker, Implode's window and trees
    uint64_t size = 0;  // the declared size of the decoded data
};

// Decodes one member's packed bytes, read from source, into sink: the whole stream, or the reason it
// cannot (damaged data, data that end early, more memory than the tool allows, a missing library).
// The caller checks the size and the CRC of what reaches the sink.
using DecodeFunction = Status (*)(const DecoderInput& member, ByteSource& source, ByteSink& sink);

// One compression method: its id in the archive, its name in the listing's method column (at most 7
// characters), its decoder.
struct Method {
    uint16_t id;
    const char* name;
    DecodeFunction decode;
};

// The method with this id, or nullptr when the tool does not decode it.
const Method* findMethod(uint16_t id);

// Each decoder's function; the table in methods.cpp names each by its id.
Status decodeStored(const DecoderInput& member, ByteSource& source, ByteSink& sink);
Status decodeDeflate(const DecoderInput& member, ByteSource& source, ByteSink& sink);
Status decodeDeflate64(const DecoderInput& member, ByteSource& source, ByteSink& sink);
Status decodeBzip2(const DecoderInput& member, ByteSource& source, ByteSink& sink);
Status decodeLzma(const DecoderInput& member, ByteSource& source, ByteSink& sink);
Status decodeXz(const DecoderInput& member, ByteSource& source, ByteSink& sink);
Status decodeZstd(const DecoderInput& member, ByteSource& source, ByteSink& sink);
Status decodePpmd(const DecoderInput& member, ByteSource& source, ByteSink& sink);
Status decodeShrink(const DecoderInput& member, ByteSource& source, ByteSink& sink);
Status decodeReduce(const DecoderInput& member, ByteSource& source, ByteSink& sink);
Status decodeImplode(const DecoderInput& member, ByteSource& source, ByteSink& sink);

// Two buffers of kScratchSize bytes per thread, made once, for a decoder's input and output: a buffer
// made for every member costs more than the members themselves when an archive holds many small files.
constexpr size_t kScratchSize = 256u << 10;
char* scratchBuffer(int which);

// The most memory a decoder may take for its window, dictionary or model: a hostile header cannot make
// the tool allocate more.
constexpr uint64_t kDecoderMemoryLimit = uint64_t{1536} << 20;

// The messages decoders share.
Error damagedData();
Error dataEndEarly();
Error tooMuchMemory(uint64_t needed);

} // namespace pkzip
