#pragma once

#include "result.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

namespace pkzip {

using platform::Error;
using platform::Result;
using platform::Status;

// An open file descriptor that closes itself.
class FileHandle {
public:
    FileHandle() = default;
    explicit FileHandle(int fd) : m_fd(fd) {}
    ~FileHandle() { reset(); }
    FileHandle(FileHandle&& other) noexcept : m_fd(other.release()) {}
    FileHandle& operator=(FileHandle&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    FileHandle(const FileHandle&) = delete;
    FileHandle& operator=(const FileHandle&) = delete;

    int get() const { return m_fd; }
    bool isOpen() const { return m_fd >= 0; }
    int release() {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset(int fd = -1);

private:
    int m_fd = -1;
};

// Bytes read from a file in one go, held in a buffer that is not filled with zeros first.
class ByteBuffer {
public:
    ByteBuffer() = default;
    explicit ByteBuffer(size_t size) : m_data(std::make_unique_for_overwrite<char[]>(size)), m_size(size) {}
    char* data() { return m_data.get(); }
    const char* data() const { return m_data.get(); }
    size_t size() const { return m_size; }
    operator std::string_view() const { return {m_data.get(), m_size}; }

private:
    std::unique_ptr<char[]> m_data;
    size_t m_size = 0;
};

// A stretch of a file mapped read-only, its pages those of the page cache, all mapped at once: no
// copy and no fault per page. What it shows changes when the file is written meanwhile. Only
// touched pages are mapped with everyPage false: for a large stretch of which a few pages are read.
class MappedRange {
public:
    [[nodiscard]] static Result<MappedRange> map(int fd, uint64_t offset, size_t length,
                                                 const std::string& path, bool everyPage = true);
    MappedRange() = default;
    ~MappedRange();
    MappedRange(MappedRange&& other) noexcept { *this = std::move(other); }
    MappedRange& operator=(MappedRange&& other) noexcept;
    MappedRange(const MappedRange&) = delete;
    MappedRange& operator=(const MappedRange&) = delete;
    std::string_view view() const { return {m_data, m_size}; }

private:
    void* m_base = nullptr;
    size_t m_mapped = 0;
    const char* m_data = nullptr;
    size_t m_size = 0;
};

[[nodiscard]] Result<FileHandle> openFile(const std::string& path, int flags, int mode = 0644);
// Opens an existing archive, which must be a regular file: a folder, a device or a named pipe is
// refused without being opened, and the open never waits (a pipe put in its place meanwhile
// would block it), what it opened being checked again.
[[nodiscard]] Result<FileHandle> openRegularFile(const std::string& path, int flags);
[[nodiscard]] Status readAt(int fd, void* buffer, size_t size, uint64_t offset, const std::string& path);
// The CRC-32 of the bytes from..to of a file, read a piece at a time.
[[nodiscard]] Result<uint32_t> crcOfRange(int fd, const std::string& path, uint64_t from, uint64_t to);
[[nodiscard]] Status writeAt(int fd, const void* data, size_t size, uint64_t offset, const std::string& path);
// Writes the pieces one after another from offset, in as few system calls as the kernel allows.
[[nodiscard]] Status writeAt(int fd, const std::string_view* pieces, size_t count, uint64_t offset,
                             const std::string& path);
[[nodiscard]] inline Status writeAt(int fd, std::initializer_list<std::string_view> pieces, uint64_t offset,
                                    const std::string& path) {
    return writeAt(fd, pieces.begin(), pieces.size(), offset, path);
}
// Reads up to size bytes; returns how many were read (short only at the end of the file).
[[nodiscard]] Result<size_t> readSome(int fd, void* buffer, size_t size, const std::string& path);
[[nodiscard]] Result<uint64_t> fileSize(int fd, const std::string& path);

// Makes a file's contents durable. A process killed with SIGKILL loses nothing the kernel already
// holds, but a power cut does; the flushes guard against that. PELLIX_PKZIP_NO_FSYNC=1 turns them
// off so that their cost can be measured on its own.
[[nodiscard]] Status syncFile(int fd, const std::string& path);
// Starts writing a file's dirty pages to disk without waiting for them (a hint, not a flush: the
// flush that makes them durable still has to follow). Off with the flushes.
void startWriteback(int fd);
// Makes a rename or an unlink in a folder durable.
[[nodiscard]] Status syncFolder(const std::string& folder);
bool fsyncEnabled();

// Copies length bytes from one file at one offset to another at another offset inside the kernel
// (copy_file_range), or through a buffer where the kernel cannot.
[[nodiscard]] Status copyInKernel(int from, uint64_t fromOffset, int to, uint64_t toOffset, uint64_t length,
                                  const std::string& fromPath, const std::string& toPath);
// Copies length bytes from one file at one offset to another at another offset.
[[nodiscard]] Status copyRange(int from, uint64_t fromOffset, int to, uint64_t toOffset, uint64_t length,
                               const std::string& fromPath, const std::string& toPath);

// Makes the bytes from..to of a file zeros, as a hole where the file system makes one; the file's
// length stays.
[[nodiscard]] Status clearRange(int fd, const std::string& path, uint64_t from, uint64_t to);

std::string folderOf(const std::string& path);
std::string baseNameOf(const std::string& path);

// Little-endian field helpers for the ZIP records.
inline uint16_t get16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t get32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t get64(const unsigned char* p) {
    return static_cast<uint64_t>(get32(p)) | (static_cast<uint64_t>(get32(p + 4)) << 32);
}
inline void put16(std::string& out, uint32_t v) {
    out += static_cast<char>(v & 0xff);
    out += static_cast<char>((v >> 8) & 0xff);
}
inline void put32(std::string& out, uint32_t v) {
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}
inline void put64(std::string& out, uint64_t v) {
    put32(out, static_cast<uint32_t>(v & 0xffffffffu));
    put32(out, static_cast<uint32_t>(v >> 32));
}

} // namespace pkzip
