// Method 9, Deflate64: deflate with a 64 KiB window, length code 285 carrying 16 extra bits (lengths
// 3 to 65,538) and distance codes 30 and 31 (to 65,536). No library decodes it, so this is the
// tool's own inflater.

#include "bitinput.h"
#include "huffman.h"
#include "outputwindow.h"

#include <algorithm>

namespace pkzip {

namespace {

constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 3};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 16};
constexpr uint32_t kDistanceBase[32] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,   33,
                                        49,   65,   97,   129,  193,  257,   385,   513,   769,   1025, 1537,
                                        2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577, 32769, 49153};
constexpr uint8_t kDistanceExtra[32] = {0, 0, 0, 0, 1, 1, 2,  2,  3,  3,  4,  4,  5,  5,  6,  6,
                                        7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13, 14, 14};
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct FixedTables {
    HuffmanTable literals;
    HuffmanTable distances;
    FixedTables() {
        uint8_t lengths[288];
        std::fill(lengths, lengths + 144, 8);
        std::fill(lengths + 144, lengths + 256, 9);
        std::fill(lengths + 256, lengths + 280, 7);
        std::fill(lengths + 280, lengths + 288, 8);
        (void)literals.build(lengths, 288, 9);
        std::fill(lengths, lengths + 32, 5);
        (void)distances.build(lengths, 32, 5);
    }
};

bool readDynamicTables(BitInput& in, HuffmanTable& literals, HuffmanTable& distances) {
    in.refill();
    const unsigned literalCount = in.take(5) + 257;
    const unsigned distanceCount = in.take(5) + 1;
    const unsigned codeLengthCount = in.take(4) + 4;
    uint8_t codeLengths[19] = {};
    for (unsigned i = 0; i < codeLengthCount; ++i) {
        codeLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(in.take(3));
    }
    HuffmanTable lengthCode;
    if (!lengthCode.build(codeLengths, 19, 7)) {
        return false;
    }
    uint8_t lengths[288 + 32] = {};
    const unsigned total = literalCount + distanceCount;
    for (unsigned i = 0; i < total;) {
        in.refill();
        const int symbol = lengthCode.decode(in);
        if (symbol < 0) {
            return false;
        }
        if (symbol < 16) {
            lengths[i++] = static_cast<uint8_t>(symbol);
            continue;
        }
        unsigned repeat = 0;
        uint8_t value = 0;
        if (symbol == 16) {
            if (i == 0) {
                return false;
            }
            value = lengths[i - 1];
            repeat = 3 + in.take(2);
        } else if (symbol == 17) {
            repeat = 3 + in.take(3);
        } else {
            repeat = 11 + in.take(7);
        }
        if (i + repeat > total) {
            return false;
        }
        std::fill(lengths + i, lengths + i + repeat, value);
        i += repeat;
    }
    return lengths[256] != 0 && literals.build(lengths, literalCount, 10) &&
           distances.build(lengths + literalCount, distanceCount, 8);
}

} // namespace

Status decodeDeflate64(const DecoderInput&, ByteSource& source, ByteSink& sink) {
    static const FixedTables fixed;
    BitInput in(source);
    OutputWindow window(sink, 65536, false);
    HuffmanTable dynamicLiterals;
    HuffmanTable dynamicDistances;
    unsigned char* const out = window.data();
    size_t& pos = window.pos();
    bool last = false;
    while (!last) {
        in.refill();
        if (in.ranOut()) {
            return in.status().ok() ? dataEndEarly() : in.status();
        }
        last = in.take(1) != 0;
        const unsigned type = in.take(2);
        if (type == 0) {
            in.alignToByte();
            in.refill();
            const uint32_t length = in.take(16);
            if (in.take(16) != (~length & 0xffff)) {
                return damagedData();
            }
            for (uint32_t left = length; left > 0;) {
                const size_t n = std::min<size_t>(left, window.room());
                if (!in.readBytes(reinterpret_cast<char*>(out + pos), n)) {
                    return in.status().ok() ? dataEndEarly() : in.status();
                }
                pos += n;
                left -= static_cast<uint32_t>(n);
                if (window.full()) {
                    if (Status flushed = window.flush(); !flushed.ok()) {
                        return flushed;
                    }
                }
            }
            continue;
        }
        if (type == 3) {
            return damagedData();
        }
        if (type == 2 && !readDynamicTables(in, dynamicLiterals, dynamicDistances)) {
            return in.ranOut() ? dataEndEarly() : damagedData();
        }
        const HuffmanTable& literals = type == 1 ? fixed.literals : dynamicLiterals;
        const HuffmanTable& distances = type == 1 ? fixed.distances : dynamicDistances;
        for (;;) {
            if (window.full()) {
                // Past the end of the data only zero bits come: a stream cut short stops here.
                if (in.ranOut()) {
                    return in.status().ok() ? dataEndEarly() : in.status();
                }
                if (Status flushed = window.flush(); !flushed.ok()) {
                    return flushed;
                }
            }
            in.refill();
            int symbol = literals.decode(in);
            if (symbol < 256) {
                if (symbol < 0) {
                    return damagedData();
                }
                out[pos++] = static_cast<unsigned char>(symbol);
                continue;
            }
            if (symbol == 256) {
                break;
            }
            symbol -= 257;
            if (symbol >= 29) {
                return damagedData();
            }
            const unsigned extra = kLengthExtra[symbol];
            const size_t length = kLengthBase[symbol] + in.peek(extra);
            in.skip(extra);
            in.refill();
            const int code = distances.decode(in);
            if (code < 0) {
                return damagedData();
            }
            const unsigned distanceExtra = kDistanceExtra[code];
            const size_t distance = kDistanceBase[code] + in.peek(distanceExtra);
            in.skip(distanceExtra);
            if (distance > pos) {
                return damagedData();
            }
            window.copyMatch(distance, length);
        }
    }
    if (in.ranOut()) {
        return in.status().ok() ? dataEndEarly() : in.status();
    }
    return window.flush();
}

} // namespace pkzip
