#pragma once

#include "decoder.h"
#include "decryption.h"
#include "zipformat.h"

#include <string>
#include <vector>

namespace pkzip {

// A member's packed bytes as they lie in the archive: length bytes from start.
class ArchiveSource : public ByteSource {
public:
    ArchiveSource(int fd, const std::string& path, uint64_t start, uint64_t length)
        : m_fd(fd), m_path(path), m_position(start), m_remaining(length) {}
    Result<size_t> read(char* buffer, size_t size) override;

private:
    int m_fd;
    const std::string& m_path;
    uint64_t m_position;
    uint64_t m_remaining;
};

// The size and CRC check of the pipeline: counts and sums the decoded bytes on their way to the sink,
// refusing any byte past the declared size at once (a member that claims a few bytes and inflates to
// gigabytes stops there). Where another check replaces the CRC (WinZip AES's code, AE-2) the sum is
// not made.
class CheckedSink : public ByteSink {
public:
    CheckedSink(ByteSink& next, uint64_t declaredSize, bool checkCrc)
        : m_next(next), m_declared(declaredSize), m_checkCrc(checkCrc) {}
    Status put(const char* data, size_t size) override;
    // After the last byte: the count, and the CRC when it is checked.
    [[nodiscard]] Status finish(uint32_t declaredCrc) const;

private:
    ByteSink& m_next;
    uint64_t m_declared;
    bool m_checkCrc;
    uint64_t m_count = 0;
    uint32_t m_crc = 0;
};

// A sink that keeps nothing: a member read only to test it.
class DiscardSink : public ByteSink {
public:
    Status put(const char*, size_t) override { return Status::success(); }
};

// Reads the members of one open archive through the extraction pipeline: the packed bytes from the
// archive, the decryption stage, the decoder the method table names, the size and CRC check, the
// caller's sink. Every member's place is checked first: its local header, and data that stay clear of
// the next member's and of the central directory.
class MemberReader {
public:
    MemberReader(int archiveFd, const std::string& archivePath, const ArchiveIndex& index,
                 Secrets secrets = {});

    // What makes the member unreadable before any byte is read (its place, its method), or success.
    [[nodiscard]] Status check(size_t position) const;
    // Decodes the member at position into sink; success only when all of it came out whole.
    [[nodiscard]] Status read(size_t position, ByteSink& sink) const;

private:
    [[nodiscard]] Result<uint64_t> dataStart(const Entry& entry, LocalFields& local) const;

    int m_fd;
    const std::string& m_path;
    const ArchiveIndex& m_index;
    Secrets m_secrets;
    std::vector<bool> m_overlaps;
    std::vector<uint64_t> m_offsets; // every member's local header offset, in order
};

} // namespace pkzip
