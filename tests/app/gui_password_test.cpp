// Encrypted archives in the real program with the real archiver, through the script driver: the
// password question, a wrong password told and asked again, Cancel, "Encrypt Added Files...", and
// the password found nowhere on disk afterwards.
#include "programcopy.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

using testsupport::contains;
using testsupport::count;

const char kPassword[] = "right horse battery";
const char kAsk[] = "password Password Required|Enter the password for the encrypted files of \"a.zip\":";

struct Program : testsupport::ProgramCopy {
    void file(const std::string& relative, const std::string& contents) const {
        testsupport::writeFile(sandbox.hostPath(relative), contents);
    }
    std::string read(const std::string& relative) const {
        return testsupport::readFile(sandbox.hostPath(relative));
    }
    bool exists(const std::string& relative) const {
        return std::filesystem::exists(sandbox.hostPath(relative));
    }
    void shell(const std::string& command) const {
        ASSERT_EQ(testsupport::runShell("cd '" + sandbox.home() + "' && " + command + " >/dev/null"), 0)
            << command;
    }
    // Files below the sandbox that hold the password, the script that gives it left out.
    std::string filesHoldingPassword() const {
        std::string found;
        testsupport::runShell("grep -rlF '" + std::string(kPassword) + "' '" + sandbox.root() +
                                  "' | grep -v '/script.txt$'",
                              &found);
        return found;
    }
    // C:\zips\a.zip: plain.txt as it is, secret.txt and docs/deep.txt encrypted with AES-256.
    void makeMixedArchive() const {
        file("zipsrc/plain.txt", "anyone may read this");
        file("zipsrc/secret.txt", "only with the password");
        file("zipsrc/docs/deep.txt", "deeper secret");
        std::filesystem::create_directories(sandbox.hostPath("zips"));
        std::filesystem::create_directories(sandbox.hostPath("dest"));
        shell(std::string("cd zipsrc && 7z a -tzip -bd -p'") + kPassword +
              "' -mem=AES256 ../zips/a.zip secret.txt docs/deep.txt && zip -q ../zips/a.zip plain.txt");
    }
};

const char kUnzipAll[] = "select local-tree C:\\dest\\\n"
                         "select archive-tree C:\\zips\\a.zip/\n"
                         "rows archive-list *\n"
                         "answer OK\n"
                         "command ID_UNZIP_FILES\n";

} // namespace

TEST(GuiPasswordTest, AWrongPasswordIsToldAndTheRightOneExtracts) {
    Program program;
    program.makeMixedArchive();
    const std::string out = program.runScript(std::string("dump\n"
                                                          "command ID_INCLUDE_PATH_INFO\n"
                                                          "select local-tree C:\\dest\\\n"
                                                          "select archive-tree C:\\zips\\a.zip/\n"
                                                          "rows archive-list *\n"
                                                          "answer OK\n"
                                                          "password wrong guess\n"
                                                          "password ") +
                                                  kPassword +
                                                  "\ncommand ID_UNZIP_FILES\n"
                                                  // The password is kept: a second extract asks nothing.
                                                  "select archive-tree C:\\zips\\a.zip/docs/\n"
                                                  "rows archive-list deep.txt\n"
                                                  "answer OK\n"
                                                  "command ID_UNZIP_FILES\n",
                                              program.sandbox.hostPath("zips/a.zip"));
    EXPECT_TRUE(contains(out, "  secret.txt [encrypted] | ")) << out;
    EXPECT_TRUE(contains(out, "  plain.txt | ")) << out;
    EXPECT_TRUE(contains(out, "  archive-folder docs [holds encrypted]\n")) << out;
    EXPECT_TRUE(contains(out, "  docs [holds encrypted] |  |  |  | \n")) << out;
    EXPECT_EQ(count(out, "password Password Required|"), 2u) << out;
    EXPECT_TRUE(contains(out, std::string(kAsk) + " -> OK\n")) << out;
    EXPECT_TRUE(
        contains(out, "password Password Required|The password is wrong for docs/deep.txt and secret.txt. / "
                      "Enter the password for the encrypted files of \"a.zip\": -> OK\n"))
        << out;
    EXPECT_EQ(count(out, "box Information|UnZip Completed|The Selected Files have been UnZipped. -> OK"), 2u)
        << out;
    EXPECT_EQ(program.read("dest/secret.txt"), "only with the password");
    EXPECT_EQ(program.read("dest/plain.txt"), "anyone may read this");
    EXPECT_EQ(program.read("dest/docs/deep.txt"), "deeper secret");
    EXPECT_EQ(program.filesHoldingPassword(), "");
}

TEST(GuiPasswordTest, CancelSkipsTheEncryptedMembersAndSaysWhich) {
    Program program;
    program.makeMixedArchive();
    const std::string out = program.runScript(std::string("password cancel\n") + kUnzipAll,
                                              program.sandbox.hostPath("zips/a.zip"));
    EXPECT_TRUE(contains(out, std::string(kAsk) + " -> Cancel\n")) << out;
    EXPECT_TRUE(contains(out,
                         "box Exclamation|UnZip Completed|These encrypted files were not extracted, as no "
                         "password was given: / docs/deep.txt / secret.txt -> OK"))
        << out;
    EXPECT_FALSE(contains(out, "have been UnZipped")) << out;
    EXPECT_EQ(program.read("dest/plain.txt"), "anyone may read this");
    EXPECT_FALSE(program.exists("dest/secret.txt"));
}

TEST(GuiPasswordTest, AddsAreEncryptedWhileTheItemIsCheckedAndReadBy7z) {
    Program program;
    program.makeMixedArchive();
    program.file("data/new.txt", "added encrypted");
    program.file("data/later.txt", "added in the clear");
    const std::string out =
        program.runScript(std::string("password cancel\n"
                                      "command ID_ENCRYPT_ADDED_FILES\n"
                                      "state ID_ENCRYPT_ADDED_FILES\n"
                                      // Two fields that differ are refused and asked again.
                                      "password one\npassword two\n"
                                      "password ") +
                              kPassword + "\npassword " + kPassword +
                              "\ncommand ID_ENCRYPT_ADDED_FILES\n"
                              "state ID_ENCRYPT_ADDED_FILES\n"
                              "dump\n"
                              "select local-tree C:\\data\\\n"
                              "rows local-list new.txt\n"
                              "answer OK\n"
                              "command ID_ZIP_FILES\n"
                              "command ID_ENCRYPT_ADDED_FILES\n"
                              "state ID_ENCRYPT_ADDED_FILES\n"
                              "rows local-list later.txt\n"
                              "answer OK\n"
                              "command ID_ZIP_FILES\n"
                              "select archive-tree C:\\zips\\a.zip/\n"
                              "dump\n",
                          program.sandbox.hostPath("zips/a.zip"));
    // The first question is cancelled: the item stays unchecked.
    EXPECT_TRUE(contains(out, "ID_ENCRYPT_ADDED_FILES: enabled, unchecked\n> password one")) << out;
    EXPECT_TRUE(contains(out,
                         "box Stop|Encrypt Added Files|The two passwords differ. Enter the same password "
                         "in both fields. -> OK"))
        << out;
    EXPECT_TRUE(contains(out, "> state ID_ENCRYPT_ADDED_FILES\nID_ENCRYPT_ADDED_FILES: enabled, checked"))
        << out;
    EXPECT_TRUE(contains(out, " | Adds encrypted (AES-256)\n")) << out;
    EXPECT_TRUE(contains(out, "  new.txt [encrypted] | 15 | ")) << out;
    EXPECT_TRUE(contains(out, "  later.txt | 18 | ")) << out;
    program.shell(std::string("mkdir peer && cd peer && 7z x -bd -p'") + kPassword + "' ../zips/a.zip");
    EXPECT_EQ(program.read("peer/new.txt"), "added encrypted");
    EXPECT_EQ(program.read("peer/later.txt"), "added in the clear");
    EXPECT_EQ(program.filesHoldingPassword(), "");
}

TEST(GuiPasswordTest, TestArchiveAsksForThePasswordAndSaysWhatWentUntested) {
    Program program;
    program.makeMixedArchive();
    program.shell("cp zips/a.zip zips/b.zip");
    const std::string out = program.runScript(std::string("password ") + kPassword +
                                                  "\ncommand ID_ARCHIVE_TEST\n"
                                                  // The same archive again keeps its password.
                                                  "file C:\\zips\\a.zip\ncommand ID_FILE_OPEN\n"
                                                  "command ID_ARCHIVE_TEST\n"
                                                  "file C:\\zips\\b.zip\ncommand ID_FILE_OPEN\n"
                                                  "password cancel\ncommand ID_ARCHIVE_TEST\n",
                                              program.sandbox.hostPath("zips/a.zip"));
    EXPECT_TRUE(contains(out, std::string(kAsk) +
                                  " -> OK\nbox Information|Test Completed|All 3 tested members "
                                  "are intact. -> OK"))
        << out;
    EXPECT_EQ(count(out, "box Information|Test Completed|All 3 tested members are intact. -> OK"), 2u) << out;
    EXPECT_EQ(count(out, "password Password Required|"), 2u) << out;
    EXPECT_TRUE(contains(out, "secret.txt: it is encrypted and no password was given")) << out;
}
