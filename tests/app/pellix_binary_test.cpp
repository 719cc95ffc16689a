#include "sandbox.h"

#include <filesystem>
#include <gtest/gtest.h>

using testsupport::Sandbox;

namespace {

// A copy of the program in a folder of its own, with a stale blank.zip beside it.
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
    const std::string good = installProgram(sandbox, "Prog Ü", true);
    std::string output;
    const int status = testsupport::runShell(
        "cd '" + sandbox.hostPath("elsewhere") + "' && '" + good + "/pellix' 2>&1", &output);
    EXPECT_EQ(status, 0) << output;
    EXPECT_NE(output.find("program directory: C:\\Prog Ü\\"), std::string::npos) << output;
    EXPECT_FALSE(testsupport::fileExists(good + "/blank.zip"));
    EXPECT_TRUE(testsupport::fileExists(sandbox.config() + "/pellix/registry.reg"));

    const std::string bad = installProgram(sandbox, "no archiver", false);
    output.clear();
    EXPECT_NE(testsupport::runShell("'" + bad + "/pellix' 2>&1", &output), 0);
    EXPECT_NE(output.find("The file PKZIP25.EXE must be contained in the same Directory as this program."),
              std::string::npos)
        << output;
    EXPECT_FALSE(testsupport::fileExists(bad + "/blank.zip"));

    output.clear();
    EXPECT_NE(testsupport::runShell("'" + good + "/pellix' '" + sandbox.hostPath("missing.zip") + "' 2>&1",
                                    &output),
              0);
    EXPECT_NE(output.find("C:\\missing.zip was not found."), std::string::npos) << output;
}
