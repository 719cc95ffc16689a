// What the find bar finds: names and paths, wildcards, case, and the rows of its result.

#include "findrules.h"

#include <gtest/gtest.h>

namespace {

using views::NamePattern;

TEST(FindRulesTest, PatternsMatchNamesAndPaths) {
    const struct {
        const char* pattern;
        bool matchCase;
        const char* name;
        bool found;
    } cases[] = {
        {"*.json", false, "config.json", true},
        {"*.json", false, "CONFIG.JSON", true},
        {"*.json", true, "CONFIG.JSON", false},
        {"*.json", false, "config.json.bak", false}, // a wildcard pattern matches the whole name
        {"config", false, "my-Config.json", true},   // a plain text is found anywhere in it
        {"config", true, "my-Config.json", false},
        {"c?nfig.*", false, "config.json", true},
        {"?.txt", false, "\xc3\xa9.txt", true}, // "?" takes one character, é of two bytes
        {"??.txt", false, "\xc3\xa9.txt", false},
        {"*a*b*c", false, "xaxxbxxxc", true},
        {"*a*b*c", false, "xaxxbxxxcx", false},
        {"***", false, "", true},
        {"\xc3\x89T\xc3\x89", false, "\xc3\xa9t\xc3\xa9.txt", true}, // ÉTÉ finds été
        {"docs/*.txt", false, "docs/a.txt", true},
        {"/docs/*.txt", false, "docs/a.txt", true},
        {"docs/*.txt", false, "other/docs/a.txt", false},
        {"*/old/*", false, "docs/old/a.txt", true},
    };
    for (const auto& each : cases) {
        EXPECT_EQ(NamePattern(each.pattern, each.matchCase).matches(each.name), each.found)
            << each.pattern << " on " << each.name << (each.matchCase ? " (case)" : "");
    }
    EXPECT_FALSE(NamePattern("", false).matches("anything"));
}

TEST(FindRulesTest, TheResultHoldsMatchingMembersAndFoldersOfTheWholeArchiveWithWhereTheyLie) {
    std::vector<archive::ArchiveEntry> entries;
    archive::ArchiveFolderList folders;
    for (const auto& [folder, name] :
         {std::pair{"", "config.json"}, std::pair{"docs", "readme.txt"}, std::pair{"docs/config", "app.json"},
          std::pair{"src/deep/er", "x.JSON"}}) {
        archive::ArchiveEntry entry;
        entry.folder = folder;
        entry.name = name;
        entry.size = 7;
        entries.push_back(entry);
        // Each folder and the folders above it, as the listing records them.
        for (std::string path = folder; !path.empty();) {
            folders.add(path);
            const size_t cut = path.rfind('/');
            path = cut == std::string::npos ? std::string() : path.substr(0, cut);
        }
    }
    std::vector<std::string> found;
    for (const views::ListRecord& record :
         views::findRecords(entries, folders, NamePattern("*.json", false))) {
        found.push_back(views::folderColumnText(record) + " " + record.name);
    }
    EXPECT_EQ(found,
              (std::vector<std::string>{"/ config.json", "docs/config app.json", "src/deep/er x.JSON"}));

    // A folder found by its own name, even one only member paths imply; its row is a folder row.
    const std::vector<views::ListRecord> config =
        views::findRecords(entries, folders, NamePattern("config", false));
    ASSERT_EQ(config.size(), 2u) << "config.json and the folder docs/config, not what lies in it";
    EXPECT_EQ(views::resultPath(config[0]), "config.json");
    EXPECT_TRUE(config[1].isFolder());
    EXPECT_EQ(views::resultPath(config[1]), "docs/config");
    const std::vector<views::ListRecord> deep =
        views::findRecords(entries, folders, NamePattern("deep", false));
    ASSERT_EQ(deep.size(), 1u);
    EXPECT_EQ(views::folderColumnText(deep[0]), "src");
}

} // namespace
