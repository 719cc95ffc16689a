// Methods 2 to 5, Reduce with compression factor 1 to 4 (PKZIP 0.9): each byte is coded by the set of
// bytes that follow the previous one (up to 32, stored first), and the bytes so decoded hold matches
// behind the escape byte 144: 144 0 is 144 itself, 144 V [L] D copies from up to 256 x 2^factor bytes
// back. The data end with the member's size.

#include "bitinput.h"
#include "outputwindow.h"

namespace pkzip {

namespace {

constexpr unsigned kEscape = 144;

// Bits of a follower's index in a set of n.
unsigned indexBits(unsigned n) {
    unsigned bits = 1;
    while ((1u << bits) < n) {
        ++bits;
    }
    return bits;
}

} // namespace

Status decodeReduce(const DecoderInput& member, ByteSource& source, ByteSink& sink) {
    const unsigned factor = member.method - 1u;
    const unsigned lengthMask = 0xffu >> factor;
    BitInput in(source);
    unsigned char followers[256][32];
    unsigned char counts[256];
    for (int j = 255; j >= 0; --j) {
        in.refill();
        counts[j] = static_cast<unsigned char>(in.take(6));
        if (counts[j] > 32) {
            return damagedData();
        }
        for (unsigned k = 0; k < counts[j]; ++k) {
            in.refill();
            followers[j][k] = static_cast<unsigned char>(in.take(8));
        }
    }
    OutputWindow window(sink, 4096 + 256, true);
    unsigned char* const out = window.data();
    size_t& pos = window.pos();
    unsigned previous = 0;
    // The escape's state: 0 none, 1 after 144, 2 after V with the longest length, 3 waiting for D.
    unsigned state = 0;
    unsigned v = 0;
    size_t length = 0;
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
        unsigned c;
        const unsigned n = counts[previous];
        if (n == 0 || in.take(1) == 1) {
            c = in.take(8);
        } else {
            const unsigned index = in.take(indexBits(n));
            if (index >= n) {
                return damagedData();
            }
            c = followers[previous][index];
        }
        previous = c;
        switch (state) {
        case 0:
            if (c == kEscape) {
                state = 1;
            } else {
                out[pos++] = static_cast<unsigned char>(c);
            }
            break;
        case 1:
            if (c == 0) {
                out[pos++] = kEscape;
                state = 0;
            } else {
                v = c;
                length = c & lengthMask;
                state = length == lengthMask ? 2 : 3;
            }
            break;
        case 2:
            length += c;
            state = 3;
            break;
        default: {
            const size_t distance = ((v >> (8 - factor)) << 8) + c + 1;
            const size_t count = std::min<uint64_t>(length + 3, member.size - window.done());
            window.copyMatch(distance, count);
            state = 0;
            break;
        }
        }
    }
    if (in.ranOut()) {
        return in.status().ok() ? dataEndEarly() : in.status();
    }
    return window.flush();
}

} // namespace pkzip
