#include "listrules.h"

#include "formats.h"
#include "texts.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <type_traits>
#include <unordered_map>
#include <unordered_set>

namespace views {

namespace {

// Every number of a sort text takes this many characters, so that text order is numeric order
// for every 64-bit value.
constexpr size_t kNumberWidth = 20;
// A packed size the archiver could not tell sorts where the 32-bit marker value did.
constexpr std::int64_t kUnknownPackedSize = 0xFFFFFFFF;

// A number as a fixed-width text whose byte order is the numbers' order. A value that is not
// negative is zero-padded to 20 digits; a negative one (a file dated before 1970, a member that
// grew) is "-" followed by 19 digits of its distance from the smallest 64-bit value, so that it
// sorts before every other number and in order among the negatives.
std::string paddedNumber(std::int64_t value) {
    char text[32];
    if (value >= 0) {
        std::snprintf(text, sizeof text, "%020llu", static_cast<unsigned long long>(value));
    } else {
        const std::uint64_t offset = static_cast<std::uint64_t>(value) + (std::uint64_t{1} << 63);
        std::snprintf(text, sizeof text, "-%019llu", static_cast<unsigned long long>(offset));
    }
    return text;
}

// The ratio text without its "%", read as the C library reads a decimal number, times ten and
// truncated toward zero. Read digit by digit, so that 57.4 gives exactly 574.
std::int64_t ratioTenths(const std::string& ratioText) {
    std::string_view text(ratioText);
    if (!text.empty()) {
        text.remove_suffix(1);
    }
    size_t at = 0;
    while (at < text.size() && (text[at] == ' ' || text[at] == '\t')) {
        ++at;
    }
    bool negative = false;
    if (at < text.size() && (text[at] == '-' || text[at] == '+')) {
        negative = text[at] == '-';
        ++at;
    }
    std::int64_t tenths = 0;
    // Far more digits than a five-character ratio holds, and never enough to overflow.
    int digits = 0;
    while (at < text.size() && text[at] >= '0' && text[at] <= '9') {
        if (digits++ < 15) {
            tenths = tenths * 10 + (text[at] - '0');
        }
        ++at;
    }
    tenths *= 10;
    if (at + 1 < text.size() && text[at] == '.' && text[at + 1] >= '0' && text[at + 1] <= '9') {
        tenths += text[at + 1] - '0';
    }
    return negative ? -tenths : tenths;
}

char foldCase(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

} // namespace

std::vector<ListRecord> localRecords(const std::vector<platform::FindEntry>& found) {
    std::vector<ListRecord> records;
    records.reserve(found.size());
    for (const platform::FindEntry& entry : found) {
        ListRecord record;
        record.name = entry.name;
        record.size = entry.size;
        record.time = entry.lastWriteTime;
        record.attributes = entry.attributes;
        records.push_back(std::move(record));
    }
    return records;
}

std::vector<ListRecord> readLocalRecords(const platform::DriveMap& drives, const std::string& folder) {
    auto found = platform::findFiles(drives, folder + "*.*");
    if (!found) {
        return {};
    }
    return localRecords(*found);
}

std::string archiveFolderKey(const std::string& treePath) {
    const size_t slash = treePath.find('/');
    return slash == std::string::npos ? std::string() : treePath.substr(slash + 1);
}

namespace {

// Whether folder + "/" begins with key; if so, remainder is the rest of folder + "/" after it.
bool composedStartsWith(const std::string& folder, const std::string& key, std::string& remainder) {
    const size_t composedSize = folder.size() + 1;
    if (key.size() > composedSize) {
        return false;
    }
    if (key.size() == composedSize) {
        if (key.back() != '/' || key.compare(0, folder.size(), folder) != 0) {
            return false;
        }
        remainder.clear();
        return true;
    }
    if (folder.compare(0, key.size(), key) != 0) {
        return false;
    }
    remainder.assign(folder, key.size());
    remainder += '/';
    return true;
}

} // namespace

std::vector<ListRecord> archiveRecords(const std::vector<archive::ArchiveEntry>& entries,
                                       const std::string& key) {
    std::vector<ListRecord> records;
    std::string remainder;
    for (const archive::ArchiveEntry& entry : entries) {
        bool belongs = false;
        if (key.empty()) {
            belongs = entry.folder.empty();
        } else if (composedStartsWith(entry.folder, key, remainder)) {
            belongs = remainder.find('/') == std::string::npos;
        }
        if (belongs) {
            records.push_back(entry);
        }
    }

    // A sub-folder row lies in the shown folder, as the member rows do.
    const std::string parentFolder = key.empty() ? key : key.substr(0, key.size() - 1);
    std::unordered_map<std::string, size_t> seenSubFolders; // name, record
    for (const archive::ArchiveEntry& entry : entries) {
        if (entry.folder.empty()) {
            continue;
        }
        std::string candidate;
        if (key.empty()) {
            candidate = entry.folder.substr(0, entry.folder.find('/'));
        } else {
            if (!composedStartsWith(entry.folder, key, remainder) || remainder.empty()) {
                continue;
            }
            candidate = remainder.substr(0, remainder.find('/'));
        }
        // A doubled "/" in a member's path would name a folder without a name, which no row
        // could show or open.
        if (candidate.empty()) {
            continue;
        }
        if (const auto seen = seenSubFolders.find(candidate); seen != seenSubFolders.end()) {
            records[seen->second].encrypted = records[seen->second].encrypted || entry.encrypted;
            continue;
        }
        seenSubFolders.emplace(candidate, records.size());
        ListRecord record;
        record.name = candidate;
        record.folder = parentFolder;
        record.attributes = platform::kAttrDirectory;
        record.encrypted = entry.encrypted;
        records.push_back(std::move(record));
    }
    return records;
}

std::string sortText(const ListRecord& record, Role role, SortKey key) {
    std::string text = record.name;
    if (key == SortKey::Extension) {
        const size_t dot = text.rfind('.');
        if (dot == std::string::npos || dot + 1 == text.size()) {
            text = "." + text;
        } else {
            text = text.substr(dot + 1) + "." + text.substr(0, dot);
        }
    }
    if (key == SortKey::Date) {
        text = paddedNumber(record.time) + text;
    }
    const bool local = role == Role::Local;
    if (key == SortKey::FileSize || (local && (key == SortKey::ZippedSize || key == SortKey::Ratio))) {
        text = paddedNumber(record.size) + text;
    }
    if (!local && key == SortKey::ZippedSize) {
        text = paddedNumber(record.packedSize < 0 ? kUnknownPackedSize : record.packedSize) + text;
    }
    if (!local && key == SortKey::Ratio) {
        text = paddedNumber(ratioTenths(record.ratioText)) + text;
    }
    return (record.isFolder() ? "0" : "1") + text;
}

int compareText(std::string_view a, std::string_view b) {
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const auto ca = static_cast<unsigned char>(foldCase(a[i]));
        const auto cb = static_cast<unsigned char>(foldCase(b[i]));
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
    }
    if (a.size() != b.size()) {
        return a.size() < b.size() ? -1 : 1;
    }
    const int exact = a.compare(b);
    return exact < 0 ? -1 : (exact > 0 ? 1 : 0);
}

namespace {

// The number a record's sort text begins with under key, if it has one.
std::int64_t sortNumber(const ListRecord& record, Role role, SortKey key) {
    const bool local = role == Role::Local;
    if (key == SortKey::Date) {
        return record.time;
    }
    if (key == SortKey::FileSize || (local && (key == SortKey::ZippedSize || key == SortKey::Ratio))) {
        return record.size;
    }
    if (key == SortKey::ZippedSize) {
        return record.packedSize < 0 ? kUnknownPackedSize : record.packedSize;
    }
    if (key == SortKey::Ratio) {
        return ratioTenths(record.ratioText);
    }
    return 0;
}

// The first eight bytes of a name with ASCII letters folded, as a number whose order is theirs
// (shorter names padded with zero bytes). Two names whose prefixes differ are ordered by them.
std::uint64_t foldedPrefix(std::string_view name) {
    std::uint64_t prefix = 0;
    for (size_t i = 0; i < 8; ++i) {
        const auto c = i < name.size() ? static_cast<unsigned char>(foldCase(name[i])) : 0;
        prefix = (prefix << 8) | c;
    }
    return prefix;
}

// A row's sort text as numbers: the folder mark, the key's number where the key has one (a Name
// or None key has not, and its rows sort in two thirds of the memory) and the folded start of the
// name. keyByte(0), keyByte(1), ... are the bytes of the mark, the number and the prefix in the order
// they compare, for the radix sort below.
struct NameKeyed {
    static constexpr int kKeyBytes = 9;
    std::uint64_t prefix;
    RecordIndex record;
    std::uint32_t file;
    std::int64_t number() const { return 0; }
    unsigned keyByte(int at) const {
        return at == 0 ? file : static_cast<unsigned>(prefix >> (8 * (8 - at))) & 0xFF;
    }
};
struct NumberKeyed {
    static constexpr int kKeyBytes = 17;
    std::uint64_t prefix;
    RecordIndex record;
    std::uint32_t file;
    std::int64_t value;
    std::int64_t number() const { return value; }
    unsigned keyByte(int at) const {
        if (at == 0) {
            return file;
        }
        // The sign bit turned over, so that negative numbers come first in unsigned order.
        const std::uint64_t bits =
            at <= 8 ? static_cast<std::uint64_t>(value) ^ (std::uint64_t{1} << 63) : prefix;
        return static_cast<unsigned>(bits >> (8 * (8 - (at <= 8 ? at : at - 8)))) & 0xFF;
    }
};

// Sorts [first, last) by their key bytes from byte `at` on, a byte at a time, in place (each
// byte's 256 groups are made by swapping items into them), and each group that the key bytes
// leave, or that is small, with less. A million rows sort in a few passes over them, whatever
// their names, where a comparison sort needs twenty.
template <typename Keyed, typename Less> void radixSort(Keyed* first, Keyed* last, int at, const Less& less) {
    constexpr std::ptrdiff_t kSmall = 64;
    for (; at < Keyed::kKeyBytes && last - first > kSmall; ++at) {
        std::array<size_t, 256> counts{};
        for (const Keyed* item = first; item != last; ++item) {
            ++counts[item->keyByte(at)];
        }
        if (std::find(counts.begin(), counts.end(), static_cast<size_t>(last - first)) != counts.end()) {
            continue; // every item has this byte: the next one decides
        }
        std::array<size_t, 256> next{};
        std::array<size_t, 256> ends{};
        size_t start = 0;
        for (size_t b = 0; b < 256; ++b) {
            next[b] = start;
            start += counts[b];
            ends[b] = start;
        }
        for (size_t b = 0; b < 256; ++b) {
            while (next[b] < ends[b]) {
                Keyed& item = first[next[b]];
                const unsigned belongs = item.keyByte(at);
                if (belongs == b) {
                    ++next[b];
                } else {
                    std::swap(item, first[next[belongs]++]);
                }
            }
        }
        for (size_t b = 0, begin = 0; b < 256; begin = ends[b], ++b) {
            if (ends[b] - begin > 1) {
                radixSort(first + begin, first + ends[b], at + 1, less);
            }
        }
        return;
    }
    std::sort(first, last, less);
}

// The rows in the order of their sort texts, without making the texts: for every key but
// Extension a sort text is the folder mark, a fixed-width number whose text order is numeric
// order, and the name, so comparing those three in turn orders the rows alike.
template <typename Keyed>
std::vector<ListRow> orderRowsByName(const RecordSet& records, Role role, SortKey key) {
    std::vector<Keyed> keyed;
    keyed.reserve(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        const ListRecord& record = records[i];
        if (record.isShown()) {
            Keyed& item = keyed.emplace_back();
            item.prefix = foldedPrefix(record.name);
            item.record = static_cast<RecordIndex>(i);
            item.file = record.isFolder() ? 0 : 1;
            if constexpr (std::is_same_v<Keyed, NumberKeyed>) {
                item.value = sortNumber(record, role, key);
            }
        }
    }
    // The record's place breaks ties, so the order is the stable one.
    radixSort(keyed.data(), keyed.data() + keyed.size(), 0, [&records](const Keyed& a, const Keyed& b) {
        if (a.file != b.file) {
            return b.file != 0;
        }
        if (a.number() != b.number()) {
            return a.number() < b.number();
        }
        if (a.prefix != b.prefix) {
            return a.prefix < b.prefix;
        }
        const int order = compareText(records[a.record].name, records[b.record].name);
        return order != 0 ? order < 0 : a.record < b.record;
    });
    std::vector<ListRow> rows(keyed.size());
    for (size_t i = 0; i < keyed.size(); ++i) {
        rows[i].record = keyed[i].record;
    }
    return rows;
}

} // namespace

std::vector<ListRow> orderRows(const RecordSet& records, Role role, SortKey key) {
    if (key == SortKey::Name || key == SortKey::None) {
        return orderRowsByName<NameKeyed>(records, role, key);
    }
    if (key != SortKey::Extension) {
        return orderRowsByName<NumberKeyed>(records, role, key);
    }
    struct Keyed {
        std::string text;
        size_t record;
    };
    std::vector<Keyed> keyed;
    keyed.reserve(records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        if (records[i].isShown()) {
            keyed.push_back(Keyed{sortText(records[i], role, key), i});
        }
    }
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const Keyed& a, const Keyed& b) { return compareText(a.text, b.text) < 0; });
    std::vector<ListRow> rows;
    rows.reserve(keyed.size());
    for (Keyed& item : keyed) {
        rows.push_back(ListRow{static_cast<RecordIndex>(item.record)});
    }
    return rows;
}

const ListRecord& RecordSet::emptyRecord() {
    static const ListRecord empty;
    return empty;
}

std::vector<std::string> columnTitles(Role role) {
    if (role == Role::Local) {
        return {res::kListColumnName, res::kListColumnFileSize, res::kListColumnDateModified};
    }
    return {res::kListColumnName, res::kListColumnFileSize, res::kListColumnZipSize, res::kListColumnRatio,
            res::kListColumnDateModified};
}

std::string dateText(const ListRecord& record) {
    return record.time != 0 ? archive::FormatDateText(record.time) : "";
}

std::vector<std::string> columnTexts(const ListRecord& record, Role role) {
    const std::string& name = record.name;
    const bool folder = record.isFolder();
    const std::string sizeText = folder ? "" : archive::FormatSizeText(record.size);
    if (role == Role::Local) {
        return {name, sizeText, dateText(record)};
    }
    std::string packedText;
    if (!folder) {
        // -1 is the archiver's "not known"; 0xFFFFFFFF is the same marker read as unsigned.
        const bool unknown = record.packedSize < 0 || record.packedSize == kUnknownPackedSize;
        packedText = unknown ? "?" : archive::FormatSizeText(record.packedSize);
    }
    return {name, sizeText, packedText, record.ratioText, dateText(record)};
}

int widestSizeRow(const RecordSet& records, const std::vector<ListRow>& rows, Role role, int column) {
    const bool packed = role == Role::Archive && column == 2;
    if (column != 1 && !packed) {
        return -1;
    }
    // The longest text is that of the largest value or of the most negative one: a value between
    // two already measured is never longer than both.
    // When every record is a row (as in the archive list), the records are read in their own
    // order, which a list of a million rows reads much faster than in row order, and the row of
    // the widest found afterwards.
    const bool everyRecord = rows.size() == records.size();
    int widest = -1;
    size_t widestLength = 0;
    std::int64_t largest = 0;
    std::int64_t smallest = 0;
    for (size_t row = 0; row < rows.size(); ++row) {
        const ListRecord& record = records[everyRecord ? row : rows[row].record];
        const std::int64_t value = packed ? record.packedSize : record.size;
        const bool unknown = packed && (value < 0 || value == kUnknownPackedSize);
        if (record.isFolder() || unknown || (widest >= 0 && value <= largest && value >= smallest)) {
            continue;
        }
        largest = widest < 0 ? value : std::max(largest, value);
        smallest = widest < 0 ? value : std::min(smallest, value);
        const size_t length = archive::FormatSizeText(value).size();
        if (widest < 0 || length > widestLength) {
            widest = static_cast<int>(row);
            widestLength = length;
        }
    }
    if (everyRecord && widest >= 0) {
        const auto at = std::find_if(rows.begin(), rows.end(), [widest](const ListRow& shown) {
            return shown.record == static_cast<size_t>(widest);
        });
        widest = static_cast<int>(at - rows.begin());
    }
    return widest;
}

std::string childFolder(Role role, const std::string& folder, const std::string& name) {
    return folder + name + (role == Role::Local ? "\\" : "/");
}

std::string parentFolder(Role role, const std::string& folder) {
    const char separator = role == Role::Local ? '\\' : '/';
    if (folder.size() < 2 || folder.back() != separator) {
        return "";
    }
    const size_t cut = folder.rfind(separator, folder.size() - 2);
    if (cut == std::string::npos) {
        return ""; // a drive root, C:\, or the archive's own node, C:\a.zip/
    }
    return folder.substr(0, cut + 1);
}

std::string countText(Role role, size_t count) {
    return (role == Role::Local ? res::kLocalCountPrefix : res::kArchiveCountPrefix) + std::to_string(count) +
           res::kCountSuffix;
}

SortKey sortKeyOfColumn(Role role, int column) {
    static constexpr SortKey kLocal[] = {SortKey::Name, SortKey::FileSize, SortKey::Date};
    static constexpr SortKey kArchive[] = {SortKey::Name, SortKey::FileSize, SortKey::ZippedSize,
                                           SortKey::Ratio, SortKey::Date};
    if (column < 0) {
        return SortKey::None;
    }
    const size_t at = static_cast<size_t>(column);
    if (role == Role::Local) {
        return at < std::size(kLocal) ? kLocal[at] : SortKey::None;
    }
    return at < std::size(kArchive) ? kArchive[at] : SortKey::None;
}

int sortIndicatorColumn(Role role, SortKey key) {
    if (role == Role::Local && (key == SortKey::ZippedSize || key == SortKey::Ratio)) {
        key = SortKey::FileSize;
    }
    for (int column = 0; column < 5; ++column) {
        if (key != SortKey::None && sortKeyOfColumn(role, column) == key) {
            return column;
        }
    }
    return -1;
}

} // namespace views
