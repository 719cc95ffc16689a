#include "programcopy.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using testsupport::Sandbox;

namespace {

using ProgramUnderTest = testsupport::ProgramCopy;
using testsupport::contains;

// Makes C:\zips\NAME.zip from files below C:\zipsrc, added in the order given.
void makeZip(const Sandbox& sandbox, const std::string& name, const std::string& members) {
    std::filesystem::create_directories(sandbox.hostPath("zips"));
    ASSERT_EQ(testsupport::runShell("cd '" + sandbox.hostPath("zipsrc") + "' && zip -q '" +
                                    sandbox.hostPath("zips/" + name) + "' " + members),
              0);
}

} // namespace

TEST(GuiScriptTest, FirstStartShowsTheDefaults) {
    ProgramUnderTest program;
    int status = -1;
    const std::string out = program.runScript("dump\nstate ID_SORT_NAME\nstate ID_SORT_DATE\n"
                                              "state ID_OMIT_PATH_INFO\nstate ID_INCLUDE_PATH_INFO\n"
                                              "state ID_USE_DRIVE_A\nstate ID_SET_ZIP_ASSOCIATION\n",
                                              "", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_TRUE(contains(out, "title: Pellix - blank.zip")) << out;
    EXPECT_TRUE(contains(out, "panes: 320 x 240")) << out;
    EXPECT_TRUE(contains(out, "ID_SORT_NAME: enabled, checked")) << out;
    EXPECT_TRUE(contains(out, "ID_SORT_DATE: enabled, unchecked")) << out;
    EXPECT_TRUE(contains(out, "ID_OMIT_PATH_INFO: enabled, checked")) << out;
    EXPECT_TRUE(contains(out, "ID_INCLUDE_PATH_INFO: enabled, unchecked")) << out;
    EXPECT_TRUE(contains(out, "ID_USE_DRIVE_A: enabled, unchecked")) << out;
    EXPECT_TRUE(contains(out, "ID_SET_ZIP_ASSOCIATION: disabled")) << "the association was made at start-up\n"
                                                                   << out;
    EXPECT_TRUE(contains(program.registryText(), "\"SortType\"=\"1\"")) << program.registryText();
}

TEST(GuiScriptTest, AnArchiveOfOneDeepMemberShowsItsFoldersLevelByLevel) {
    ProgramUnderTest program;
    testsupport::writeFile(program.sandbox.hostPath("zipsrc/a/b/c.txt"), "deep");
    makeZip(program.sandbox, "abc.zip", "a/b/c.txt");
    const std::string out = program.runScript("dump\n"
                                              "expand archive-tree C:\\zips\\abc.zip/a/\n"
                                              "select archive-tree C:\\zips\\abc.zip/a/b/\n"
                                              "dump\n",
                                              program.sandbox.hostPath("zips/abc.zip"));
    // At start-up the command-line archive is listed, its root selected, its list at the top.
    EXPECT_TRUE(contains(out, "title: Pellix - abc.zip")) << out;
    EXPECT_TRUE(contains(out, "archive C:\\zips\\abc.zip [expanded] [selected]\n"
                              "  archive-folder a\n"
                              "    placeholder Empty Folder\n"
                              "archive-list: Name | File Size | Zip Size | Ratio | Date Modified\n"
                              "  a |  |  |  | \n"))
        << out;
    EXPECT_TRUE(contains(out, "Zip: 1 Items")) << out;
    // After expanding a and selecting b, the list shows the member itself.
    EXPECT_TRUE(contains(out, "  archive-folder a [expanded]\n    archive-folder b [selected]\n")) << out;
    EXPECT_TRUE(contains(out, "  c.txt | 4 | 4 |  0.0% | ")) << out;
}

TEST(GuiScriptTest, ListsSortFoldersFirstByEveryKeyAndRememberTheKey) {
    ProgramUnderTest program;
    const std::string dir = program.sandbox.hostPath("data");
    testsupport::writeFile(dir + "/b.txt", std::string(300, 'b'));
    testsupport::writeFile(dir + "/a.zip", std::string(20, 'a'));
    testsupport::writeFile(dir + "/README", std::string(1000, 'r'));
    testsupport::writeFile(dir + "/zz/inner.txt", "");
    testsupport::writeFile(dir + "/.hidden/inner.txt", "");
    for (const auto& [name, time] : {std::pair{"b.txt", "200001010000"}, std::pair{"a.zip", "201001010000"},
                                     std::pair{"README", "199001010000"}, std::pair{"zz", "202001010000"}}) {
        testsupport::runShell("TZ=UTC touch -h -t " + std::string(time) + " '" + dir + "/" + name + "'");
    }
    const std::string out = program.runScript("select local-tree C:\\data\\\n"
                                              "dump\n"
                                              "command ID_SORT_EXTENSION\n"
                                              "dump\n"
                                              "column local-list 1\n"
                                              "state ID_SORT_FILE_SIZE\n"
                                              "state ID_SORT_EXTENSION\n"
                                              "dump\n"
                                              "column local-list 2\n"
                                              "state ID_SORT_DATE\n"
                                              "dump\n");
    auto namesAfter = [&out](size_t dumpNumber) {
        size_t at = 0;
        for (size_t i = 0; i <= dumpNumber; ++i) {
            at = out.find("local-list: Name", at + 1);
        }
        std::string names;
        size_t line = out.find('\n', at) + 1;
        while (out.compare(line, 2, "  ") == 0) {
            const size_t bar = out.find(" |", line);
            names += out.substr(line + 2, bar - line - 2) + ",";
            line = out.find('\n', line) + 1;
        }
        return names;
    };
    EXPECT_EQ(namesAfter(0), ".hidden,zz,a.zip,b.txt,README,") << "folders first, hidden ones shown\n" << out;
    // Folders take part in the extension order too: "zz" has none, ".hidden" has "hidden".
    EXPECT_EQ(namesAfter(1), "zz,.hidden,README,b.txt,a.zip,") << "no extension first, then txt before zip\n"
                                                               << out;
    EXPECT_EQ(namesAfter(2), ".hidden,zz,a.zip,b.txt,README,") << "by size\n" << out;
    EXPECT_EQ(namesAfter(3), "zz,.hidden,README,b.txt,a.zip,") << "by date, .hidden being new\n" << out;
    EXPECT_TRUE(contains(out, "ID_SORT_FILE_SIZE: enabled, checked")) << out;
    EXPECT_TRUE(contains(out, "ID_SORT_EXTENSION: enabled, unchecked")) << out;
    EXPECT_TRUE(contains(out, "ID_SORT_DATE: enabled, checked")) << out;
    EXPECT_FALSE(contains(out, "  . |")) << out;
    EXPECT_FALSE(contains(out, "  .. |")) << out;
    EXPECT_TRUE(contains(program.registryText(), "\"SortType\"=\"6\"")) << program.registryText();
}

TEST(GuiScriptTest, TreesExpandCollapseAndTheFocusCycles) {
    ProgramUnderTest program;
    testsupport::writeFile(program.sandbox.hostPath("top/one/file.txt"), "1");
    const std::string out = program.runScript("expand local-tree C:\\\n"
                                              "expand local-tree C:\\top\\\n"
                                              "collapse local-tree C:\\top\\\n"
                                              "dump\n"
                                              "key local-tree Tab\n"
                                              "dump\n"
                                              "key local-list Tab\n"
                                              "dump\n"
                                              "key archive-tree Tab\n"
                                              "dump\n"
                                              "key archive-list Tab\n"
                                              "dump\n"
                                              "key local-tree Shift+Tab\n"
                                              "dump\n");
    EXPECT_TRUE(contains(out, "    folder top [selected]")) << "a collapse selects the item\n" << out;
    EXPECT_TRUE(contains(out, "local-list: Name | File Size | Date Modified\n  one |")) << out;
    size_t at = 0;
    for (const char* expected : {"active: local-list", "active: archive-tree", "active: archive-list",
                                 "active: local-tree", "active: archive-list"}) {
        at = out.find(expected, at);
        EXPECT_NE(at, std::string::npos) << expected << "\n" << out;
    }
}

TEST(GuiScriptTest, KeysReachTheProgramsOwnCommands) {
    ProgramUnderTest program;
    std::filesystem::create_directories(program.sandbox.hostPath("before"));
    const std::string out = program.runScript("file cancel\n"
                                              "key local-tree Ctrl+O\n"
                                              "file cancel\n"
                                              "key local-list Alt+O\n"
                                              "file cancel\n"
                                              "key archive-list Ctrl+N\n");
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n') > 0, true);
    size_t opens = 0;
    for (size_t at = out.find("file dialog Open Zip File"); at != std::string::npos;
         at = out.find("file dialog Open Zip File", at + 1)) {
        ++opens;
    }
    EXPECT_EQ(opens, 2u) << out;
    EXPECT_TRUE(contains(out, "file dialog New Zip Archive")) << out;
}

TEST(GuiScriptTest, RefreshShowsWhatChangedOnDisk) {
    ProgramUnderTest program;
    testsupport::writeFile(program.sandbox.hostPath("old.txt"), "old");
    const std::string out = program.runScript("dump\n"
                                              "mkdir C:\\made later\n"
                                              "key local-tree F5\n"
                                              "dump\n");
    const size_t second = out.find("> dump", out.find("F5"));
    ASSERT_NE(second, std::string::npos) << out;
    EXPECT_FALSE(contains(out.substr(0, second), "made later |")) << out;
    EXPECT_TRUE(contains(out.substr(second), "  made later |")) << out;
    EXPECT_TRUE(contains(out.substr(second), "Local: 3 Items")) << "Program Files, old.txt, made later\n"
                                                                << out;
}

TEST(GuiScriptTest, EveryWayOutSavesTheSettings) {
    const char* waysOut[] = {"key local-tree Alt+X", "key local-list Ctrl+X", "command ID_APP_EXIT",
                             "toolbar Exit", "close"};
    for (const char* way : waysOut) {
        ProgramUnderTest program;
        int status = -1;
        const std::string out = program.runScript(
            std::string("command ID_SORT_DATE\ncommand ID_INCLUDE_PATH_INFO\n") + way + "\n", "", &status);
        EXPECT_EQ(status, 0) << way << "\n" << out;
        const std::string store = program.registryText();
        EXPECT_TRUE(contains(store, "\"SortType\"=\"6\"")) << way << "\n" << store;
        EXPECT_TRUE(contains(store, "\"IncludePathInfo\"=dword:00000001")) << way << "\n" << store;
    }
}

TEST(GuiScriptTest, ClosingDuringAHungAddStopsTheArchiverAndLeavesTheArchiveAsItWas) {
    ProgramUnderTest program;
    testsupport::writeFile(program.sandbox.hostPath("zipsrc/old.txt"), "old");
    makeZip(program.sandbox, "keep.zip", "old.txt");
    testsupport::writeFile(program.sandbox.hostPath("src/new.txt"), "new");
    const std::string zip = program.sandbox.hostPath("zips/keep.zip");
    const std::string before = testsupport::readFile(zip);
    const std::string log = program.sandbox.hostPath("runs.log");
    const std::string sleeper = program.sandbox.hostPath("sleeper.pid");
    testsupport::writeSlowArchiver(program.dir + "/PKZIP25.EXE", "-add", 60, log, sleeper);
    int status = -1;
    const std::string out = program.runScript("select local-tree C:\\src\\\n"
                                              "rows local-list new.txt\n"
                                              "answer OK\n"
                                              "answer OK\n"
                                              "close later 1500\n"
                                              "command ID_ZIP_FILES\n",
                                              zip, &status);
    EXPECT_EQ(status, 0) << out;
    const size_t question =
        out.find("box Question|Stop the Archiver|The archiver is still working. Do you want "
                 "to stop it? /  / OK stops the archiver now. Cancel lets it finish. -> OK");
    const size_t cancelled =
        out.find("box Stop|Process Cancelled|The process has been cancelled by the user.");
    const size_t closed = out.find("window closed");
    ASSERT_NE(question, std::string::npos) << out;
    ASSERT_NE(cancelled, std::string::npos) << out;
    ASSERT_NE(closed, std::string::npos) << out;
    EXPECT_LT(question, cancelled) << out;
    EXPECT_LT(cancelled, closed) << out;
    EXPECT_FALSE(contains(out, "Zip Completed")) << out;
    EXPECT_TRUE(testsupport::processEndsWithin(sleeper, std::chrono::seconds(5)));
    EXPECT_EQ(testsupport::readFile(zip), before);
    // The listing at start-up and the add; nothing runs once the window is closing.
    EXPECT_EQ(testsupport::count(testsupport::readFile(log), "\n"), 2u) << testsupport::readFile(log);
}

// The stored pane sizes count the screen's pixels: at twice the scale the window's own pixels are
// twice as large, so the panes take half as many of them and keep their share of the screen, and
// what is stored again at exit is what was read.
TEST(GuiScriptTest, PaneSizesKeepTheirShareOfTheScreenAtEveryScale) {
    const struct {
        const char* scale;
        const char* panes;
    } cases[] = {{"1", "panes: 320 x 240"}, {"2", "panes: 160 x 120"}, {"1.5", "panes: 213 x 160"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.scale);
        ProgramUnderTest program;
        setenv("QT_SCALE_FACTOR", c.scale, 1);
        const std::string out = program.runScript("dump\nclose\n");
        unsetenv("QT_SCALE_FACTOR");
        EXPECT_TRUE(contains(out, c.panes)) << out;
        const std::string store = program.registryText();
        EXPECT_TRUE(contains(store, "\"SplitterWidth\"=dword:00000140")) << store;
        EXPECT_TRUE(contains(store, "\"SplitterHeight\"=dword:000000f0")) << store;
    }
}
