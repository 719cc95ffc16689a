#include "nameindex.h"

#include "freespace.h"
#include "names.h"

#include <algorithm>
#include <cstring>
#include <zlib.h>

namespace pkzip {

namespace {

constexpr char kIndexMagic[8] = {'P', 'X', 'N', 'A', 'M', 'E', 'S', '1'};
constexpr size_t kHeaderFields = 9; // the eight of NameIndex and the header's own check
constexpr uint64_t kFieldLimit = uint64_t{1} << 56;
constexpr uint64_t kTailBytes = 64u << 10;

// Seven bits to a byte, each byte's high bit set: no byte of a value can start a signature.
void putField(std::string& out, uint64_t value) {
    for (int i = 0; i < 8; ++i) {
        out += static_cast<char>(0x80 | ((value >> (7 * i)) & 0x7f));
    }
}

std::optional<uint64_t> getField(const unsigned char* p) {
    uint64_t value = 0;
    for (int i = 0; i < 8; ++i) {
        if ((p[i] & 0x80) == 0) {
            return std::nullopt;
        }
        value |= uint64_t{p[i] & 0x7fu} << (7 * i);
    }
    return value;
}

uint64_t slotAt(std::string_view slots, uint64_t i) {
    const auto* p = reinterpret_cast<const unsigned char*>(slots.data()) + 8 * i;
    uint64_t value = 0;
    for (int b = 0; b < 8; ++b) {
        value |= uint64_t{p[b] & 0x7fu} << (7 * b);
    }
    return value;
}

uint32_t crcOf(const unsigned char* data, size_t size) {
    return static_cast<uint32_t>(crc32_z(0, data, static_cast<z_size_t>(size)));
}

// Whether the n sorted slots hold value. The hashes are spread evenly, so the search starts
// where value would lie and widens from there: a lookup touches a page or two of a large index.
bool sortedHolds(std::string_view slots, uint64_t n, uint64_t value) {
    if (n == 0) {
        return false;
    }
    const uint64_t top = value >> 24; // 32 bits
    uint64_t guess = n <= UINT32_MAX ? (top * n) >> 32 : top * (n >> 32);
    guess = std::min(guess, n - 1);
    uint64_t lo = guess;
    for (uint64_t step = 1; lo > 0 && slotAt(slots, lo) > value; step *= 2) {
        lo = lo > step ? lo - step : 0;
    }
    uint64_t hi = guess + 1;
    for (uint64_t step = 1; hi < n && slotAt(slots, hi) <= value; step *= 2) {
        hi = std::min(n, hi + step);
    }
    while (lo < hi) {
        const uint64_t mid = lo + (hi - lo) / 2;
        const uint64_t at = slotAt(slots, mid);
        if (at == value) {
            return true;
        }
        if (at < value) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return false;
}

} // namespace

uint64_t nameHash(std::string_view key) {
    uint64_t h = 0xcbf29ce484222325ULL; // FNV-1a, then a finaliser that spreads every bit
    for (char c : key) {
        h = (h ^ static_cast<unsigned char>(c)) * 0x100000001b3ULL;
    }
    h ^= h >> 33;
    h *= 0xff51afd7ed558ccdULL;
    h ^= h >> 33;
    h *= 0xc4ceb9fe1a85ec53ULL;
    h ^= h >> 33;
    return h >> 8;
}

Result<uint64_t> recordNameHash(const CentralRecord& record, uint64_t number, const std::string& path,
                                Entry& scratch, std::string& listed) {
    if (Status read = readEntry(record, 0, number, path, scratch); !read.ok()) {
        return read.error();
    }
    listed.clear();
    appendListedName(listed, scratch.name);
    return nameHash(matchKey(listed));
}

Result<uint32_t> directoryTailCrc(int fd, const std::string& path, uint64_t centralOffset,
                                  uint64_t centralSize) {
    const uint64_t end = centralOffset + centralSize;
    return crcOfRange(fd, path, end - std::min(centralSize, kTailBytes), end);
}

std::optional<NameIndex> readNameIndex(int fd, const std::string& path, const DirectoryPlace& place,
                                       uint64_t freeStart) {
    if (place.centralOffset < kFreeSpaceMarkSize + kNameIndexHeaderSize) {
        return std::nullopt;
    }
    unsigned char header[kNameIndexHeaderSize];
    const uint64_t headerStart = place.centralOffset - kFreeSpaceMarkSize - kNameIndexHeaderSize;
    if (!readAt(fd, header, sizeof header, headerStart, path).ok() ||
        std::memcmp(header, kIndexMagic, sizeof kIndexMagic) != 0) {
        return std::nullopt;
    }
    uint64_t fields[kHeaderFields];
    for (size_t i = 0; i < kHeaderFields; ++i) {
        const std::optional<uint64_t> field = getField(header + 8 + 8 * i);
        if (!field) {
            return std::nullopt;
        }
        fields[i] = *field;
    }
    if (fields[8] != crcOf(header, 8 + 8 * (kHeaderFields - 1))) {
        return std::nullopt;
    }
    NameIndex index{fields[0], fields[1], fields[2], fields[3],
                    fields[4], fields[5], fields[6], static_cast<uint32_t>(fields[7])};
    // Another tool's change to the directory leaves an index that no longer describes it.
    const bool sameCount = place.zip64EndOffset ? index.members == place.count
                                                : (index.members & 0xffff) == (place.count & 0xffff);
    if (index.centralOffset != place.centralOffset || index.centralSize != place.centralSize || !sameCount ||
        index.logged > index.capacity || index.sorted + index.capacity >= kFieldLimit / 8 ||
        index.start < freeStart || index.headerStart() != headerStart) {
        return std::nullopt;
    }
    Result<uint32_t> tail = directoryTailCrc(fd, path, place.centralOffset, place.centralSize);
    if (!tail.ok() || *tail != index.tailCrc) {
        return std::nullopt;
    }
    return index;
}

bool mayHoldAny(const NameIndex& index, std::string_view slots, const std::vector<uint64_t>& hashes) {
    for (uint64_t hash : hashes) {
        if (sortedHolds(slots, index.sorted, hash)) {
            return true;
        }
    }
    std::vector<uint64_t> wanted = hashes;
    std::sort(wanted.begin(), wanted.end());
    for (uint64_t i = 0; i < index.logged; ++i) {
        if (std::binary_search(wanted.begin(), wanted.end(), slotAt(slots, index.sorted + i))) {
            return true;
        }
    }
    return false;
}

std::vector<uint64_t> allHashes(const NameIndex& index, std::string_view slots) {
    std::vector<uint64_t> hashes;
    hashes.reserve(index.sorted + index.logged);
    for (uint64_t i = 0; i < index.sorted + index.logged; ++i) {
        hashes.push_back(slotAt(slots, i));
    }
    const auto logged = hashes.begin() + static_cast<std::ptrdiff_t>(index.sorted);
    std::sort(logged, hashes.end());
    std::inplace_merge(hashes.begin(), logged, hashes.end());
    return hashes;
}

std::string encodeSlots(const std::vector<uint64_t>& hashes) {
    std::string out;
    out.reserve(8 * hashes.size());
    for (uint64_t hash : hashes) {
        putField(out, hash);
    }
    return out;
}

std::string encodeHeader(const NameIndex& index) {
    std::string out(kIndexMagic, sizeof kIndexMagic);
    for (uint64_t field : {index.start, index.sorted, index.capacity, index.logged, index.members,
                           index.centralOffset, index.centralSize, uint64_t{index.tailCrc}}) {
        putField(out, field);
    }
    putField(out, crcOf(reinterpret_cast<const unsigned char*>(out.data()), out.size()));
    return out;
}

uint64_t slotsForLaterRuns(uint64_t sorted) {
    return sorted / 2 + 512;
}

} // namespace pkzip
