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
    archive::ArchiveState state;
    for (const auto& [folder, name] :
         {std::pair{"", "config.json"}, std::pair{"docs", "readme.txt"}, std::pair{"docs/config", "app.json"},
          std::pair{"src/deep/er", "x.JSON"}, std::pair{"src/deep/er", "y.Json"}}) {
        archive::ArchiveEntry entry;
        entry.folder = folder;
        entry.name = name;
        entry.size = 7;
        entry.encrypted = entry.folder == "docs/config";
        state.entries.push_back(entry);
        // Each folder and the folders above it, as the listing records them.
        for (std::string path = folder; !path.empty();) {
            state.folders.add(path);
            const size_t cut = path.rfind('/');
            path = cut == std::string::npos ? std::string() : path.substr(0, cut);
        }
    }
    state.encryptedFolders = {"docs", "docs/config"};
    views::FoldedNames folded;
    auto found = [&](const char* text, bool matchCase) {
        std::vector<std::string> rows;
        const views::FoundRecords records = views::findRecords(state, NamePattern(text, matchCase), folded);
        const views::RecordSet set(&state.entries, records.members, records.folders);
        for (size_t i = 0; i < set.size(); ++i) {
            const views::ListRecord& record = set[i];
            rows.push_back(views::folderColumnText(record) + " " + record.name +
                           (record.isFolder() ? "/" : "") + (record.encrypted ? " [encrypted]" : ""));
        }
        return rows;
    };
    EXPECT_EQ(found("*.json", false),
              (std::vector<std::string>{"/ config.json", "docs/config app.json [encrypted]",
                                        "src/deep/er x.JSON", "src/deep/er y.Json"}));
    EXPECT_EQ(found("*.json", true),
              (std::vector<std::string>{"/ config.json", "docs/config app.json [encrypted]"}));
    // A folder found by its own name, even one only member paths imply; its row is a folder row,
    // marked when it holds an encrypted member.
    EXPECT_EQ(found("config", false),
              (std::vector<std::string>{"/ config.json", "docs config/ [encrypted]"}));
    EXPECT_EQ(found("deep", false), (std::vector<std::string>{"src deep/"}));
    // Paths: two members of one folder, one after the other, each with its own name.
    EXPECT_EQ(found("src/*/x.json", false), (std::vector<std::string>{"src/deep/er x.JSON"}));
    EXPECT_EQ(found("SRC/*/Y.json", false), (std::vector<std::string>{"src/deep/er y.Json"}));
    EXPECT_EQ(found("src/*/Y.json", true), (std::vector<std::string>{}));

    // The folded names kept from the last search give way to a new listing of as many members.
    state.entries[1].name = "Settings.json";
    ++state.listingNumber;
    EXPECT_EQ(found("settings", false), (std::vector<std::string>{"docs Settings.json"}));
}

} // namespace
