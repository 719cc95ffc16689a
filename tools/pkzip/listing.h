#pragma once

#include "zipformat.h"

#include <string>

namespace pkzip {

// The width of the two size columns: 8, or as many digits as the largest size needs.
int sizeColumnWidth(const std::vector<Entry>& entries);

// The compression ratio column: exactly 5 characters ending in "%", one decimal where it fits.
std::string formatRatio(uint64_t size, uint64_t packedSize);

// The whole listing text (CR LF line ends) for the archive named archiveLabel. A null index
// lists no members (the archive could not be read).
std::string formatListing(const std::string& archiveLabel, const ArchiveIndex* index);

} // namespace pkzip
