#include "treerules.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

TEST(TreePathTest, NodePathsAndTreePaths) {
    struct Case {
        std::string drive;
        std::vector<std::string> folders;
        std::string path;
    };
    const std::vector<Case> cases = {
        {"Drive C", {}, "C:\\"},
        {"Drive D", {}, "D:\\"},
        {"Drive C", {"Data", "Sub"}, "C:\\Data\\Sub\\"},
        {"Drive Z", {"with space", ".hidden"}, "Z:\\with space\\.hidden\\"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(views::nodePath(c.drive, c.folders), c.path);
    }
    EXPECT_EQ(views::treePath({"C:\\Data\\a.zip"}), "C:\\Data\\a.zip/");
    EXPECT_EQ(views::treePath({"C:\\Data\\a.zip", "docs", "old"}), "C:\\Data\\a.zip/docs/old/");
    EXPECT_EQ(views::driveText('C'), "Drive C");
}

TEST(DriveLettersTest, FromAOrCAndOnlyWhereTheChangeSucceeds) {
    const std::set<char> ready = {'A', 'B', 'C', 'F', 'Z'};
    const auto canChange = [&ready](char letter) { return ready.count(letter) != 0; };
    EXPECT_EQ(views::driveLetters(false, canChange), (std::vector<char>{'C', 'F', 'Z'}));
    EXPECT_EQ(views::driveLetters(true, canChange), (std::vector<char>{'A', 'B', 'C', 'F', 'Z'}));
    EXPECT_TRUE(views::driveLetters(true, [](char) { return false; }).empty());
    std::vector<char> asked;
    (void)views::driveLetters(false, [&asked](char letter) {
        asked.push_back(letter);
        return true;
    });
    EXPECT_EQ(asked.front(), 'C');
    EXPECT_EQ(asked.back(), 'Z');
}

TEST(SubFolderTest, LocalSubFoldersAreFoldersOnlySortedIgnoringCase) {
    const std::vector<platform::FindEntry> found = {
        {".", 0, 0, 0x10},         {"..", 0, 0, 0x10},      {"zeta", 0, 0, 0x10},
        {"file.txt", 10, 0, 0x20}, {".hidden", 0, 0, 0x12}, {"Alpha", 0, 0, 0x10},
        {"beta", 0, 0, 0x11},      {"link", 0, 0, 0x410},   {"Beta.txt", 4, 0, 0x01},
    };
    EXPECT_EQ(views::localSubFolders(found),
              (std::vector<std::string>{".hidden", "Alpha", "beta", "link", "zeta"}));
}

TEST(SubFolderTest, ArchiveSubFoldersOneLevelBelowTheTreePath) {
    archive::ArchiveFolderList folders;
    for (const char* folder : {"zeta", "a", "a/b", "a/b/c", "docs", "docs/old", "docs/New", "Docs", "a/b2"}) {
        folders.add(folder);
    }
    struct Case {
        std::string treePath;
        std::vector<std::string> children;
    };
    const std::vector<Case> cases = {
        {"", {"a", "Docs", "docs", "zeta"}},
        {"C:\\x.zip/", {"a", "Docs", "docs", "zeta"}},
        {"C:\\x.zip/a/", {"b", "b2"}},
        {"C:\\x.zip/a/b/", {"c"}},
        {"C:\\x.zip/a/b/c/", {}},
        {"C:\\x.zip/docs/", {"New", "old"}},
        // Case counts inside the archive: "Docs" has no children.
        {"C:\\x.zip/Docs/", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.treePath);
        EXPECT_EQ(views::archiveSubFolders(folders, c.treePath), c.children);
    }
}
