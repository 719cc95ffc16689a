// A second opinion on the archiver's own reader: every seed archive of the fuzz corpus and a few
// thousand deterministic damaged copies of them are read by libzip and by the archiver (in
// process). A member that libzip reads whole with a matching CRC must be listed by the archiver
// with the same name bytes, sizes and CRC and extracted with the same bytes; a member that the
// archiver extracts must be one that libzip reads without error, with the same bytes.

#include "extract.h"
#include "hostnames.h"
#include "listing.h"
#include "names.h"
#include "pkzip_support.h"
#include "replacedcheck.h"
#include "sandbox.h"
#include "winzipaes.h"
#include "zipformat.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <gtest/gtest.h>
#include <map>
#include <random>
#include <sys/stat.h>
#include <zip.h>
#include <zlib.h>

namespace pkziptest {
namespace {

struct LibzipMember {
    bool read = false; // read whole, CRC matching
    std::string rawName;
    std::string name; // as libzip decodes it
    uint64_t size = 0;
    uint64_t packedSize = 0;
    uint32_t crc = 0;
    std::string data;
    std::string error;
};

struct LibzipView {
    bool opened = false;
    std::string error;
    std::vector<LibzipMember> members;
};

// The password of the encrypted seeds; both readers are given it.
constexpr char kSeedPassword[] = "pellix";

// Members that libzip says are larger than this are not read (a damaged size can claim gigabytes).
constexpr uint64_t kLargest = 16u << 20;

LibzipView readWithLibzip(const std::string& path) {
    LibzipView view;
    int code = 0;
    zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY, &code);
    if (archive == nullptr) {
        view.error = "zip_open error " + std::to_string(code);
        return view;
    }
    view.opened = true;
    zip_set_default_password(archive, kSeedPassword);
    const zip_int64_t count = zip_get_num_entries(archive, 0);
    for (zip_int64_t i = 0; i < count; ++i) {
        LibzipMember member;
        const auto index = static_cast<zip_uint64_t>(i);
        zip_stat_t stat;
        const char* raw = zip_get_name(archive, index, ZIP_FL_ENC_RAW);
        const char* decoded = zip_get_name(archive, index, 0);
        if (raw == nullptr || decoded == nullptr || zip_stat_index(archive, index, 0, &stat) != 0) {
            member.error = "no name or stat";
            view.members.push_back(member);
            continue;
        }
        member.rawName = raw;
        member.name = decoded;
        member.size = stat.size;
        member.packedSize = stat.comp_size;
        member.crc = stat.crc;
        if (member.size > kLargest) {
            member.error = "too large to compare";
            view.members.push_back(member);
            continue;
        }
        zip_file_t* file = zip_fopen_index(archive, index, 0);
        if (file == nullptr) {
            member.error = std::string("zip_fopen: ") + zip_strerror(archive);
            view.members.push_back(member);
            continue;
        }
        char buffer[65536];
        zip_int64_t n = 0;
        while ((n = zip_fread(file, buffer, sizeof buffer)) > 0 && member.data.size() <= kLargest) {
            member.data.append(buffer, static_cast<size_t>(n));
        }
        if (n < 0) {
            member.error = std::string("zip_fread: ") + zip_error_strerror(zip_file_get_error(file));
        }
        zip_fclose(file);
        const auto crc = static_cast<uint32_t>(
            crc32_z(0, reinterpret_cast<const Bytef*>(member.data.data()), member.data.size()));
        member.read = n == 0 && member.data.size() == member.size && crc == member.crc;
        view.members.push_back(member);
    }
    zip_discard(archive);
    return view;
}

// The listing's rule for names, written out independently: control characters as their
// pictures, "\" as "/".
std::string expectedListed(const std::string& name) {
    std::string out;
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f) {
            const unsigned code = byte == 0x7f ? 0x2421 : 0x2400 + byte;
            out += static_cast<char>(0xe0 | (code >> 12));
            out += static_cast<char>(0x80 | ((code >> 6) & 0x3f));
            out += static_cast<char>(0x80 | (code & 0x3f));
        } else {
            out += c == '\\' ? '/' : c;
        }
    }
    return out;
}

// The path below the destination that a listed name is extracted to: empty and "." steps dropped,
// each name the one the listing stands for (control pictures made control characters again).
std::string expectedPath(const std::string& listed) {
    std::string path;
    size_t start = 0;
    while (start <= listed.size()) {
        const size_t end = std::min(listed.find('/', start), listed.size());
        const std::string part = listed.substr(start, end - start);
        if (!part.empty() && part != ".") {
            path += (path.empty() ? "" : "/") + platform::hostNameOfListed(part);
        }
        start = end + 1;
    }
    return path;
}

int removeEntry(const char* path, const struct stat*, int, struct FTW*) {
    return ::remove(path);
}

// What one extraction left below a folder: regular files (relative path and bytes) and folders.
struct Produced {
    std::vector<std::pair<std::string, std::string>> files;
    size_t folders = 0;
    size_t others = 0;
};

void collect(const std::string& folder, const std::string& relative, Produced& produced) {
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        return;
    }
    while (const dirent* item = ::readdir(dir)) {
        const std::string name = item->d_name;
        if (name == "." || name == "..") {
            continue;
        }
        const std::string path = folder + "/" + name;
        const std::string shown = relative.empty() ? name : relative + "/" + name;
        struct stat info {};
        ::lstat(path.c_str(), &info);
        if (S_ISDIR(info.st_mode)) {
            ++produced.folders;
            collect(path, shown, produced);
        } else if (S_ISREG(info.st_mode)) {
            produced.files.emplace_back(shown, testsupport::readFile(path));
        } else {
            ++produced.others;
        }
    }
    ::closedir(dir);
}

// The archive's records as the test reads them from the bytes, to tell why the two readers part.
class Layout {
public:
    explicit Layout(const std::string& bytes) : m_bytes(bytes) {
        const size_t from = bytes.size() > 22 + 65535 ? bytes.size() - 22 - 65535 : 0;
        for (size_t at = from; at + 22 <= bytes.size(); ++at) {
            if (u32(at) == 0x06054b50) {
                m_end = at;
                ++m_endRecords;
            }
        }
    }

    uint64_t u16(size_t at) const { return at + 2 <= m_bytes.size() ? pkzip::get16(p(at)) : 0; }
    uint64_t u32(size_t at) const { return at + 4 <= m_bytes.size() ? pkzip::get32(p(at)) : 0; }
    uint64_t u64(size_t at) const { return u32(at) | (u32(at + 4) << 32); }
    size_t size() const { return m_bytes.size(); }
    const std::string& bytes() const { return m_bytes; }
    size_t endRecords() const { return m_endRecords; }
    // The last end record, which the archiver reads; 0 when there is none.
    size_t end() const { return m_end; }
    bool hasZip64End() const { return m_end >= 20 && u32(m_end - 20) == 0x07064b50; }

    // Where a member's data start by its local header, or 0 when no local header is there.
    uint64_t dataStart(uint64_t localOffset) const {
        if (localOffset + 30 > m_bytes.size() || u32(localOffset) != 0x04034b50) {
            return 0;
        }
        return localOffset + 30 + u16(localOffset + 26) + u16(localOffset + 28);
    }

    // The directory records, walked by their own lengths: their disk numbers, and whether their
    // extra fields fit in the extra length.
    struct Record {
        uint64_t disk = 0;
        bool extrasFit = true;
    };
    std::vector<Record> records(uint64_t centralOffset, uint64_t centralSize) const {
        std::vector<Record> found;
        for (uint64_t at = centralOffset; at + 46 <= centralOffset + centralSize && u32(at) == 0x02014b50;
             at += 46 + u16(at + 28) + u16(at + 30) + u16(at + 32)) {
            Record record;
            record.disk = u16(at + 34);
            const uint64_t extra = at + 46 + u16(at + 28);
            uint64_t field = extra;
            while (field + 4 <= extra + u16(at + 30)) {
                field += 4 + u16(field + 2);
            }
            record.extrasFit = field == extra + u16(at + 30);
            found.push_back(record);
        }
        return found;
    }

private:
    const unsigned char* p(size_t at) const {
        return reinterpret_cast<const unsigned char*>(m_bytes.data() + at);
    }

    const std::string& m_bytes;
    size_t m_end = 0;
    size_t m_endRecords = 0;
};

// The refusals that the archiver makes on purpose, for safety, where libzip reads the data.
std::string safetyRefusal(const std::string& problem) {
    for (const char* reason : {"climbs out", "absolute path", "names a drive", "no file name",
                               "symbolic link", "members listed under this name", "it is encrypted"}) {
        if (problem.find(reason) != std::string::npos) {
            return std::string("the archiver refuses a member for safety: ") + reason;
        }
    }
    return "";
}

bool deflateEndsWithin(const std::string& packed) {
    z_stream stream{};
    inflateInit2(&stream, -15);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
    stream.avail_in = static_cast<uInt>(packed.size());
    std::vector<unsigned char> out(1 << 16);
    int result = Z_OK;
    while (result == Z_OK) {
        stream.next_out = out.data();
        stream.avail_out = static_cast<uInt>(out.size());
        result = inflate(&stream, Z_NO_FLUSH);
    }
    inflateEnd(&stream);
    return result == Z_STREAM_END;
}

// Why the archiver may refuse a member that libzip reads: libzip takes a member's data from its
// declared place and stops at its declared size, where the archiver also checks that the local
// header is there, that the data stay clear of the next record (overlapping members are the
// shape of zip bombs), and that a deflate stream ends within its packed size.
std::string refusalCheckedByTest(const Layout& layout, const pkzip::ArchiveIndex& index, size_t position,
                                 const std::string& problem) {
    const pkzip::Entry& entry = index.entries[position];
    const uint64_t start = layout.dataStart(entry.localOffset);
    if (problem.find("local header is damaged") != std::string::npos && start == 0) {
        return "the archiver refuses a member with no local header signature";
    }
    if (problem.find("overlap") != std::string::npos ||
        problem.find("run into the central directory") != std::string::npos) {
        const uint64_t end = std::max<uint64_t>(start, entry.localOffset + 30) + entry.packedSize;
        bool overlaps = end > index.centralOffset || end < entry.packedSize;
        for (size_t j = 0; j < index.entries.size(); ++j) {
            const uint64_t other = index.entries[j].localOffset;
            overlaps = overlaps || (j != position && other >= entry.localOffset && other < end);
        }
        if (overlaps) {
            return "the archiver refuses a member whose data overlap the next record";
        }
    }
    if (problem.find("end early") != std::string::npos && entry.method == pkzip::kMethodDeflated &&
        start != 0 && start + entry.packedSize <= layout.size() &&
        !deflateEndsWithin(layout.bytes().substr(start, entry.packedSize))) {
        return "the archiver refuses a deflate stream that runs past its packed size";
    }
    return "";
}

class DifferentialTest : public ::testing::Test {
protected:
    testsupport::Sandbox m_box;
    // Thousands of small extractions: in memory where the machine has it, since on a busy disk
    // the folders made and removed for them cost more than the rest of the test.
    std::string m_scratch = scratchFolder(m_box.root());
    std::string m_archive = m_scratch + "/input.zip";
    std::string m_out = m_scratch + "/out";
    std::vector<std::string> m_faults;
    std::map<std::string, size_t> m_byDesign;
    size_t m_membersCompared = 0;

    ~DifferentialTest() override { ::nftw(m_scratch.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS); }

    static std::string scratchFolder(const std::string& sandbox) {
        std::string pattern = "/dev/shm/pkzip-diff-XXXXXX";
        if (::mkdtemp(pattern.data()) != nullptr) {
            return pattern;
        }
        ::mkdir((sandbox + "/scratch").c_str(), 0700);
        return sandbox + "/scratch";
    }

    void fault(const std::string& where, const std::string& what) { m_faults.push_back(where + ": " + what); }

    // A difference that is by design, when reason names one; counted and shown.
    bool byDesign(const std::string& reason) {
        if (reason.empty()) {
            return false;
        }
        ++m_byDesign[reason];
        return true;
    }

    // Extracts one member, by its listed name, into an empty folder; returns the problems.
    pkzip::Problems extractOne(int fd, const pkzip::ArchiveIndex& index, const std::string& listed,
                               Produced& produced) {
        ::nftw(m_out.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
        const pkzip::ArchivePaths paths = pkzip::pathsFor(m_archive);
        pkzip::Problems problems;
        pkzip::extractMembers(paths, fd, index,
                              pkzip::ExtractRequest{{listed}, m_out, true, pkzip::Secrets{kSeedPassword}, {}},
                              problems);
        collect(m_out, "", produced);
        return problems;
    }

    // Compares the two readers on one archive. With PKZIP_DIFF_KEEP set to a folder, an input on
    // which they differ is kept there for a closer look.
    void compare(const std::string& where, const std::string& bytes) {
        const size_t before = m_faults.size();
        compareReaders(where, bytes);
        const char* keep = std::getenv("PKZIP_DIFF_KEEP");
        if (keep != nullptr && m_faults.size() > before) {
            testsupport::writeFile(std::string(keep) + "/" + where + ".zip", bytes);
        }
    }

    // Why the archiver refuses an archive that libzip reads, where that is by design.
    std::string archiveRefusalByDesign(const Layout& layout, const std::string& error) {
        if (layout.endRecords() > 1) {
            return "the archiver refuses the archive: it reads the last end record only";
        }
        if (error.find("several disks") != std::string::npos) {
            return "the archiver refuses the archive: its end record names another disk";
        }
        return "";
    }

    // Why libzip refuses to open an archive whose members the archiver reads: each is a damage
    // that the archiver reads past, member by member, with every member's CRC still checked.
    static std::string libzipRefusalOfDamage(const Layout& layout, const pkzip::ArchiveIndex& index) {
        if (index.prefixShift != 0) {
            return "offsets that count from after a prefix (or bytes put in), which libzip does not correct";
        }
        if (layout.hasZip64End() && layout.u64(layout.end() - 12) != layout.end() - 76) {
            return "the ZIP64 locator does not point at the ZIP64 end record before it";
        }
        if (layout.end() + 22 + layout.u16(layout.end() + 20) > layout.size()) {
            return "the end record's comment runs past the end of the file (cut short)";
        }
        if (index.centralOffset + index.centralSize != layout.end() - (layout.hasZip64End() ? 76 : 0)) {
            return "the directory does not end at the end record";
        }
        if (!layout.hasZip64End() && layout.u16(layout.end() + 8) != layout.u16(layout.end() + 10)) {
            return "the end record's count for this disk differs from the total";
        }
        if (layout.hasZip64End() &&
            (layout.u32(layout.end() - 16) != 0 || layout.u32(layout.end() - 4) > 1)) {
            return "the ZIP64 locator names other disks";
        }
        const uint64_t zip64End = index.centralOffset + index.centralSize;
        if (layout.hasZip64End() && layout.u64(zip64End + 24) != layout.u64(zip64End + 32)) {
            return "the ZIP64 end record's count for this disk differs from the total";
        }
        if (layout.hasZip64End() && (layout.u32(zip64End + 16) != 0 || layout.u32(zip64End + 20) != 0)) {
            return "the ZIP64 end record names other disks";
        }
        for (const Layout::Record& record : layout.records(index.centralOffset, index.centralSize)) {
            if (record.disk != 0) {
                return "a directory record names another disk";
            }
            if (!record.extrasFit) {
                return "a directory record's extra fields run past their length";
            }
        }
        for (const pkzip::Entry& entry : index.entries) {
            if ((entry.flags & pkzip::kFlagUtf8) != 0 && !pkzip::isValidUtf8(entry.rawName)) {
                return "a name flagged UTF-8 is not UTF-8";
            }
            if (entry.localOffset + 30 > index.centralOffset) {
                return "a record points past the member data";
            }
            const std::optional<pkzip::AesField> aes = pkzip::findAesField(entry.extra);
            if (entry.method == pkzip::kMethodAes && (!aes || pkzip::aesSaltSize(aes->strength) == 0)) {
                return "a member's WinZip AES field is damaged";
            }
        }
        return "";
    }

    void compareNames(const std::string& member, const pkzip::Entry& entry, const ListedMember& listed,
                      const LibzipMember& theirs) {
        // libzip hands names out as C strings and shows control bytes as CP437 pictures; the
        // listing shows them as control pictures, so such names are checked against their bytes.
        const bool controls = std::any_of(entry.rawName.begin(), entry.rawName.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
        });
        if (controls) {
            if (pkzip::isAscii(entry.rawName) && listed.path != expectedListed(entry.rawName)) {
                fault(member, "listed as \"" + listed.path + "\"");
            }
            return;
        }
        // libzip gives a name from a Unicode path field as the stored name.
        if (theirs.rawName != entry.rawName && theirs.rawName != entry.name) {
            fault(member, "stored name differs from libzip's");
        }
        if (listed.path == expectedListed(theirs.name)) {
            return;
        }
        // A member marked a folder only by the MS-DOS attribute is listed as a folder.
        if ((entry.externalAttributes & 0x10) != 0 && entry.size == 0 &&
            listed.path == expectedListed(theirs.name) + "/" &&
            byDesign("a folder by its MS-DOS attribute")) {
            return;
        }
        // libzip takes no Unicode path field that holds a control byte; the listing shows it.
        const bool fieldControls =
            entry.name != entry.rawName && std::any_of(entry.name.begin(), entry.name.end(), [](char c) {
                return static_cast<unsigned char>(c) < 0x20 || c == 0x7f;
            });
        if (fieldControls && byDesign("libzip ignores a Unicode path field that holds a control byte")) {
            return;
        }
        fault(member, "listed as \"" + listed.path + "\", libzip reads \"" + theirs.name + "\"");
    }

    void compareReaders(const std::string& where, const std::string& bytes) {
        testsupport::writeFile(m_archive, bytes);
        const Layout layout(bytes);
        const LibzipView libzip = readWithLibzip(m_archive);
        pkzip::Result<pkzip::FileHandle> file = pkzip::openFile(m_archive, O_RDONLY);
        ASSERT_TRUE(file.ok());
        const pkzip::Result<pkzip::ArchiveIndex> index = pkzip::readIndex(file->get(), m_archive);
        const bool libzipReadSome = std::any_of(libzip.members.begin(), libzip.members.end(),
                                                [](const LibzipMember& m) { return m.read; });
        // The tool lists without an index, reading the directory in windows: the same text and the
        // same verdict.
        const std::string listingText = pkzip::formatListing("C:\\input.zip", index.ok() ? &*index : nullptr);
        std::string streamed;
        const pkzip::ListingOutcome outcome =
            pkzip::streamListing("C:\\input.zip", file->get(), m_archive, [&](std::string_view piece) {
                streamed += piece;
                return true;
            });
        if (streamed != listingText || outcome.archive.ok() != index.ok()) {
            fault(where, "the streamed listing differs from the listing of the index");
        }
        if (!index.ok()) {
            const std::string why =
                libzipReadSome ? archiveRefusalByDesign(layout, index.error().message) : "";
            if (libzipReadSome && !byDesign(why)) {
                fault(where,
                      "libzip reads members of an archive the archiver refuses: " + index.error().message);
            }
            return;
        }
        // The add's search for the members new ones replace, which skips most records by their
        // stored bytes, finds exactly those whose listed name is one of the new ones.
        if (const std::string why = replacedSearchDiffers(file->get(), m_archive, *index); !why.empty()) {
            fault(where, why);
        }
        const Listing listing = parseListing(listingText);
        if (listing.members.size() != index->entries.size()) {
            fault(where, "the listing shows " + std::to_string(listing.members.size()) + " of " +
                             std::to_string(index->entries.size()) + " members");
            return;
        }
        for (size_t i = 0; i < index->entries.size(); ++i) {
            const std::string member = where + " member " + std::to_string(i + 1);
            const pkzip::Entry& entry = index->entries[i];
            const ListedMember& listed = listing.members[i];
            const LibzipMember* theirs = i < libzip.members.size() ? &libzip.members[i] : nullptr;
            const bool theyRead = theirs != nullptr && theirs->read;
            if (theyRead) {
                ++m_membersCompared;
                compareNames(member, entry, listed, *theirs);
                const std::string crcText = listed.line.substr(listing.starts[6], 8);
                char expectedCrc[16];
                std::snprintf(expectedCrc, sizeof expectedCrc, "%08x", static_cast<unsigned>(theirs->crc));
                if (listed.size != theirs->size || listed.packedSize != theirs->packedSize ||
                    crcText != expectedCrc) {
                    fault(member, "listed sizes or CRC differ from libzip's");
                }
            }
            if ((theirs != nullptr && theirs->size > kLargest) || entry.size > kLargest) {
                continue;
            }
            Produced produced;
            const pkzip::Problems problems = extractOne(file->get(), *index, listed.path, produced);
            if (!problems.empty()) {
                if (!produced.files.empty()) {
                    fault(member, "a refused member left a file behind");
                }
                if (theyRead && !byDesign(safetyRefusal(problems.front())) &&
                    !byDesign(refusalCheckedByTest(layout, *index, i, problems.front()))) {
                    fault(member, "libzip reads it, the archiver refuses it: " + problems.front());
                }
                continue;
            }
            if (entry.isFolder()) {
                // A folder is made whatever data its record claims; nothing of them is read.
                if (!produced.files.empty() || produced.folders == 0) {
                    fault(member, "a folder member was not made a folder");
                }
                continue;
            }
            if (!theyRead) {
                // libzip 1.7 decodes fewer methods than the archiver (LZMA, Zstandard, Deflate64, PPMd
                // and the MS-DOS ones not at all); there the member's CRC is the only check.
                if (theirs != nullptr &&
                    theirs->error.find("Compression method not supported") != std::string::npos &&
                    byDesign("libzip does not decode method " + std::to_string(entry.method))) {
                    continue;
                }
                const std::string why = libzip.opened ? "" : libzipRefusalOfDamage(layout, *index);
                if (byDesign(why.empty() ? why : "libzip refuses the archive: " + why)) {
                    continue;
                }
                const std::optional<pkzip::AesField> aes = pkzip::findAesField(entry.extra);
                if (theirs != nullptr && aes && aes->vendorVersion == 2 &&
                    theirs->error.find("CRC error") != std::string::npos &&
                    byDesign("a WinZip AE-2 member has no CRC: the archiver checks its authentication code, "
                             "libzip a CRC from a damaged local header")) {
                    continue;
                }
                fault(member, "the archiver extracts it, libzip rejects its data: " +
                                  (theirs == nullptr ? libzip.error : theirs->error));
            } else if (produced.files.size() != 1 || produced.others != 0) {
                fault(member, "extraction made " + std::to_string(produced.files.size()) + " files");
            } else if (produced.files[0].first != expectedPath(listed.path)) {
                fault(member, "extracted to " + produced.files[0].first);
            } else if (produced.files[0].second != theirs->data) {
                fault(member, "extracted bytes differ from libzip's");
            }
        }
    }
};

std::vector<std::pair<std::string, std::string>> seeds() {
    std::vector<std::pair<std::string, std::string>> found;
    if (DIR* dir = ::opendir(PKZIP_SEED_DIR)) {
        while (const dirent* item = ::readdir(dir)) {
            const std::string name = item->d_name;
            if (name.size() > 4 && name.compare(name.size() - 4, 4, ".zip") == 0) {
                found.emplace_back(name, testsupport::readFile(std::string(PKZIP_SEED_DIR) + "/" + name));
            }
        }
        ::closedir(dir);
    }
    std::sort(found.begin(), found.end());
    return found;
}

// Damage aimed where readers go wrong: a field of a record (a size, an offset, a count, a
// length) set to an edge value, or bytes changed, cut, inserted or repeated anywhere.
std::string mutate(const std::string& seed, std::mt19937& random) {
    struct Field {
        uint32_t signature;
        std::vector<std::pair<int, int>> fields; // offset and width
    };
    static const std::vector<Field> records = {
        {0x02014b50,
         {{4, 2},
          {8, 2},
          {10, 2},
          {16, 4},
          {20, 4},
          {24, 4},
          {28, 2},
          {30, 2},
          {32, 2},
          {34, 2},
          {38, 4},
          {42, 4}}},
        {0x04034b50, {{6, 2}, {8, 2}, {14, 4}, {18, 4}, {22, 4}, {26, 2}, {28, 2}}},
        {0x06054b50, {{4, 2}, {6, 2}, {8, 2}, {10, 2}, {12, 4}, {16, 4}, {20, 2}}},
        {0x06064b50, {{4, 8}, {16, 4}, {20, 4}, {24, 8}, {32, 8}, {40, 8}, {48, 8}}},
        {0x07064b50, {{4, 4}, {8, 8}, {16, 4}}},
        {0x08074b50, {{4, 4}, {8, 4}, {12, 4}}},
    };
    std::string out = seed;
    const int steps = 1 + static_cast<int>(random() % 3);
    for (int step = 0; step < steps && !out.empty(); ++step) {
        const uint32_t kind = random() % 10;
        if (kind < 6) {
            std::vector<std::pair<size_t, const Field*>> found;
            for (size_t at = 0; at + 4 <= out.size(); ++at) {
                const auto* p = reinterpret_cast<const unsigned char*>(out.data() + at);
                const uint32_t signature = pkzip::get32(p);
                for (const Field& record : records) {
                    if (record.signature == signature) {
                        found.emplace_back(at, &record);
                    }
                }
            }
            if (found.empty()) {
                continue;
            }
            const auto& [at, record] = found[random() % found.size()];
            const auto [offset, width] = record->fields[random() % record->fields.size()];
            if (at + static_cast<size_t>(offset + width) > out.size()) {
                continue;
            }
            uint64_t old = 0;
            for (int b = width - 1; b >= 0; --b) {
                old = (old << 8) | static_cast<unsigned char>(out[at + static_cast<size_t>(offset + b)]);
            }
            const uint64_t choices[] = {
                0,       1,        ~uint64_t{0}, old + 1, old - 1, old + random() % 64, old - random() % 64,
                old * 2, random(), 0x7fffffff,   0xffff};
            uint64_t value = choices[random() % std::size(choices)];
            for (int b = 0; b < width; ++b) {
                out[at + static_cast<size_t>(offset + b)] = static_cast<char>(value & 0xff);
                value >>= 8;
            }
        } else if (kind == 6) {
            out[random() % out.size()] = static_cast<char>(random());
        } else if (kind == 7) {
            out.resize(random() % out.size());
        } else if (kind == 8) {
            out.insert(random() % (out.size() + 1),
                       std::string(1 + random() % 40, static_cast<char>(random())));
        } else {
            const size_t from = random() % out.size();
            const size_t length = std::min<size_t>(1 + random() % 64, out.size() - from);
            const std::string piece = out.substr(from, length);
            if (random() % 2 == 0) {
                out.erase(from, length);
            } else {
                out.insert(random() % (out.size() + 1), piece);
            }
        }
    }
    return out;
}

constexpr int kMutationsPerSeed = 100;

TEST_F(DifferentialTest, TheArchiverAndLibzipAgreeOnSeedsAndDamagedCopies) {
    const auto corpus = seeds();
    ASSERT_GE(corpus.size(), 20u) << "the seed corpus is missing";
    for (size_t s = 0; s < corpus.size(); ++s) {
        const auto& [name, bytes] = corpus[s];
        compare(name, bytes);
        // From the seed's name, so that a seed added to the corpus changes no other's copies.
        uint32_t seedHash = 2166136261u;
        for (const char c : name) {
            seedHash = (seedHash ^ static_cast<unsigned char>(c)) * 16777619u;
        }
        for (int n = 0; n < kMutationsPerSeed; ++n) {
            // Each case has its own generator, so that one can be replayed alone.
            std::mt19937 random(seedHash + static_cast<uint32_t>(n));
            compare(name + " mutation " + std::to_string(n), mutate(bytes, random));
        }
    }
    std::string shown;
    for (size_t k = 0; k < std::min<size_t>(m_faults.size(), 40); ++k) {
        shown += "\n  " + m_faults[k];
    }
    EXPECT_TRUE(m_faults.empty()) << m_faults.size() << " differences:" << shown;
    std::printf("%zu members compared\n", m_membersCompared);
    for (const auto& [reason, count] : m_byDesign) {
        std::printf("by design, %zu times: %s\n", count, reason.c_str());
    }
    // The damaged copies must still leave much for the two readers to agree on.
    EXPECT_GT(m_membersCompared, corpus.size() * kMutationsPerSeed / 4);
}

} // namespace
} // namespace pkziptest
