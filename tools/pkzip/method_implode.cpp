// Method 6, Implode (PKZIP 1.x): LZ77 over a 4 or 8 KiB window (flag bit 1) whose lengths, distances'
// high bits and, with flag bit 2, literals are Shannon-Fano coded by trees stored in front of the
// data. The data end with the member's size.

#include "bitinput.h"
#include "huffman.h"
#include "outputwindow.h"

#include <algorithm>
#include <numeric>

namespace pkzip {

namespace {

// A tree as stored: a byte giving the count of bytes that follow less one, each byte a run of up to
// 16 symbols (high nibble, less one) of one bit length (low nibble, less one).
bool readTree(BitInput& in, unsigned symbols, HuffmanTable& table) {
    in.refill();
    const unsigned bytes = in.take(8) + 1;
    uint8_t lengths[256] = {};
    unsigned filled = 0;
    for (unsigned b = 0; b < bytes; ++b) {
        in.refill();
        const unsigned value = in.take(8);
        const unsigned count = (value >> 4) + 1;
        if (filled + count > symbols) {
            return false;
        }
        std::fill(lengths + filled, lengths + filled + count, static_cast<uint8_t>((value & 0xf) + 1));
        filled += count;
    }
    if (filled != symbols) {
        return false;
    }
    // The codes, as PKWARE gives them: sorted by bit length (then symbol), numbered from the longest
    // upwards in steps of 2^(16 - length); each code is the top bits of its 16-bit number.
    uint16_t order[256];
    std::iota(order, order + symbols, uint16_t{0});
    std::stable_sort(order, order + symbols, [&](uint16_t a, uint16_t b) { return lengths[a] < lengths[b]; });
    uint16_t codes[256] = {};
    uint32_t code = 0;
    uint32_t increment = 0;
    unsigned lastLength = 0;
    for (unsigned i = symbols; i-- > 0;) {
        const unsigned s = order[i];
        code += increment;
        if (lengths[s] != lastLength) {
            lastLength = lengths[s];
            increment = uint32_t{1} << (16 - lastLength);
        }
        if (code > 0xffff) {
            return false;
        }
        codes[s] = static_cast<uint16_t>(code >> (16 - lengths[s]));
    }
    return table.build(lengths, symbols, 9, codes);
}

} // namespace

Status decodeImplode(const DecoderInput& member, ByteSource& source, ByteSink& sink) {
    const bool largeWindow = (member.flags & 0x0002) != 0;
    const bool literalTree = (member.flags & 0x0004) != 0;
    const unsigned lowBits = largeWindow ? 7 : 6;
    const unsigned minimum = literalTree ? 3 : 2;
    BitInput in(source);
    HuffmanTable literals;
    HuffmanTable lengths;
    HuffmanTable distances;
    if ((literalTree && !readTree(in, 256, literals)) || !readTree(in, 64, lengths) ||
        !readTree(in, 64, distances)) {
        return in.ranOut() ? dataEndEarly() : damagedData();
    }
    OutputWindow window(sink, 8192, true);
    unsigned char* const out = window.data();
    size_t& pos = window.pos();
    while (window.done() < member.size) {
        if (window.full()) {
            if (in.ranOut()) {
                return in.status().ok() ? dataEndEarly() : in.status();
            }
            if (Status flushed = window.flush(); !flushed.ok()) {
                return flushed;
            }
        }
        in.refill();
        if (in.take(1) == 1) {
            int literal = literalTree ? literals.decode(in) : static_cast<int>(in.take(8));
            if (literal < 0) {
                return damagedData();
            }
            out[pos++] = static_cast<unsigned char>(literal);
            continue;
        }
        const uint32_t low = in.take(lowBits);
        const int high = distances.decode(in);
        in.refill();
        int length = lengths.decode(in);
        if (high < 0 || length < 0) {
            return damagedData();
        }
        if (length == 63) {
            length += static_cast<int>(in.take(8));
        }
        const size_t distance = ((static_cast<size_t>(high) << lowBits) | low) + 1;
        const size_t count =
            std::min<uint64_t>(static_cast<uint64_t>(length) + minimum, member.size - window.done());
        window.copyMatch(distance, count);
    }
    if (in.ranOut()) {
        return in.status().ok() ? dataEndEarly() : in.status();
    }
    return window.flush();
}

} // namespace pkzip
