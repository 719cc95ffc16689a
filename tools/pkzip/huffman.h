#pragma once

#include "bitinput.h"

#include <cstdint>
#include <vector>

namespace pkzip {

// A prefix code read from a BitInput, looked up by its first primaryBits bits and, for longer codes,
// in a second table. Codes are given by their lengths; codes[] gives each symbol's code as it would
// be written most significant bit first (canonical deflate codes when left empty).
class HuffmanTable {
public:
    static constexpr unsigned kMaxLength = 16;

    // False when the lengths do not make a prefix code (over-subscribed). An incomplete code is
    // accepted; its unused codes are errors when met.
    bool build(const uint8_t* lengths, unsigned symbols, unsigned primaryBits,
               const uint16_t* codes = nullptr);

    // The next symbol, or -1 for an unused code. The input must hold at least kMaxLength bits.
    int decode(BitInput& input) const {
        uint32_t entry = m_table[input.peek(m_primaryBits)];
        if (entry & kLink) {
            input.skip(m_primaryBits);
            entry = m_table[(entry >> 16) + input.peek(entry & 0x1f)];
        }
        if (entry & kUnused) {
            return -1;
        }
        input.skip(entry & 0x1f);
        return static_cast<int>(entry >> 16);
    }

private:
    static constexpr uint32_t kLink = 0x80;
    static constexpr uint32_t kUnused = 0x40;

    unsigned m_primaryBits = 0;
    std::vector<uint32_t> m_table;
};

} // namespace pkzip
