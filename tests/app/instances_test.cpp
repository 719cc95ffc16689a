// Two windows at once: two programs from the same program directory, started at the same moment
// on two archives, each working on its own archive only.
#include "programcopy.h"

#include <filesystem>
#include <gtest/gtest.h>

using testsupport::contains;
using testsupport::count;
namespace fs = std::filesystem;

namespace {

constexpr char kJobFileError[] = "The program was unable to create a required Dependency File.";

// The member names of an archive, one per line, sorted.
std::string members(const std::string& archive) {
    std::string out;
    testsupport::runShell("unzip -Z1 '" + archive + "' | sort", &out);
    return out;
}

// Runs the program on each script at the same moment (each with its archive on the command line,
// if any) and returns what each printed.
std::vector<std::string> runTogether(testsupport::ProgramCopy& program,
                                     const std::vector<std::pair<std::string, std::string>>& runs) {
    std::string command;
    for (size_t i = 0; i < runs.size(); ++i) {
        const std::string base = program.sandbox.root() + "/run" + std::to_string(i);
        testsupport::writeFile(base + ".script", runs[i].first);
        command += "(" +
                   testsupport::scriptCommand(program.sandbox, program.dir + "/pellix", base + ".script",
                                              runs[i].second) +
                   " > '" + base + ".out') & ";
    }
    EXPECT_EQ(testsupport::runShell(command + "wait"), 0);
    std::vector<std::string> outputs;
    for (size_t i = 0; i < runs.size(); ++i) {
        outputs.push_back(
            testsupport::readFile(program.sandbox.root() + "/run" + std::to_string(i) + ".out"));
    }
    return outputs;
}

} // namespace

TEST(InstancesTest, TwoProgramsStartedTogetherEachListTheirOwnArchive) {
    testsupport::ProgramCopy program;
    const char* names[] = {"left", "right"};
    fs::create_directories(program.sandbox.hostPath("zips"));
    for (const char* name : names) {
        for (int i = 1; i <= 3; ++i) {
            testsupport::writeFile(
                program.sandbox.hostPath(std::string("zipsrc/") + name + std::to_string(i) + ".txt"), name);
        }
        ASSERT_EQ(testsupport::runShell("cd '" + program.sandbox.hostPath("zipsrc") + "' && zip -q ../zips/" +
                                        name + ".zip " + name + "*.txt"),
                  0);
    }
    for (int round = 0; round < 10; ++round) {
        const std::vector<std::string> outputs =
            runTogether(program, {{"dump\n", program.sandbox.hostPath("zips/left.zip")},
                                  {"dump\n", program.sandbox.hostPath("zips/right.zip")}});
        for (int side = 0; side < 2; ++side) {
            const std::string& out = outputs[side];
            const size_t list = out.find("archive-list:");
            const std::string archiveList = list == std::string::npos ? "" : out.substr(list);
            const std::string mine = names[side];
            const std::string other = names[1 - side];
            EXPECT_TRUE(contains(out, "title: Pellix - " + mine + ".zip")) << "round " << round << "\n"
                                                                           << out;
            EXPECT_TRUE(contains(out, "Zip: 3 Items")) << "round " << round << "\n" << out;
            EXPECT_EQ(count(archiveList, "  " + mine), 3u) << "round " << round << "\n" << out;
            EXPECT_FALSE(contains(archiveList, "  " + other)) << "round " << round << "\n" << out;
            EXPECT_FALSE(contains(out, "box ")) << "round " << round << "\n" << out;
        }
    }
    EXPECT_TRUE(program.sandbox.instanceFolders().empty()) << "each program's folder went with it";
}

TEST(InstancesTest, TwoProgramsAddAndDeleteOnTheirOwnArchivesAtTheSameTime) {
    testsupport::ProgramCopy program;
    const char* names[] = {"left", "right"};
    constexpr int kRounds = 4;
    constexpr int kFiles = 12;
    std::vector<std::pair<std::string, std::string>> runs;
    std::string expected[2];
    for (int side = 0; side < 2; ++side) {
        const std::string name = names[side];
        std::string script = "file C:\\out\\" + name + ".zip\ncommand ID_FILE_NEW_ARCHIVE\n";
        std::vector<std::string> kept;
        for (int round = 0; round < kRounds; ++round) {
            // Each round adds a folder's files and then deletes every other one of them again.
            const std::string folder = name + std::to_string(round);
            std::string deleted;
            for (int file = 0; file < kFiles; ++file) {
                const std::string member = folder + "-" + std::to_string(file) + ".txt";
                testsupport::writeFile(program.sandbox.hostPath("src/" + folder + "/" + member),
                                       std::string(1000 * (file + 1), static_cast<char>('a' + file)));
                if (file % 2 == 1) {
                    deleted += (deleted.empty() ? "" : "|") + member;
                } else {
                    kept.push_back(member);
                }
            }
            script += "select local-tree C:\\src\\" + folder +
                      "\\\nrows local-list *\nanswer OK\n"
                      "command ID_ZIP_FILES\nrows archive-list " +
                      deleted + "\nanswer OK\nkey archive-list Delete\n";
        }
        std::sort(kept.begin(), kept.end());
        for (const std::string& member : kept) {
            expected[side] += member + "\n";
        }
        runs.emplace_back(script, "");
    }
    fs::create_directories(program.sandbox.hostPath("out"));

    const std::vector<std::string> outputs = runTogether(program, runs);
    for (int side = 0; side < 2; ++side) {
        const std::string archive = program.sandbox.hostPath(std::string("out/") + names[side] + ".zip");
        EXPECT_EQ(testsupport::runShell("unzip -tq '" + archive + "' > /dev/null"), 0) << names[side];
        EXPECT_EQ(members(archive), expected[side]) << outputs[side];
        EXPECT_EQ(count(outputs[side], "The Selected Files have been Zipped."), size_t{kRounds})
            << outputs[side];
        EXPECT_EQ(count(outputs[side], "The Selected Files have been Deleted."), size_t{kRounds})
            << outputs[side];
        EXPECT_FALSE(contains(outputs[side], kJobFileError)) << outputs[side];
    }
}
