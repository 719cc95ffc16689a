#include "properties.h"

#include "listing.h"
#include "names.h"
#include "writer.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <map>
#include <unistd.h>
#include <unordered_map>

namespace pkzip {

namespace {

constexpr size_t kInfoWindow = 1u << 20;
constexpr size_t kEndRecordSize = 22;
constexpr uint16_t kAesExtraId = 0x9901;
constexpr uint16_t kNtfsExtraId = 0x000a;
constexpr uint16_t kFlagStrongEncryption = 0x0040;
constexpr uint16_t kMethodAes = 99;
// Seconds between 1601 (the NTFS epoch) and 1970, and NTFS ticks per second.
constexpr int64_t kNtfsEpochOffset = 11644473600;
constexpr int64_t kNtfsTicks = 10000000;

std::string methodTitle(uint16_t method) {
    switch (method) {
    case 0:
        return "Stored";
    case 1:
        return "Shrink";
    case 2:
    case 3:
    case 4:
    case 5:
        return "Reduce (factor " + std::to_string(method - 1) + ")";
    case 6:
        return "Implode";
    case 8:
        return "Deflate";
    case 9:
        return "Deflate64";
    case 10:
        return "PKWARE DCL Implode";
    case 12:
        return "BZip2";
    case 14:
        return "LZMA";
    case 93:
        return "Zstandard";
    case 95:
        return "XZ";
    case 98:
        return "PPMd";
    case kMethodAes:
        return "AES";
    default:
        return "method " + std::to_string(method);
    }
}

// An extra field of the entry's central record (the ZIP64 field is not kept there).
std::string_view extraField(const Entry& entry, uint16_t id) {
    const std::string_view extra(entry.extra);
    size_t pos = 0;
    while (pos + 4 <= extra.size()) {
        const auto* p = reinterpret_cast<const unsigned char*>(extra.data() + pos);
        const size_t size = get16(p + 2);
        if (pos + 4 + size > extra.size()) {
            break;
        }
        if (get16(p) == id) {
            return extra.substr(pos + 4, size);
        }
        pos += 4 + size;
    }
    return {};
}

// The method the data were compressed with: for a WinZip AES member, the one its AES field names.
uint16_t realMethod(const Entry& entry) {
    if (entry.method == kMethodAes) {
        const std::string_view aes = extraField(entry, kAesExtraId);
        if (aes.size() >= 7) {
            return get16(reinterpret_cast<const unsigned char*>(aes.data()) + 5);
        }
    }
    return entry.method;
}

std::string encryptionOf(const Entry& entry) {
    if ((entry.flags & kFlagEncrypted) == 0) {
        return "none";
    }
    if (entry.method == kMethodAes) {
        const std::string_view aes = extraField(entry, kAesExtraId);
        const int strength = aes.size() >= 5 ? static_cast<unsigned char>(aes[4]) : 0;
        return strength >= 1 && strength <= 3 ? "AES-" + std::to_string(64 + 64 * strength) : "AES";
    }
    return (entry.flags & kFlagStrongEncryption) != 0 ? "PKWARE strong encryption" : "ZipCrypto";
}

// The moment a field of the record gives (UTC seconds) and which field it is; the DOS fields give
// only a local date and time, without a zone.
struct MemberTime {
    std::optional<int64_t> moment;
    const char* source = "dos";
};

MemberTime memberTime(const Entry& entry) {
    MemberTime time;
    if (entry.modified) {
        time.moment = entry.modified;
        time.source = !extraField(entry, 0x5455).empty() ? "extended-timestamp" : "unix";
        return time;
    }
    const std::string_view ntfs = extraField(entry, kNtfsExtraId);
    // Reserved 4 bytes, then tags: tag 1 of 24 bytes holds the modification, access and creation
    // times.
    size_t pos = 4;
    while (pos + 4 <= ntfs.size()) {
        const auto* p = reinterpret_cast<const unsigned char*>(ntfs.data() + pos);
        const size_t size = get16(p + 2);
        if (pos + 4 + size > ntfs.size()) {
            break;
        }
        if (get16(p) == 1 && size >= 8) {
            const uint64_t ticks = get64(p + 4);
            time.moment = static_cast<int64_t>(ticks / kNtfsTicks) - kNtfsEpochOffset;
            time.source = "ntfs";
            break;
        }
        pos += 4 + size;
    }
    return time;
}

std::string dosTimeText(const Entry& entry) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", ((entry.dosDate >> 9) & 0x7f) + 1980,
                  (entry.dosDate >> 5) & 0x0f, entry.dosDate & 0x1f, (entry.dosTime >> 11) & 0x1f,
                  (entry.dosTime >> 5) & 0x3f, (entry.dosTime & 0x1f) * 2);
    return text;
}

std::string hex(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*x", digits, value);
    return text;
}

const char* systemName(unsigned system) {
    switch (system) {
    case 0:
        return "MS-DOS";
    case 3:
        return "Unix";
    case 7:
        return "Macintosh";
    case 10:
        return "Windows NTFS";
    case 11:
        return "MVS";
    case 14:
        return "VFAT";
    case 19:
        return "OS X";
    default:
        return nullptr;
    }
}

std::string versionText(uint16_t version) {
    const unsigned number = version & 0xff;
    return std::to_string(number / 10) + "." + std::to_string(number % 10);
}

void line(std::string& out, std::string_view key, std::string_view value) {
    out.append(key);
    out += ": ";
    out.append(value);
    out += "\r\n";
}

void describeMember(std::string& out, const std::string& listed, const Entry& entry) {
    line(out, "member", escapeInfoValue(listed));
    line(out, "kind", entry.isFolder() ? "folder" : entry.isSymlink() ? "link" : "file");
    line(out, "size", std::to_string(entry.size));
    line(out, "packed-size", std::to_string(entry.packedSize));
    line(out, "ratio", formatRatio(entry.size, entry.packedSize));
    line(out, "method", methodTitle(realMethod(entry)));
    line(out, "crc", hex(entry.crc, 8));
    const MemberTime time = memberTime(entry);
    if (time.moment) {
        line(out, "modified", std::to_string(*time.moment));
    }
    line(out, "time-source", time.source);
    line(out, "dos-time", dosTimeText(entry));
    line(out, "attributes", hex(entry.externalAttributes & 0xff, 2));
    if (const std::optional<uint32_t> mode = entry.unixMode()) {
        char text[16];
        std::snprintf(text, sizeof text, "%06o", static_cast<unsigned>(*mode));
        line(out, "unix-mode", text);
    }
    line(out, "encryption", encryptionOf(entry));
    const unsigned system = entry.versionMadeBy >> 8;
    const char* name = systemName(system);
    line(out, "made-by",
         (name != nullptr ? std::string(name) : "system " + std::to_string(system)) + " " +
             versionText(entry.versionMadeBy));
    line(out, "version-needed", versionText(entry.versionNeeded));
    line(out, "flags", hex(entry.flags, 4));
    line(out, "comment", escapeInfoValue(textAsUtf8(entry.comment)));
}

// What the archive's own section counts, member by member.
struct Summary {
    uint64_t files = 0;
    uint64_t folders = 0;
    uint64_t size = 0;
    uint64_t packedSize = 0;
    std::optional<int64_t> newest;
    bool zip64Records = false;
    std::map<std::string, uint64_t> encryptions;
    std::map<std::string, uint64_t> methods;

    void add(const Entry& entry, bool masked) {
        zip64Records = zip64Records || masked;
        if (entry.isFolder()) {
            ++folders;
        } else {
            ++files;
            ++methods[methodTitle(realMethod(entry))];
        }
        size += entry.size;
        packedSize += entry.packedSize;
        const int64_t when = entry.modificationTime();
        newest = newest ? std::max(*newest, when) : when;
        if ((entry.flags & kFlagEncrypted) != 0) {
            ++encryptions[encryptionOf(entry)];
        }
    }
};

std::string counted(const std::map<std::string, uint64_t>& counts) {
    std::string text;
    for (const auto& [name, count] : counts) {
        text += text.empty() ? "" : ", ";
        text += name + " " + std::to_string(count);
    }
    return text;
}

} // namespace

std::string escapeInfoValue(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (byte < 0x20 || byte == 0x7f) {
                out += "\\x" + hex(byte, 2);
            } else {
                out += c;
            }
        }
    }
    return out;
}

std::string textAsUtf8(std::string_view raw) {
    return isValidUtf8(raw) ? std::string(raw) : decodeCp437(raw);
}

Result<std::string> describeArchive(const std::string& archiveLabel, int fd, const std::string& path,
                                    const std::vector<std::string>& memberNames, Problems& problems) {
    Result<DirectoryPlace> place = locateDirectory(fd, path);
    if (!place.ok()) {
        return place.error();
    }
    // The wanted members by the key extraction finds them by; each name's section comes in the
    // order the names were given.
    std::unordered_map<std::string, std::vector<size_t>> wanted;
    for (size_t k = 0; k < memberNames.size(); ++k) {
        wanted[matchKey(memberNames[k])].push_back(k);
    }
    std::vector<std::vector<std::pair<std::string, Entry>>> found(memberNames.size());
    Summary summary;
    if (place->fileSize != 0) {
        DirectoryReader reader(fd, path, *place, kInfoWindow);
        Entry entry;
        std::string listed;
        if (Status walked = reader.forEach([&](const CentralRecord& record) -> Status {
                if (Status read = readEntry(record, place->prefixShift, reader.records(), path, entry);
                    !read.ok()) {
                    return read;
                }
                summary.add(entry, record.isMasked());
                if (!wanted.empty()) {
                    listed = listedName(entry.name);
                    if (const auto hit = wanted.find(matchKey(listed)); hit != wanted.end()) {
                        for (size_t k : hit->second) {
                            found[k].emplace_back(listed, entry);
                        }
                    }
                }
                return Status::success();
            });
            !walked.ok()) {
            return walked.error();
        }
    }
    std::string out = "PKZIP25.EXE archive information\r\n";
    line(out, "archive", escapeInfoValue(archiveLabel));
    line(out, "file-size", std::to_string(place->fileSize));
    line(out, "members", std::to_string(summary.files + summary.folders));
    line(out, "files", std::to_string(summary.files));
    line(out, "folders", std::to_string(summary.folders));
    line(out, "size", std::to_string(summary.size));
    line(out, "packed-size", std::to_string(summary.packedSize));
    line(out, "ratio", formatRatio(summary.size, summary.packedSize));
    if (summary.newest) {
        line(out, "newest", std::to_string(*summary.newest));
    }
    line(out, "zip64", place->zip64EndOffset || summary.zip64Records ? "yes" : "no");
    uint64_t encrypted = 0;
    for (const auto& [name, count] : summary.encryptions) {
        encrypted += count;
    }
    line(out, "encrypted", std::to_string(encrypted));
    line(out, "encryption", counted(summary.encryptions));
    line(out, "methods", counted(summary.methods));
    line(out, "comment-bytes", std::to_string(place->comment.size()));
    line(out, "comment", escapeInfoValue(textAsUtf8(place->comment)));
    for (size_t k = 0; k < memberNames.size(); ++k) {
        if (found[k].empty()) {
            line(out, "member", escapeInfoValue(memberNames[k]));
            line(out, "error", "no such member in the archive");
            problems.push_back(memberNames[k] + ": no such member in the archive");
        }
        for (const auto& [listed, entry] : found[k]) {
            describeMember(out, listed, entry);
        }
    }
    return out;
}

std::string commentProblem(std::string_view comment) {
    if (comment.size() > kMaximumCommentBytes) {
        return "the comment has " + std::to_string(comment.size()) +
               " bytes; an archive comment holds at most " + std::to_string(kMaximumCommentBytes);
    }
    if (comment.find("PK\x05\x06") != std::string_view::npos) {
        return "the comment holds the bytes of a ZIP end record, which readers would take for the archive's "
               "end";
    }
    return {};
}

Status replaceComment(const ArchivePaths& paths, int fd, const std::string& comment, Problems& problems) {
    Result<DirectoryPlace> place = locateDirectory(fd, paths.archive);
    if (!place.ok()) {
        return place.error();
    }
    if (place->fileSize == 0) {
        return platform::makeError(EINVAL, paths.archive + " is empty: an archive without members has no "
                                                           "end record to hold a comment");
    }
    const uint64_t endOffset = place->fileSize - kEndRecordSize - place->comment.size();
    unsigned char end[kEndRecordSize] = {};
    const bool endsFile = place->fileSize >= kEndRecordSize + place->comment.size() &&
                          readAt(fd, end, sizeof end, endOffset, paths.archive).ok() &&
                          get32(end) == kEndSignature && get16(end + 20) == place->comment.size() &&
                          endOffset >= place->centralOffset;
    if (!endsFile) {
        // Bytes after the end record's comment, or an end record that is not where it should be:
        // the whole archive is written again, with the new comment.
        Result<ArchiveIndex> index = readIndex(fd, paths.archive);
        if (!index.ok()) {
            return index.error();
        }
        index->comment = comment;
        const std::vector<bool> keep(index->entries.size(), true);
        return rewriteArchive(paths, fd, *index, keep, nullptr, problems);
    }
    // Only the end record changes. The journal keeps the old tail, so that a kill before the
    // change is complete has the next run put the old end record back.
    Result<MappedRange> tail = MappedRange::map(
        fd, place->centralOffset, static_cast<size_t>(place->fileSize - place->centralOffset), paths.archive);
    if (!tail.ok()) {
        return tail.error();
    }
    Result<AppendJournal> journal =
        AppendJournal::start(paths, fd, place->fileSize, place->centralOffset, tail->view());
    if (!journal.ok()) {
        return journal.error();
    }
    if (Status sealed = journal->seal(); !sealed.ok()) {
        return sealed;
    }
    std::string record(reinterpret_cast<const char*>(end), 20);
    put16(record, static_cast<uint32_t>(comment.size()));
    record += comment;
    Status status = writeAt(fd, record.data(), record.size(), endOffset, paths.archive);
    return journal->finish(fd, std::move(status), endOffset + record.size(), paths.archive,
                           "the old comment is put back by the next run");
}

} // namespace pkzip
