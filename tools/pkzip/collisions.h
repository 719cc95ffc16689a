#pragma once

#include "zipformat.h"

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace pkzip {

// The records of an old directory as an add sees them.
struct OldRecords {
    uint64_t count = 0;
    std::vector<uint64_t> replaced; // positions of the records whose members new ones replace
    // Where the member data end (0 without members); nothing when that cannot be told.
    std::optional<uint64_t> dataEnd;
};

// The old members that new ones of the same listed name replace (byKey: the match keys of the
// new members' listed names), found in one pass over the directory's records without making an
// entry for each: a member can only be replaced when its file name is one of the new ones, which
// for most names shows in the stored bytes. Every record is checked as readIndex checks it.
// directory: the bytes from place.centralOffset on, the whole directory at least. Finds on the way
// where the member data end.
[[nodiscard]] Result<OldRecords> findReplaced(int fd, const std::string& path, const DirectoryPlace& place,
                                              std::string_view directory,
                                              const std::unordered_map<std::string, size_t>& byKey);

} // namespace pkzip
