#pragma once

#include "decoder.h"

#include <cstring>

namespace pkzip {

// The decoded bytes of an LZ77-style decoder of the tool's own: the last history bytes kept in front
// of the chunk being filled, handed to the sink a chunk at a time. With zeroHistory the bytes before
// the start of the data read as zeros, as the old MS-DOS methods' decoders have always read them.
class OutputWindow {
public:
    static constexpr size_t kChunk = 256u << 10;
    static constexpr size_t kMaxHistory = 65536;
    // Room past the chunk for the longest match (Deflate64's 65,538 bytes) and 8-byte copy steps.
    static constexpr size_t kSlack = 65538 + 16;

    OutputWindow(ByteSink& sink, size_t history, bool zeroHistory) : m_sink(sink), m_history(history) {
        static thread_local ByteBuffer buffer(kMaxHistory + kChunk + kSlack);
        m_data = reinterpret_cast<unsigned char*>(buffer.data());
        if (zeroHistory) {
            std::memset(m_data, 0, history);
            m_pos = m_flushed = history;
        }
    }
    OutputWindow(const OutputWindow&) = delete;
    OutputWindow& operator=(const OutputWindow&) = delete;

    unsigned char* data() { return m_data; }
    size_t& pos() { return m_pos; }
    bool full() const { return m_pos >= m_history + kChunk; }
    size_t room() const { return m_history + kChunk - m_pos; }
    // Bytes decoded so far (kept count of by the caller through done()).
    uint64_t done() const { return m_delivered + (m_pos - m_flushed); }

    // Hands the new bytes to the sink and keeps the last history bytes.
    Status flush() {
        if (Status put = m_sink.put(reinterpret_cast<const char*>(m_data + m_flushed), m_pos - m_flushed);
            !put.ok()) {
            return put;
        }
        m_delivered += m_pos - m_flushed;
        if (m_pos > m_history) {
            std::memmove(m_data, m_data + m_pos - m_history, m_history);
            m_pos = m_history;
        }
        m_flushed = m_pos;
        return Status::success();
    }

    // Copies length bytes from distance back (distance <= pos), in steps of 8 where they do not overlap:
    // bytes written past the match are overwritten by the ones after it.
    void copyMatch(size_t distance, size_t length) {
        unsigned char* to = m_data + m_pos;
        const unsigned char* from = to - distance;
        const unsigned char* const end = to + length;
        if (distance >= 8) {
            do {
                std::memcpy(to, from, 8);
                to += 8;
                from += 8;
            } while (to < end);
        } else if (distance == 1) {
            std::memset(to, *from, length);
        } else {
            while (to < end) {
                *to++ = *from++;
            }
        }
        m_pos += length;
    }

private:
    ByteSink& m_sink;
    size_t m_history;
    unsigned char* m_data = nullptr;
    size_t m_pos = 0;
    size_t m_flushed = 0;
    uint64_t m_delivered = 0;
};

} // namespace pkzip
