#include "archivelisting.h"
#include "sandbox.h"

#include <ctime>
#include <gtest/gtest.h>

using archive::ArchiveEntry;
using archive::ArchiveFolderList;

namespace {

std::string fixture(const std::string& name) {
    return testsupport::readTestFixture("archive/fixtures/" + name);
}

std::int64_t localTime(int year, int month, int day, int hour, int minute) {
    std::tm fields{};
    fields.tm_year = year - 1900;
    fields.tm_mon = month - 1;
    fields.tm_mday = day;
    fields.tm_hour = hour;
    fields.tm_min = minute;
    fields.tm_isdst = -1;
    return std::mktime(&fields);
}

const std::string kHeader = "h1\r\nh2\r\nh3\r\nh4\r\nh5\r\nh6\r\nh7\r\nh8\r\n";

// A member line in the fixed columns.
std::string memberLine(const std::string& size, const std::string& packed, const std::string& ratio,
                       const std::string& date, const std::string& time, const std::string& path) {
    std::string line(68, ' ');
    line.replace(8 - size.size(), size.size(), size);
    line.replace(25 - packed.size(), packed.size(), packed);
    line.replace(26, ratio.size(), ratio);
    line.replace(32, date.size(), date);
    line.replace(43, time.size(), time);
    return line + path + "\r\n";
}

struct Parsed {
    std::vector<ArchiveEntry> entries;
    ArchiveFolderList folders;
};

Parsed parse(const std::string& text) {
    Parsed parsed;
    archive::parseListing(text, parsed.entries, parsed.folders);
    return parsed;
}

} // namespace

TEST(ListingTest, TheArchiversOwnListingOfNestedFolders) {
    const Parsed parsed = parse(fixture("nested-listing.txt"));
    ASSERT_EQ(parsed.entries.size(), 4u) << "folder members give no entry";
    const struct {
        const char* name;
        const char* folder;
        std::int64_t size;
        std::int64_t packed;
        const char* ratio;
    } expected[] = {
        {"b.txt", "docs", 8893, 4200, "52.8%"},
        {"a.txt", "docs/old", 12, 12, " 0.0%"},
        {"empty.txt", "", 0, 0, " 0.0%"},
        {"r.bin", "top dir", 3000, 3000, " 0.0%"},
    };
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(parsed.entries[i].name, expected[i].name);
        EXPECT_EQ(parsed.entries[i].folder, expected[i].folder);
        EXPECT_EQ(parsed.entries[i].size, expected[i].size);
        EXPECT_EQ(parsed.entries[i].packedSize, expected[i].packed);
        EXPECT_EQ(parsed.entries[i].ratioText, expected[i].ratio);
        EXPECT_EQ(parsed.entries[i].attributes, 0u);
    }
    EXPECT_EQ(parsed.entries[0].time, localTime(2003, 9, 15, 12, 5)) << "12:05p is just past noon";
    EXPECT_EQ(parsed.entries[1].time, localTime(2003, 9, 15, 22, 23));
    EXPECT_EQ(parsed.entries[2].time, localTime(2003, 9, 15, 0, 30)) << "12:30a is just past midnight";
    EXPECT_EQ(parsed.folders.folders(), (std::vector<std::string>{"docs", "docs/old", "top dir"}));
}

TEST(ListingTest, FolderListKeepsFirstAppearanceDeepestFirst) {
    const std::string text =
        kHeader + memberLine("1", "1", " 0.0%", "01-01-2020", "01:00a", "docs/old/a.txt") +
        memberLine("1", "1", " 0.0%", "01-01-2020", "01:00a", "docs/b.txt") +
        memberLine("0", "0", " 0.0%", "01-01-2020", "01:00a", "x/new/") +
        memberLine("1", "1", " 0.0%", "01-01-2020", "01:00a", "Docs/c.txt") + "---- separator\r\n" +
        memberLine("1", "1", " 0.0%", "01-01-2020", "01:00a", "after/x");
    const Parsed parsed = parse(text);
    EXPECT_EQ(parsed.entries.size(), 3u);
    EXPECT_EQ(parsed.folders.folders(), (std::vector<std::string>{"docs/old", "docs", "x/new", "x", "Docs"}))
        << "names are compared exactly; nothing after the separator counts";
}

TEST(ListingTest, OddAndTruncatedListingsGiveWhatCanBeRead) {
    const std::string member = memberLine("5", "3", "40.0%", "02-03-2004", "04:05p", "a.txt");
    const struct {
        const char* what;
        std::string text;
        size_t entries;
    } cases[] = {
        {"empty file", "", 0},
        {"seven lines", "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n", 0},
        {"exactly eight lines", kHeader, 0},
        {"empty archive", kHeader + "--------\r\n totals\r\n", 0},
        {"no separator", kHeader + member + member, 2},
        {"last line without line end", kHeader + member.substr(0, member.size() - 2), 1},
        {"LF line ends", "1\n2\n3\n4\n5\n6\n7\n8\n" + member.substr(0, member.size() - 2) + "\n", 1},
        {"line ending before the path", kHeader + std::string(60, ' ') + "\r\n" + member, 1},
        {"error text instead of a listing", "cannot open archive\r\n", 0},
    };
    for (const auto& c : cases) {
        const Parsed parsed = parse(c.text);
        EXPECT_EQ(parsed.entries.size(), c.entries) << c.what;
        if (!parsed.entries.empty()) {
            EXPECT_EQ(parsed.entries[0].name, "a.txt") << c.what;
            EXPECT_EQ(parsed.entries[0].size, 5) << c.what;
            EXPECT_EQ(parsed.entries[0].time, localTime(2004, 2, 3, 16, 5)) << c.what;
        }
    }
}

TEST(ListingTest, FieldsAreReadAsTheCLibraryReadsNumbers) {
    EXPECT_EQ(archive::readDecimal("     123"), 123);
    EXPECT_EQ(archive::readDecimal("  -42xyz"), -42);
    EXPECT_EQ(archive::readDecimal("+7"), 7);
    EXPECT_EQ(archive::readDecimal("abc"), 0);
    EXPECT_EQ(archive::readDecimal(""), 0);
    EXPECT_EQ(archive::readDecimal("12 34"), 12);

    // Non-numeric fields read as 0, and a line that ends early leaves its later fields at 0.
    std::string odd = memberLine("abc", "??", "n/a  ", "xx-yy-zzzz", "ab:cdq", "odd.txt");
    const Parsed parsed = parse(kHeader + odd);
    ASSERT_EQ(parsed.entries.size(), 1u);
    EXPECT_EQ(parsed.entries[0].size, 0);
    EXPECT_EQ(parsed.entries[0].packedSize, 0);
    EXPECT_EQ(parsed.entries[0].ratioText, "n/a  ");
    EXPECT_EQ(parsed.entries[0].time, localTime(0, 0, 0, 0, 0)) << "the calendar routine carries the zeros";
}

TEST(ListingTest, TheTwelveHourClock) {
    const struct {
        const char* time;
        int hour;
        int minute;
    } cases[] = {
        {"10:23p", 22, 23}, {"10:23a", 10, 23}, {"12:00p", 12, 0},  {"12:45p", 12, 45}, {"12:45a", 0, 45},
        {"12:45 ", 0, 45},  {"01:00p", 13, 0},  {"11:59p", 23, 59}, {"12:00x", 0, 0},   {"13:10p", 13, 10},
    };
    for (const auto& c : cases) {
        const Parsed parsed = parse(kHeader + memberLine("1", "1", " 0.0%", "09-15-2003", c.time, "f"));
        ASSERT_EQ(parsed.entries.size(), 1u);
        EXPECT_EQ(parsed.entries[0].time, localTime(2003, 9, 15, c.hour, c.minute)) << c.time;
    }
}

TEST(ListingTest, LongPathsAndWidenedSizesAreReadWhole) {
    // A path far past 199 characters stays one member with its whole name.
    const std::string longFolder = std::string(150, 'f') + "/" + std::string(150, 'g');
    const std::string name = std::string(80, 'n') + ".txt";
    Parsed parsed =
        parse(kHeader + memberLine("9", "9", " 0.0%", "01-01-2020", "01:00a", longFolder + "/" + name) +
              memberLine("1", "1", " 0.0%", "01-01-2020", "01:00a", "short.txt"));
    ASSERT_EQ(parsed.entries.size(), 2u);
    EXPECT_EQ(parsed.entries[0].name, name);
    EXPECT_EQ(parsed.entries[0].folder, longFolder);
    EXPECT_EQ(parsed.entries[1].name, "short.txt");

    // Sizes past 99,999,999: the underline says where the widened columns are.
    const std::string widened =
        "PKZIP25.EXE archive listing\r\nArchive: C:\\big.zip\r\nMembers: 2\r\nComment: \r\n\r\n\r\n"
        "    Length Method        Size Ratio Date       Time    CRC-32           Name\r\n"
        "---------- ------- ---------- ----- ---------- ------  --------         ----\r\n"
        "5368709120 Deflate    5210020 99.9% 12-07-2026 09:35p  3b3c7f53         big.bin\r\n"
        "        12 AES             40  0.0% 01-02-2003 12:01a  af083b2d  E      dir/a.txt\r\n"
        "---------- ------- ---------- ----- ---------- ------  --------         ----\r\n"
        "5368709132            5210060 99.9%                                     2 files\r\n";
    parsed = parse(widened);
    ASSERT_EQ(parsed.entries.size(), 2u);
    EXPECT_EQ(parsed.entries[0].size, 5'368'709'120LL);
    EXPECT_EQ(parsed.entries[0].packedSize, 5'210'020);
    EXPECT_EQ(parsed.entries[0].ratioText, "99.9%");
    EXPECT_EQ(parsed.entries[0].time, localTime(2026, 12, 7, 21, 35));
    EXPECT_EQ(parsed.entries[0].name, "big.bin");
    EXPECT_EQ(parsed.entries[1].time, localTime(2003, 1, 2, 0, 1));
    EXPECT_EQ(parsed.entries[1].folder, "dir");
    // The encrypted mark moves with the CRC column.
    EXPECT_FALSE(parsed.entries[0].encrypted);
    EXPECT_TRUE(parsed.entries[1].encrypted);

    // The standard underline describes exactly the fixed columns.
    EXPECT_EQ(archive::columnsFromUnderline(
                  "-------- ------- -------- ----- ---------- ------  --------         ----"),
              archive::ListingColumns());
    EXPECT_FALSE(archive::columnsFromUnderline("h8"));
}
