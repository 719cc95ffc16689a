#include "fileservices.h"
#include "sandbox.h"

#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using testsupport::Sandbox;

namespace {

std::vector<std::string> names(const std::vector<FindEntry>& entries) {
    std::vector<std::string> result;
    for (const FindEntry& entry : entries) {
        result.push_back(entry.name);
    }
    return result;
}

const FindEntry* entryNamed(const std::vector<FindEntry>& entries, const std::string& name) {
    for (const FindEntry& entry : entries) {
        if (entry.name == name) {
            return &entry;
        }
    }
    return nullptr;
}

} // namespace

TEST(FileServicesTest, FolderSearchReportsNamesSizesTimesAndAttributes) {
    Sandbox sandbox;
    const DriveMap& map = DriveMap::current();
    testsupport::writeFile(sandbox.hostPath("d/b.txt"), "hello");
    testsupport::writeFile(sandbox.hostPath("d/A.ZIP"), "zip");
    testsupport::writeFile(sandbox.hostPath("d/.hidden"), "");
    testsupport::writeFile(sandbox.hostPath("d/ro.txt"), "x");
    testsupport::writeFile(sandbox.hostPath("d/odd\\name"), "x");
    std::filesystem::create_directories(sandbox.hostPath("d/sub"));
    chmod(sandbox.hostPath("d/ro.txt").c_str(), 0444);
    symlink("sub", sandbox.hostPath("d/link").c_str());
    // A 5 GB sparse file: its size must come through whole.
    truncate((sandbox.hostPath("d/ro.txt")).c_str(), 1);
    testsupport::writeFile(sandbox.hostPath("d/big.bin"), "");
    ASSERT_EQ(truncate(sandbox.hostPath("d/big.bin").c_str(), 5'000'000'000LL), 0);
    struct timespec times[2] = {{0, UTIME_OMIT}, {4'102'444'800LL, 0}}; // year 2100
    utimensat(AT_FDCWD, sandbox.hostPath("d/b.txt").c_str(), times, 0);

    auto all = findFiles(map, "C:\\d\\*.*");
    ASSERT_TRUE(all.ok()) << all.error().message;
    // A name a Windows name cannot hold is found by its Windows name.
    EXPECT_EQ(names(*all), (std::vector<std::string>{".", "..", ".hidden", "A.ZIP", "b.txt", "big.bin",
                                                     "link", "odd\uF05Cname", "ro.txt", "sub"}));
    EXPECT_EQ(entryNamed(*all, "odd\uF05Cname")->size, 1);
    EXPECT_EQ(entryNamed(*all, "b.txt")->size, 5);
    EXPECT_EQ(entryNamed(*all, "b.txt")->lastWriteTime, 4'102'444'800LL);
    EXPECT_EQ(entryNamed(*all, "big.bin")->size, 5'000'000'000LL);
    EXPECT_TRUE(entryNamed(*all, "sub")->attributes & kAttrDirectory);
    EXPECT_TRUE(entryNamed(*all, ".")->attributes & kAttrDirectory);
    EXPECT_FALSE(entryNamed(*all, "b.txt")->attributes & (kAttrDirectory | kAttrReadOnly));
    EXPECT_TRUE(entryNamed(*all, "ro.txt")->attributes & kAttrReadOnly);
    EXPECT_TRUE(entryNamed(*all, ".hidden")->attributes & kAttrHidden);
    EXPECT_EQ(entryNamed(*all, "link")->attributes & (kAttrDirectory | kAttrReparsePoint),
              kAttrDirectory | kAttrReparsePoint);

    auto zips = findFiles(map, "C:\\d\\*.zip");
    ASSERT_TRUE(zips.ok());
    EXPECT_EQ(names(*zips), (std::vector<std::string>{"A.ZIP"})) << "wildcards ignore case";
    auto one = findFiles(map, "C:\\d\\b.txt");
    ASSERT_TRUE(one.ok());
    EXPECT_EQ(names(*one), (std::vector<std::string>{"b.txt"}));
    EXPECT_TRUE(pathExists(map, "C:\\d\\sub"));
    EXPECT_FALSE(pathExists(map, "C:\\d\\missing.txt"));
    auto none = findFiles(map, "C:\\nowhere\\*.*");
    ASSERT_TRUE(none.ok());
    EXPECT_TRUE(none->empty());
}

TEST(FileServicesTest, DeleteCopyMoveAndFoldersFailWhereWindowsWould) {
    Sandbox sandbox;
    const DriveMap& map = DriveMap::current();
    testsupport::writeFile(sandbox.hostPath("a.txt"), "new contents");
    testsupport::writeFile(sandbox.hostPath("b.txt"), "old");
    testsupport::writeFile(sandbox.hostPath("ro.txt"), "keep me");
    chmod(sandbox.hostPath("ro.txt").c_str(), 0444);

    EXPECT_FALSE(deleteFile(map, "C:\\ro.txt").ok());
    EXPECT_TRUE(testsupport::fileExists(sandbox.hostPath("ro.txt")));

    ASSERT_TRUE(copyFile(map, "C:\\a.txt", "C:\\b.txt").ok());
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("b.txt")), "new contents");
    EXPECT_FALSE(copyFile(map, "C:\\a.txt", "C:\\ro.txt").ok());
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("ro.txt")), "keep me");
    EXPECT_FALSE(copyFile(map, "C:\\missing.txt", "C:\\b.txt").ok());
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("b.txt")), "new contents")
        << "a failed copy keeps the target";
    EXPECT_FALSE(copyFile(map, "C:\\a.txt", "C:\\a.txt").ok());
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("a.txt")), "new contents");

    EXPECT_FALSE(moveFile(map, "C:\\a.txt", "C:\\b.txt").ok()) << "a move never replaces";
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("b.txt")), "new contents");
    ASSERT_TRUE(moveFile(map, "C:\\a.txt", "C:\\c d.txt").ok());
    EXPECT_FALSE(testsupport::fileExists(sandbox.hostPath("a.txt")));

    ASSERT_TRUE(createFolder(map, "C:\\New Folder").ok());
    EXPECT_FALSE(createFolder(map, "C:\\New Folder").ok());
    testsupport::writeFile(sandbox.hostPath("New Folder/x"), "");
    EXPECT_FALSE(removeFolder(map, "C:\\New Folder").ok()) << "only empty folders are removed";
    EXPECT_FALSE(deleteFile(map, "C:\\New Folder").ok()) << "a folder is not a file";
    ASSERT_TRUE(deleteFile(map, "C:\\New Folder\\x").ok());
    ASSERT_TRUE(removeFolder(map, "C:\\New Folder").ok());
    EXPECT_FALSE(testsupport::fileExists(sandbox.hostPath("New Folder")));

    // Deleting a link removes the link, never what it points at.
    symlink(sandbox.hostPath("b.txt").c_str(), sandbox.hostPath("link").c_str());
    ASSERT_TRUE(deleteFile(map, "C:\\link").ok());
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("b.txt")), "new contents");
}

TEST(FileServicesTest, WildcardsFollowWindowsRules) {
    const struct {
        const char* pattern;
        const char* name;
        bool matches;
    } cases[] = {
        {"*.*", "README", true},    {"*.*", ".", true},           {"*.zip", "a.ZIP", true},
        {"*.zip", "a.zipx", false}, {"a?c", "abc", true},         {"a?c", "ac", false},
        {"*b*", "abc", true},       {"temp.*", "temp.bat", true}, {"*", "x.y.z", true},
        {"x*z", "x.y.z", true},     {"x*y", "x.y.z", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(matchesWildcard(c.pattern, c.name), c.matches) << c.pattern << " vs " << c.name;
    }
}
