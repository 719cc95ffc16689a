#pragma once

#include "fileio.h"

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
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

// The sizes above which a member needs the ZIP64 fields.
constexpr uint64_t kZip64Limit = 0xffffffffu;

} // namespace pkzip
