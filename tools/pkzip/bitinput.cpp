#include "bitinput.h"

#include <algorithm>

namespace pkzip {

void BitInput::refillSlowly() {
    while (m_count <= 56) {
        if (m_next == m_end) {
            if (!m_sourceDone && m_status.ok()) {
                Result<size_t> n = m_source.read(m_buffer, kScratchSize);
                if (!n.ok()) {
                    m_status = n.error();
                    continue;
                }
                m_sourceDone = *n == 0;
                m_next = reinterpret_cast<const unsigned char*>(m_buffer);
                m_end = m_next + *n;
                continue;
            }
            ++m_padding;
            m_count += 8;
            continue;
        }
        m_bits |= uint64_t{*m_next++} << m_count;
        m_count += 8;
    }
}

bool BitInput::readBytes(char* out, size_t size) {
    while (size > 0 && m_count >= 8) {
        if (m_count <= m_padding * 8) {
            return false;
        }
        *out++ = static_cast<char>(m_bits & 0xff);
        skip(8);
        --size;
    }
    while (size > 0) {
        if (m_next == m_end) {
            if (m_sourceDone || !m_status.ok()) {
                return false;
            }
            Result<size_t> n = m_source.read(m_buffer, kScratchSize);
            if (!n.ok()) {
                m_status = n.error();
                return false;
            }
            m_sourceDone = *n == 0;
            m_next = reinterpret_cast<const unsigned char*>(m_buffer);
            m_end = m_next + *n;
            continue;
        }
        const size_t n = std::min<size_t>(size, static_cast<size_t>(m_end - m_next));
        std::memcpy(out, m_next, n);
        m_next += n;
        out += n;
        size -= n;
    }
    return true;
}

} // namespace pkzip
