#pragma once

#include "archivestate.h"
#include "drivemap.h"
#include "fileservices.h"
#include "sortkey.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace views {

// One row's worth of data of either list, kept between fills so that a re-sort only reorders.
struct ListRecord {
    std::string name;
    std::string folder; // archive list: the member's folder, "/"-separated, "" at the root
    std::int64_t size = 0;
    std::int64_t packedSize = 0; // archive list; -1 when the archiver did not know it
    std::int64_t time = 0;       // seconds since 1970, UTC; 0 for a synthesised sub-folder
    std::string ratioText;       // archive list: five characters as listed
    std::uint32_t attributes = 0;
    bool encrypted = false; // archive list: an encrypted member, or a folder that holds one

    bool isFolder() const { return (attributes & platform::kAttrDirectory) != 0; }
    // "." and ".." are kept as records of a local folder but never become rows.
    bool isShown() const { return name != "." && name != ".."; }
};

// The records of a local folder from its folder search, in search order.
std::vector<ListRecord> localRecords(const std::vector<platform::FindEntry>& found);
// Searches folder + "*.*" (folder ends in "\"); a folder that cannot be searched gives none.
std::vector<ListRecord> readLocalRecords(const platform::DriveMap& drives, const std::string& folder);

// The archive folder a tree path names: "" at the archive's own node, else "docs/old/".
std::string archiveFolderKey(const std::string& treePath);
// The records of the archive folder `key`: first its members in stored order, then each
// sub-folder that occurs below it, once, in order of first appearance.
std::vector<ListRecord> archiveRecords(const std::vector<archive::ArchiveEntry>& entries,
                                       const std::string& key);

// The text that orders a record's row: "0" for a folder or "1" for a file, then the key's
// number (20 digits), then the name, or for the Extension key "ext.base".
std::string sortText(const ListRecord& record, Role role, SortKey key);
// The name a sort text was made from.
std::string restoreName(const std::string& text, SortKey key);
// The one collation of row texts and tree children: ASCII letters compared without regard to
// case, every other byte by its value, ties broken by exact bytes.
int compareText(std::string_view a, std::string_view b);
inline bool textLess(std::string_view a, std::string_view b) {
    return compareText(a, b) < 0;
}

// One visible row of a list: the record it shows and its restored name.
struct ListRow {
    size_t record = 0;
    std::string name;
};
// The rows of the shown records, ordered by their sort texts.
std::vector<ListRow> orderRows(const std::vector<ListRecord>& records, Role role, SortKey key);

// The key a click on a list's column header chooses; None for a column that chooses none.
SortKey sortKeyOfColumn(Role role, int column);
// The column whose header shows the order of key (ascending, the only order there is); -1 for a
// key no column shows (Extension, None). The local list orders Zipped Size and Ratio by size.
int sortIndicatorColumn(Role role, SortKey key);

// The date a row shows ("3/5/03 9:07 PM"), "" for a record without a time (an archive's
// synthesised sub-folder).
std::string dateText(const ListRecord& record);

// The column titles of a list.
std::vector<std::string> columnTitles(Role role);
// The texts of one row, column by column (name first).
std::vector<std::string> columnTexts(const ListRecord& record, const std::string& name, Role role);
// "Local: 12 Items" or "Zip: 12 Items".
std::string countText(Role role, size_t count);

// The row whose text in a size column ("File Size", or the archive list's "Zip Size") is the
// longest, so that the column can be made wide enough for every size; -1 when no row shows one.
int widestSizeRow(const std::vector<ListRecord>& records, const std::vector<ListRow>& rows, Role role,
                  int column);

// The folder a folder row of a list names, as its tree names it: "C:\Data\Sub\" for row Sub of
// "C:\Data\", "C:\a.zip/docs/old/" for row old of "C:\a.zip/docs/".
std::string childFolder(Role role, const std::string& folder, const std::string& name);

// The folder above a list's folder, where Backspace goes: "C:\Data\" for "C:\Data\Sub\",
// "C:\a.zip/docs/" for "C:\a.zip/docs/old/"; "" above a drive or the archive's own node.
std::string parentFolder(Role role, const std::string& folder);

} // namespace views
