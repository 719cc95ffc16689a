#pragma once

#include "zipformat.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pkzip {

// The free space an append leaves also holds, at its top, an index of the members' names: a
// hash of each member's match key, sorted, then room for the hashes later runs add, then a
// header right before the free space's mark. A run that adds new names finds out from a few of
// its pages that none of them is in the archive yet, instead of reading every directory record.
// Every byte of it has its high bit set (the header's magic aside), so that a reader going
// through the archive from the front finds no signature in it; -compact drops it with the space.
constexpr size_t kNameIndexHeaderSize = 80;

// The 56 bits of hash of one member's match key that the index keeps.
uint64_t nameHash(std::string_view key);
// The hash of the member a directory record describes, as a later run's lookup computes it.
[[nodiscard]] Result<uint64_t> recordNameHash(const CentralRecord& record, uint64_t number,
                                              const std::string& path, Entry& scratch, std::string& listed);

struct NameIndex {
    uint64_t start = 0;    // where its slots start (the end of the space members may use)
    uint64_t sorted = 0;   // slots of hashes in order
    uint64_t capacity = 0; // slots after them for the hashes of later runs
    uint64_t logged = 0;   // of which this many are used
    uint64_t members = 0;  // the directory's record count
    uint64_t centralOffset = 0;
    uint64_t centralSize = 0;
    uint32_t tailCrc = 0; // of the directory's last bytes (see directoryTailCrc)

    uint64_t headerStart() const { return start + 8 * (sorted + capacity); }
    uint64_t bytes() const { return 8 * (sorted + capacity) + kNameIndexHeaderSize; }
};

// The CRC-32 of the last 64 KiB (or fewer) of the directory, which ties an index to it.
[[nodiscard]] Result<uint32_t> directoryTailCrc(int fd, const std::string& path, uint64_t centralOffset,
                                                uint64_t centralSize);

// The index before the free space's mark, when there is a whole one for this very directory
// (same place, size, record count and last bytes) lying inside the free space from freeStart.
std::optional<NameIndex> readNameIndex(int fd, const std::string& path, const DirectoryPlace& place,
                                       uint64_t freeStart);

// Whether any of the hashes may be in the index; slots: its bytes from index.start on.
bool mayHoldAny(const NameIndex& index, std::string_view slots, const std::vector<uint64_t>& hashes);

// Every hash the index holds, in order; slots as for mayHoldAny.
std::vector<uint64_t> allHashes(const NameIndex& index, std::string_view slots);

// The bytes of hashes in slots, in the given order, and of the header.
std::string encodeSlots(const std::vector<uint64_t>& hashes);
std::string encodeHeader(const NameIndex& index);

// The number of free slots an index of this many sorted hashes gets for later runs.
uint64_t slotsForLaterRuns(uint64_t sorted);

} // namespace pkzip
