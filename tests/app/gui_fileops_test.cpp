// The file operations of the window end to end: the real program on real folders and archives,
// driven by its script driver through the handlers a right click, the in-place editor and the
// keys reach.
#include "programcopy.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using testsupport::Sandbox;
namespace fs = std::filesystem;

namespace {

constexpr char kRenameFailed[] =
    "box Stop|Error Renaming File|An invalid filename was entered, or a file with "
    "the name you specified already exists. -> OK";
constexpr char kConfirmDelete[] =
    "box Question|Confirm File Delete|Are you sure you want to delete the selected item(s)? -> OK";
constexpr char kDeleteCompleted[] =
    "box Information|Delete Completed|The Selected Files have been Deleted. -> OK";

// The program copy, and what the tests here look for on disk.
struct ProgramUnderTest : testsupport::ProgramCopy {
    bool exists(const std::string& relative) const {
        return fs::exists(fs::symlink_status(sandbox.hostPath(relative)));
    }
};

using testsupport::contains;
using testsupport::count;

// The names of a list's rows in the dump that follows the script line `after`.
std::string rowsAfter(const std::string& out, const std::string& after, const std::string& list) {
    size_t at = out.find("> " + after);
    at = out.find(list + ": Name", at);
    if (at == std::string::npos) {
        return "(no dump)";
    }
    std::string names;
    size_t line = out.find('\n', at) + 1;
    while (out.compare(line, 2, "  ") == 0) {
        const size_t bar = out.find(" |", line);
        names += out.substr(line + 2, bar - line - 2) + ",";
        line = out.find('\n', line) + 1;
    }
    return names;
}

// Makes C:\zips\NAME.zip from files below C:\zipsrc with the zip tool.
void makeZip(const Sandbox& sandbox, const std::string& name, const std::string& members) {
    fs::create_directories(sandbox.hostPath("zips"));
    ASSERT_EQ(testsupport::runShell("cd '" + sandbox.hostPath("zipsrc") + "' && zip -q '" +
                                    sandbox.hostPath("zips/" + name) + "' " + members),
              0);
}

// The member names of an archive, one per line, as unzip lists them.
std::string members(const std::string& archive) {
    std::string out;
    testsupport::runShell("unzip -Z1 '" + archive + "' | sort", &out);
    return out;
}

} // namespace

TEST(GuiFileOpsTest, NewFolderTakesTheFirstFreeNameAndWaitsAtTheBottomInAnEdit) {
    ProgramUnderTest program;
    testsupport::writeFile(program.sandbox.hostPath("nf/a.txt"), "a");
    const std::string out = program.runScript("select local-tree C:\\nf\\\n"
                                              "menu local-list - New Folder\n"
                                              "editing local-list\n"
                                              "dump # first\n"
                                              "rename local-list NewFolder1\n"
                                              "menu local-list a.txt New Folder\n"
                                              "editing local-list\n"
                                              "rename local-list NewFolder2\n"
                                              "mkdir C:\\nf\\NewFolder3\n"
                                              "answer OK\n"
                                              "menu local-list NewFolder2 Delete\n"
                                              "menu local-list - New Folder\n"
                                              "editing local-list\n"
                                              "dump # gap\n");
    EXPECT_TRUE(contains(out, "menu: New Folder, Rename (grayed), Delete (grayed)")) << out;
    EXPECT_TRUE(contains(out, "menu: New Folder, Rename, Delete")) << out;
    // The new row is last, after the file, in an edit: the control does not sort it in.
    EXPECT_EQ(rowsAfter(out, "dump # first", "local-list"), "a.txt,NewFolder1,") << out;
    EXPECT_TRUE(contains(out, "> editing local-list\nediting: NewFolder1\n> dump # first")) << out;
    EXPECT_TRUE(contains(out, "> editing local-list\nediting: NewFolder2\n")) << out;
    EXPECT_TRUE(contains(out, kConfirmDelete)) << out;
    // NewFolder2 was deleted, NewFolder3 made behind the program's back: the gap is filled.
    EXPECT_EQ(rowsAfter(out, "dump # gap", "local-list"), "NewFolder1,NewFolder3,a.txt,NewFolder2,") << out;
    EXPECT_TRUE(contains(out, "> editing local-list\nediting: NewFolder2\n> dump # gap")) << out;
    for (const char* folder : {"nf/NewFolder1", "nf/NewFolder2", "nf/NewFolder3"}) {
        EXPECT_TRUE(fs::is_directory(program.sandbox.hostPath(folder))) << folder;
    }
    EXPECT_FALSE(contains(out, "error:")) << out;
}

TEST(GuiFileOpsTest, RenameToAnExistingNameFailsAndTheEditorOpensAgain) {
    ProgramUnderTest program;
    testsupport::writeFile(program.sandbox.hostPath("rn/a.txt"), "first");
    testsupport::writeFile(program.sandbox.hostPath("rn/b.txt"), "second");
    testsupport::writeFile(program.sandbox.hostPath("rn/Sub/in.txt"), "in");
    fs::create_directories(program.sandbox.hostPath("rn/Other"));
    const std::string out = program.runScript("select local-tree C:\\rn\\\n"
                                              "menu local-list a.txt Rename\n"
                                              "editing local-list\n"
                                              "rename local-list a.txt b.txt\n"
                                              "editing local-list\n"
                                              "rename local-list a.txt c.txt\n"
                                              "editing local-list\n"
                                              "rename local-list c.txt Sub/moved.txt\n"
                                              "rename local-list c.txt\n"
                                              "dump # list\n"
                                              "rename local-tree C:\\rn\\Sub\\ Other\n"
                                              "editing local-tree\n"
                                              "rename local-tree C:\\rn\\Sub\\ New\n"
                                              "editing local-tree\n"
                                              "dump # tree\n");
    // An existing name, a name with a separator (it would move the file), an existing folder.
    EXPECT_EQ(count(out, kRenameFailed), 3u) << out;
    EXPECT_TRUE(contains(out, "> rename local-list c.txt Sub/moved.txt\n" + std::string(kRenameFailed)))
        << out;
    EXPECT_FALSE(program.exists("rn/Sub/moved.txt"));
    EXPECT_TRUE(contains(out, "> rename local-list a.txt b.txt\n" + std::string(kRenameFailed) +
                                  "\n> editing local-list\nediting: a.txt\n"))
        << out;
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("rn/b.txt")), "second") << "nothing overwritten";
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("rn/c.txt")), "first");
    EXPECT_FALSE(program.exists("rn/a.txt"));
    // The renamed row keeps its place and shows its new name.
    EXPECT_EQ(rowsAfter(out, "dump # list", "local-list"), "Other,Sub,c.txt,b.txt,") << out;
    EXPECT_TRUE(contains(out, "> rename local-tree C:\\rn\\Sub\\ Other\n" + std::string(kRenameFailed) +
                                  "\n> editing local-tree\nediting: Sub\n"))
        << out;
    EXPECT_TRUE(program.exists("rn/New/in.txt"));
    EXPECT_FALSE(program.exists("rn/Sub"));
    EXPECT_TRUE(contains(out, "      folder New [selected]")) << out;
    EXPECT_TRUE(contains(out, "> editing local-tree\nediting: none\n> dump # tree")) << out;
}

TEST(GuiFileOpsTest, DeleteWhileANameIsEditedDeletesNothing) {
    ProgramUnderTest program;
    testsupport::writeFile(program.sandbox.hostPath("ed/a.txt"), "a");
    testsupport::writeFile(program.sandbox.hostPath("ed/Sub/in.txt"), "in");
    const std::string out = program.runScript("select local-tree C:\\ed\\\n"
                                              "rows local-list a.txt\n"
                                              "menu local-list a.txt Rename\n"
                                              "key local-list Delete\n"
                                              "editing local-list\n"
                                              "rename local-list a.txt\n"
                                              "menu local-tree C:\\ed\\Sub\\ Rename\n"
                                              "key local-tree Delete\n"
                                              "editing local-tree\n"
                                              "rename local-tree C:\\ed\\Sub\\\n");
    EXPECT_FALSE(contains(out, "Confirm File Delete")) << out;
    EXPECT_TRUE(contains(out, "> editing local-list\nediting: a.txt\n")) << out;
    EXPECT_TRUE(contains(out, "> editing local-tree\nediting: Sub\n")) << out;
    EXPECT_TRUE(program.exists("ed/a.txt"));
    EXPECT_TRUE(program.exists("ed/Sub/in.txt"));
    EXPECT_FALSE(contains(out, "error:")) << out;

    // Once the edit is over, here because F5 read the folder again under it, the same key
    // deletes, after its confirmation.
    const std::string after = program.runScript("select local-tree C:\\ed\\\n"
                                                "menu local-list a.txt Rename\n"
                                                "key local-list F5\n"
                                                "editing local-list\n"
                                                "select local-tree C:\\ed\\\n"
                                                "rows local-list a.txt\n"
                                                "answer OK\n"
                                                "key local-list Delete\n");
    EXPECT_TRUE(contains(after, "> editing local-list\nediting: none\n")) << after;
    EXPECT_TRUE(contains(after, kConfirmDelete)) << after;
    EXPECT_FALSE(program.exists("ed/a.txt"));
}

TEST(GuiFileOpsTest, ContextMenusGrayWhatThePaneCannotDo) {
    ProgramUnderTest program;
    testsupport::writeFile(program.sandbox.hostPath("zipsrc/docs/a.txt"), "a");
    makeZip(program.sandbox, "m.zip", "docs/a.txt");
    fs::create_directories(program.sandbox.hostPath("folder"));
    const std::string out = program.runScript("menu local-tree Local Computer|none\n"
                                              "menu local-tree C:\\ none\n"
                                              "menu local-tree C:\\folder\\ none\n"
                                              "menu archive-tree C:\\zips\\m.zip/ none\n"
                                              "menu archive-tree C:\\zips\\m.zip/docs/ none\n"
                                              "select archive-tree C:\\zips\\m.zip/docs/\n"
                                              "menu archive-list a.txt none\n"
                                              "menu archive-list a.txt Rename\n",
                                              program.sandbox.hostPath("zips/m.zip"));
    const std::string expected =
        "> menu local-tree Local Computer|none\nmenu: none\n"
        "> menu local-tree C:\\ none\nmenu: New Folder, Rename (grayed), Delete (grayed)\n"
        "> menu local-tree C:\\folder\\ none\nmenu: New Folder, Rename, Delete\n"
        "> menu archive-tree C:\\zips\\m.zip/ none\n"
        "menu: New Folder (grayed), Rename (grayed), Delete (grayed), -, Test Selected, Properties, Find\n"
        "> menu archive-tree C:\\zips\\m.zip/docs/ none\n"
        "menu: New Folder (grayed), Rename (grayed), Delete, -, Test Selected, Properties, Find\n"
        "> select archive-tree C:\\zips\\m.zip/docs/\n"
        "> menu archive-list a.txt none\n"
        "menu: New Folder (grayed), Rename (grayed), Delete, -, Test Selected, Properties, Find\n"
        "> menu archive-list a.txt Rename\n"
        "menu: New Folder (grayed), Rename (grayed), Delete, -, Test Selected, Properties, Find\n"
        "error: the entry is grayed";
    EXPECT_TRUE(contains(out, expected)) << out;
}

TEST(GuiFileOpsTest, FolderDeleteFromTheLocalTreeStopsAtAReadOnlyFile) {
    ProgramUnderTest program;
    testsupport::writeFile(program.sandbox.hostPath("del/Gone/a.txt"), "a");
    testsupport::writeFile(program.sandbox.hostPath("del/Gone/inner/b.txt"), "b");
    testsupport::writeFile(program.sandbox.hostPath("del/Stuck/a.txt"), "a");
    testsupport::writeFile(program.sandbox.hostPath("del/Stuck/m.txt"), "read-only");
    testsupport::writeFile(program.sandbox.hostPath("del/Stuck/z.txt"), "z");
    testsupport::writeFile(program.sandbox.hostPath("outside/kept.txt"), "kept");
    fs::create_directory_symlink(program.sandbox.hostPath("outside"),
                                 program.sandbox.hostPath("del/Gone/link"));
    chmod(program.sandbox.hostPath("del/Stuck/m.txt").c_str(), 0444);
    const std::string out = program.runScript("answer OK\n"
                                              "menu local-tree C:\\del\\Gone\\ Delete\n"
                                              "answer OK\n"
                                              "select local-tree C:\\del\\Stuck\\\n"
                                              "key local-tree Delete\n"
                                              "dump # after\n");
    EXPECT_FALSE(program.exists("del/Gone"));
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("outside/kept.txt")), "kept");
    EXPECT_TRUE(contains(out, "> key local-tree Delete\n" + std::string(kConfirmDelete) +
                                  "\nbox Stop|Error Deleting File|The program was unable to delete the "
                                  "specified file(s). -> OK\n"))
        << out;
    EXPECT_FALSE(program.exists("del/Stuck/a.txt"));
    EXPECT_TRUE(program.exists("del/Stuck/m.txt"));
    EXPECT_TRUE(program.exists("del/Stuck/z.txt"));
    // The parent is read again: Gone has left the tree, Stuck is still there.
    EXPECT_FALSE(contains(out, "folder Gone")) << out;
    EXPECT_TRUE(contains(out, "      folder Stuck")) << out;
}

TEST(GuiFileOpsTest, MembersAndAnArchiveFolderAreDeletedFromTheArchive) {
    ProgramUnderTest program;
    testsupport::writeFile(program.sandbox.hostPath("zipsrc/top.txt"), "top");
    testsupport::writeFile(program.sandbox.hostPath("zipsrc/docs/a.txt"), "a");
    testsupport::writeFile(program.sandbox.hostPath("zipsrc/docs/keep.txt"), "keep");
    testsupport::writeFile(program.sandbox.hostPath("zipsrc/docs/old/b.txt"), "b");
    testsupport::writeFile(program.sandbox.hostPath("zipsrc/docs/old/deeper/c.txt"), "c");
    makeZip(program.sandbox, "d.zip",
            "top.txt docs/a.txt docs/keep.txt docs/old/b.txt docs/old/deeper/c.txt");
    const std::string archive = program.sandbox.hostPath("zips/d.zip");
    const std::string out = program.runScript("select archive-tree C:\\zips\\d.zip/docs/\n"
                                              "rows archive-list a.txt\n"
                                              "answer OK\n"
                                              "key archive-list Delete\n"
                                              "answer OK\n"
                                              "menu archive-tree C:\\zips\\d.zip/docs/old/ Delete\n"
                                              "dump # after\n",
                                              archive);
    EXPECT_EQ(count(out, kConfirmDelete), 2u) << out;
    EXPECT_EQ(count(out, kDeleteCompleted), 2u) << out;
    EXPECT_EQ(members(archive), "docs/keep.txt\ntop.txt\n");
    EXPECT_EQ(testsupport::runShell("unzip -tq '" + archive + "' > /dev/null"), 0);
    EXPECT_FALSE(contains(out.substr(out.find("> dump # after")), "archive-folder old")) << out;
}

TEST(GuiFileOpsTest, ZipAddsTheLocalSelectionWithAndWithoutPathInfo) {
    for (const bool withPath : {false, true}) {
        ProgramUnderTest program;
        testsupport::writeFile(program.sandbox.hostPath("src/a.txt"), "aaaa");
        testsupport::writeFile(program.sandbox.hostPath("src/sub/b.txt"), "bb");
        testsupport::writeFile(program.sandbox.hostPath("src/sub/deep/c.txt"), "c");
        testsupport::writeFile(program.sandbox.hostPath("src/not-selected.txt"), "n");
        fs::create_directories(program.sandbox.hostPath("out"));
        const std::string out = program.runScript(
            std::string(withPath ? "command ID_INCLUDE_PATH_INFO\n" : "") + "file C:\\out\\new.zip\n"
                                                                            "command ID_FILE_NEW_ARCHIVE\n"
                                                                            "select local-tree C:\\src\\\n"
                                                                            "rows local-list a.txt|sub\n"
                                                                            "answer OK\n"
                                                                            "command ID_ZIP_FILES\n"
                                                                            "dump # zipped\n");
        const std::string archive = program.sandbox.hostPath("out/new.zip");
        EXPECT_TRUE(contains(out,
                             "box Question|Confirm Zip File(s)|Are you sure you want to Add the selected "
                             "File(s) to the Zip Archive? -> OK\n"))
            << out;
        EXPECT_TRUE(contains(out, "box Information|Zip Completed|The Selected Files have been Zipped. -> OK"))
            << out;
        EXPECT_EQ(testsupport::runShell("unzip -tq '" + archive + "' > /dev/null"), 0) << withPath;
        EXPECT_EQ(members(archive),
                  withPath ? "src/a.txt\nsrc/sub/b.txt\nsrc/sub/deep/c.txt\n" : "a.txt\nb.txt\nc.txt\n")
            << withPath;
        EXPECT_EQ(rowsAfter(out, "dump # zipped", "archive-list"), withPath ? "src," : "a.txt,b.txt,c.txt,")
            << out;
    }
}

TEST(GuiFileOpsTest, UnzipExtractsTheSelectedMembersIntoTheLocalTreesFolder) {
    ProgramUnderTest program;
    testsupport::writeFile(program.sandbox.hostPath("zipsrc/top.txt"), "top");
    testsupport::writeFile(program.sandbox.hostPath("zipsrc/docs/a.txt"), "a");
    testsupport::writeFile(program.sandbox.hostPath("zipsrc/docs/old/b.txt"), "b");
    makeZip(program.sandbox, "u.zip", "top.txt docs/a.txt docs/old/b.txt");
    fs::create_directories(program.sandbox.hostPath("dest"));
    const std::string out = program.runScript("select local-tree Local Computer\n"
                                              "select archive-tree C:\\zips\\u.zip/\n"
                                              "command ID_UNZIP_FILES\n"
                                              "select local-tree C:\\dest\\\n"
                                              "select archive-tree C:\\zips\\u.zip/docs/\n"
                                              "rows archive-list a.txt|old\n"
                                              "answer OK\n"
                                              "command ID_UNZIP_FILES\n"
                                              "select local-tree C:\\\n"
                                              "select archive-tree C:\\zips\\u.zip/\n"
                                              "rows archive-list top.txt\n"
                                              "answer OK\n"
                                              "key archive-list Ctrl+U\n",
                                              program.sandbox.hostPath("zips/u.zip"));
    EXPECT_TRUE(contains(out,
                         "> command ID_UNZIP_FILES\nbox Stop|Unable to Unzip Files|Please first select a "
                         "Treeview Folder as the Destination (in the upper-left quadrant). -> OK\n"))
        << out;
    EXPECT_EQ(count(out, "box Question|Confirm Unzip File(s)|Are you sure you want to Unzip the selected "
                         "File(s)? -> OK"),
              2u)
        << out;
    EXPECT_EQ(count(out, "box Information|UnZip Completed|The Selected Files have been UnZipped. -> OK"), 2u)
        << out;
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("dest/a.txt")), "a");
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("dest/b.txt")), "b");
    // A drive: into its root.
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("top.txt")), "top");
}

TEST(GuiFileOpsTest, SelectAllInTheArchiveTreeSelectsTheArchiveListForUnzip) {
    ProgramUnderTest program;
    testsupport::writeFile(program.sandbox.hostPath("zipsrc/top.txt"), "top");
    testsupport::writeFile(program.sandbox.hostPath("zipsrc/docs/a.txt"), "a");
    makeZip(program.sandbox, "s.zip", "top.txt docs/a.txt");
    fs::create_directories(program.sandbox.hostPath("all"));
    const std::string out = program.runScript("select local-tree C:\\all\\\n"
                                              "select archive-tree C:\\zips\\s.zip/\n"
                                              "rows archive-list top.txt\n"
                                              "key archive-tree Ctrl+A\n"
                                              "answer OK\n"
                                              "command ID_UNZIP_FILES\n",
                                              program.sandbox.hostPath("zips/s.zip"));
    EXPECT_TRUE(contains(out, "box Information|UnZip Completed|The Selected Files have been UnZipped. -> OK"))
        << out;
    // Both rows, the member and the folder, were selected: the folder's member came out too.
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("all/top.txt")), "top");
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("all/a.txt")), "a");
}

TEST(GuiFileOpsTest, NewFolderFromTheTreeIsMadeInItsFolderAndNamedInTheList) {
    ProgramUnderTest program;
    testsupport::writeFile(program.sandbox.hostPath("tf/NewFolder1/x.txt"), "x");
    const std::string out = program.runScript("menu local-tree C:\\tf\\ New Folder\n"
                                              "editing local-list\n"
                                              "rename local-list NewFolder2 Named\n"
                                              "dump # after\n");
    EXPECT_TRUE(
        contains(out, "menu: New Folder, Rename, Delete\n> editing local-list\nediting: NewFolder2\n"))
        << out;
    EXPECT_TRUE(fs::is_directory(program.sandbox.hostPath("tf/Named")));
    EXPECT_FALSE(program.exists("tf/NewFolder2"));
    EXPECT_TRUE(contains(out, "active: local-list")) << out;
    // The tree's folder shows the new sub-folder under its new name.
    EXPECT_TRUE(contains(out, "      folder Named\n")) << out;
}

// zip on Linux stores UTF-8 names without the UTF-8 flag: the window shows them, extracts them
// and deletes them by their real names.
TEST(GuiFileOpsTest, NonAsciiMemberNamesFromZipAreShownExtractedAndDeleted) {
    ProgramUnderTest program;
    const std::string german = "Gr\xc3\xbc\xc3\x9f"
                               "e.txt";
    const std::string japanese = "\xe6\x97\xa5\xe6\x9c\xac";
    const std::string emoji = "\xf0\x9f\x98\x80.txt";
    for (const std::string& file : {german, japanese + "/" + japanese + ".txt", emoji}) {
        testsupport::writeFile(program.sandbox.hostPath("zipsrc/" + file), file);
    }
    makeZip(program.sandbox, "n.zip", "-r .");
    fs::create_directories(program.sandbox.hostPath("dest"));
    const std::string archive = program.sandbox.hostPath("zips/n.zip");
    const std::string out = program.runScript("dump # opened\n"
                                              "select local-tree C:\\dest\\\n"
                                              "rows archive-list " +
                                                  german + "|" + emoji + "|" + japanese +
                                                  "\n"
                                                  "answer OK\n"
                                                  "command ID_UNZIP_FILES\n"
                                                  "rows archive-list " +
                                                  german +
                                                  "\n"
                                                  "answer OK\n"
                                                  "key archive-list Delete\n"
                                                  "dump # deleted\n",
                                              archive);
    EXPECT_TRUE(contains(out, "  archive-folder " + japanese + "\n")) << out;
    EXPECT_EQ(rowsAfter(out, "dump # opened", "archive-list"), japanese + "," + german + "," + emoji + ",")
        << out;
    EXPECT_TRUE(contains(out, "box Information|UnZip Completed|The Selected Files have been UnZipped. -> OK"))
        << out;
    for (const std::string& file : {german, japanese + ".txt", emoji}) {
        EXPECT_TRUE(program.exists("dest/" + file)) << file;
    }
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("dest/" + emoji)), emoji);
    EXPECT_EQ(count(out, kDeleteCompleted), 1u) << out;
    EXPECT_EQ(rowsAfter(out, "dump # deleted", "archive-list"), japanese + "," + emoji + ",") << out;
    EXPECT_EQ(testsupport::runShell("unzip -tq '" + archive + "' > /dev/null"), 0);
}
