#include "listing.h"

#include "names.h"

#include <algorithm>
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
    switch (entry.method) {
    case 0:
        return "Stored";
    case 8:
        return "Deflate";
    case 9:
        return "Defl64";
    case 12:
        return "BZip2";
    case 14:
        return "LZMA";
    case 93:
        return "Zstd";
    case 95:
        return "XZ";
    case 99:
        return "AES";
    default: {
        char text[16];
        std::snprintf(text, sizeof text, "M%u", static_cast<unsigned>(entry.method));
        return text;
    }
    }
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

// The member's date and time as the listing shows them, in local time.
std::tm listedTime(const Entry& entry) {
    if (entry.modified) {
        const auto seconds = static_cast<std::time_t>(*entry.modified);
        std::tm local{};
        if (localtime_r(&seconds, &local) != nullptr && local.tm_year >= 70 && local.tm_year <= 9999 - 1900) {
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

int sizeColumnWidth(const std::vector<Entry>& entries) {
    uint64_t largest = 0;
    for (const Entry& entry : entries) {
        largest = std::max(largest, std::max(entry.size, entry.packedSize));
    }
    return std::max<int>(8, static_cast<int>(std::to_string(largest).size()));
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

std::string formatListing(const std::string& archiveLabel, const ArchiveIndex* index) {
    static const std::vector<Entry> none;
    const std::vector<Entry>& entries = index ? index->entries : none;
    Columns columns;
    columns.sizeWidth = sizeColumnWidth(entries);

    std::string out;
    out.reserve(512 + entries.size() * 100);
    auto endLine = [&out](const std::string& line) {
        out += line;
        out += "\r\n";
    };
    endLine("PKZIP25.EXE archive listing");
    endLine("Archive: " + visibleText(archiveLabel));
    endLine("Members: " + std::to_string(entries.size()));
    endLine("Comment: " + (index ? visibleText(index->comment.substr(0, 200)) : std::string()));
    endLine("");
    endLine("");
    endLine(titles(columns));
    const std::string dashes = underline(columns);
    endLine(dashes);

    uint64_t totalSize = 0;
    uint64_t totalPacked = 0;
    std::string line;
    char field[64];
    for (const Entry& entry : entries) {
        totalSize += entry.size;
        totalPacked += entry.packedSize;
        line.clear();
        putRight(line, columns.size(), columns.sizeWidth, std::to_string(entry.size));
        putLeft(line, columns.method(), methodName(entry));
        putRight(line, columns.packed(), columns.sizeWidth, std::to_string(entry.packedSize));
        putLeft(line, columns.ratio(), formatRatio(entry.size, entry.packedSize));
        const std::tm when = listedTime(entry);
        const int hour12 = when.tm_hour % 12 == 0 ? 12 : when.tm_hour % 12;
        std::snprintf(field, sizeof field, "%02d-%02d-%04d %02d:%02d%c", when.tm_mon + 1, when.tm_mday,
                      when.tm_year + 1900, hour12, when.tm_min, when.tm_hour >= 12 ? 'p' : 'a');
        putLeft(line, columns.date(), field);
        std::snprintf(field, sizeof field, "%08x", static_cast<unsigned>(entry.crc));
        putLeft(line, columns.crc(), field);
        putLeft(line, columns.name(), listedName(entry.name));
        endLine(line);
    }
    endLine(dashes);
    line.clear();
    putRight(line, columns.size(), columns.sizeWidth, std::to_string(totalSize));
    putRight(line, columns.packed(), columns.sizeWidth, std::to_string(totalPacked));
    putLeft(line, columns.ratio(), formatRatio(totalSize, totalPacked));
    putLeft(line, columns.name(),
            std::to_string(entries.size()) + (entries.size() == 1 ? " file" : " files"));
    endLine(line);
    return out;
}

} // namespace pkzip
