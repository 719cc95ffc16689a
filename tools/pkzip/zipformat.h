#pragma once

#include "fileio.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pkzip {

constexpr uint32_t kLocalHeaderSignature = 0x04034b50;
constexpr uint32_t kCentralSignature = 0x02014b50;
constexpr uint32_t kEndSignature = 0x06054b50;
constexpr uint32_t kZip64EndSignature = 0x06064b50;
constexpr uint32_t kZip64LocatorSignature = 0x07064b50;
constexpr uint32_t kDataDescriptorSignature = 0x08074b50;
constexpr uint32_t kArchiveExtraDataSignature = 0x08064b50;
constexpr size_t kLocalHeaderSize = 30;
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDataDescriptor = 0x0008;
constexpr uint16_t kFlagUtf8 = 0x0800;
constexpr uint16_t kFlagMaskedHeader = 0x2000; // local header values hidden by directory encryption
constexpr uint32_t kDosFolderAttribute = 0x10;
constexpr uint16_t kMethodStored = 0;
constexpr uint16_t kMethodDeflated = 8;
// The sizes above which a member needs the ZIP64 fields.
constexpr uint64_t kZip64Limit = 0xffffffffu;

// One member as the central directory describes it.
struct Entry {
    std::string rawName; // the name's bytes as stored
    std::string name;    // the name as UTF-8 (see decodeMemberName)
    uint16_t versionMadeBy = 0;
    uint16_t versionNeeded = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t dosTime = 0;
    uint16_t dosDate = 0;
    uint32_t crc = 0;
    uint64_t packedSize = 0;
    uint64_t size = 0;
    uint64_t localOffset = 0;
    uint16_t internalAttributes = 0;
    uint32_t externalAttributes = 0;
    std::optional<int64_t> modified; // Unix time from the extended timestamp or a Unix field
    std::string extra;               // central extra fields, without the ZIP64 field
    std::string comment;

    // A name ending in a separator; a member marked a folder only by its MS-DOS attribute gets
    // a "/" added to its name when it is read.
    bool isFolder() const { return !name.empty() && (name.back() == '/' || name.back() == '\\'); }
    bool isSymlink() const;
    // Unix permission bits when the member was made on a Unix system.
    std::optional<uint32_t> unixMode() const;
    // The member's time as seconds since 1970 (local time for DOS fields).
    int64_t modificationTime() const;
};

// Where an archive's central directory lies, as its end records say.
struct DirectoryPlace {
    uint64_t fileSize = 0;
    uint64_t centralOffset = 0; // where the directory starts in the file (= end of member data)
    uint64_t centralSize = 0;
    uint64_t count = 0;       // the member count of the end record (16 bits may have wrapped)
    uint64_t prefixShift = 0; // bytes before the archive that its own offsets do not count
    std::optional<uint64_t> zip64EndOffset;
    std::string comment;
};

// Finds the end records of an open archive and checks that the directory they name lies inside
// the file. An empty file is an empty archive (no directory at all).
[[nodiscard]] Result<DirectoryPlace> locateDirectory(int fd, const std::string& path);

// One central directory record as it lies in memory.
struct CentralRecord {
    const unsigned char* fields = nullptr; // the 46 bytes of fixed fields
    std::string_view rawName;
    std::string_view extra;
    std::string_view comment;

    uint16_t flags() const { return get16(fields + 8); }
    uint32_t externalAttributes() const { return get32(fields + 38); }
    // Whether the record needs ZIP64 fields for a size or its offset.
    bool isMasked() const {
        return get32(fields + 20) == kZip64Limit || get32(fields + 24) == kZip64Limit ||
               get32(fields + 42) == kZip64Limit;
    }
};

// The record whose bytes (its fixed fields, then name, extra field and comment) start at fields,
// all of them held in memory.
CentralRecord centralRecordAt(const unsigned char* fields);

// Reads the records of a central directory one at a time, checking each record's frame and, after
// the last, the member count of the end record. The directory is either held whole in memory or
// read from the file a window at a time, so that a directory of a million members costs no more
// memory than one window. The path and the place must outlive the reader.
class DirectoryReader {
public:
    // Over the whole directory, already read into memory (bytes must outlive the reader).
    DirectoryReader(int fd, const std::string& path, const DirectoryPlace& place, std::string_view bytes);
    // From the file, about window bytes at a time.
    DirectoryReader(int fd, const std::string& path, const DirectoryPlace& place, size_t window);

    // The next record; false after the last one. A damaged record or a wrong count is an error.
    [[nodiscard]] Result<bool> next(CentralRecord& record);
    // Hands every record that is left to visit (which returns a Status) in order, and stops at the
    // first failure, the reader's or visit's.
    template <class Visit> [[nodiscard]] Status forEach(Visit&& visit) {
        CentralRecord record;
        for (;;) {
            Result<bool> more = next(record);
            if (!more.ok()) {
                return more.error();
            }
            if (!*more) {
                return Status::success();
            }
            if (Status visited = visit(record); !visited.ok()) {
                return visited;
            }
        }
    }
    // How many records were read so far.
    uint64_t records() const { return m_records; }

private:
    [[nodiscard]] Status fill(size_t wanted);
    Error damaged(const std::string& why) const;

    int m_fd;
    const std::string& m_path;
    const DirectoryPlace& m_place;
    ByteBuffer m_window;
    const unsigned char* m_data = nullptr;
    size_t m_begin = 0;
    size_t m_end = 0;
    uint64_t m_unread = 0;     // directory bytes not read from the file yet
    uint64_t m_nextOffset = 0; // where they start
    uint64_t m_records = 0;
};

// The member a record describes, written over entry (whose strings keep their capacity); number
// counts the members from 1 for the message when the ZIP64 fields the record needs are missing.
[[nodiscard]] Status readEntry(const CentralRecord& record, uint64_t prefixShift, uint64_t number,
                               const std::string& path, Entry& entry);

// The central directory of an archive, read into memory.
struct ArchiveIndex {
    std::vector<Entry> entries;
    uint64_t centralOffset = 0; // where the central directory starts (= end of member data)
    uint64_t centralSize = 0;
    uint64_t prefixShift = 0; // bytes before the archive that its own offsets do not count
    uint64_t fileSize = 0;
    std::string comment;
};

// Reads the central directory of an open archive. An empty file is an empty archive.
[[nodiscard]] Result<ArchiveIndex> readIndex(int fd, const std::string& path);
// The same from a directory already in memory: the bytes from place.centralOffset on.
[[nodiscard]] Result<ArchiveIndex> readIndex(int fd, const std::string& path, const DirectoryPlace& place,
                                             std::string_view directory);

// The ranges of member data must not overlap one another or the central directory; returns the
// positions (in entries) of members whose data runs into the next member's.
std::vector<bool> findOverlaps(const ArchiveIndex& index);

// Record writers. Each appends one record's bytes to out.
void appendLocalHeader(std::string& out, const Entry& entry, bool zip64);
void appendCentralRecord(std::string& out, const Entry& entry);
void appendEndRecords(std::string& out, uint64_t entryCount, uint64_t centralOffset, uint64_t centralSize,
                      const std::string& comment);

// The whole central directory and end records for entries, written from centralOffset on.
std::string buildCentralDirectory(const std::vector<Entry>& entries, uint64_t centralOffset,
                                  const std::string& comment);

// DOS date and time fields for a Unix time, in local time (the format has no zone).
void toDosTime(int64_t unixTime, uint16_t& dosDate, uint16_t& dosTime);

// Extended timestamp extra field (modification time only).
std::string extendedTimestampField(int64_t unixTime);

} // namespace pkzip
