#include "listrules.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

using archive::ArchiveEntry;
using views::ListRecord;
using views::ListRow;
using views::Role;
using views::SortKey;

namespace {

ArchiveEntry member(const std::string& path, std::int64_t size = 0, const std::string& ratio = " 0.0%") {
    ArchiveEntry entry;
    const size_t slash = path.rfind('/');
    entry.name = slash == std::string::npos ? path : path.substr(slash + 1);
    entry.folder = slash == std::string::npos ? "" : path.substr(0, slash);
    entry.size = size;
    entry.packedSize = size;
    entry.ratioText = ratio;
    entry.time = 1'000'000'000;
    return entry;
}

ListRecord file(const std::string& name, std::int64_t size = 0, std::int64_t time = 0) {
    ListRecord record;
    record.name = name;
    record.size = size;
    record.time = time;
    return record;
}

ListRecord folder(const std::string& name, std::int64_t size = 0, std::int64_t time = 0) {
    ListRecord record = file(name, size, time);
    record.attributes = 0x10;
    return record;
}

ListRecord archived(const std::string& name, std::int64_t size, std::int64_t packed,
                    const std::string& ratio) {
    ListRecord record = file(name, size);
    record.packedSize = packed;
    record.ratioText = ratio;
    return record;
}

// "name" for a file, "name/" for a folder, in row order.
std::vector<std::string> rowNames(const std::vector<ListRecord>& records, Role role, SortKey key) {
    std::vector<std::string> names;
    for (const views::ListRow& row : views::orderRows(records, role, key)) {
        names.push_back(records[row.record].name + (records[row.record].isFolder() ? "/" : ""));
    }
    return names;
}

std::vector<std::string> recordNames(const std::vector<ListRecord>& records) {
    std::vector<std::string> names;
    for (const ListRecord& record : records) {
        names.push_back(record.name + (record.isFolder() ? "/" : ""));
    }
    return names;
}

} // namespace

// The two passes over the entries: the members of the folder, then each sub-folder once.
TEST(ArchiveRecordsTest, MembersThenSubFoldersOnce) {
    const std::vector<ArchiveEntry> entries = {
        member("a/b/c.txt"),  member("top.txt"),        member("docs/old/x.txt"), member("docs/readme"),
        member("docs/y.txt"), member("docs/old/z.txt"), member("zeta/deep/er/q"), member("b.txt"),
    };
    struct Case {
        std::string treePath;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {"", {"top.txt", "b.txt", "a/", "docs/", "zeta/"}},
        {"C:\\x.zip/", {"top.txt", "b.txt", "a/", "docs/", "zeta/"}},
        {"C:\\x.zip/a/", {"b/"}},
        {"C:\\x.zip/a/b/", {"c.txt"}},
        {"C:\\x.zip/docs/", {"readme", "y.txt", "old/"}},
        {"C:\\x.zip/docs/old/", {"x.txt", "z.txt"}},
        {"C:\\x.zip/zeta/", {"deep/"}},
        {"C:\\x.zip/nothing/", {}},
        // A prefix of a folder's name is not that folder.
        {"C:\\x.zip/doc/", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.treePath);
        EXPECT_EQ(recordNames(views::archiveRecords(entries, views::archiveFolderKey(c.treePath))), c.names);
    }
}

TEST(ArchiveRecordsTest, RecordsCarryTheEntryAndFolderRowsCarryNothing) {
    ArchiveEntry entry = member("docs/b.txt", 8893, "52.8%");
    entry.packedSize = 4200;
    const auto records = views::archiveRecords({entry}, "docs/");
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].folder, "docs");
    EXPECT_EQ(records[0].size, 8893);
    EXPECT_EQ(records[0].packedSize, 4200);
    EXPECT_EQ(records[0].ratioText, "52.8%");
    EXPECT_EQ(records[0].time, 1'000'000'000);
    EXPECT_EQ(records[0].attributes, 0u);

    const auto atRoot = views::archiveRecords({entry}, "");
    ASSERT_EQ(atRoot.size(), 1u);
    EXPECT_EQ(atRoot[0].name, "docs");
    EXPECT_EQ(atRoot[0].attributes, 0x10u);
    EXPECT_EQ(atRoot[0].time, 0);
    EXPECT_EQ(atRoot[0].ratioText, "");
}

TEST(ArchiveRecordsTest, FolderKeyDropsTheArchiveNode) {
    EXPECT_EQ(views::archiveFolderKey(""), "");
    EXPECT_EQ(views::archiveFolderKey("C:\\Data\\a.zip/"), "");
    EXPECT_EQ(views::archiveFolderKey("C:\\Data\\a.zip/docs/old/"), "docs/old/");
}

TEST(ArchiveRecordsTest, ADoubledSlashMakesNoNamelessFolderRow) {
    const auto records = views::archiveRecords({member("a//b.txt")}, "a/");
    EXPECT_TRUE(records.empty());
}

TEST(LocalRecordsTest, DotEntriesAreRecordsButNeverRows) {
    const std::vector<platform::FindEntry> found = {
        {".", 0, 5, 0x10}, {"..", 0, 5, 0x10}, {"b.txt", 3, 7, 0x20}, {"Sub", 0, 9, 0x10}};
    const auto records = views::localRecords(found);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[2].size, 3);
    EXPECT_EQ(records[2].time, 7);
    EXPECT_EQ(rowNames(records, Role::Local, SortKey::Name), (std::vector<std::string>{"Sub/", "b.txt"}));
}

TEST(SortTextTest, TextsOfEachKey) {
    const std::string z18(18, '0');
    struct Case {
        ListRecord record;
        Role role;
        SortKey key;
        std::string text;
    };
    const std::vector<Case> cases = {
        {file("report.txt"), Role::Local, SortKey::Name, "1report.txt"},
        {folder("Sub"), Role::Local, SortKey::Name, "0Sub"},
        {file("report.txt"), Role::Local, SortKey::None, "1report.txt"},
        {file("report.txt"), Role::Local, SortKey::Extension, "1txt.report"},
        {file("a.b.txt"), Role::Archive, SortKey::Extension, "1txt.a.b"},
        {file("README"), Role::Local, SortKey::Extension, "1.README"},
        {file("name."), Role::Local, SortKey::Extension, "1.name."},
        {file("x", 0, 1234), Role::Local, SortKey::Date, "1" + std::string(16, '0') + "1234x"},
        {file("x", 42), Role::Archive, SortKey::FileSize, "1" + z18 + "42x"},
        // 5 GB keeps its exact value.
        {file("big", 5'368'709'120), Role::Local, SortKey::FileSize, "100000000005368709120big"},
        // The local list has no packed size or ratio: those keys order it by size.
        {file("x", 42), Role::Local, SortKey::ZippedSize, "1" + z18 + "42x"},
        {file("x", 42), Role::Local, SortKey::Ratio, "1" + z18 + "42x"},
        {archived("x", 42, 7, "83.3%"), Role::Archive, SortKey::ZippedSize,
         "1" + std::string(19, '0') + "7x"},
        // An unknown packed size sorts where its 32-bit marker did.
        {archived("x", 42, -1, " 0.0%"), Role::Archive, SortKey::ZippedSize,
         "1" + std::string(10, '0') + "4294967295x"},
        {archived("x", 42, 7, "57.4%"), Role::Archive, SortKey::Ratio, "1" + std::string(17, '0') + "574x"},
        {archived("x", 42, 7, " 100%"), Role::Archive, SortKey::Ratio, "1" + std::string(16, '0') + "1000x"},
        {archived("x", 42, 7, " 0.0%"), Role::Archive, SortKey::Ratio, "1" + std::string(20, '0') + "x"},
        // A member that grew: before every ratio that is not negative.
        {archived("x", 42, 50, "-2.3%"), Role::Archive, SortKey::Ratio, "1-9223372036854775785x"},
        // A file dated before 1970.
        {file("old", 0, -1), Role::Local, SortKey::Date, "1-9223372036854775807old"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(views::sortText(c.record, c.role, c.key), c.text);
    }
}

TEST(RowOrderTest, KeysOrderTheRows) {
    const std::int64_t day = 86400;
    const std::int64_t now = 1'700'000'000;
    struct Case {
        std::string what;
        std::vector<ListRecord> records;
        Role role;
        SortKey key;
        std::vector<std::string> order;
    };
    const std::vector<Case> cases = {
        {"folders first, names ignoring case",
         {file("cherry"), folder("zoo"), file("Banana"), file("apple"), folder("Alpha")},
         Role::Local,
         SortKey::Name,
         {"Alpha/", "zoo/", "apple", "Banana", "cherry"}},
        {"a folder of yesterday before a file of last year",
         {file("old.txt", 1, now - 365 * day), folder("new", 0, now - day)},
         Role::Local,
         SortKey::Date,
         {"new/", "old.txt"}},
        {"dates in order, before 1970 and after 2038 included",
         {file("c", 0, 4'102'444'800), file("a", 0, -86400), file("b", 0, 2'000'000'000), file("d", 0, 5)},
         Role::Local,
         SortKey::Date,
         {"a", "d", "b", "c"}},
        {"sizes past 32 bits keep their order",
         {file("five-gb", 5'368'709'120), file("four-gb", 4'294'967'296), file("small", 3000),
          file("max", 4'294'967'295)},
         Role::Local,
         SortKey::FileSize,
         {"small", "max", "four-gb", "five-gb"}},
        {"archive sub-folders stay above members by size",
         {archived("a", 10, 10, " 0.0%"), folder("sub", 999'999'999'999), archived("b", 5, 5, " 0.0%")},
         Role::Archive,
         SortKey::FileSize,
         {"sub/", "b", "a"}},
        {"zipped size and ratio order the local list by size",
         {file("big", 900), file("small", 10), file("mid", 300)},
         Role::Local,
         SortKey::ZippedSize,
         {"small", "mid", "big"}},
        {"ratio keys order the local list by size too",
         {file("big", 900), file("small", 10), file("mid", 300)},
         Role::Local,
         SortKey::Ratio,
         {"small", "mid", "big"}},
        {"zipped size in the archive list",
         {archived("a", 1, 300, " 0.0%"), archived("b", 1, 20, " 0.0%"),
          archived("c", 1, 6'000'000'000, " 0.0%")},
         Role::Archive,
         SortKey::ZippedSize,
         {"b", "a", "c"}},
        {"extensionless names first, then by extension",
         {file("report.txt"), file("README"), file("a.b.txt"), file("z.c"), file("name.")},
         Role::Local,
         SortKey::Extension,
         {"name.", "README", "z.c", "a.b.txt", "report.txt"}},
        {"one decimal of the ratio counts; equal ratios by name; growth first",
         {archived("b", 1, 1, "57.5%"), archived("z", 1, 1, "57.4%"), archived("a", 1, 1, "57.4%"),
          archived("grew", 1, 1, "-2.3%"), archived("more", 1, 1, "-0.1%"), archived("all", 1, 1, " 100%")},
         Role::Archive,
         SortKey::Ratio,
         {"grew", "more", "a", "z", "b", "all"}},
        {"no key set: folders first, then by name",
         {file("b"), folder("c"), file("a")},
         Role::Archive,
         SortKey::None,
         {"c/", "a", "b"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(rowNames(c.records, c.role, c.key), c.order);
    }
}

TEST(RowOrderTest, CollationKeepsDigitsAndPrefixesInAsciiOrder) {
    // "0" and "1" start every row text; "z" starts the text of a row placed at the bottom.
    const std::vector<std::string> ascending = {"-9", "0",  "00", "01", "0z", "1",
                                                "10", "19", "1A", "1b", "z",  "zzzzzzzzA"};
    for (size_t i = 0; i + 1 < ascending.size(); ++i) {
        SCOPED_TRACE(ascending[i] + " < " + ascending[i + 1]);
        EXPECT_LT(views::compareText(ascending[i], ascending[i + 1]), 0);
        EXPECT_GT(views::compareText(ascending[i + 1], ascending[i]), 0);
    }
    EXPECT_EQ(views::compareText("Same", "Same"), 0);
    // Names differing only in case still have one fixed order.
    EXPECT_NE(views::compareText("abc", "ABC"), 0);
    EXPECT_EQ(views::compareText("abc", "ABC"), -views::compareText("ABC", "abc"));
}

// The rows are ordered without making the sort texts; the order must be the texts' own, ties in
// record order, under every key of either list.
TEST(RowOrderTest, RowsComeInTheOrderOfTheirSortTexts) {
    // Names that share prefixes of about eight bytes, differ in case only, repeat, or hold bytes
    // above ASCII and punctuation that sorts around the letters.
    const std::vector<std::string> names = {
        "config.json",       "CONFIG.json", "config.jso", "config.jsonx", "configur", "Configur",
        "configu",           "a",           "A",          "a.b.c",        "_x",       "[x",
        "\xc3\xa9t\xc3\xa9", "z.tar.gz",    "..."};
    const std::vector<std::string> ratios = {" 0.0%", "57.4%", " 100%", "-2.3%", "57.4%"};
    std::srand(7);
    std::vector<ListRecord> records;
    for (int i = 0; i < 600; ++i) {
        ListRecord record =
            archived(names[static_cast<size_t>(std::rand()) % names.size()], std::rand() % 5 - 1,
                     std::rand() % 4 - 1, ratios[static_cast<size_t>(std::rand()) % ratios.size()]);
        // Times that differ in every byte of their number, on both sides of zero.
        const std::int64_t times[] = {
            -1, 0, 1, 255, 256, 65'536, -65'536, std::int64_t{1} << 40, INT64_MAX, INT64_MIN};
        record.time = times[static_cast<size_t>(std::rand()) % std::size(times)];
        if (std::rand() % 4 == 0) {
            record.attributes = 0x10;
        }
        records.push_back(record);
    }
    for (Role role : {Role::Local, Role::Archive}) {
        for (SortKey key : {SortKey::None, SortKey::Name, SortKey::Extension, SortKey::FileSize,
                            SortKey::ZippedSize, SortKey::Ratio, SortKey::Date}) {
            std::vector<size_t> expected(records.size());
            for (size_t i = 0; i < expected.size(); ++i) {
                expected[i] = i;
            }
            std::stable_sort(expected.begin(), expected.end(), [&](size_t a, size_t b) {
                return views::compareText(views::sortText(records[a], role, key),
                                          views::sortText(records[b], role, key)) < 0;
            });
            std::vector<size_t> got;
            for (const ListRow& row : views::orderRows(records, role, key)) {
                got.push_back(row.record);
            }
            EXPECT_EQ(got, expected) << "role " << static_cast<int>(role) << " key " << static_cast<int>(key);
        }
    }
}

TEST(ColumnTextTest, TextsOfEachRow) {
    setenv("TZ", "UTC", 1);
    tzset();
    const std::int64_t decemberFirst = 1'070'273'100; // 1 December 2003, 10:05 UTC
    struct Case {
        ListRecord record;
        Role role;
        std::vector<std::string> texts;
    };
    const std::vector<Case> cases = {
        {file("a.txt", 1234567, decemberFirst), Role::Local, {"a.txt", "1,234,567", "12/1/03 10:05 AM"}},
        {folder("Sub", 4096, decemberFirst), Role::Local, {"Sub", "", "12/1/03 10:05 AM"}},
        {file("undated", 999, 0), Role::Local, {"undated", "999", ""}},
        {file("big", 5'368'709'120, 0), Role::Local, {"big", "5,368,709,120", ""}},
        {archived("m", 1000, 600, "40.0%"), Role::Archive, {"m", "1,000", "600", "40.0%", ""}},
        {archived("m", 1000, -1, " 0.0%"), Role::Archive, {"m", "1,000", "?", " 0.0%", ""}},
        {archived("m", 1000, 0xFFFFFFFF, " 0.0%"), Role::Archive, {"m", "1,000", "?", " 0.0%", ""}},
        {folder("sub"), Role::Archive, {"sub", "", "", "", ""}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.record.name);
        EXPECT_EQ(views::columnTexts(c.record, c.role), c.texts);
    }
    EXPECT_EQ(views::columnTitles(Role::Local),
              (std::vector<std::string>{"Name", "File Size", "Date Modified"}));
    EXPECT_EQ(views::columnTitles(Role::Archive),
              (std::vector<std::string>{"Name", "File Size", "Zip Size", "Ratio", "Date Modified"}));
    EXPECT_EQ(views::countText(Role::Local, 12345), "Local: 12345 Items");
    EXPECT_EQ(views::countText(Role::Archive, 0), "Zip: 0 Items");
}

TEST(FolderPathTest, ChildAndParentFoldersOfBothLists) {
    const struct {
        Role role;
        const char* folder;
        const char* parent;
    } cases[] = {
        {Role::Local, "C:\\Data\\Sub\\", "C:\\Data\\"},
        {Role::Local, "C:\\Data\\", "C:\\"},
        {Role::Local, "C:\\", ""},
        {Role::Local, "", ""},
        {Role::Archive, "C:\\zips\\a.zip/docs/old/", "C:\\zips\\a.zip/docs/"},
        {Role::Archive, "C:\\zips\\a.zip/docs/", "C:\\zips\\a.zip/"},
        {Role::Archive, "C:\\zips\\a.zip/", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(views::parentFolder(c.role, c.folder), c.parent) << c.folder;
    }
    EXPECT_EQ(views::childFolder(Role::Local, "C:\\Data\\", "Sub"), "C:\\Data\\Sub\\");
    EXPECT_EQ(views::childFolder(Role::Archive, "C:\\a.zip/docs/", "old"), "C:\\a.zip/docs/old/");
}

TEST(ColumnTextTest, TheWidestSizeIsFoundAmongTheFiles) {
    const std::vector<ListRecord> records = {
        archived("small", 999, 10'737'418'240, "x"), folder("sub", 99'999'999'999),
        archived("ten GB", 10'737'418'240, 5, "x"), archived("grew", 12, -1, "x"),
        archived("mid", 1'000'000, 7, "x")};
    std::vector<ListRow> rows;
    for (size_t i = 0; i < records.size(); ++i) {
        rows.push_back(ListRow{static_cast<views::RecordIndex>(records.size() - 1 - i)});
    }
    // Rows in reverse record order: mid, grew, ten GB, sub, small.
    EXPECT_EQ(views::widestSizeRow(records, rows, Role::Archive, 1), 2) << "a folder's size is never shown";
    EXPECT_EQ(views::widestSizeRow(records, rows, Role::Archive, 2), 4)
        << "the largest packed size, beside one the archiver did not know";
    EXPECT_EQ(views::widestSizeRow(records, rows, Role::Local, 2), -1) << "the local list's date column";
    EXPECT_EQ(views::widestSizeRow(records, {}, Role::Archive, 1), -1);
    const std::vector<ListRecord> signedSizes = {file("minus", -1'234'567, 0), file("plus", 5, 0)};
    EXPECT_EQ(views::widestSizeRow(signedSizes, {ListRow{1}, ListRow{0}}, Role::Local, 1), 1)
        << "a negative size has the longest text";
}

// A folder of 100,000 members, and 100,000 sub-folders at the root, built and ordered whole (the
// time it takes is measured by the window benchmark, not here).
TEST(LargeFolderTest, HundredThousandRowsAreBuiltAndOrdered) {
    std::vector<ArchiveEntry> entries;
    entries.reserve(200'000);
    for (int i = 0; i < 100'000; ++i) {
        entries.push_back(member("big/member" + std::to_string(i) + ".dat", i));
        entries.push_back(member("dir" + std::to_string(i) + "/x"));
    }
    const auto inFolder = views::archiveRecords(entries, "big/");
    const auto atRoot = views::archiveRecords(entries, "");
    const auto rows = views::orderRows(atRoot, Role::Archive, SortKey::Name);
    const auto bySize = views::orderRows(inFolder, Role::Archive, SortKey::FileSize);

    EXPECT_EQ(inFolder.size(), 100'000u);
    EXPECT_EQ(atRoot.size(), 100'001u); // "big" and the 100,000 "dirN"
    ASSERT_EQ(rows.size(), 100'001u);
    EXPECT_EQ(atRoot[rows.front().record].name, "big");
    EXPECT_EQ(inFolder[bySize.front().record].name, "member0.dat");
    EXPECT_EQ(inFolder[bySize.back().record].name, "member99999.dat");
}

TEST(SortColumnTest, EachHeaderChoosesAKeyAndShowsTheKeysOrder) {
    using views::SortKey;
    const struct {
        Role role;
        SortKey key;
        int column;  // the header that chooses it and shows it; -1: none
        int shownOn; // the header that shows it, when no header chooses it
    } cases[] = {
        {Role::Local, SortKey::Name, 0, 0},         {Role::Local, SortKey::FileSize, 1, 1},
        {Role::Local, SortKey::Date, 2, 2},         {Role::Local, SortKey::ZippedSize, -1, 1},
        {Role::Local, SortKey::Ratio, -1, 1},       {Role::Local, SortKey::Extension, -1, -1},
        {Role::Archive, SortKey::Name, 0, 0},       {Role::Archive, SortKey::FileSize, 1, 1},
        {Role::Archive, SortKey::ZippedSize, 2, 2}, {Role::Archive, SortKey::Ratio, 3, 3},
        {Role::Archive, SortKey::Date, 4, 4},       {Role::Archive, SortKey::Extension, -1, -1},
        {Role::Archive, SortKey::None, -1, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.key));
        if (c.column >= 0) {
            EXPECT_EQ(views::sortKeyOfColumn(c.role, c.column), c.key);
        }
        EXPECT_EQ(views::sortIndicatorColumn(c.role, c.key), c.shownOn);
    }
    EXPECT_EQ(views::sortKeyOfColumn(Role::Local, 3), SortKey::None);
    EXPECT_EQ(views::sortKeyOfColumn(Role::Archive, 5), SortKey::None);
}
