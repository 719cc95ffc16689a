// Drags between the four panes of the real program, driven by its script driver on real folders
// and real archives: the mouse goes down on a row or item, moves through the panes and comes up on
// the target, and what the drop did is found on disk, in the archive and in the panes.
#include "programcopy.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using testsupport::Sandbox;

namespace {

// The program in a program directory of its own below the sandbox.
// The program copy, with the files and archives the drags work on.
struct Program : testsupport::ProgramCopy {
    std::string run(const std::string& script, const std::string& archive = "") {
        return runScript(script, archive);
    }
    void file(const std::string& relative, const std::string& contents = "x") const {
        testsupport::writeFile(sandbox.hostPath(relative), contents);
    }
    void folder(const std::string& relative) const {
        std::filesystem::create_directories(sandbox.hostPath(relative));
    }
    bool exists(const std::string& relative) const {
        return std::filesystem::exists(sandbox.hostPath(relative));
    }
    // C:\zips\NAME from the files below C:\zipsrc, with their folders.
    void zip(const std::string& name, const std::string& members) const {
        folder("zips");
        ASSERT_EQ(testsupport::runShell("cd '" + sandbox.hostPath("zipsrc") + "' && zip -q -r '" +
                                        sandbox.hostPath("zips/" + name) + "' " + members),
                  0);
    }
};

using testsupport::contains;
using testsupport::count;

const char kConfirmCopy[] =
    "box Question|Confirm File Copy|Are you sure you want to copy the selected item(s)?";
const char kConfirmUnzip[] =
    "box Question|Confirm Unzip File(s)|Are you sure you want to Unzip the selected File(s)?";
const char kConfirmZip[] =
    "box Question|Confirm Zip File(s)|Are you sure you want to Add the selected File(s) to the Zip Archive?";

} // namespace

TEST(GuiDragTest, LocalRowsDroppedOnAFolderRowAreCopiedThere) {
    Program program;
    program.file("data/a.txt", "alpha");
    program.file("data/b.txt", "beta");
    program.file("data/c.txt", "gamma");
    program.file("data/sub/inner.txt", "inner");
    program.folder("data/Dest");
    const std::string out = program.run("select local-tree C:\\data\\\n"
                                        "answer OK\n"
                                        "drag local-list rows a.txt|c.txt|sub to local-list Dest\n");
    EXPECT_TRUE(contains(out, "drag cursor: arrow")) << out;
    EXPECT_EQ(count(out, kConfirmCopy), 1u) << out;
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("data/Dest/a.txt")), "alpha");
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("data/Dest/c.txt")), "gamma");
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("data/Dest/sub/inner.txt")), "inner");
    EXPECT_FALSE(program.exists("data/Dest/b.txt")) << "only the selected rows are copied";
    EXPECT_FALSE(contains(out, "unexpected")) << out;
}

TEST(GuiDragTest, CancellingTheConfirmationCopiesNothing) {
    Program program;
    program.file("data/a.txt");
    program.folder("data/Dest");
    const std::string out = program.run("select local-tree C:\\data\\\n"
                                        "answer Cancel\n"
                                        "drag local-list rows a.txt to local-list Dest\n");
    EXPECT_EQ(count(out, kConfirmCopy), 1u) << out;
    EXPECT_FALSE(program.exists("data/Dest/a.txt"));
}

TEST(GuiDragTest, ALocalTreeFolderDroppedOnAnotherFolderIsCopiedIntoIt) {
    Program program;
    program.file("data/Sub/x.txt", "x");
    program.file("data/Sub/Deep/y.txt", "y");
    program.folder("data/Dest");
    const std::string out = program.run("expand local-tree C:\\data\\\n"
                                        "answer OK\n"
                                        "drag local-tree C:\\data\\Sub\\ to local-tree C:\\data\\Dest\\\n"
                                        "dump\n");
    EXPECT_EQ(count(out, kConfirmCopy), 1u) << out;
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("data/Dest/Sub/x.txt")), "x");
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("data/Dest/Sub/Deep/y.txt")), "y");
    EXPECT_TRUE(program.exists("data/Sub/x.txt")) << "a copy, not a move";
    EXPECT_FALSE(contains(out, "Error Copying Folder")) << out;
}

TEST(GuiDragTest, ALocalTreeFolderHandedToTheListCannotGoIntoItsOwnSubFolder) {
    Program program;
    program.file("data/Sub/Deep/y.txt", "y");
    // The drag selects Sub, so the list beside the tree shows Sub itself: every folder row there
    // lies inside the dragged folder.
    const std::string out = program.run("expand local-tree C:\\data\\\n"
                                        "answer OK\n"
                                        "drag local-tree C:\\data\\Sub\\ to local-list Deep\n");
    EXPECT_TRUE(contains(out, "drag cursor: arrow")) << out;
    EXPECT_EQ(count(out, kConfirmCopy), 1u) << out;
    EXPECT_TRUE(contains(out,
                         "box Stop|Error Copying Folder|The destination folder is the same as the source "
                         "folder."))
        << out;
    EXPECT_FALSE(program.exists("data/Sub/Deep/Sub"));
}

TEST(GuiDragTest, ALocalTreeFolderDroppedOnItsOwnParentIsRefused) {
    Program program;
    program.file("data/Sub/x.txt", "x");
    const std::string out = program.run("expand local-tree C:\\data\\\n"
                                        "answer OK\n"
                                        "drag local-tree C:\\data\\Sub\\ to local-tree C:\\data\\\n");
    EXPECT_TRUE(contains(out,
                         "box Stop|Error Copying Folder|The destination folder is the same as the source "
                         "folder."))
        << out;
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("data/Sub/x.txt")), "x") << "the folder is kept";
}

TEST(GuiDragTest, AnArchiveFolderDroppedOnALocalFolderIsExtractedThere) {
    Program program;
    program.file("zipsrc/docs/b.txt", "bee");
    program.file("zipsrc/docs/old/a.txt", "aye");
    program.file("zipsrc/top.txt", "top");
    program.zip("a.zip", "docs top.txt");
    program.folder("out");
    const std::string out =
        program.run("expand local-tree C:\\\n"
                    "answer OK\n"
                    "drag archive-tree C:\\zips\\a.zip/docs/ over local-tree to local-tree C:\\out\\\n"
                    "dump\n",
                    program.sandbox.hostPath("zips/a.zip"));
    EXPECT_EQ(count(out, kConfirmUnzip), 1u) << out;
    EXPECT_TRUE(contains(out, "box Information|UnZip Completed|The Selected Files have been UnZipped."))
        << out;
    // Without path info every member of the folder and below lands in the folder itself.
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("out/b.txt")), "bee");
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("out/a.txt")), "aye");
    EXPECT_FALSE(program.exists("out/top.txt")) << "only the dragged folder's members";
}

TEST(GuiDragTest, LocalRowsDraggedDownOntoAnArchiveFolderRowRunTheZipCommand) {
    Program program;
    program.file("zipsrc/docs/b.txt", "bee");
    program.file("zipsrc/top.txt", "top");
    program.zip("a.zip", "docs top.txt");
    program.file("data/new.txt", "new");
    program.file("data/other.txt", "other");
    const std::string out =
        program.run("select local-tree C:\\data\\\n"
                    "answer OK\n"
                    "answer OK\n"
                    // A file row takes nothing.
                    "drag local-list rows new.txt over archive-list to archive-list top.txt\n"
                    "drag local-list rows new.txt over archive-list to archive-list docs\n"
                    "select archive-tree C:\\zips\\a.zip/\n"
                    "dump\n",
                    program.sandbox.hostPath("zips/a.zip"));
    EXPECT_EQ(count(out, "drag cursor: forbidden"), 1u) << out;
    EXPECT_EQ(count(out, "drag cursor: arrow"), 1u) << out;
    EXPECT_EQ(count(out, kConfirmZip), 1u) << out;
    // The folder row does not choose a folder inside the archive.
    const size_t list = out.rfind("archive-list:");
    ASSERT_NE(list, std::string::npos) << out;
    EXPECT_TRUE(contains(out.substr(list), "  new.txt |")) << out;
    EXPECT_FALSE(contains(out.substr(list), "  other.txt |")) << out;
}

TEST(GuiDragTest, TheArchiveSideCannotDropOnTheArchiveList) {
    Program program;
    program.file("zipsrc/docs/b.txt", "bee");
    program.file("zipsrc/top.txt", "top");
    program.zip("a.zip", "docs top.txt");
    const std::string out = program.run("drag archive-list rows top.txt to archive-list docs\n"
                                        "drag archive-tree C:\\zips\\a.zip/docs/ over archive-list to "
                                        "archive-list b.txt\n",
                                        program.sandbox.hostPath("zips/a.zip"));
    EXPECT_EQ(count(out, "drag cursor: forbidden"), 2u) << out;
    EXPECT_FALSE(contains(out, "box ")) << out;
}

TEST(GuiDragTest, AReleaseOnAFileRowOrEmptySpaceDropsNothing) {
    Program program;
    program.file("data/a.txt");
    program.file("data/b.txt");
    program.folder("data/Dest");
    const std::string out = program.run("select local-tree C:\\data\\\n"
                                        "drag local-list rows a.txt to local-list b.txt\n"
                                        "drag local-list rows a.txt to local-list -\n"
                                        "drag local-tree C:\\data\\ over local-list to local-tree -\n");
    EXPECT_EQ(count(out, "drag cursor: forbidden"), 3u) << out;
    EXPECT_FALSE(contains(out, "box ")) << out;
    EXPECT_FALSE(program.exists("data/Dest/a.txt"));
}

TEST(GuiDragTest, ArchiveRowsDroppedOnALocalFolderRowAreExtractedWithTheirFolders) {
    Program program;
    program.file("zipsrc/docs/b.txt", "bee");
    program.file("zipsrc/docs/old/a.txt", "aye");
    program.file("zipsrc/top.txt", "top");
    program.zip("a.zip", "docs top.txt");
    program.folder("out");
    const std::string out =
        program.run("command ID_INCLUDE_PATH_INFO\n"
                    "select local-tree C:\\\n"
                    "answer OK\n"
                    "drag archive-list rows docs|top.txt over local-list to local-list out\n",
                    program.sandbox.hostPath("zips/a.zip"));
    EXPECT_EQ(count(out, kConfirmUnzip), 1u) << out;
    EXPECT_TRUE(contains(out, "box Information|UnZip Completed|The Selected Files have been UnZipped."))
        << out;
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("out/top.txt")), "top");
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("out/docs/b.txt")), "bee") << "folders kept";
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("out/docs/old/a.txt")), "aye");
}

TEST(GuiDragTest, ALocalFolderDroppedOnTheArchiveTreeIsAddedWithOrWithoutItsPath) {
    for (const bool withPath : {false, true}) {
        Program program;
        program.file("zipsrc/top.txt", "top");
        program.zip("a.zip", "top.txt");
        program.file("data/new.txt", "new");
        program.file("data/inner/deep.txt", "deep");
        const std::string out =
            program.run(std::string(withPath ? "command ID_INCLUDE_PATH_INFO\n" : "") +
                            "expand local-tree C:\\\n"
                            "answer OK\n"
                            "drag local-tree C:\\data\\ over archive-tree to archive-tree C:\\zips\\a.zip/\n"
                            "dump\n",
                        program.sandbox.hostPath("zips/a.zip"));
        EXPECT_EQ(count(out, kConfirmZip), 1u) << out;
        const size_t tree = out.rfind("archive-tree:");
        ASSERT_NE(tree, std::string::npos) << out;
        const std::string after = out.substr(tree);
        if (withPath) {
            EXPECT_TRUE(contains(after, "  archive-folder data")) << out;
            EXPECT_FALSE(contains(after, "  new.txt |")) << "stored under data/\n" << out;
        } else {
            EXPECT_TRUE(contains(after, "  new.txt |")) << out;
            EXPECT_TRUE(contains(after, "  deep.txt |")) << "files of sub-folders too, by their bare names\n"
                                                         << out;
        }
        EXPECT_EQ(testsupport::runShell("unzip -tqq '" + program.sandbox.hostPath("zips/a.zip") + "'"), 0);
    }
}

// What the desktop gets from the archive panes: the archiver's own copies of the members, in the
// program's folder, for as long as the program runs.
TEST(GuiDragTest, MembersOpenedOrDraggedOutAreTheArchiversCopiesUntilTheProgramEnds) {
    Program program;
    std::string binary;
    for (int index = 0; index < 6000; ++index) {
        binary += static_cast<char>((index * 7919 + index / 13) % 256);
    }
    program.file("zipsrc/docs/b.bin", binary);
    program.file("zipsrc/docs/old/a.txt", "aye");
    program.file("zipsrc/top.txt", "top");
    program.zip("a.zip", "docs top.txt");
    int status = -1;
    const std::string out = program.runScript("desktop C:\\got\\\n"
                                              "select archive-tree C:\\zips\\a.zip/docs/\n"
                                              "rows archive-list b.bin\n"
                                              "key archive-list Return\n"
                                              "dump\n"
                                              "select archive-tree C:\\zips\\a.zip/\n"
                                              "drag archive-list rows docs|top.txt to outside\n",
                                              program.sandbox.hostPath("zips/a.zip"), &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_FALSE(contains(out, "box ")) << out;
    EXPECT_FALSE(contains(out, "error")) << out;
    auto handed = [&out](const std::string& what) {
        const size_t at = out.find("desktop " + what + ": ");
        return at == std::string::npos
                   ? std::string()
                   : out.substr(at + what.size() + 10, out.find('\n', at) - at - what.size() - 10);
    };

    // Enter on a member: the opener gets the extracted copy, read-only, and the status says whose.
    const std::string opened = handed("open");
    EXPECT_TRUE(contains(opened, "/copies/") && opened.ends_with("/docs/b.bin")) << out;
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("got/b.bin")), binary);
    struct stat info {};
    ASSERT_EQ(stat(program.sandbox.hostPath("got/b.bin").c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0222, 0u) << "the copy is read-only";
    EXPECT_TRUE(contains(out, "status: Read-only copy of docs/b.bin from a.zip")) << out;

    // Rows dragged out of the window: a folder with its members, and a file.
    const std::string dragged = handed("drag");
    const size_t bar = dragged.find('|');
    ASSERT_NE(bar, std::string::npos) << out;
    EXPECT_TRUE(dragged.substr(0, bar).ends_with("/docs") && dragged.ends_with("/top.txt")) << out;
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("got/docs/b.bin")), binary);
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("got/docs/old/a.txt")), "aye");
    EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("got/top.txt")), "top");

    // The program has ended: its folder went with it, copies and all.
    const std::string instance = opened.substr(0, opened.find("/copies/"));
    EXPECT_TRUE(contains(dragged, instance + "/copies/")) << out;
    EXPECT_FALSE(instance.empty() || std::filesystem::exists(instance)) << instance;
}

TEST(GuiDragTest, AMemberDroppedOnAnEditedFileAsksBeforeReplacingItAndTheScriptAnswersByButton) {
    const struct {
        const char* answer;
        const char* notes; // Dest/notes.txt afterwards
    } cases[] = {{"Skip These", "edited since"}, {"Replace", "from the archive"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        Program program;
        program.file("zipsrc/notes.txt", "from the archive");
        program.file("zipsrc/other.txt", "other");
        program.zip("a.zip", "notes.txt other.txt");
        program.file("data/Dest/notes.txt", "edited since");
        const std::string out =
            program.run(std::string("select local-tree C:\\data\\\n"
                                    "answer OK\n"
                                    "answer ") +
                            c.answer +
                            "\n"
                            "drag archive-list rows notes.txt|other.txt to local-list Dest\n",
                        "C:\\zips\\a.zip");
        EXPECT_TRUE(contains(out, "box Question|Confirm File Replace|1 file(s) in C:\\data\\Dest would be "
                                  "replaced by members that differ from them: /  / notes.txt   (on disk: "))
            << out;
        EXPECT_TRUE(contains(out, std::string("-> ") + c.answer)) << out;
        EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("data/Dest/notes.txt")), c.notes);
        EXPECT_EQ(testsupport::readFile(program.sandbox.hostPath("data/Dest/other.txt")), "other");
        EXPECT_FALSE(contains(out, "unexpected")) << out;
    }
}
