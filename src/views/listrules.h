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

// One row's worth of data of either list, kept between fills so that a re-sort only reorders: the
// archive's member record, which a local file or a folder row fills as far as it has the data.
using ListRecord = archive::ArchiveEntry;

// A record's place in a list's records. Four billion rows would not fit in memory; a million rows
// take half the memory of places of 64 bits, which a search that finds them all makes anew.
using RecordIndex = std::uint32_t;

// The records a list's rows name, by place: the list's own records, or some of the archive's
// members (their places in the listing) followed by the list's own. The find results are of the
// second kind, so that a search that finds a million members copies none of them. A set made over
// a listing that has been replaced holds empty records in the members' places.
class RecordSet {
public:
    RecordSet(const std::vector<ListRecord>& own) : m_own(&own) {} // NOLINT: a list's own records
    RecordSet(const std::vector<ListRecord>* members, const std::vector<RecordIndex>& picked,
              const std::vector<ListRecord>& own)
        : m_members(members), m_picked(&picked), m_own(&own) {}

    size_t size() const { return pickedCount() + m_own->size(); }
    const ListRecord& operator[](size_t i) const {
        const size_t picked = pickedCount();
        if (i >= picked) {
            return (*m_own)[i - picked];
        }
        return m_members != nullptr ? (*m_members)[(*m_picked)[i]] : emptyRecord();
    }

private:
    size_t pickedCount() const { return m_picked != nullptr ? m_picked->size() : 0; }
    static const ListRecord& emptyRecord();

    const std::vector<ListRecord>* m_members = nullptr;
    const std::vector<RecordIndex>* m_picked = nullptr;
    const std::vector<ListRecord>* m_own = nullptr;
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
// The one collation of row texts and tree children: ASCII letters compared without regard to
// case, every other byte by its value, ties broken by exact bytes.
int compareText(std::string_view a, std::string_view b);
inline bool textLess(std::string_view a, std::string_view b) {
    return compareText(a, b) < 0;
}

// One visible row of a list: the record it shows and its restored name.
struct ListRow {
    RecordIndex record = 0; // its place in the list's records; the row shows the record's name
};
// The rows of the shown records, ordered by their sort texts.
std::vector<ListRow> orderRows(const RecordSet& records, Role role, SortKey key);

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
std::vector<std::string> columnTexts(const ListRecord& record, Role role);
// "Local: 12 Items" or "Zip: 12 Items".
std::string countText(Role role, size_t count);

// The row whose text in a size column ("File Size", or the archive list's "Zip Size") is the
// longest, so that the column can be made wide enough for every size; -1 when no row shows one.
int widestSizeRow(const RecordSet& records, const std::vector<ListRow>& rows, Role role, int column);

// The folder a folder row of a list names, as its tree names it: "C:\Data\Sub\" for row Sub of
// "C:\Data\", "C:\a.zip/docs/old/" for row old of "C:\a.zip/docs/".
std::string childFolder(Role role, const std::string& folder, const std::string& name);

// The folder above a list's folder, where Backspace goes: "C:\Data\" for "C:\Data\Sub\",
// "C:\a.zip/docs/" for "C:\a.zip/docs/old/"; "" above a drive or the archive's own node.
std::string parentFolder(Role role, const std::string& folder);

} // namespace views
