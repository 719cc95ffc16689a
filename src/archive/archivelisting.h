#pragma once

#include "archivestate.h"

#include <optional>
#include <string_view>
#include <vector>

namespace archive {

// Where the fields of a member line start, 0-based. The fixed layout fits every size up to
// 99,999,999 bytes; for larger sizes the archiver widens both size columns and shifts every
// later column, and says so in its dashed header underline.
struct ListingColumns {
    int sizeStart = 0;
    int sizeWidth = 8;
    int packedStart = 17;
    int packedWidth = 8;
    int ratioStart = 26;
    int monthStart = 32;
    int dayStart = 35;
    int yearStart = 38;
    int hourStart = 43;
    int minuteStart = 46;
    int meridianAt = 48;  // "p" for an afternoon time
    int encryptedAt = 61; // "E" for an encrypted member: 10 after the CRC's start
    int pathStart = 68;

    bool operator==(const ListingColumns&) const = default;
};

// The columns a dashed underline describes: runs of "-" for size, method, packed size, ratio,
// date, time, CRC and name. Anything else gives nothing, and the fixed columns apply.
std::optional<ListingColumns> columnsFromUnderline(std::string_view line);

// Parses the archiver's listing: eight header lines, one line per member, and a line with "-"
// at column 2 that ends the members. Lines end in CR LF or LF and are read whole. A member
// whose path ends in "/" is a stored folder: it adds folders but no entry. Fields that are not
// numbers, or that lie past the end of a short line, read as 0.
void parseListing(std::string_view text, std::vector<ArchiveEntry>& entries, ArchiveFolderList& folders);

// The C library's reading of a decimal field: blanks skipped, an optional sign, digits up to the
// first non-digit; 0 when there are none.
std::int64_t readDecimal(std::string_view field);

} // namespace archive
