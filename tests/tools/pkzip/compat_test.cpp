// Archives users already have: made by zip, 7z and Python's zipfile, with and without data
// descriptors, and by hand where no tool at hand writes the case. The tool must read what the
// peers read, byte for byte.

#include "pkzip_fixture.h"

#include <algorithm>
#include <random>
#include <sys/stat.h>
#include <zlib.h>

namespace pkziptest {
namespace {

// Sizes around the boundaries of the tool's buffers: 256 KiB reads and decompression output,
// 1 MiB streaming chunks and parallel compression, 8 MiB whole-file compression.
std::vector<size_t> boundarySizes() {
    std::vector<size_t> sizes;
    for (size_t n : {1u, 2u, 3u, 4u, 8u}) {
        for (long k : {-1L, 0L, 1L, 100L, 160L}) {
            sizes.push_back(static_cast<size_t>(static_cast<long>(n * (256u << 10)) + k));
        }
    }
    for (long k : {-1L, 0L, 1L, 160L}) {
        sizes.push_back(static_cast<size_t>(static_cast<long>(8u << 20) + k));
    }
    return sizes;
}

class CompatTest : public PkzipTest {
protected:
    // Files of every boundary size: zeros, text and noise. Returns their names below "sweep/".
    std::vector<std::string> writeSweep() const;
};

std::vector<std::string> CompatTest::writeSweep() const {
    std::string text;
    while (text.size() < (8u << 20) + 200) {
        text += "log line " + std::to_string(text.size()) + ": nothing happened\n";
    }
    std::mt19937 random(5);
    std::string noise((8u << 20) + 200, '\0');
    for (char& c : noise) {
        c = static_cast<char>(random());
    }
    std::vector<std::string> names;
    for (size_t size : boundarySizes()) {
        for (const auto& [kind, source] : {std::pair<const char*, const std::string*>{"zeros", nullptr},
                                           {"text", &text},
                                           {"noise", &noise}}) {
            const std::string name = std::string(kind) + "-" + std::to_string(size);
            write("sweep/" + name, source == nullptr ? std::string(size, '\0') : source->substr(0, size));
            names.push_back(name);
        }
    }
    return names;
}

TEST_F(CompatTest, EverySizeAroundTheBufferBoundariesComesBackFromItsOwnArchive) {
    const std::vector<std::string> names = writeSweep();
    std::vector<std::string> files;
    for (const std::string& name : names) {
        files.push_back(win("sweep/" + name));
    }
    ASSERT_EQ(add("own.zip", files, false).exitCode, 0);
    const ToolRun run = extract("own.zip", names, win("back"), false);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    for (const std::string& name : names) {
        EXPECT_TRUE(exists("back/" + name) && read("back/" + name) == read("sweep/" + name)) << name;
    }
}

TEST_F(CompatTest, EverySizeAroundTheBufferBoundariesComesBackFromThePeersArchives) {
    // The peers store noise as it is; the compressible files are the ones that inflate far.
    std::vector<std::string> names = writeSweep();
    shell("rm sweep/noise-*");
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string& name) { return name.rfind("noise", 0) == 0; }),
                names.end());
    write("pyzip.py", "import sys, zipfile\n"
                      "out = sys.stdout.buffer if sys.argv[1] == '-' else sys.argv[1]\n"
                      "with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED) as z:\n"
                      "    for name in sys.argv[2:]:\n"
                      "        z.write(name)\n");
    // The streamed makers cannot seek back to the local header, so they write data descriptors.
    const std::vector<std::pair<std::string, std::string>> makers = {
        {"zip", "zip -q ../peer.zip *"},
        {"zip, streamed", "zip -q - * | cat > ../peer.zip"},
        {"7z", "7z a -tzip -bd ../peer.zip * >/dev/null"},
        {"Python zipfile", "python3 ../pyzip.py ../peer.zip *"},
        {"Python zipfile, streamed", "python3 ../pyzip.py - * | cat > ../peer.zip"},
    };
    for (const auto& [maker, command] : makers) {
        SCOPED_TRACE(maker);
        shell("rm -rf peer.zip back && cd sweep && " + command);
        const ToolRun run = extract("peer.zip", names, win("back"), false);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        for (const std::string& name : names) {
            EXPECT_TRUE(exists("back/" + name) && read("back/" + name) == read("sweep/" + name)) << name;
        }
    }
}

} // namespace
} // namespace pkziptest

namespace pkziptest {
namespace {

const std::string kGerman = "Gr\xc3\xbc\xc3\x9f"
                            "e.txt";
const std::string kJapanese = "\xe6\x97\xa5\xe6\x9c\xac";
const std::string kEmoji = "\xf0\x9f\x98\x80.txt";

class NamesFromMaker : public PkzipTest, public ::testing::WithParamInterface<const char*> {};

// zip on Linux stores UTF-8 names without saying so; 7z and Python's zipfile set the UTF-8 flag.
TEST_P(NamesFromMaker, AreListedExtractedAndDeletedByTheirRealNames) {
    const std::vector<std::string> files = {kGerman, kJapanese + "/" + kJapanese + ".txt", kEmoji,
                                            "plain.txt"};
    for (const std::string& file : files) {
        write("src/" + file, "contents of " + file);
    }
    write("pyzip.py", "import os, sys, zipfile\n"
                      "with zipfile.ZipFile(sys.argv[1], 'w') as z:\n"
                      "    for folder, _, names in os.walk('.'):\n"
                      "        for name in names:\n"
                      "            z.write(os.path.join(folder, name)[2:])\n");
    shell(std::string("cd src && ") + GetParam() + " >/dev/null");

    std::vector<std::string> listed;
    for (const std::string& path : memberPaths("n.zip")) {
        if (path.back() != '/') {
            listed.push_back(path);
        }
    }
    std::sort(listed.begin(), listed.end());
    std::vector<std::string> expected = files;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(listed, expected);

    const ToolRun run = extract("n.zip", files, win("out"), true);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    for (const std::string& file : files) {
        EXPECT_TRUE(exists("out/" + file) && read("out/" + file) == "contents of " + file) << file;
    }

    // The other members keep their stored bytes: names and flags as the maker wrote them.
    std::vector<StoredRecord> before = storedRecords(read("n.zip"));
    const ToolRun removed = remove("n.zip", {kGerman});
    EXPECT_EQ(removed.exitCode, 0) << removed.err;
    before.erase(std::remove_if(before.begin(), before.end(),
                                [](const StoredRecord& record) { return record.rawName == kGerman; }),
                 before.end());
    const std::vector<StoredRecord> after = storedRecords(read("n.zip"));
    ASSERT_EQ(after.size(), before.size());
    for (size_t i = 0; i < after.size(); ++i) {
        EXPECT_EQ(after[i].rawName, before[i].rawName);
        EXPECT_EQ(after[i].flags, before[i].flags) << after[i].rawName;
    }
    // unzip compares flagged names in its own locale's terms; in the C locale it sees a mismatch.
    shell("LC_ALL=C.UTF-8 unzip -tq n.zip");
}

INSTANTIATE_TEST_SUITE_P(Makers, NamesFromMaker,
                         ::testing::Values("zip -q -r ../n.zip .", "7z a -tzip -bd ../n.zip .",
                                           "python3 ../pyzip.py ../n.zip"));

// The Info-ZIP Unicode path field: version 1, the CRC-32 of the stored name, the UTF-8 name.
std::string unicodePathField(const std::string& stored, const std::string& utf8, uint32_t crcDelta = 0) {
    std::string field = std::string("up", 2);
    const size_t size = 5 + utf8.size();
    field += static_cast<char>(size & 0xff);
    field += static_cast<char>(size >> 8);
    field += '\x01';
    const uint32_t crc = static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(stored.data()),
                                                     static_cast<uInt>(stored.size()))) +
                         crcDelta;
    for (int shift = 0; shift < 32; shift += 8) {
        field += static_cast<char>((crc >> shift) & 0xff);
    }
    return field + utf8;
}

TEST_F(PkzipTest, UnflaggedNamesAreReadAsTheirFieldsUtf8OrCp437) {
    struct Case {
        const char* what;
        std::string stored;
        uint16_t flags;
        std::string extra;
        std::string listed;
    };
    const std::vector<Case> cases = {
        {"CP437 bytes",
         "\x81"
         "ber.txt",
         0, "",
         "\xc3\xbc"
         "ber.txt"},
        {"Latin-1, not UTF-8", "caf\xe9.txt", 0, "", "caf\xce\x98.txt"},
        {"Shift JIS, not UTF-8", "\x93\xfa\x96\x7b.txt", 0, "", "\xc3\xb4\xc2\xb7\xc3\xbb{.txt"},
        {"UTF-8 without the flag", "na\xc3\xafve.txt", 0, "", "na\xc3\xafve.txt"},
        {"flagged UTF-8", "\xe6\x97\xa5.txt", 0x0800, "", "\xe6\x97\xa5.txt"},
        {"Unicode path field", "\x94l.txt", 0, unicodePathField("\x94l.txt", "\xc3\xb6l-field.txt"),
         "\xc3\xb6l-field.txt"},
        {"Unicode path field with a stale CRC", "\x84pfel.txt", 0,
         unicodePathField("\x84pfel.txt", "stale.txt", 1), "\xc3\xa4pfel.txt"},
    };
    std::vector<FakeMember> members;
    for (const Case& c : cases) {
        FakeMember m;
        m.name = c.stored;
        m.flags = c.flags;
        m.extra = c.extra;
        m.data = std::string("data of ") + c.what;
        members.push_back(m);
    }
    write("names.zip", buildArchive(members));
    const std::vector<std::string> listed = memberPaths("names.zip");
    ASSERT_EQ(listed.size(), cases.size());
    std::vector<std::string> names;
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(listed[i], cases[i].listed) << cases[i].what;
        names.push_back(cases[i].listed);
    }
    const ToolRun run = extract("names.zip", names, win("out"), true);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    for (const Case& c : cases) {
        EXPECT_EQ(read("out/" + c.listed), std::string("data of ") + c.what) << c.what;
    }
    // Deleting by a listed name leaves every other stored name as it was.
    ASSERT_EQ(remove("names.zip", {cases[1].listed}).exitCode, 0);
    std::vector<std::string> storedAfter;
    for (const StoredRecord& record : storedRecords(read("names.zip"))) {
        storedAfter.push_back(record.rawName);
    }
    std::vector<std::string> storedExpected;
    for (size_t i = 0; i < cases.size(); ++i) {
        if (i != 1) {
            storedExpected.push_back(cases[i].stored);
        }
    }
    EXPECT_EQ(storedAfter, storedExpected);
}

} // namespace
} // namespace pkziptest

namespace pkziptest {
namespace {

// The ZIP64 locator pointing at the ZIP64 end record at zip64End, then a classic end record that
// holds the "see the ZIP64 record" marker in every field (its disk fields 0 unless markedDisks).
void putZip64Ending(std::string& out, uint64_t zip64End, uint32_t zip64Disk, uint32_t totalDisks,
                    bool markedDisks) {
    put32(out, 0x07064b50);
    put32(out, zip64Disk);
    put64(out, zip64End);
    put32(out, totalDisks);
    put32(out, 0x06054b50);
    put16(out, markedDisks ? 0xffff : 0);
    put16(out, markedDisks ? 0xffff : 0);
    put16(out, 0xffff);
    put16(out, 0xffff);
    put32(out, 0xffffffff);
    put32(out, 0xffffffff);
    put16(out, 0);
}

// The archive's classic end record replaced by ZIP64 end records. The classic one holds the
// "see the ZIP64 record" marker in every field, disk numbers included, or 0 in its disk fields.
std::string withZip64Ending(const std::string& archive, bool markedDisks, uint32_t zip64Disk,
                            uint32_t totalDisks) {
    const std::string classic = archive.substr(archive.size() - 22);
    auto get32 = [&](size_t at) {
        uint32_t v = 0;
        for (int k = 3; k >= 0; --k) {
            v = (v << 8) | static_cast<unsigned char>(classic[at + static_cast<size_t>(k)]);
        }
        return v;
    };
    const uint32_t count =
        static_cast<unsigned char>(classic[10]) | (static_cast<unsigned char>(classic[11]) << 8);
    std::string out = archive.substr(0, archive.size() - 22);
    const uint64_t zip64End = out.size();
    put32(out, 0x06064b50);
    put64(out, 44);
    put16(out, 45);
    put16(out, 45);
    put32(out, zip64Disk);
    put32(out, zip64Disk);
    put64(out, count);
    put64(out, count);
    put64(out, get32(12));
    put64(out, get32(16));
    putZip64Ending(out, zip64End, zip64Disk, totalDisks, markedDisks);
    return out;
}

TEST_F(PkzipTest, Zip64EndRecordsGiveTheDiskNumbersWhenTheClassicOnesAreMarkers) {
    FakeMember text;
    text.name = "docs/text.txt";
    text.data = std::string(5000, 't');
    text.deflate = true;
    FakeMember plain;
    plain.name = "plain.txt";
    plain.data = "plain";
    const std::string archive = buildArchive({text, plain});
    struct Case {
        const char* what;
        bool markedDisks;
        uint32_t zip64Disk;
        uint32_t totalDisks;
        bool readable;
    };
    const std::vector<Case> cases = {
        {"every classic field a marker, one disk", true, 0, 1, true},
        {"classic disks 0, one disk", false, 0, 1, true},
        {"every classic field a marker, the ZIP64 record on disk 2", true, 2, 3, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        write("z64.zip", withZip64Ending(archive, c.markedDisks, c.zip64Disk, c.totalDisks));
        const ToolRun listed = list("z64.zip");
        shell("rm -rf out");
        const ToolRun extracted = extract("z64.zip", {"docs/text.txt", "plain.txt"}, win("out"), true);
        if (c.readable) {
            EXPECT_EQ(listed.exitCode, 0) << listed.err;
            EXPECT_EQ(memberPaths("z64.zip"), (std::vector<std::string>{"docs/text.txt", "plain.txt"}));
            EXPECT_EQ(extracted.exitCode, 0) << extracted.err;
            EXPECT_TRUE(read("out/docs/text.txt") == text.data);
            EXPECT_EQ(read("out/plain.txt"), "plain");
        } else {
            EXPECT_NE(listed.exitCode, 0);
            EXPECT_NE(listed.err.find("several disks"), std::string::npos) << listed.err;
            EXPECT_FALSE(exists("out/plain.txt"));
        }
    }
    // The peer agrees on the readable form.
    write("z64.zip", withZip64Ending(archive, true, 0, 1));
    shell("unzip -tq z64.zip");
}

} // namespace
} // namespace pkziptest

namespace pkziptest {
namespace {

// Old MS-DOS and Windows tools mark a folder by its attribute alone, without a trailing "/".
TEST_F(PkzipTest, MembersWithTheDosFolderAttributeAndNoDataAreFolders) {
    auto member = [](const std::string& name, const std::string& data, uint8_t attributes) {
        FakeMember m;
        m.name = name;
        m.data = data;
        m.dosAttributes = attributes;
        return m;
    };
    write("dos.zip", buildArchive({
                         member("OLD", "", 0x10),
                         member("OLD/SUB", "", 0x10),
                         member("OLD/SUB/FILE.TXT", "inside", 0x20),
                         member("EMPTY.TXT", "", 0x20),
                         member("ODD.DAT", "a file marked as a folder but holding data", 0x10),
                     }));
    EXPECT_EQ(memberPaths("dos.zip"),
              (std::vector<std::string>{"OLD/", "OLD/SUB/", "OLD/SUB/FILE.TXT", "EMPTY.TXT", "ODD.DAT"}));
    const ToolRun run = extract("dos.zip", {"OLD/", "OLD/SUB/", "OLD/SUB/FILE.TXT", "EMPTY.TXT", "ODD.DAT"},
                                win("out"), true);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(shell("cd out && find . | sort"),
              ".\n./EMPTY.TXT\n./ODD.DAT\n./OLD\n./OLD/SUB\n./OLD/SUB/FILE.TXT\n");
    EXPECT_EQ(shell("cd out && find . -type d | sort"), ".\n./OLD\n./OLD/SUB\n");
    EXPECT_EQ(read("out/OLD/SUB/FILE.TXT"), "inside");
    // Found by its listed name; the stored name stays as it was.
    ASSERT_EQ(remove("dos.zip", {"OLD/SUB/"}).exitCode, 0);
    EXPECT_EQ(memberPaths("dos.zip"),
              (std::vector<std::string>{"OLD/", "OLD/SUB/FILE.TXT", "EMPTY.TXT", "ODD.DAT"}));
    EXPECT_EQ(storedRecords(read("dos.zip"))[0].rawName, "OLD");
}

} // namespace
} // namespace pkziptest

namespace pkziptest {
namespace {

// An extra field: its id, its size and the data, with the modification time as 32 bits at the
// offset the field's layout puts it.
std::string timeField(uint16_t id, size_t size, size_t timeAt, uint32_t time) {
    std::string data(size, '\0');
    for (size_t k = 0; k < 4; ++k) {
        data[timeAt + k] = static_cast<char>((time >> (8 * k)) & 0xff);
    }
    std::string field;
    put16(field, id);
    put16(field, static_cast<uint32_t>(size));
    return field + data;
}

TEST_F(PkzipTest, TimesComeFromTheExtendedTimestampThenTheUnixFieldsThenDos) {
    constexpr uint32_t kExtended = 1000000000; // 2001-09-09
    constexpr uint32_t kPkware = 1234567890;   // 2009-02-13
    constexpr uint32_t kInfoZip = 1500000000;  // 2017-07-14
    std::string extended = timeField(0x5455, 5, 1, kExtended);
    extended[4] = 1;                                               // flags: the modification time is present
    const std::string pkware = timeField(0x000d, 12, 4, kPkware);  // access, modification, uid, gid
    const std::string infoZip = timeField(0x5855, 8, 4, kInfoZip); // access, modification
    std::tm dosFields{};
    dosFields.tm_year = 2025 - 1900;
    dosFields.tm_mon = 0;
    dosFields.tm_mday = 15;
    dosFields.tm_hour = 9;
    dosFields.tm_min = 24;
    dosFields.tm_isdst = -1;
    const auto dosTime = static_cast<int64_t>(std::mktime(&dosFields));
    struct Case {
        const char* name;
        std::string extra;
        int64_t time;
    };
    const std::vector<Case> cases = {
        {"dos", "", dosTime},
        {"extended", extended, kExtended},
        {"pkware", pkware, kPkware},
        {"infozip", infoZip, kInfoZip},
        {"pkware-then-extended", pkware + extended, kExtended},
        {"infozip-then-pkware", infoZip + pkware, kPkware},
    };
    std::vector<FakeMember> members;
    std::vector<std::string> names;
    for (const Case& c : cases) {
        FakeMember m;
        m.name = c.name;
        m.data = c.name;
        m.extra = c.extra;
        members.push_back(m);
        names.push_back(c.name);
    }
    write("times.zip", buildArchive(members));
    const Listing listing = parseListing(list("times.zip").out);
    ASSERT_EQ(listing.members.size(), cases.size());
    ASSERT_EQ(extract("times.zip", names, win("out"), false).exitCode, 0);
    shell("mkdir peer && cd peer && unzip -q ../times.zip");
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        const auto seconds = static_cast<time_t>(cases[i].time);
        std::tm local{};
        ASSERT_NE(localtime_r(&seconds, &local), nullptr);
        const ListedMember& listed = listing.members[i];
        EXPECT_EQ(listed.year, local.tm_year + 1900);
        EXPECT_EQ(listed.month, local.tm_mon + 1);
        EXPECT_EQ(listed.day, local.tm_mday);
        EXPECT_EQ(listed.hour12, local.tm_hour % 12 == 0 ? 12 : local.tm_hour % 12);
        EXPECT_EQ(listed.minute, local.tm_min);
        struct stat mine {};
        struct stat peer {};
        ASSERT_EQ(::stat(host(std::string("out/") + cases[i].name).c_str(), &mine), 0);
        ASSERT_EQ(::stat(host(std::string("peer/") + cases[i].name).c_str(), &peer), 0);
        EXPECT_EQ(mine.st_mtime, seconds);
        EXPECT_EQ(mine.st_mtime, peer.st_mtime);
    }
}

} // namespace
} // namespace pkziptest

namespace pkziptest {
namespace {

// An archive whose central directory is encrypted, laid out as strong encryption writes it: a
// local header whose values are masked (flag bit 13), the encrypted directory, and a version 2
// ZIP64 end record that names the encryption. The classic end record holds markers only.
std::string encryptedDirectoryArchive(bool describedByTheEndRecord) {
    std::string out;
    put32(out, 0x04034b50);
    put16(out, 62);
    put16(out, 0x2001); // encrypted, local header values masked
    put16(out, 0);
    put32(out, 0);
    put32(out, 0);
    put32(out, 16);
    put32(out, 0);
    put16(out, 1);
    put16(out, 0);
    out += "1";
    out += std::string(16, '\x5a');
    const uint64_t centralOffset = out.size();
    std::mt19937 random(9);
    for (int i = 0; i < 120; ++i) {
        out += static_cast<char>(random());
    }
    const uint64_t zip64End = out.size();
    put32(out, 0x06064b50);
    put64(out, 44 + 28);
    put16(out, 62);
    put16(out, 62);
    put32(out, 0);
    put32(out, 0);
    put64(out, 1);
    put64(out, 1);
    put64(out, 120);
    put64(out, centralOffset);
    put16(out, 0);                                    // method of the directory
    put64(out, 120);                                  // its stored size
    put64(out, 120);                                  // its size
    put16(out, describedByTheEndRecord ? 0x6610 : 0); // AES-256, or no algorithm named
    put16(out, describedByTheEndRecord ? 256 : 0);
    put16(out, 0);
    put16(out, 0);
    put16(out, 0);
    putZip64Ending(out, zip64End, 0, 1, true);
    return out;
}

TEST_F(PkzipTest, AnEncryptedCentralDirectoryIsRefusedForItsEncryption) {
    for (bool described : {true, false}) {
        SCOPED_TRACE(described ? "named by the end record" : "shown by the masked local header");
        write("secret.zip", encryptedDirectoryArchive(described));
        write("new.txt", "new");
        const ToolRun listed = list("secret.zip");
        EXPECT_NE(listed.exitCode, 0);
        EXPECT_NE(listed.err.find("central directory is encrypted"), std::string::npos) << listed.err;
        EXPECT_EQ(listed.err.find("damaged"), std::string::npos) << listed.err;
        const ToolRun added = add("secret.zip", {win("new.txt")}, false);
        EXPECT_NE(added.err.find("central directory is encrypted"), std::string::npos) << added.err;
        EXPECT_EQ(read("secret.zip"), encryptedDirectoryArchive(described));
    }
}

} // namespace
} // namespace pkziptest
