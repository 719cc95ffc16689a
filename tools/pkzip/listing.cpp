#include "listing.h"

#include "decoder.h"
#include "decryption.h"
#include "names.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <ctime>

namespace pkzip {

namespace {

constexpr int kMethodWidth = 7;
constexpr int kRatioWidth = 5;
constexpr int kDateWidth = 10;
constexpr int kTimeWidth = 6;
constexpr int kCrcWidth = 8;
constexpr int kCrcGap = 2;
constexpr int kNameGap = 9;
// An encrypted member is marked "E" this far after the CRC's start, in the gap before the name.
constexpr int kEncryptedMarkOffset = 10;

// Column starts of one layout; everything after the size columns moves with their width.
struct Columns {
    int sizeWidth = 8;
    int size() const { return 0; }
    int method() const { return sizeWidth + 1; }
    int packed() const { return method() + kMethodWidth + 1; }
    int ratio() const { return packed() + sizeWidth + 1; }
    int date() const { return ratio() + kRatioWidth + 1; }
    int time() const { return date() + kDateWidth + 1; }
    int crc() const { return time() + kTimeWidth + kCrcGap; }
    int name() const { return crc() + kCrcWidth + kNameGap; }
};

std::string methodName(const Entry& entry) {
    if (const Method* method = findMethod(entry.method)) {
        return method->name;
    }
    if (entry.method == 99) {
        return "AES";
    }
    char text[16];
    std::snprintf(text, sizeof text, "M%u", static_cast<unsigned>(entry.method));
    return text;
}

void pad(std::string& line, int column) {
    if (static_cast<int>(line.size()) < column) {
        line.append(static_cast<size_t>(column) - line.size(), ' ');
    } else if (!line.empty() && line.back() != ' ') {
        // Only the totals can outgrow their column; they stay apart all the same.
        line += ' ';
    }
}

void putRight(std::string& line, int column, int width, const std::string& text) {
    pad(line, column);
    if (static_cast<int>(text.size()) < width) {
        line.append(static_cast<size_t>(width) - text.size(), ' ');
    }
    line += text;
}

void putLeft(std::string& line, int column, const std::string& text) {
    pad(line, column);
    line += text;
}

// The member's date and time as the listing shows them, in local time. Members of one run share
// their time, so the last conversion is kept.
std::tm listedTime(const Entry& entry) {
    if (entry.modified) {
        thread_local int64_t lastTime = INT64_MIN;
        thread_local std::tm lastLocal{};
        if (*entry.modified == lastTime) {
            return lastLocal;
        }
        const auto seconds = static_cast<std::time_t>(*entry.modified);
        std::tm local{};
        if (localtime_r(&seconds, &local) != nullptr && local.tm_year >= 70 && local.tm_year <= 9999 - 1900) {
            lastTime = *entry.modified;
            lastLocal = local;
            return local;
        }
    }
    std::tm fields{};
    fields.tm_year = ((entry.dosDate >> 9) & 0x7f) + 80;
    fields.tm_mon = ((entry.dosDate >> 5) & 0x0f) - 1;
    fields.tm_mday = entry.dosDate & 0x1f;
    fields.tm_hour = (entry.dosTime >> 11) & 0x1f;
    fields.tm_min = (entry.dosTime >> 5) & 0x3f;
    return fields;
}

std::string underline(const Columns& columns) {
    std::string line;
    putLeft(line, columns.size(), std::string(static_cast<size_t>(columns.sizeWidth), '-'));
    putLeft(line, columns.method(), std::string(kMethodWidth, '-'));
    putLeft(line, columns.packed(), std::string(static_cast<size_t>(columns.sizeWidth), '-'));
    putLeft(line, columns.ratio(), std::string(kRatioWidth, '-'));
    putLeft(line, columns.date(), std::string(kDateWidth, '-'));
    putLeft(line, columns.time(), std::string(kTimeWidth, '-'));
    putLeft(line, columns.crc(), std::string(kCrcWidth, '-'));
    putLeft(line, columns.name(), "----");
    return line;
}

std::string titles(const Columns& columns) {
    std::string line;
    putRight(line, columns.size(), columns.sizeWidth, "Length");
    putLeft(line, columns.method(), "Method");
    putRight(line, columns.packed(), columns.sizeWidth, "Size");
    putLeft(line, columns.ratio(), "Ratio");
    putLeft(line, columns.date(), "Date");
    putLeft(line, columns.time(), "Time");
    putLeft(line, columns.crc(), "CRC-32");
    putLeft(line, columns.name(), "Name");
    return line;
}

std::string visibleText(const std::string& raw) {
    return escapeControls(isValidUtf8(raw) ? raw : decodeCp437(raw));
}

} // namespace

int sizeColumnWidth(uint64_t largest) {
    return std::max<int>(8, static_cast<int>(std::to_string(largest).size()));
}

int sizeColumnWidth(const std::vector<Entry>& entries) {
    uint64_t largest = 0;
    for (const Entry& entry : entries) {
        largest = std::max(largest, std::max(entry.size, entry.packedSize));
    }
    return sizeColumnWidth(largest);
}

std::string formatRatio(uint64_t size, uint64_t packedSize) {
    double saved =
        size == 0 ? 0.0 : (1.0 - static_cast<double>(packedSize) / static_cast<double>(size)) * 100.0;
    if (saved > -0.05 && saved < 0.05) {
        saved = 0.0; // never "-0.0%"
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.1f%%", saved);
    if (std::string(text).size() > kRatioWidth) {
        std::snprintf(text, sizeof text, "%.0f%%", saved);
    }
    if (std::string(text).size() > kRatioWidth) {
        // Only a member that grew more than tenfold gets here.
        return "-999%";
    }
    std::string ratio = text;
    return std::string(kRatioWidth - ratio.size(), ' ') + ratio;
}

namespace {

// Writes a listing piece by piece: the header once the member count and the widest size are
// known, then one line per member, then the closing lines.
class ListingWriter {
public:
    ListingWriter(std::string& out, uint64_t largestSize) : m_out(&out) {
        m_columns.sizeWidth = sizeColumnWidth(largestSize);
    }

    void header(const std::string& archiveLabel, uint64_t members, const std::string* comment) {
        endLine("PKZIP25.EXE archive listing");
        endLine("Archive: " + visibleText(archiveLabel));
        endLine("Members: " + std::to_string(members));
        endLine("Comment: " + (comment ? visibleText(comment->substr(0, 200)) : std::string()));
        endLine("");
        endLine("");
        endLine(titles(m_columns));
        m_dashes = underline(m_columns);
        endLine(m_dashes);
    }

    void member(const Entry& entry) {
        m_totalSize += entry.size;
        m_totalPacked += entry.packedSize;
        ++m_members;
        std::string& line = m_line;
        line.clear();
        putRight(line, m_columns.size(), m_columns.sizeWidth, std::to_string(entry.size));
        putLeft(line, m_columns.method(), methodName(entry));
        putRight(line, m_columns.packed(), m_columns.sizeWidth, std::to_string(entry.packedSize));
        putLeft(line, m_columns.ratio(), formatRatio(entry.size, entry.packedSize));
        const std::tm when = listedTime(entry);
        const int hour12 = when.tm_hour % 12 == 0 ? 12 : when.tm_hour % 12;
        char field[64];
        std::snprintf(field, sizeof field, "%02d-%02d-%04d %02d:%02d%c", when.tm_mon + 1, when.tm_mday,
                      when.tm_year + 1900, hour12, when.tm_min, when.tm_hour >= 12 ? 'p' : 'a');
        putLeft(line, m_columns.date(), field);
        std::snprintf(field, sizeof field, "%08x", static_cast<unsigned>(entry.crc));
        putLeft(line, m_columns.crc(), field);
        if (isEncrypted(entry)) {
            putLeft(line, m_columns.crc() + kEncryptedMarkOffset, "E");
        }
        pad(line, m_columns.name());
        appendListedName(line, entry.name);
        endLine(line);
    }

    void footer() {
        endLine(m_dashes);
        std::string line;
        putRight(line, m_columns.size(), m_columns.sizeWidth, std::to_string(m_totalSize));
        putRight(line, m_columns.packed(), m_columns.sizeWidth, std::to_string(m_totalPacked));
        putLeft(line, m_columns.ratio(), formatRatio(m_totalSize, m_totalPacked));
        putLeft(line, m_columns.name(), std::to_string(m_members) + (m_members == 1 ? " file" : " files"));
        endLine(line);
    }

private:
    void endLine(const std::string& line) {
        *m_out += line;
        *m_out += "\r\n";
    }

    std::string* m_out;
    Columns m_columns;
    std::string m_dashes;
    std::string m_line;
    uint64_t m_totalSize = 0;
    uint64_t m_totalPacked = 0;
    uint64_t m_members = 0;
};

constexpr size_t kListingWindow = 1u << 20;
constexpr size_t kOutputPiece = 64u << 10;

} // namespace

std::string formatListing(const std::string& archiveLabel, const ArchiveIndex* index) {
    static const std::vector<Entry> none;
    const std::vector<Entry>& entries = index ? index->entries : none;
    std::string out;
    out.reserve(512 + entries.size() * 100);
    uint64_t largest = 0;
    for (const Entry& entry : entries) {
        largest = std::max(largest, std::max(entry.size, entry.packedSize));
    }
    ListingWriter writer(out, largest);
    writer.header(archiveLabel, entries.size(), index ? &index->comment : nullptr);
    for (const Entry& entry : entries) {
        writer.member(entry);
    }
    writer.footer();
    return out;
}

ListingOutcome streamListing(const std::string& archiveLabel, int fd, const std::string& path,
                             const ListingSink& sink) {
    ListingOutcome outcome;
    std::string out;
    auto flush = [&](size_t atLeast) {
        if (outcome.written && out.size() >= atLeast && !out.empty()) {
            outcome.written = sink(out);
            out.clear();
        }
        return outcome.written;
    };
    auto listNothing = [&](const Error& error) {
        ListingWriter writer(out, 0);
        writer.header(archiveLabel, 0, nullptr);
        writer.footer();
        flush(0);
        outcome.archive = error;
        return outcome;
    };
    Result<DirectoryPlace> place = locateDirectory(fd, path);
    if (!place.ok()) {
        return listNothing(place.error());
    }
    // First reading: every record is checked and the widest size found, before a line is written.
    uint64_t largest = 0;
    uint64_t members = 0;
    if (place->fileSize != 0) {
        DirectoryReader reader(fd, path, *place, kListingWindow);
        Entry scratch;
        if (Status walked = reader.forEach([&](const CentralRecord& record) -> Status {
                uint64_t size = get32(record.fields + 24);
                uint64_t packed = get32(record.fields + 20);
                if (record.isMasked()) {
                    if (Status read = readEntry(record, place->prefixShift, reader.records(), path, scratch);
                        !read.ok()) {
                        return read;
                    }
                    size = scratch.size;
                    packed = scratch.packedSize;
                }
                largest = std::max(largest, std::max(size, packed));
                return Status::success();
            });
            !walked.ok()) {
            return listNothing(walked.error());
        }
        members = reader.records();
    }
    // Second reading: the lines, written out a piece at a time.
    ListingWriter writer(out, largest);
    writer.header(archiveLabel, members, &place->comment);
    if (place->fileSize != 0) {
        DirectoryReader reader(fd, path, *place, kListingWindow);
        CentralRecord record;
        Entry entry;
        for (;;) {
            Result<bool> more = reader.next(record);
            if (!more.ok()) {
                outcome.archive = more.error();
                break;
            }
            if (!*more) {
                break;
            }
            if (Status read = readEntry(record, place->prefixShift, reader.records(), path, entry);
                !read.ok()) {
                outcome.archive = read.error();
                break;
            }
            writer.member(entry);
            if (!flush(kOutputPiece)) {
                return outcome;
            }
        }
    }
    writer.footer();
    flush(0);
    return outcome;
}

} // namespace pkzip
