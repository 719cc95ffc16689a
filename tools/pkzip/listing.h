#pragma once

#include "zipformat.h"

#include <functional>
#include <string>
#include <string_view>

namespace pkzip {

// The width of the two size columns: 8, or as many digits as the largest size needs.
int sizeColumnWidth(const std::vector<Entry>& entries);
int sizeColumnWidth(uint64_t largest);

// The compression ratio column: exactly 5 characters ending in "%", one decimal where it fits.
std::string formatRatio(uint64_t size, uint64_t packedSize);

// The whole listing text (CR LF line ends) for the archive named archiveLabel. A null index
// lists no members (the archive could not be read).
std::string formatListing(const std::string& archiveLabel, const ArchiveIndex* index);

// Receives a listing a piece at a time; false when the text could not be written.
using ListingSink = std::function<bool(std::string_view)>;

struct ListingOutcome {
    Status archive;      // why the archive could not be read, or read to its end
    bool written = true; // false when the sink refused a piece (the listing stops there)
};

// The listing of the archive open as fd, the same text as formatListing, written as it is made: the
// directory is read twice a window at a time (first to check every record and find the widest
// size, then for the lines), so memory stays small whatever the member count. An archive that
// cannot be read is listed without members.
ListingOutcome streamListing(const std::string& archiveLabel, int fd, const std::string& path,
                             const ListingSink& sink);

} // namespace pkzip
