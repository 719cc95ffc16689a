// The archiver's information text as the program reads it, the Properties window's lines, and
// the test's final report.

#include "archiveengine.h"
#include "archiveinfo.h"
#include "sandbox.h"

#include <gtest/gtest.h>

using testsupport::Sandbox;

namespace {

std::string lineOf(const archive::Properties& properties, const std::string& label) {
    for (const archive::PropertyLine& line : properties.lines) {
        if (line.label == label) {
            return line.value;
        }
    }
    return "(no " + label + ")";
}

// Every comment the archiver stores comes back whole through its one information line.
TEST(ArchiveInfoTest, CommentsOfAnyTextComeBackThroughTheArchiversInformation) {
    Sandbox sandbox;
    testsupport::writeFile(sandbox.hostPath("src/a.txt"), "a");
    ASSERT_EQ(testsupport::runShell("cd '" + sandbox.hostPath("src") + "' && zip -q ../a.zip a.txt"), 0);
    std::string manyLines;
    while (manyLines.size() + 40 <= 65535) {
        manyLines += "line " + std::to_string(manyLines.size()) + " of a long release note\n";
    }
    manyLines.append(65535 - manyLines.size(), '!');
    const std::string comments[] = {
        "Release 1.2 - built by CI on 2024-05-01",
        "two\r\nlines\nand a third",
        "back\\slash \\n that is not a line break, a tab\tand controls \x01\x1f\x7f",
        "Gr\xc3\xbc\xc3\x9f"
        "e aus K\xc3\xb6ln",
        manyLines,
        "",
    };
    const std::string archiver = testsupport::programDir() + "/PKZIP25.EXE";
    for (const std::string& comment : comments) {
        testsupport::writeFile(sandbox.hostPath("comment.txt"), comment);
        ASSERT_EQ(testsupport::runShell("cd '" + sandbox.home() + "' && '" + archiver +
                                        "' -comment 'C:\\a.zip' '@C:\\comment.txt'"),
                  0);
        std::string text;
        ASSERT_EQ(testsupport::runShell("cd '" + sandbox.home() + "' && '" + archiver + "' -info 'C:\\a.zip'",
                                        &text),
                  0);
        const std::optional<archive::ArchiveInfo> info = archive::parseArchiveInfo(text);
        ASSERT_TRUE(info.has_value()) << text;
        EXPECT_EQ(info->archive.value("comment"), comment) << comment.substr(0, 60);
        EXPECT_EQ(info->archive.value("comment-bytes"), std::to_string(comment.size()));
        EXPECT_TRUE(info->members.empty());
    }
}

TEST(ArchiveInfoTest, ValuesAreUnescapedAndTextsThatAreNoInformationAreRefused) {
    const struct {
        const char* escaped;
        const char* meant;
    } values[] = {
        {"plain", "plain"},         {"a\\nb\\r\\n", "a\nb\r\n"}, {"\\\\n", "\\n"},
        {"\\x01\\x7f", "\x01\x7f"}, {"tab\\there", "tab\there"}, {"cut \\x4", "cut \\x4"},
        {"end \\", "end \\"},
    };
    for (const auto& value : values) {
        EXPECT_EQ(archive::unescapeInfoValue(value.escaped), value.meant) << value.escaped;
    }
    EXPECT_FALSE(archive::parseArchiveInfo("PKZIP25.EXE archive listing\r\n").has_value());
    EXPECT_FALSE(archive::parseArchiveInfo("").has_value());
    const std::optional<archive::ArchiveInfo> info = archive::parseArchiveInfo(
        "PKZIP25.EXE archive information\r\nmembers: 2\r\nlater-key: kept\r\nmember: a/b.txt\r\nsize: 5\r\n"
        "member: c\r\nerror: no such member in the archive\r\n");
    ASSERT_TRUE(info.has_value());
    EXPECT_EQ(info->archive.value("members"), "2");
    EXPECT_EQ(info->archive.value("later-key"), "kept");
    ASSERT_EQ(info->members.size(), 2u);
    EXPECT_EQ(info->members[0].value("size"), "5");
    EXPECT_TRUE(info->members[1].has("error"));
}

TEST(ArchiveInfoTest, PropertiesShowTimesWithTheirZoneModesAndAttributes) {
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    archive::InfoSection member;
    member.fields = {{"member", "docs/config.json"}, {"size", "4096"},
                     {"packed-size", "1002"},        {"ratio", "75.5%"},
                     {"method", "Deflate"},          {"crc", "3f2a91c0"},
                     {"modified", "1714564987"},     {"dos-time", "2024-05-01 14:03:06"},
                     {"attributes", "21"},           {"unix-mode", "104755"},
                     {"encryption", "AES-256"},      {"comment", "line one\r\nline two"}};
    archive::Properties shown = archive::memberProperties(member);
    EXPECT_EQ(shown.title, "Properties of config.json");
    EXPECT_EQ(lineOf(shown, "Name"), "docs/config.json");
    EXPECT_EQ(lineOf(shown, "Size"), "4,096 bytes");
    EXPECT_EQ(lineOf(shown, "Modified"), "2024-05-01 14:03:07 +0200 (CEST)");
    EXPECT_EQ(lineOf(shown, "Attributes"), "Read-only, Archive");
    EXPECT_EQ(lineOf(shown, "Unix mode"), "-rwsr-xr-x (104755)");
    EXPECT_EQ(lineOf(shown, "Encryption"), "AES-256");
    EXPECT_EQ(shown.comment, "line one\nline two");

    // Only the MS-DOS fields: the maker's local time, and no zone to show.
    member.fields = {{"member", "old.txt"}, {"dos-time", "1999-12-31 23:59:58"}, {"attributes", "00"}};
    shown = archive::memberProperties(member);
    EXPECT_EQ(lineOf(shown, "Modified"), "1999-12-31 23:59:58 (no time zone stored)");
    EXPECT_EQ(lineOf(shown, "Attributes"), "None");
    EXPECT_EQ(lineOf(shown, "Unix mode"), "-");

    archive::InfoSection whole;
    whole.fields = {{"file-size", "1843"},    {"members", "3"},          {"files", "2"},
                    {"folders", "1"},         {"size", "5120"},          {"packed-size", "1210"},
                    {"zip64", "no"},          {"encrypted", "1"},        {"encryption", "ZipCrypto 1"},
                    {"methods", "Deflate 2"}, {"comment", "Release 1.2"}};
    shown = archive::archiveProperties(whole, "C:\\zips\\release.zip", 4);
    EXPECT_EQ(shown.title, "Properties of release.zip");
    EXPECT_EQ(lineOf(shown, "Members"), "2 files, 4 folders") << "the folders the tree shows";
    EXPECT_EQ(lineOf(shown, "Ratio"), "76.4% saved");
    EXPECT_EQ(lineOf(shown, "Encryption"), "1 of 3 members (ZipCrypto 1)");
    EXPECT_EQ(lineOf(shown, "Newest member"), "-");
    EXPECT_EQ(archive::propertiesText(shown).substr(0, 47),
              "Properties of release.zip\nPath: C:\\zips\\release");
    unsetenv("TZ");
    tzset();
}

TEST(ArchiveInfoTest, TheTestReportNamesEachFailedMemberOnALineOfItsOwn) {
    const archive::TestReport report = archive::testReportOf(
        "PKZIP25.EXE: docs/a.txt: not tested: its data fail the CRC check (damaged archive)\n"
        "PKZIP25.EXE: odd: name: not tested: it is encrypted and no password was given\r\n"
        "\n"
        "PKZIP25.EXE: gone.txt: no such member in the archive\n");
    EXPECT_EQ(report.failedMembers, 2u);
    const std::vector<std::string> expected = {"docs/a.txt: its data fail the CRC check (damaged archive)",
                                               "odd: name: it is encrypted and no password was given",
                                               "gone.txt: no such member in the archive"};
    EXPECT_EQ(report.lines, expected);
    EXPECT_TRUE(archive::testReportOf("").lines.empty());
}

} // namespace
