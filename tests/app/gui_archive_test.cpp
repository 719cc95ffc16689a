// The Archive menu end to end: Test Archive and Test Selected, Properties with the comment, and
// Find, in the real program with the real archiver, driven by the script driver.
#include "programcopy.h"

#include <filesystem>
#include <gtest/gtest.h>

using testsupport::contains;
using testsupport::count;
using testsupport::Sandbox;
namespace fs = std::filesystem;

namespace {

// Makes C:\zips\NAME.zip from files below C:\zipsrc with the zip tool.
void makeZip(const Sandbox& sandbox, const std::string& name, const std::string& members) {
    fs::create_directories(sandbox.hostPath("zips"));
    ASSERT_EQ(testsupport::runShell("cd '" + sandbox.hostPath("zipsrc") + "' && zip -q '" +
                                    sandbox.hostPath("zips/" + name) + "' " + members),
              0);
}

// Flips one byte in the middle of a member's stored data.
void damageMember(const std::string& archive, const std::string& member) {
    ASSERT_EQ(testsupport::runShell(
                  "python3 -c \"import zipfile\n"
                  "z = zipfile.ZipFile('" +
                  archive + "'); i = z.getinfo('" + member +
                  "')\n"
                  "at = i.header_offset + 30 + len(i.filename) + len(i.extra) + i.compress_size // 2\n"
                  "d = bytearray(open('" +
                  archive +
                  "', 'rb').read()); d[at] ^= 0x55\n"
                  "open('" +
                  archive + "', 'wb').write(d)\""),
              0);
}

// The text after the script line `after`, up to the next script line.
std::string outputOf(const std::string& out, const std::string& after) {
    const size_t at = out.find("> " + after + "\n");
    if (at == std::string::npos) {
        return "(no " + after + ")";
    }
    const size_t start = at + after.size() + 3;
    const size_t end = out.find("\n> ", start);
    return out.substr(start, end == std::string::npos ? std::string::npos : end - start + 1);
}

struct ArchiveTest : ::testing::Test {
    testsupport::ProgramCopy program;

    void SetUp() override {
        testsupport::writeFile(program.sandbox.hostPath("zipsrc/top.txt"), "top level\n");
        std::string text;
        for (int i = 0; i < 4000; ++i) {
            text += "line " + std::to_string(i) + "\n";
        }
        testsupport::writeFile(program.sandbox.hostPath("zipsrc/docs/a.txt"), text);
        testsupport::writeFile(program.sandbox.hostPath("zipsrc/docs/b.txt"), text + text);
        testsupport::writeFile(program.sandbox.hostPath("zipsrc/docs/old/config.json"), "{\"old\": true}");
        testsupport::writeFile(program.sandbox.hostPath("zipsrc/src/app/config.json"), "{\"app\": 1}");
        testsupport::writeFile(program.sandbox.hostPath("zipsrc/settings.JSON"), "{}");
        makeZip(program.sandbox, "t.zip",
                "top.txt docs/a.txt docs/b.txt docs/old/config.json src/app/config.json settings.JSON");
    }
    std::string archive() const { return program.sandbox.hostPath("zips/t.zip"); }
};

TEST_F(ArchiveTest, TheArchiveMenuStandsBeforeHelpAndItsKeysReachItsCommands) {
    const std::string out = program.runScript("menus\n"
                                              "state ID_ARCHIVE_TEST\nstate ID_TEST_SELECTED\n"
                                              "state ID_ARCHIVE_PROPERTIES\nstate ID_ARCHIVE_FIND\n"
                                              "key local-list Ctrl+F\ndump\n"
                                              "key archive-list Ctrl+T\n",
                                              archive());
    EXPECT_TRUE(contains(out, "menu Settings: ")) << out;
    EXPECT_TRUE(contains(out, "\nmenu Archive: Test Archive [Ctrl+T], Properties [Alt+Enter], Find [Ctrl+F]"))
        << out;
    EXPECT_LT(out.find("menu Settings"), out.find("menu Archive")) << out;
    EXPECT_LT(out.find("menu Archive"), out.find("menu Help")) << out;
    for (const char* id :
         {"ID_ARCHIVE_TEST", "ID_TEST_SELECTED", "ID_ARCHIVE_PROPERTIES", "ID_ARCHIVE_FIND"}) {
        EXPECT_TRUE(contains(out, std::string(id) + ": enabled")) << id << "\n" << out;
    }
    EXPECT_TRUE(contains(out, "\nfind:  ()")) << "Ctrl+F opens the empty find bar\n" << out;
    EXPECT_TRUE(contains(out, "box Information|Test Completed|All 6 tested members are intact. -> OK"))
        << out;
}

TEST_F(ArchiveTest, ATestNamesExactlyTheDamagedMemberAndTestsOnlyWhatIsSelected) {
    damageMember(archive(), "docs/b.txt");
    const std::string out = program.runScript("command ID_ARCHIVE_TEST\n"
                                              "menu archive-tree C:\\zips\\t.zip/src/ Test Selected\n"
                                              "select archive-tree C:\\zips\\t.zip/docs/\n"
                                              "rows archive-list a.txt|old\n"
                                              "menu archive-list a.txt Test Selected\n"
                                              "rows archive-list b.txt\n"
                                              "menu archive-list b.txt Test Selected\n",
                                              archive());
    const std::string whole = outputOf(out, "command ID_ARCHIVE_TEST");
    EXPECT_TRUE(contains(whole, "progress Testing Files - Please Wait ...\n")) << out;
    EXPECT_TRUE(contains(whole, "box Stop|Test Failed|1 of 6 tested members failed the test: -> OK\n"
                                "  docs/b.txt: "))
        << out;
    EXPECT_EQ(count(whole, "\n  "), 1u) << "only the damaged member is named\n" << out;
    EXPECT_TRUE(contains(outputOf(out, "menu archive-tree C:\\zips\\t.zip/src/ Test Selected"),
                         "box Information|Test Completed|The tested member is intact. -> OK"))
        << out;
    EXPECT_TRUE(contains(outputOf(out, "menu archive-list a.txt Test Selected"),
                         "box Information|Test Completed|All 2 tested members are intact. -> OK"))
        << "a.txt and the folder old with config.json\n"
        << out;
    EXPECT_TRUE(
        contains(outputOf(out, "menu archive-list b.txt Test Selected"), "1 of 1 tested members failed"))
        << out;
    // Nothing was written anywhere: the sandbox holds only what the test made.
    EXPECT_FALSE(fs::exists(program.sandbox.hostPath("b.txt")));
    EXPECT_FALSE(fs::exists(program.sandbox.hostPath("docs")));
}

TEST_F(ArchiveTest, PropertiesShowTheArchiveAMemberAndTheWholeCommentWhichCanBeChanged) {
    testsupport::runShell("touch -d '2024-06-30 12:30:45 UTC' '" +
                          program.sandbox.hostPath("zipsrc/top.txt") + "' && chmod 640 '" +
                          program.sandbox.hostPath("zipsrc/top.txt") + "'");
    fs::remove(archive());
    makeZip(program.sandbox, "t.zip", "top.txt docs/a.txt");
    // The longest comment an archive holds, of many lines, set by a Python script as a build
    // system would.
    std::string comment = "Release 1.2 - built by CI on 2024-05-01\n";
    for (int line = 0; comment.size() < 65535 - 60; ++line) {
        comment += "note " + std::to_string(line) + ": every line of this comment must be shown\n";
    }
    comment.append(65535 - comment.size(), '.');
    testsupport::writeFile(program.sandbox.hostPath("comment.txt"), comment);
    ASSERT_EQ(testsupport::runShell("python3 -c \"import zipfile\nz = zipfile.ZipFile('" + archive() +
                                    "', 'a')\nz.comment = open('" + program.sandbox.hostPath("comment.txt") +
                                    "', 'rb').read()\nz.close()\""),
              0);
    const std::string out = program.runScript("command ID_ARCHIVE_PROPERTIES\n"
                                              "dump # archive\n"
                                              "rows archive-list top.txt\n"
                                              "key archive-list Alt+Return\n"
                                              "dump # member\n"
                                              "menu archive-tree C:\\zips\\t.zip/ Properties\n"
                                              "comment New note\\nsecond line\n"
                                              "dump # changed\n",
                                              archive());
    const std::string whole = outputOf(out, "dump # archive");
    std::string shown = "properties:\n  Properties of t.zip\n  Path: C:\\zips\\t.zip\n";
    EXPECT_TRUE(contains(whole, shown)) << whole.substr(whole.find("properties:"), 400);
    EXPECT_TRUE(contains(whole, "\n  Members: 2 files, 1 folder\n"))
        << whole.substr(whole.find("properties:"), 600);
    EXPECT_TRUE(
        contains(whole, "\n  ZIP64: No\n  Encryption: None\n  Methods: Deflate 1, Stored 1\n  Comment:\n"))
        << out;
    std::string commentLines;
    for (size_t start = 0; start < comment.size();) {
        const size_t end = comment.find('\n', start);
        commentLines += "  " + comment.substr(start, end == std::string::npos ? end : end - start) + "\n";
        start = end == std::string::npos ? comment.size() : end + 1;
    }
    EXPECT_TRUE(contains(whole, "  Comment:\n" + commentLines)) << "the whole comment, every line of it";

    const std::string member = outputOf(out, "dump # member");
    EXPECT_TRUE(
        contains(member, "\nproperties:\n  Properties of top.txt\n  Name: top.txt\n  Size: 10 bytes\n"))
        << member;
    EXPECT_TRUE(contains(member, "\n  Modified: 2024-06-30 12:30:45 +0000 (UTC)\n")) << member;
    EXPECT_TRUE(contains(member, "\n  Unix mode: -rw-r----- (100640)\n")) << member;
    EXPECT_TRUE(contains(member, "\n  Encryption: None\n")) << member;

    // The archive's again, from the tree's context menu; its comment is replaced, and the window
    // shows the new one.
    const std::string changed = outputOf(out, "dump # changed");
    EXPECT_TRUE(contains(changed, "  Comment:\n  New note\n  second line")) << changed;
    std::string peer;
    testsupport::runShell("unzip -z '" + archive() + "' | tail -n +2", &peer);
    EXPECT_EQ(peer, "New note\nsecond line\n");
    EXPECT_EQ(testsupport::runShell("unzip -tq '" + archive() + "' > /dev/null"), 0);
}

TEST_F(ArchiveTest, FindShowsMatchesOfTheWholeArchiveThatAreSortedExtractedAndDeletedLikeRows) {
    const std::string out = program.runScript("select archive-tree C:\\zips\\t.zip/docs/\n"
                                              "find *.json\n"
                                              "dump # found\n"
                                              "find\n"
                                              "dump # closed\n"
                                              "find *.json\n"
                                              "column archive-list 1\n"
                                              "dump # by size\n"
                                              "command ID_SORT_NAME\n"
                                              "command ID_INCLUDE_PATH_INFO\n"
                                              "mkdir C:\\out\n"
                                              "rows archive-list config.json\n"
                                              "answer OK\n"
                                              "drag archive-list rows config.json to local-tree C:\\out\\\n"
                                              "rows archive-list settings.JSON\n"
                                              "answer OK\n"
                                              "key archive-list Delete\n"
                                              "dump # deleted\n"
                                              "find OLD\n"
                                              "select archive-tree C:\\zips\\t.zip/src/\n"
                                              "dump # tree\n",
                                              archive());
    const std::string found = outputOf(out, "dump # found");
    EXPECT_TRUE(contains(found, "archive-list: Name | File Size | Zip Size | Ratio | Date Modified | Folder\n"
                                "  config.json | 13 | "))
        << found;
    EXPECT_TRUE(contains(found, " | docs/old\n  config.json | 10 | ")) << found;
    EXPECT_TRUE(contains(found, " | src/app\n  settings.JSON | 2 | ")) << found;
    EXPECT_TRUE(contains(found, "\nfind: *.json (3 found)")) << found;
    EXPECT_TRUE(contains(found, "Zip: 3 Items")) << found;
    EXPECT_TRUE(contains(outputOf(out, "dump # by size"), "  settings.JSON | 2 | ")) << out;
    EXPECT_LT(outputOf(out, "dump # by size").find("settings.JSON"),
              outputOf(out, "dump # by size").find("config"))
        << "the smallest first";

    // Dragged out with their folders, the two config.json come out each in its own folder.
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("out/docs/old/config.json")), "{\"old\": true}");
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("out/src/app/config.json")), "{\"app\": 1}");
    const std::string deleted = outputOf(out, "dump # deleted");
    EXPECT_FALSE(contains(deleted, "settings.JSON")) << deleted;
    EXPECT_TRUE(contains(deleted, "\nfind: *.json (2 found)"))
        << "the search is made again on the new listing\n"
        << deleted;
    std::string listing;
    testsupport::runShell("unzip -Z1 '" + archive() + "'", &listing);
    EXPECT_FALSE(contains(listing, "settings.JSON")) << listing;
    EXPECT_TRUE(contains(listing, "docs/old/config.json")) << listing;

    // Closing the bar shows the folder that was shown before.
    const std::string closed = outputOf(out, "dump # closed");
    EXPECT_TRUE(
        contains(closed, "archive-list: Name | File Size | Zip Size | Ratio | Date Modified\n  old |"))
        << closed;
    EXPECT_FALSE(contains(closed, "find:")) << closed;
    // A folder chosen in the tree ends a search.
    const std::string tree = outputOf(out, "dump # tree");
    EXPECT_TRUE(contains(tree, "Date Modified\n  app |")) << tree;
    EXPECT_FALSE(contains(tree, "find:")) << tree;
}

} // namespace
