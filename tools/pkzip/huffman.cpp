#include "huffman.h"

#include <algorithm>

namespace pkzip {

namespace {

uint32_t reversed(uint32_t code, unsigned length) {
    uint32_t out = 0;
    for (unsigned i = 0; i < length; ++i) {
        out = (out << 1) | ((code >> i) & 1);
    }
    return out;
}

} // namespace

bool HuffmanTable::build(const uint8_t* lengths, unsigned symbols, unsigned primaryBits,
                         const uint16_t* codes) {
    unsigned count[kMaxLength + 1] = {};
    for (unsigned s = 0; s < symbols; ++s) {
        if (lengths[s] > kMaxLength) {
            return false;
        }
        ++count[lengths[s]];
    }
    int left = 1;
    for (unsigned length = 1; length <= kMaxLength; ++length) {
        left = (left << 1) - static_cast<int>(count[length]);
        if (left < 0) {
            return false;
        }
    }
    uint32_t next[kMaxLength + 1] = {};
    // The canonical codes: each length's codes follow the shorter ones', in symbol order.
    count[0] = 0;
    for (unsigned length = 1, code = 0; length <= kMaxLength; ++length) {
        code = (code + count[length - 1]) << 1;
        next[length] = code;
    }
    m_primaryBits = primaryBits;
    const uint32_t primarySize = uint32_t{1} << primaryBits;
    const uint32_t mask = primarySize - 1;
    std::vector<uint32_t> codeOf(symbols, 0);
    std::vector<uint8_t> subBits(primarySize, 0);
    for (unsigned s = 0; s < symbols; ++s) {
        if (lengths[s] == 0) {
            continue;
        }
        codeOf[s] = reversed(codes != nullptr ? codes[s] : next[lengths[s]]++, lengths[s]);
        if (lengths[s] > primaryBits) {
            uint8_t& bits = subBits[codeOf[s] & mask];
            bits = static_cast<uint8_t>(std::max<unsigned>(bits, lengths[s] - primaryBits));
        }
    }
    m_table.assign(primarySize, kUnused);
    for (uint32_t prefix = 0; prefix < primarySize; ++prefix) {
        if (subBits[prefix] != 0) {
            m_table[prefix] = (static_cast<uint32_t>(m_table.size()) << 16) | kLink | subBits[prefix];
            m_table.resize(m_table.size() + (size_t{1} << subBits[prefix]), kUnused);
        }
    }
    for (unsigned s = 0; s < symbols; ++s) {
        const unsigned length = lengths[s];
        if (length == 0) {
            continue;
        }
        const uint32_t code = codeOf[s];
        if (length <= primaryBits) {
            for (uint32_t k = code; k < primarySize; k += uint32_t{1} << length) {
                m_table[k] = (s << 16) | length;
            }
        } else {
            const uint32_t link = m_table[code & mask];
            const uint32_t base = link >> 16;
            const unsigned rest = length - primaryBits;
            for (uint32_t k = code >> primaryBits; k < (uint32_t{1} << (link & 0x1f));
                 k += uint32_t{1} << rest) {
                m_table[base + k] = (s << 16) | rest;
            }
        }
    }
    return true;
}

} // namespace pkzip
