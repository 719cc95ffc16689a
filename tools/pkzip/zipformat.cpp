#include "zipformat.h"

#include "names.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <numeric>
#include <sys/stat.h>

namespace pkzip {

namespace {

Error corrupt(const std::string& path, const std::string& why) {
    return platform::makeError(EILSEQ, path + " is not a readable ZIP archive: " + why);
}

// Takes the ZIP64 extended information field out of extra and applies it to the entry.
bool applyZip64(Entry& entry, const unsigned char* field, size_t size, bool sizeMasked, bool packedMasked,
                bool offsetMasked) {
    size_t pos = 0;
    auto take = [&](uint64_t& target) {
        if (pos + 8 > size) {
            return false;
        }
        target = get64(field + pos);
        pos += 8;
        return true;
    };
    return (!sizeMasked || take(entry.size)) && (!packedMasked || take(entry.packedSize)) &&
           (!offsetMasked || take(entry.localOffset));
}

bool parseExtra(Entry& entry, std::string_view extra, bool sizeMasked, bool packedMasked, bool offsetMasked) {
    bool zip64Found = false;
    // The modification time by the field that gives it: the extended timestamp, the PKWARE Unix
    // field, the old Info-ZIP Unix field, in that order of preference.
    std::optional<int64_t> times[3];
    size_t pos = 0;
    while (pos + 4 <= extra.size()) {
        const auto* p = reinterpret_cast<const unsigned char*>(extra.data() + pos);
        const uint16_t id = get16(p);
        const uint16_t size = get16(p + 2);
        if (pos + 4 + size > extra.size()) {
            // A damaged tail of extra fields is kept as it is, but not interpreted.
            entry.extra.append(extra.substr(pos));
            break;
        }
        if (id == 0x0001) {
            if (!applyZip64(entry, p + 4, size, sizeMasked, packedMasked, offsetMasked)) {
                return false;
            }
            zip64Found = true;
        } else {
            if (id == 0x5455 && size >= 5 && (p[4] & 1)) {
                times[0] = static_cast<int32_t>(get32(p + 5));
            } else if (id == 0x000d && size >= 8) {
                times[1] = static_cast<int32_t>(get32(p + 8));
            } else if (id == 0x5855 && size >= 8) {
                times[2] = static_cast<int32_t>(get32(p + 8));
            }
            entry.extra.append(extra.substr(pos, 4 + size));
        }
        pos += 4 + size;
    }
    for (const std::optional<int64_t>& time : times) {
        if (time) {
            entry.modified = time;
            break;
        }
    }
    return zip64Found || !(sizeMasked || packedMasked || offsetMasked);
}

// Strong encryption can encrypt the central directory itself. It shows in a version 2 ZIP64 end
// record that names an encryption algorithm, in the archive extra data record in front of the
// directory, or in a first local header whose values are masked. Looked at only when the
// directory cannot be read, to tell the user why.
bool directoryIsEncrypted(int fd, const std::string& path, std::optional<uint64_t> zip64EndOffset,
                          uint64_t centralOffset, uint64_t firstLocalOffset) {
    unsigned char bytes[84] = {};
    if (zip64EndOffset && readAt(fd, bytes, sizeof bytes, *zip64EndOffset, path).ok() &&
        get64(bytes + 4) >= 44 + 28 && get16(bytes + 74) != 0) {
        return true;
    }
    if (readAt(fd, bytes, 4, centralOffset, path).ok() && get32(bytes) == kArchiveExtraDataSignature) {
        return true;
    }
    return readAt(fd, bytes, kLocalHeaderSize, firstLocalOffset, path).ok() &&
           get32(bytes) == kLocalHeaderSignature && (get16(bytes + 6) & kFlagMaskedHeader) != 0;
}

// Whether the directory an end record names ends right before it (or before its ZIP64 locator), its
// offset aside: how a record whose comment is cut short is told from bytes that look like one.
bool directoryEndsAt(int fd, const std::string& path, const unsigned char* end, uint64_t endOffset) {
    unsigned char bytes[4] = {};
    if (endOffset >= 20 && readAt(fd, bytes, 4, endOffset - 20, path).ok() &&
        get32(bytes) == kZip64LocatorSignature) {
        return true;
    }
    const uint64_t centralSize = get32(end + 12);
    if (centralSize == 0) {
        return get16(end + 10) == 0;
    }
    return centralSize <= endOffset && readAt(fd, bytes, 4, endOffset - centralSize, path).ok() &&
           get32(bytes) == kCentralSignature;
}

struct Zip64End {
    unsigned char record[56];
    uint64_t offset = 0; // where it lies in the file
    uint64_t shift = 0;  // how far its recorded place is off: the length of a prefix in front
};

// The ZIP64 end record a locator names: at the offset it gives, or, for an archive behind a prefix
// whose offsets count from its own start, right before the locator. Nothing when neither holds one.
Result<std::optional<Zip64End>> findZip64End(int fd, const std::string& path, uint64_t recorded,
                                             uint64_t endOffset) {
    Zip64End found;
    const uint64_t locatorOffset = endOffset - 20;
    if (recorded <= locatorOffset && locatorOffset - recorded >= sizeof found.record) {
        if (Status read = readAt(fd, found.record, sizeof found.record, recorded, path); !read.ok()) {
            return read.error();
        }
        if (get32(found.record) == kZip64EndSignature) {
            found.offset = recorded;
            return std::optional<Zip64End>(found);
        }
    }
    if (locatorOffset < sizeof found.record) {
        return std::optional<Zip64End>();
    }
    const uint64_t adjacent = locatorOffset - sizeof found.record;
    if (adjacent > recorded) {
        if (Status read = readAt(fd, found.record, sizeof found.record, adjacent, path); !read.ok()) {
            return read.error();
        }
        if (get32(found.record) == kZip64EndSignature && get64(found.record + 4) == 44) {
            found.offset = adjacent;
            found.shift = adjacent - recorded;
            return std::optional<Zip64End>(found);
        }
    }
    return std::optional<Zip64End>();
}

} // namespace

bool Entry::isSymlink() const {
    const std::optional<uint32_t> mode = unixMode();
    return mode && (*mode & S_IFMT) == S_IFLNK;
}

std::optional<uint32_t> Entry::unixMode() const {
    const unsigned system = versionMadeBy >> 8;
    // 3 is Unix; 19 is OS X, which stores the same bits.
    if ((system == 3 || system == 19) && (externalAttributes >> 16) != 0) {
        return externalAttributes >> 16;
    }
    return std::nullopt;
}

int64_t Entry::modificationTime() const {
    if (modified) {
        return *modified;
    }
    std::tm fields{};
    fields.tm_year = ((dosDate >> 9) & 0x7f) + 80;
    fields.tm_mon = ((dosDate >> 5) & 0x0f) - 1;
    fields.tm_mday = dosDate & 0x1f;
    fields.tm_hour = (dosTime >> 11) & 0x1f;
    fields.tm_min = (dosTime >> 5) & 0x3f;
    fields.tm_sec = (dosTime & 0x1f) * 2;
    fields.tm_isdst = -1;
    return static_cast<int64_t>(std::mktime(&fields));
}

Result<DirectoryPlace> locateDirectory(int fd, const std::string& path) {
    DirectoryPlace place;
    Result<uint64_t> size = fileSize(fd, path);
    if (!size.ok()) {
        return size.error();
    }
    place.fileSize = *size;
    if (place.fileSize == 0) {
        return place;
    }
    // The end record sits in the last 22 bytes plus a comment of up to 65,535 bytes. Most archives
    // have no comment, so a small read at the end usually finds it. A record whose comment runs past
    // the end of the file (a download cut short in the comment) is taken only when the directory it
    // names ends right before it, and it wins over an earlier record whose comment fits, which is then
    // inside its comment or in the member data.
    std::string tail;
    std::optional<size_t> endPos;
    for (const uint64_t wanted : {uint64_t{4096}, uint64_t{22 + 65535}}) {
        const uint64_t tailSize = std::min<uint64_t>(place.fileSize, wanted);
        tail.resize(tailSize);
        if (Status read = readAt(fd, tail.data(), tail.size(), place.fileSize - tailSize, path); !read.ok()) {
            return read.error();
        }
        const auto* bytes = reinterpret_cast<const unsigned char*>(tail.data());
        for (size_t i = tail.size() >= 22 ? tail.size() - 22 + 1 : 0; i-- > 0;) {
            if (get32(bytes + i) != kEndSignature) {
                continue;
            }
            if (i + 22 + get16(bytes + i + 20) <= tail.size() ||
                directoryEndsAt(fd, path, bytes + i, place.fileSize - tail.size() + i)) {
                endPos = i;
                break;
            }
        }
        if (endPos || tailSize == place.fileSize) {
            break;
        }
    }
    if (!endPos) {
        return corrupt(path, "no end of central directory record");
    }
    const auto* end = reinterpret_cast<const unsigned char*>(tail.data()) + *endPos;
    const uint64_t endOffset = place.fileSize - tail.size() + *endPos;
    place.comment.assign(tail, *endPos + 22, std::min<size_t>(get16(end + 20), tail.size() - *endPos - 22));
    uint32_t disk = get16(end + 4);
    uint32_t centralDisk = get16(end + 6);
    bool split = false;
    place.count = get16(end + 10);
    uint64_t centralSize = get32(end + 12);
    uint64_t centralOffset = get32(end + 16);
    uint64_t zip64Shift = 0;
    if (endOffset >= 20) {
        unsigned char locator[20];
        if (Status read = readAt(fd, locator, sizeof locator, endOffset - 20, path); !read.ok()) {
            return read.error();
        }
        if (get32(locator) == kZip64LocatorSignature) {
            Result<std::optional<Zip64End>> zip64 = findZip64End(fd, path, get64(locator + 8), endOffset);
            if (!zip64.ok()) {
                return zip64.error();
            }
            // Twenty bytes that only look like a locator (the end of the last member's name, extra
            // field or comment) point at no ZIP64 end record; without a marker in the end record that
            // asks for one, the archive is a classic one.
            const bool marked = disk == 0xffff || centralDisk == 0xffff || place.count == 0xffff ||
                                centralSize == kZip64Limit || centralOffset == kZip64Limit;
            if (!*zip64 && marked) {
                return corrupt(path, "the ZIP64 end record is missing");
            }
            if (*zip64) {
                const unsigned char* record = (*zip64)->record;
                place.zip64EndOffset = (*zip64)->offset;
                zip64Shift = (*zip64)->shift;
                place.count = get64(record + 32);
                centralSize = get64(record + 40);
                centralOffset = get64(record + 48);
                // A classic field at its maximum means "see the ZIP64 record", disk numbers included.
                if (disk == 0xffff) {
                    disk = get32(record + 16);
                }
                if (centralDisk == 0xffff) {
                    centralDisk = get32(record + 20);
                }
                // Some writers count the disks as 0 rather than 1.
                split = get32(locator + 4) != 0 || get32(locator + 16) > 1;
            }
        }
    }
    if (split || disk != 0 || centralDisk != 0) {
        return corrupt(path, "archives split over several disks are not supported");
    }
    // An archive behind a prefix (a self-extractor's program) whose offsets count from the
    // archive's own start: the directory ends where the end record begins, so the gap tells the
    // prefix's length. Such offsets are corrected when read, and rewritten as true offsets by
    // any change.
    if (!place.zip64EndOffset && centralSize <= endOffset && centralOffset + centralSize < endOffset) {
        const uint64_t shift = endOffset - centralSize - centralOffset;
        unsigned char signature[4] = {};
        const bool atRecorded = centralSize >= 4 && readAt(fd, signature, 4, centralOffset, path).ok() &&
                                get32(signature) == kCentralSignature;
        if (!atRecorded && (centralSize < 4 || (readAt(fd, signature, 4, centralOffset + shift, path).ok() &&
                                                get32(signature) == kCentralSignature))) {
            centralOffset += shift;
            place.prefixShift = shift;
        }
    }
    // A ZIP64 archive behind a prefix: its records count from the archive's own start, as the place
    // of its ZIP64 end record showed.
    if (zip64Shift != 0) {
        unsigned char signature[4] = {};
        if (centralSize >= 4 && readAt(fd, signature, 4, centralOffset + zip64Shift, path).ok() &&
            get32(signature) == kCentralSignature) {
            centralOffset += zip64Shift;
            place.prefixShift = zip64Shift;
        }
    }
    if (centralOffset > endOffset || centralSize > endOffset - centralOffset) {
        return corrupt(path, "the central directory lies outside the file");
    }
    place.centralOffset = centralOffset;
    place.centralSize = centralSize;
    return place;
}

DirectoryReader::DirectoryReader(int fd, const std::string& path, const DirectoryPlace& place,
                                 std::string_view bytes)
    : m_fd(fd), m_path(path), m_place(place), m_data(reinterpret_cast<const unsigned char*>(bytes.data())),
      m_end(static_cast<size_t>(std::min<uint64_t>(bytes.size(), place.centralSize))) {}

DirectoryReader::DirectoryReader(int fd, const std::string& path, const DirectoryPlace& place, size_t window)
    : m_fd(fd), m_path(path), m_place(place), m_unread(place.centralSize), m_nextOffset(place.centralOffset) {
    // At least one record of the largest size: 46 bytes and three fields of up to 65,535 bytes.
    m_window = ByteBuffer(
        static_cast<size_t>(std::min<uint64_t>(place.centralSize, std::max<size_t>(window, 46 + 3 * 65535))));
    m_data = reinterpret_cast<const unsigned char*>(m_window.data());
}

Status DirectoryReader::fill(size_t wanted) {
    const size_t held = m_end - m_begin;
    if (held >= wanted || m_unread == 0) {
        return Status::success();
    }
    std::memmove(m_window.data(), m_window.data() + m_begin, held);
    m_begin = 0;
    m_end = held;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(m_unread, m_window.size() - held));
    if (Status read = readAt(m_fd, m_window.data() + held, n, m_nextOffset, m_path); !read.ok()) {
        return read;
    }
    m_end += n;
    m_nextOffset += n;
    m_unread -= n;
    return Status::success();
}

Error DirectoryReader::damaged(const std::string& why) const {
    return corrupt(m_path, "central directory record " + std::to_string(m_records + 1) + why);
}

CentralRecord centralRecordAt(const unsigned char* fields) {
    const auto* text = reinterpret_cast<const char*>(fields);
    const size_t nameLength = get16(fields + 28);
    const size_t extraLength = get16(fields + 30);
    return {fields, std::string_view(text + 46, nameLength),
            std::string_view(text + 46 + nameLength, extraLength),
            std::string_view(text + 46 + nameLength + extraLength, get16(fields + 32))};
}

Result<bool> DirectoryReader::next(CentralRecord& record) {
    if (m_begin == m_end && m_unread == 0) {
        // Some writers let a 16-bit count wrap past 65,535 members; the records themselves count.
        if (m_records != m_place.count && (m_records & 0xffff) != (m_place.count & 0xffff)) {
            return corrupt(m_path, "the central directory holds " + std::to_string(m_records) +
                                       " members but the end record says " + std::to_string(m_place.count));
        }
        return false;
    }
    if (m_end - m_begin < 46) {
        if (Status filled = fill(46); !filled.ok()) {
            return filled.error();
        }
    }
    const unsigned char* r = m_data + m_begin;
    if (m_end - m_begin < 46 || get32(r) != kCentralSignature) {
        if (m_records == 0 && directoryIsEncrypted(m_fd, m_path, m_place.zip64EndOffset,
                                                   m_place.centralOffset, m_place.prefixShift)) {
            return corrupt(m_path, "its central directory is encrypted, which is not supported");
        }
        return damaged(" is damaged");
    }
    const size_t nameLength = get16(r + 28);
    const size_t extraLength = get16(r + 30);
    const size_t commentLength = get16(r + 32);
    const size_t size = 46 + nameLength + extraLength + commentLength;
    if (m_end - m_begin < size) {
        if (Status filled = fill(size); !filled.ok()) {
            return filled.error();
        }
        r = m_data + m_begin;
        if (m_end - m_begin < size) {
            return damaged(" runs past the directory's end");
        }
    }
    record = centralRecordAt(r);
    m_begin += size;
    ++m_records;
    return true;
}

Status readEntry(const CentralRecord& record, uint64_t prefixShift, uint64_t number, const std::string& path,
                 Entry& entry) {
    const unsigned char* r = record.fields;
    entry.versionMadeBy = get16(r + 4);
    entry.versionNeeded = get16(r + 6);
    entry.flags = get16(r + 8);
    entry.method = get16(r + 10);
    entry.dosTime = get16(r + 12);
    entry.dosDate = get16(r + 14);
    entry.crc = get32(r + 16);
    entry.packedSize = get32(r + 20);
    entry.size = get32(r + 24);
    entry.internalAttributes = get16(r + 36);
    entry.externalAttributes = get32(r + 38);
    entry.localOffset = get32(r + 42);
    entry.rawName.assign(record.rawName);
    entry.extra.clear();
    entry.modified.reset();
    if (!parseExtra(entry, record.extra, entry.size == kZip64Limit, entry.packedSize == kZip64Limit,
                    entry.localOffset == kZip64Limit)) {
        return corrupt(path, "the ZIP64 sizes of member " + std::to_string(number) + " are missing");
    }
    entry.localOffset += prefixShift;
    entry.comment.assign(record.comment);
    decodeMemberNameInto(entry.name, record.rawName, (entry.flags & kFlagUtf8) != 0, record.extra);
    // Old MS-DOS and Windows tools mark a folder only by its attribute; it holds no data.
    if ((entry.externalAttributes & kDosFolderAttribute) != 0 && entry.size == 0 && !entry.isFolder() &&
        !entry.name.empty()) {
        entry.name += '/';
    }
    return Status::success();
}

Result<ArchiveIndex> readIndex(int fd, const std::string& path, const DirectoryPlace& place,
                               std::string_view directory) {
    ArchiveIndex index;
    index.fileSize = place.fileSize;
    index.centralOffset = place.centralOffset;
    index.centralSize = place.centralSize;
    index.prefixShift = place.prefixShift;
    index.comment = place.comment;
    if (place.fileSize == 0) {
        return index;
    }
    // Held whole when the caller has it, else read a megabyte at a time.
    std::optional<DirectoryReader> reader;
    if (directory.size() >= place.centralSize) {
        reader.emplace(fd, path, place, directory);
    } else {
        reader.emplace(fd, path, place, size_t{1} << 20);
    }
    index.entries.reserve(std::min<uint64_t>(place.count, place.centralSize / 46));
    if (Status walked = reader->forEach([&](const CentralRecord& record) {
            return readEntry(record, place.prefixShift, reader->records(), path,
                             index.entries.emplace_back());
        });
        !walked.ok()) {
        return walked.error();
    }
    return index;
}

Result<ArchiveIndex> readIndex(int fd, const std::string& path) {
    Result<DirectoryPlace> place = locateDirectory(fd, path);
    if (!place.ok()) {
        return place.error();
    }
    return readIndex(fd, path, *place, std::string_view());
}

std::vector<bool> findOverlaps(const ArchiveIndex& index) {
    const size_t n = index.entries.size();
    std::vector<size_t> order(n);
    std::iota(order.begin(), order.end(), size_t{0});
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        return index.entries[a].localOffset < index.entries[b].localOffset;
    });
    std::vector<bool> overlapping(n, false);
    for (size_t k = 0; k < n; ++k) {
        const Entry& entry = index.entries[order[k]];
        const uint64_t limit = k + 1 < n ? index.entries[order[k + 1]].localOffset : index.centralOffset;
        // The local header is at least 30 bytes; its name and extra fields may differ in length
        // from the central ones, so only the certain minimum is counted here.
        const uint64_t end = entry.localOffset + kLocalHeaderSize + entry.packedSize;
        if (end < entry.localOffset || end > limit) {
            overlapping[order[k]] = true;
        }
    }
    return overlapping;
}

void appendLocalHeader(std::string& out, const Entry& entry, bool zip64) {
    std::string zip64Field;
    if (zip64) {
        put16(zip64Field, 0x0001);
        put16(zip64Field, 16);
        put64(zip64Field, entry.size);
        put64(zip64Field, entry.packedSize);
    }
    put32(out, kLocalHeaderSignature);
    put16(out, zip64 ? 45 : entry.versionNeeded);
    put16(out, entry.flags & ~kFlagDataDescriptor);
    put16(out, entry.method);
    put16(out, entry.dosTime);
    put16(out, entry.dosDate);
    put32(out, entry.crc);
    put32(out, zip64 ? kZip64Limit : static_cast<uint32_t>(entry.packedSize));
    put32(out, zip64 ? kZip64Limit : static_cast<uint32_t>(entry.size));
    put16(out, static_cast<uint32_t>(entry.rawName.size()));
    put16(out, static_cast<uint32_t>(zip64Field.size() + entry.extra.size()));
    out += entry.rawName;
    out += zip64Field;
    out += entry.extra;
}

void appendCentralRecord(std::string& out, const Entry& entry) {
    const bool bigSize = entry.size >= kZip64Limit;
    const bool bigPacked = entry.packedSize >= kZip64Limit;
    const bool bigOffset = entry.localOffset >= kZip64Limit;
    std::string zip64Field;
    if (bigSize || bigPacked || bigOffset) {
        std::string values;
        if (bigSize) {
            put64(values, entry.size);
        }
        if (bigPacked) {
            put64(values, entry.packedSize);
        }
        if (bigOffset) {
            put64(values, entry.localOffset);
        }
        put16(zip64Field, 0x0001);
        put16(zip64Field, static_cast<uint32_t>(values.size()));
        zip64Field += values;
    }
    put32(out, kCentralSignature);
    put16(out, entry.versionMadeBy);
    put16(out, zip64Field.empty() ? entry.versionNeeded : std::max<uint16_t>(entry.versionNeeded, 45));
    put16(out, entry.flags);
    put16(out, entry.method);
    put16(out, entry.dosTime);
    put16(out, entry.dosDate);
    put32(out, entry.crc);
    put32(out, bigPacked ? kZip64Limit : static_cast<uint32_t>(entry.packedSize));
    put32(out, bigSize ? kZip64Limit : static_cast<uint32_t>(entry.size));
    put16(out, static_cast<uint32_t>(entry.rawName.size()));
    put16(out, static_cast<uint32_t>(zip64Field.size() + entry.extra.size()));
    put16(out, static_cast<uint32_t>(entry.comment.size()));
    put16(out, 0);
    put16(out, entry.internalAttributes);
    put32(out, entry.externalAttributes);
    put32(out, bigOffset ? kZip64Limit : static_cast<uint32_t>(entry.localOffset));
    out += entry.rawName;
    out += zip64Field;
    out += entry.extra;
    out += entry.comment;
}

void appendEndRecords(std::string& out, uint64_t entryCount, uint64_t centralOffset, uint64_t centralSize,
                      const std::string& comment) {
    const bool zip64 = entryCount >= 0xffff || centralOffset >= kZip64Limit || centralSize >= kZip64Limit;
    if (zip64) {
        const uint64_t zip64EndOffset = centralOffset + centralSize;
        put32(out, kZip64EndSignature);
        put64(out, 44);
        put16(out, (3 << 8) | 45);
        put16(out, 45);
        put32(out, 0);
        put32(out, 0);
        put64(out, entryCount);
        put64(out, entryCount);
        put64(out, centralSize);
        put64(out, centralOffset);
        put32(out, kZip64LocatorSignature);
        put32(out, 0);
        put64(out, zip64EndOffset);
        put32(out, 1);
    }
    put32(out, kEndSignature);
    put16(out, 0);
    put16(out, 0);
    put16(out, zip64 ? 0xffff : static_cast<uint32_t>(entryCount));
    put16(out, zip64 ? 0xffff : static_cast<uint32_t>(entryCount));
    put32(out, zip64 ? kZip64Limit : static_cast<uint32_t>(centralSize));
    put32(out, zip64 ? kZip64Limit : static_cast<uint32_t>(centralOffset));
    const std::string kept = comment.substr(0, 0xffff);
    put16(out, static_cast<uint32_t>(kept.size()));
    out += kept;
}

std::string buildCentralDirectory(const std::vector<Entry>& entries, uint64_t centralOffset,
                                  const std::string& comment) {
    std::string out;
    size_t estimate = 100;
    for (const Entry& entry : entries) {
        estimate += 46 + 28 + entry.rawName.size() + entry.extra.size() + entry.comment.size();
    }
    out.reserve(estimate);
    for (const Entry& entry : entries) {
        appendCentralRecord(out, entry);
    }
    const uint64_t centralSize = out.size();
    appendEndRecords(out, entries.size(), centralOffset, centralSize, comment);
    return out;
}

void toDosTime(int64_t unixTime, uint16_t& dosDate, uint16_t& dosTime) {
    const auto seconds = static_cast<std::time_t>(unixTime);
    std::tm local{};
    if (localtime_r(&seconds, &local) == nullptr || local.tm_year < 80) {
        dosDate = (0 << 9) | (1 << 5) | 1; // 1 January 1980, the format's first day
        dosTime = 0;
        return;
    }
    if (local.tm_year > 207) {
        local = std::tm{};
        local.tm_year = 207;
        local.tm_mon = 11;
        local.tm_mday = 31;
        local.tm_hour = 23;
        local.tm_min = 59;
        local.tm_sec = 58;
    }
    dosDate = static_cast<uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
    dosTime = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
}

std::string extendedTimestampField(int64_t unixTime) {
    std::string field;
    put16(field, 0x5455);
    put16(field, 5);
    field += static_cast<char>(1);
    put32(field,
          static_cast<uint32_t>(static_cast<int32_t>(std::clamp<int64_t>(unixTime, INT32_MIN, INT32_MAX))));
    return field;
}

} // namespace pkzip
