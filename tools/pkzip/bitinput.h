#pragma once

#include "decoder.h"

#include <cstring>

namespace pkzip {

// A member's packed bytes as a stream of bits, least significant bit of each byte first, for the
// decoders of the tool's own (Deflate64, Implode, Reduce, Shrink). Past the end of the data it
// yields zero bits and counts them, so that a decoder checks once (ranOut) instead of at every read.
class BitInput {
public:
    explicit BitInput(ByteSource& source) : m_source(source), m_buffer(scratchBuffer(0)) {}

    // At least 57 bits in hand (zeros past the end).
    void refill() {
        if (m_end - m_next >= 8) {
            uint64_t word;
            std::memcpy(&word, m_next, 8);
            m_bits |= word << m_count;
            m_next += (63 - m_count) >> 3;
            m_count |= 56;
            return;
        }
        refillSlowly();
    }
    // The next n bits (n <= 32) without taking them; refill first.
    uint32_t peek(unsigned n) const { return static_cast<uint32_t>(m_bits & ((uint64_t{1} << n) - 1)); }
    void skip(unsigned n) {
        m_bits >>= n;
        m_count -= n;
    }
    // Takes n bits (n <= 32).
    uint32_t take(unsigned n) {
        if (m_count < n) {
            refill();
        }
        const uint32_t value = peek(n);
        skip(n);
        return value;
    }
    uint64_t bits() const { return m_bits; }
    unsigned count() const { return m_count; }

    // Drops the bits up to the next byte boundary.
    void alignToByte() { skip(m_count & 7); }
    // Copies size whole bytes to out, once aligned to a byte: the bits in hand first, then straight
    // from the buffer. False when the data end first.
    bool readBytes(char* out, size_t size);

    // Whether bits past the end of the data were taken, or the source failed (see status).
    bool ranOut() const { return !m_status.ok() || m_padding * 8 > m_count; }
    const Status& status() const { return m_status; }

private:
    void refillSlowly();

    ByteSource& m_source;
    char* m_buffer;
    const unsigned char* m_next = nullptr;
    const unsigned char* m_end = nullptr;
    uint64_t m_bits = 0;
    unsigned m_count = 0;
    uint64_t m_padding = 0; // zero bytes added past the end of the data
    bool m_sourceDone = false;
    Status m_status;
};

} // namespace pkzip
