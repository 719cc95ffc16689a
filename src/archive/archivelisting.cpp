#include "archivelisting.h"

#include <array>
#include <cctype>
#include <ctime>
#include <unordered_map>

namespace archive {

namespace {

struct DashRun {
    int start;
    int length;
};

std::string_view field(std::string_view line, int start, int width) {
    if (start < 0 || static_cast<size_t>(start) >= line.size()) {
        return {};
    }
    return line.substr(static_cast<size_t>(start), static_cast<size_t>(width));
}

std::string_view nextLine(std::string_view& text, bool& atEnd) {
    if (text.empty()) {
        atEnd = true;
        return {};
    }
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (!line.empty() && line.back() == '\r') {
        line.remove_suffix(1);
    }
    return line;
}

// Local calendar time to seconds, letting the calendar routine carry out-of-range values and
// decide on daylight saving.
std::int64_t convertLocalTime(std::int64_t year, std::int64_t month, std::int64_t day, std::int64_t hour,
                              std::int64_t minute) {
    std::tm fields{};
    fields.tm_year = static_cast<int>(year - 1900);
    fields.tm_mon = static_cast<int>(month - 1);
    fields.tm_mday = static_cast<int>(day);
    fields.tm_hour = static_cast<int>(hour);
    fields.tm_min = static_cast<int>(minute);
    fields.tm_sec = 0;
    fields.tm_isdst = -1;
    return static_cast<std::int64_t>(std::mktime(&fields));
}

// mktime consults the time zone on every call, which dominates the reading of a large listing;
// members share their minutes often, so each distinct date and time is converted once.
class LocalTimeCache {
public:
    std::int64_t convert(std::int64_t year, std::int64_t month, std::int64_t day, std::int64_t hour,
                         std::int64_t minute) {
        const Key key{year, month, day, hour, minute};
        if (m_valid && key == m_lastKey) {
            return m_lastValue;
        }
        const auto found = m_seen.find(key);
        const std::int64_t value =
            found != m_seen.end() ? found->second : convertLocalTime(year, month, day, hour, minute);
        if (found == m_seen.end() && m_seen.size() < 100'000) {
            m_seen.emplace(key, value);
        }
        m_valid = true;
        m_lastKey = key;
        m_lastValue = value;
        return value;
    }

private:
    using Key = std::array<std::int64_t, 5>;
    struct KeyHash {
        size_t operator()(const Key& key) const {
            size_t hash = 0;
            for (std::int64_t part : key) {
                hash = hash * 1'000'003 ^ std::hash<std::int64_t>()(part);
            }
            return hash;
        }
    };
    std::unordered_map<Key, std::int64_t, KeyHash> m_seen;
    Key m_lastKey{};
    std::int64_t m_lastValue = 0;
    bool m_valid = false;
};

void addFolderWithPrefixes(std::string folder, ArchiveFolderList& folders) {
    while (!folder.empty()) {
        folders.add(folder);
        const size_t slash = folder.rfind('/');
        folder.resize(slash == std::string::npos ? 0 : slash);
    }
}

} // namespace

bool ArchiveFolderList::add(const std::string& folder) {
    if (!m_seen.insert(folder).second) {
        return false;
    }
    m_folders.push_back(folder);
    return true;
}

void ArchiveFolderList::clear() {
    m_folders.clear();
    m_seen.clear();
}

std::int64_t readDecimal(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    std::int64_t value = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        if (value > (INT64_MAX - 9) / 10) {
            return negative ? INT64_MIN : INT64_MAX; // as strtoll saturates
        }
        value = value * 10 + (text[i] - '0');
    }
    return negative ? -value : value;
}

std::optional<ListingColumns> columnsFromUnderline(std::string_view line) {
    std::vector<DashRun> runs;
    for (size_t i = 0; i < line.size();) {
        if (line[i] == '-') {
            const size_t start = i;
            while (i < line.size() && line[i] == '-') {
                ++i;
            }
            runs.push_back(DashRun{static_cast<int>(start), static_cast<int>(i - start)});
        } else if (line[i] == ' ') {
            ++i;
        } else {
            return std::nullopt;
        }
    }
    // size, method, packed size, ratio, date, time, CRC, name
    if (runs.size() != 8 || runs[0].start != 0 || runs[0].length < 8 || runs[2].length != runs[0].length ||
        runs[3].length != 5 || runs[4].length != 10 || runs[5].length != 6) {
        return std::nullopt;
    }
    ListingColumns columns;
    columns.sizeStart = runs[0].start;
    columns.sizeWidth = runs[0].length;
    columns.packedStart = runs[2].start;
    columns.packedWidth = runs[2].length;
    columns.ratioStart = runs[3].start;
    columns.monthStart = runs[4].start;
    columns.dayStart = runs[4].start + 3;
    columns.yearStart = runs[4].start + 6;
    columns.hourStart = runs[5].start;
    columns.minuteStart = runs[5].start + 3;
    columns.meridianAt = runs[5].start + 5;
    columns.encryptedAt = runs[6].start + 10;
    columns.pathStart = runs[7].start;
    return columns;
}

void parseListing(std::string_view text, std::vector<ArchiveEntry>& entries, ArchiveFolderList& folders) {
    bool atEnd = false;
    std::string_view header;
    for (int i = 0; i < 8 && !atEnd; ++i) {
        header = nextLine(text, atEnd);
    }
    if (atEnd) {
        return;
    }
    const ListingColumns columns = columnsFromUnderline(header).value_or(ListingColumns());
    LocalTimeCache times;
    for (;;) {
        const std::string_view line = nextLine(text, atEnd);
        if (atEnd || (line.size() > 2 && line[2] == '-')) {
            return;
        }
        const std::string_view path = line.size() > static_cast<size_t>(columns.pathStart)
                                          ? line.substr(columns.pathStart)
                                          : std::string_view();
        const size_t slash = path.rfind('/');
        const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
        const std::string_view folder =
            slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
        if (!name.empty()) {
            ArchiveEntry entry;
            entry.name = std::string(name);
            entry.folder = std::string(folder);
            entry.size = readDecimal(field(line, columns.sizeStart, columns.sizeWidth));
            entry.packedSize = readDecimal(field(line, columns.packedStart, columns.packedWidth));
            entry.ratioText = std::string(field(line, columns.ratioStart, 5));
            entry.encrypted = field(line, columns.encryptedAt, 1) == "E";
            std::int64_t hour = readDecimal(field(line, columns.hourStart, 2));
            const bool afternoon = field(line, columns.meridianAt, 1) == "p";
            if (afternoon && hour >= 1 && hour <= 11) {
                hour += 12;
            } else if (!afternoon && hour == 12) {
                hour = 0;
            }
            entry.time = times.convert(readDecimal(field(line, columns.yearStart, 4)),
                                       readDecimal(field(line, columns.monthStart, 2)),
                                       readDecimal(field(line, columns.dayStart, 2)), hour,
                                       readDecimal(field(line, columns.minuteStart, 2)));
            entries.push_back(std::move(entry));
        }
        addFolderWithPrefixes(std::string(folder), folders);
    }
}

} // namespace archive
