#include "pipeline.h"

#include "runcontrol.h"

#include <algorithm>
#include <zlib.h>

namespace pkzip {

Result<size_t> ArchiveSource::read(char* buffer, size_t size) {
    const size_t n = static_cast<size_t>(std::min<uint64_t>(size, m_remaining));
    if (n == 0) {
        return size_t{0};
    }
    if (Status read = readAt(m_fd, buffer, n, m_position, m_path); !read.ok()) {
        return read.error();
    }
    m_position += n;
    m_remaining -= n;
    return n;
}

Status CheckedSink::put(const char* data, size_t size) {
    // A stop is seen between blocks of a member, so that a large one does not hold the run up.
    if (stopRequested()) {
        return stoppedError();
    }
    progress::advance(size);
    if (size > m_declared - m_count) {
        return platform::makeError(EFBIG, "it holds more data than its declared size of " +
                                              std::to_string(m_declared) + " bytes");
    }
    if (m_checkCrc) {
        m_crc = static_cast<uint32_t>(crc32_z(m_crc, reinterpret_cast<const Bytef*>(data), size));
    }
    m_count += size;
    return m_next.put(data, size);
}

Status CheckedSink::finish(uint32_t declaredCrc) const {
    if (m_count != m_declared) {
        return platform::makeError(EILSEQ, "it holds " + std::to_string(m_count) +
                                               " bytes instead of its declared " +
                                               std::to_string(m_declared));
    }
    if (m_checkCrc && m_crc != declaredCrc) {
        return platform::makeError(EILSEQ, "its data fail the CRC check (damaged archive)");
    }
    return Status::success();
}

MemberReader::MemberReader(int archiveFd, const std::string& archivePath, const ArchiveIndex& index,
                           Secrets secrets)
    : m_fd(archiveFd), m_path(archivePath), m_index(index), m_secrets(std::move(secrets)),
      m_overlaps(findOverlaps(index)) {
    m_offsets.reserve(index.entries.size());
    for (const Entry& entry : index.entries) {
        m_offsets.push_back(entry.localOffset);
    }
    std::sort(m_offsets.begin(), m_offsets.end());
}

namespace {

Error overlapsMember() {
    return platform::makeError(EILSEQ, "its data overlap another member's (damaged or hostile archive)");
}

Error runsIntoDirectory() {
    return platform::makeError(EILSEQ, "its data run into the central directory (damaged archive)");
}

} // namespace

Status MemberReader::check(size_t position) const {
    const Entry& entry = m_index.entries[position];
    if (m_overlaps[position]) {
        // With no member at or after its own header, what its data run into is the directory.
        const auto [first, last] = std::equal_range(m_offsets.begin(), m_offsets.end(), entry.localOffset);
        return last - first == 1 && last == m_offsets.end() ? runsIntoDirectory() : overlapsMember();
    }
    if (!isEncrypted(entry) && findMethod(entry.method) == nullptr) {
        return platform::makeError(ENOTSUP, "it is compressed with method " + std::to_string(entry.method) +
                                                ", which is not supported");
    }
    return Status::success();
}

Result<uint64_t> MemberReader::dataStart(const Entry& entry, LocalFields& local) const {
    unsigned char header[kLocalHeaderSize];
    if (Status read = readAt(m_fd, header, sizeof header, entry.localOffset, m_path); !read.ok()) {
        return read.error();
    }
    if (get32(header) != kLocalHeaderSignature) {
        return platform::makeError(EILSEQ, "its local header is damaged");
    }
    local = LocalFields{get16(header + 6), get16(header + 10), get32(header + 14)};
    const uint64_t start = entry.localOffset + kLocalHeaderSize + get16(header + 26) + get16(header + 28);
    const auto next = std::upper_bound(m_offsets.begin(), m_offsets.end(), entry.localOffset);
    const uint64_t limit = next == m_offsets.end() ? m_index.centralOffset : *next;
    if (start + entry.packedSize > limit || start + entry.packedSize < start) {
        return next == m_offsets.end() ? runsIntoDirectory() : overlapsMember();
    }
    return start;
}

Status MemberReader::read(size_t position, ByteSink& sink) const {
    if (Status checked = check(position); !checked.ok()) {
        return checked;
    }
    const Entry& entry = m_index.entries[position];
    LocalFields local;
    Result<uint64_t> start = dataStart(entry, local);
    if (!start.ok()) {
        return start.error();
    }
    ArchiveSource packed(m_fd, m_path, *start, entry.packedSize);
    Result<Decryption> decryption = openDecryption(entry, packed, m_secrets, local);
    if (!decryption.ok()) {
        return decryption.error();
    }
    const Method* method = findMethod(decryption->method);
    if (method == nullptr) {
        return platform::makeError(ENOTSUP, "it is compressed with method " +
                                                std::to_string(decryption->method) +
                                                ", which is not supported");
    }
    CheckedSink checked(sink, entry.size, decryption->checkCrc);
    const DecoderInput input{decryption->method, entry.flags, entry.size};
    Status status = method->decode(input, *decryption->source, checked);
    if (status.ok() && decryption->finish) {
        status = decryption->finish();
    }
    if (status.ok()) {
        status = checked.finish(entry.crc);
    }
    if (!status.ok() && decryption->weakPasswordCheck &&
        (status.error().code == EILSEQ || status.error().code == EFBIG)) {
        return platform::makeError(kWrongPasswordCode, kWrongPasswordText);
    }
    return status;
}

} // namespace pkzip
