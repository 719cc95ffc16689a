// The installed program: `cmake --install` into a prefix that is then made read-only, and the
// program run from there through the link on the PATH.
#include "programcopy.h"

#include <filesystem>
#include <gtest/gtest.h>

using testsupport::contains;
using testsupport::count;
namespace fs = std::filesystem;

namespace {

// Every file below a folder with its kind, size, permissions and modification time.
std::string snapshot(const std::string& folder) {
    std::string out;
    testsupport::runShell("cd '" + folder + "' && find . -printf '%p %y %s %m %T@ %l\\n' | sort", &out);
    return out;
}

} // namespace

TEST(InstallTest, TheProgramRunsFromAReadOnlyInstallThroughItsLinkOnThePath) {
    testsupport::Sandbox sandbox;
    const std::string prefix = sandbox.root() + "/prefix";
    ASSERT_EQ(testsupport::runShell("'" PELLIX_CMAKE_COMMAND "' --install '" PELLIX_BINARY_DIR
                                    "' --prefix '" +
                                    prefix + "' > /dev/null"),
              0);
    for (const char* file :
         {"bin/pellix", "lib/pellix/pellix", "lib/pellix/PKZIP25.EXE", "lib/pellix/pellix-batch",
          "lib/pellix/pellix.html", "share/applications/pellix.desktop",
          "share/icons/hicolor/scalable/apps/pellix.svg", "share/icons/hicolor/16x16/apps/pellix.svg",
          "share/icons/hicolor/24x24/apps/pellix.svg", "share/metainfo/org.pellix.Pellix.metainfo.xml"}) {
        EXPECT_TRUE(testsupport::fileExists(prefix + "/" + file)) << file;
    }
    EXPECT_EQ(fs::read_symlink(prefix + "/bin/pellix").string(), "../lib/pellix/pellix");
    EXPECT_EQ(
        testsupport::runShell("desktop-file-validate '" + prefix + "/share/applications/pellix.desktop'"), 0);
    // The software centres' metadata, checked by AppStream's own tool where it is installed.
    if (testsupport::runShell("command -v appstreamcli > /dev/null") == 0) {
        std::string said;
        EXPECT_EQ(testsupport::runShell("appstreamcli validate --no-net '" + prefix +
                                            "/share/metainfo/org.pellix.Pellix.metainfo.xml' 2>&1",
                                        &said),
                  0)
            << said;
    }
    ASSERT_EQ(testsupport::runShell("chmod -R a-w '" + prefix + "'"), 0);
    // Writable again before the sandbox goes, however the test ends.
    struct WritableAgain {
        std::string folder;
        ~WritableAgain() { (void)testsupport::runShell("chmod -R u+w '" + folder + "'"); }
    } writableAgain{prefix};
    const std::string installed = snapshot(prefix);

    // Open an archive, add to it, extract from it and delete from it.
    testsupport::writeFile(sandbox.hostPath("zipsrc/old.txt"), "old");
    testsupport::writeFile(sandbox.hostPath("zipsrc/gone.txt"), "gone");
    fs::create_directories(sandbox.hostPath("zips"));
    ASSERT_EQ(testsupport::runShell("cd '" + sandbox.hostPath("zipsrc") +
                                    "' && zip -q ../zips/w.zip old.txt gone.txt"),
              0);
    testsupport::writeFile(sandbox.hostPath("add/new.txt"), "new");
    fs::create_directories(sandbox.hostPath("dest"));
    testsupport::writeFile(sandbox.root() + "/scenario.script", "file C:\\zips\\w.zip\n"
                                                                "command ID_FILE_OPEN\n"
                                                                "select local-tree C:\\add\\\n"
                                                                "rows local-list new.txt\n"
                                                                "answer OK\n"
                                                                "command ID_ZIP_FILES\n"
                                                                "select local-tree C:\\dest\\\n"
                                                                "rows archive-list old.txt|new.txt\n"
                                                                "answer OK\n"
                                                                "command ID_UNZIP_FILES\n"
                                                                "rows archive-list gone.txt\n"
                                                                "answer OK\n"
                                                                "key archive-list Delete\n"
                                                                "dump\n");
    std::string out;
    const int status = testsupport::runShell(
        testsupport::scriptCommand(sandbox, prefix + "/bin/pellix", sandbox.root() + "/scenario.script"),
        &out);
    EXPECT_EQ(status, 0) << out;
    EXPECT_TRUE(contains(out, "title: Pellix - w.zip")) << out;
    for (const char* done : {"The Selected Files have been Zipped.", "The Selected Files have been UnZipped.",
                             "The Selected Files have been Deleted."}) {
        EXPECT_EQ(count(out, done), 1u) << done << "\n" << out;
    }
    EXPECT_EQ(count(out, "box "), 6u) << "three questions, three completions\n" << out;
    std::string members;
    testsupport::runShell("unzip -Z1 '" + sandbox.hostPath("zips/w.zip") + "' | sort", &members);
    EXPECT_EQ(members, "new.txt\nold.txt\n");
    EXPECT_EQ(testsupport::runShell("unzip -tq '" + sandbox.hostPath("zips/w.zip") + "' > /dev/null"), 0);
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("dest/old.txt")), "old");
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("dest/new.txt")), "new");

    EXPECT_EQ(snapshot(prefix), installed) << "nothing was written into the install";
    // The program found its program directory through the link: the desktop's handler of .zip
    // files is the installed program itself, with the icon installed for the user, in an entry the
    // desktop's own check accepts.
    const std::string entry = sandbox.root() + "/data/applications/pellix.desktop";
    EXPECT_TRUE(contains(testsupport::readFile(entry), "Exec=" + prefix + "/lib/pellix/pellix %f\n"))
        << testsupport::readFile(entry);
    EXPECT_TRUE(contains(testsupport::readFile(entry), "Icon=pellix\n"));
    EXPECT_EQ(testsupport::runShell("desktop-file-validate '" + entry + "'"), 0);
    EXPECT_EQ(testsupport::readFile(sandbox.root() + "/data/icons/hicolor/scalable/apps/pellix.svg"),
              testsupport::readFile(prefix + "/share/icons/hicolor/scalable/apps/pellix.svg"));
    EXPECT_TRUE(sandbox.instanceFolders().empty());
}
