#include "collisions.h"

#include "freespace.h"
#include "names.h"

#include <cstring>
#include <optional>
#include <unordered_set>

namespace pkzip {

namespace {

bool hasUnicodePathField(std::string_view extra) {
    for (size_t pos = 0; pos + 4 <= extra.size();) {
        const auto* p = reinterpret_cast<const unsigned char*>(extra.data() + pos);
        if (get16(p) == 0x7075) {
            return true;
        }
        pos += 4 + get16(p + 2);
    }
    return false;
}

std::string_view lastPart(std::string_view name) {
    size_t start = name.size();
    while (start > 0 && name[start - 1] != '/' && name[start - 1] != '\\') {
        --start;
    }
    return name.substr(start);
}

// The file name part of a stored name when it is all printable ASCII: whatever the rest of the
// name holds, the listed name then ends in the same file name (decoding as UTF-8 or CP437 leaves
// ASCII as it is), unless a Unicode path field names the member otherwise.
std::optional<std::string_view> plainFileName(std::string_view raw) {
    size_t start = raw.size();
    for (; start > 0; --start) {
        const char c = raw[start - 1];
        if (c == '/' || c == '\\') {
            break;
        }
        if (c < 0x20 || c >= 0x7f) {
            return std::nullopt;
        }
    }
    return raw.substr(start);
}

// A quick first test of file names: one bit per hash of the length and the last eight bytes. A
// name whose bit is clear is not among the new ones; one whose bit is set is looked up.
class NameFilter {
public:
    void add(std::string_view name) { m_bits[hash(name) / 64] |= uint64_t{1} << (hash(name) % 64); }
    bool mayHold(std::string_view name) const {
        return (m_bits[hash(name) / 64] >> (hash(name) % 64) & 1) != 0;
    }

private:
    static constexpr size_t kBits = 1u << 14;
    static size_t hash(std::string_view name) {
        uint64_t tail = 0;
        const size_t n = std::min<size_t>(name.size(), 8);
        std::memcpy(&tail, name.data() + name.size() - n, n);
        return static_cast<size_t>(((tail ^ name.size()) * 0x9E3779B97F4A7C15ULL) >> 50) % kBits;
    }
    uint64_t m_bits[kBits / 64] = {};
};

} // namespace

Result<OldRecords> findReplaced(int fd, const std::string& path, const DirectoryPlace& place,
                                std::string_view directory,
                                const std::unordered_map<std::string, size_t>& byKey) {
    std::unordered_set<std::string_view> fileNames;
    NameFilter filter;
    for (const auto& [key, position] : byKey) {
        fileNames.insert(lastPart(key));
        filter.add(lastPart(key));
    }
    OldRecords old;
    if (place.fileSize == 0) {
        return old;
    }
    DirectoryReader reader(fd, path, place, directory);
    CentralRecord record;
    Entry entry;
    std::string listed;
    HighestMember highest;
    for (;;) {
        Result<bool> more = reader.next(record);
        if (!more.ok()) {
            return more.error();
        }
        if (!*more) {
            old.count = reader.records();
            old.dataEnd = highest.dataEnd(fd, path);
            return old;
        }
        // A record is skipped on its stored bytes only when they show its listed file name: not
        // when a Unicode path field may name it otherwise, nor when the MS-DOS folder attribute may
        // add a "/" to it; records with ZIP64 fields are always read whole, to check them.
        const std::optional<std::string_view> fileName = plainFileName(record.rawName);
        if (fileName && !record.isMasked() && (record.externalAttributes() & kDosFolderAttribute) == 0 &&
            !hasUnicodePathField(record.extra) &&
            (!filter.mayHold(*fileName) || fileNames.count(*fileName) == 0)) {
            highest.note(record, get32(record.fields + 42), reader.records());
            continue;
        }
        if (Status read = readEntry(record, place.prefixShift, reader.records(), path, entry); !read.ok()) {
            return read.error();
        }
        highest.note(record, entry.localOffset - place.prefixShift, reader.records());
        listed.clear();
        appendListedName(listed, entry.name);
        if (fileNames.count(lastPart(listed)) != 0 && byKey.count(matchKey(listed)) != 0) {
            old.replaced.push_back(reader.records() - 1);
        }
    }
}

} // namespace pkzip
