#include "sandbox.h"

#include <filesystem>
#include <gtest/gtest.h>

using testsupport::Sandbox;

namespace {

// A copy of the program in a folder of its own, with a blank.zip beside it that is not its scratch
// archive.
std::string installProgram(const Sandbox& sandbox, const std::string& folder, bool withArchiver) {
    const std::string dir = sandbox.hostPath(folder);
    std::filesystem::create_directories(dir);
    for (const char* file : {"pellix", "pellix-batch"}) {
        std::filesystem::copy_file(testsupport::programDir() + "/" + file, dir + "/" + file);
    }
    if (withArchiver) {
        testsupport::writeFile(dir + "/PKZIP25.EXE", "");
    }
    testsupport::writeFile(dir + "/blank.zip", "stale");
    return dir;
}

} // namespace

TEST(PellixBinaryTest, StartsFromAnyWorkingFolderAndFailsWithoutItsArchiver) {
    Sandbox sandbox;
    std::filesystem::create_directories(sandbox.hostPath("elsewhere"));
    testsupport::writeFile(sandbox.root() + "/empty-script.txt", "");
    const std::string run = "cd '" + sandbox.hostPath("elsewhere") + "' && QT_QPA_PLATFORM=offscreen ";
    const std::string script = " --script '" + sandbox.root() + "/empty-script.txt'";
    const std::string good = installProgram(sandbox, "Prog Ü", true);
    std::string output;
    const int status = testsupport::runShell(run + "'" + good + "/pellix'" + script + " 2>&1", &output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_EQ(testsupport::readFile(good + "/blank.zip"), "stale") << "the program directory is left alone";
    EXPECT_TRUE(testsupport::fileExists(sandbox.config() + "/pellix/registry.reg"));
    EXPECT_TRUE(testsupport::fileExists(sandbox.instanceParent() + "/lock"));
    EXPECT_TRUE(sandbox.instanceFolders().empty()) << "the program's own folder goes when it ends";
    EXPECT_TRUE(std::filesystem::is_empty(sandbox.hostPath("elsewhere")))
        << "nothing is written where it started";

    const std::string bad = installProgram(sandbox, "no archiver", false);
    output.clear();
    EXPECT_NE(testsupport::runShell(run + "'" + bad + "/pellix'" + script + " 2>&1", &output), 0);
    EXPECT_NE(
        output.find("box Stop|Pellix|The file PKZIP25.EXE must be contained in the same Directory as this "
                    "program. -> OK"),
        std::string::npos)
        << output;
    EXPECT_TRUE(sandbox.instanceFolders().empty());

    output.clear();
    EXPECT_NE(testsupport::runShell(run + "'" + good + "/pellix'" + script + " '" +
                                        sandbox.hostPath("missing.zip") + "' 2>&1",
                                    &output),
              0);
    EXPECT_NE(output.find("box Exclamation|Pellix|C:\\missing.zip was not found. -> OK"), std::string::npos)
        << output;
}

// --help and --version answer anywhere, a machine without a display included, and end at once.
TEST(PellixBinaryTest, HelpAndVersionNeedNoDisplay) {
    Sandbox sandbox;
    const struct {
        const char* option;
        const char* said;
    } cases[] = {{"--help", "pellix --script FILE [ARCHIVE]"},
                 {"--help", "--screenshot FILE.png"},
                 {"--version", "Pellix Version 4.60"}};
    for (const auto& c : cases) {
        std::string output;
        const int status =
            testsupport::runShell("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" +
                                      testsupport::programDir() + "/pellix' " + c.option + " 2>&1",
                                  &output);
        EXPECT_EQ(status, 0) << c.option << ": " << output;
        EXPECT_NE(output.find(c.said), std::string::npos) << c.option << ": " << output;
        EXPECT_EQ(output.find("could not connect"), std::string::npos) << output;
    }
    EXPECT_TRUE(sandbox.instanceFolders().empty()) << "nothing was started";
}
