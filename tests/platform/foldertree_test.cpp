#include "fileservices.h"
#include "foldertree.h"
#include "sandbox.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace platform;
using testsupport::Sandbox;
namespace fs = std::filesystem;

namespace {

bool isSymlink(const std::string& host) {
    return fs::is_symlink(fs::symlink_status(host));
}

bool present(const std::string& host) {
    return fs::exists(fs::symlink_status(host));
}

} // namespace

TEST(FolderTreeTest, SameOrInsideIsATextTestOnWholeFolderNames) {
    struct Case {
        const char* source;
        const char* destination;
        bool inside;
    };
    const Case cases[] = {
        {"C:\\Data\\X", "C:\\Data\\X", true},       {"C:\\Data\\X\\", "C:\\Data\\X", true},
        {"C:\\Data\\X", "C:\\Data\\X\\", true},     {"C:\\Data\\X", "C:\\Data\\X\\Sub\\X", true},
        {"C:\\Data\\X", "C:\\Data\\XY\\X", false},  // a sibling that only starts alike
        {"C:\\Data\\X", "C:\\Data\\x\\Sub", false}, // case counts
        {"C:\\Data\\X\\Sub", "C:\\Data\\X", false}, // the parent is not inside
    };
    for (const Case& c : cases) {
        EXPECT_EQ(isSameOrInsideText(c.source, c.destination), c.inside)
            << c.source << " -> " << c.destination;
    }
}

TEST(FolderTreeTest, RemovalRemovesLinksNeverWhatTheyPointAt) {
    Sandbox sandbox;
    const DriveMap& map = DriveMap::current();
    testsupport::writeFile(sandbox.hostPath("keep/precious.txt"), "mine");
    testsupport::writeFile(sandbox.hostPath("keep/file.txt"), "also mine");
    testsupport::writeFile(sandbox.hostPath("gone/sub/inner.txt"), "x");
    fs::create_directory_symlink(sandbox.hostPath("keep"), sandbox.hostPath("gone/to-folder"));
    fs::create_symlink(sandbox.hostPath("keep/file.txt"), sandbox.hostPath("gone/sub/to-file"));
    fs::create_directory_symlink(sandbox.hostPath("gone"), sandbox.hostPath("gone/sub/to-ancestor"));
    fs::create_symlink(sandbox.hostPath("nowhere"), sandbox.hostPath("gone/dangling"));

    TreeStatus removed = removeFolderTree(map, "C:\\gone\\");
    ASSERT_TRUE(removed.ok()) << removed.failure().error.message;
    EXPECT_FALSE(present(sandbox.hostPath("gone")));
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("keep/precious.txt")), "mine");
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("keep/file.txt")), "also mine");
}

TEST(FolderTreeTest, RemovingAPathThatIsALinkRemovesOnlyTheLink) {
    Sandbox sandbox;
    testsupport::writeFile(sandbox.hostPath("target/a.txt"), "a");
    fs::create_directory_symlink(sandbox.hostPath("target"), sandbox.hostPath("link"));
    for (const char* path : {"C:\\link\\", "C:\\link"}) {
        if (!present(sandbox.hostPath("link"))) {
            fs::create_directory_symlink(sandbox.hostPath("target"), sandbox.hostPath("link"));
        }
        TreeStatus removed = removeFolderTree(DriveMap::current(), path);
        ASSERT_TRUE(removed.ok()) << path << ": " << removed.failure().error.message;
        EXPECT_FALSE(present(sandbox.hostPath("link"))) << path;
        EXPECT_EQ(testsupport::readFile(sandbox.hostPath("target/a.txt")), "a") << path;
    }
}

TEST(FolderTreeTest, AReadOnlyFileStopsTheRemovalKeepingWhatWasNotYetVisited) {
    Sandbox sandbox;
    // The walk goes by name: a.txt, b (with its contents), c.txt, then e.txt and f.
    testsupport::writeFile(sandbox.hostPath("d/a.txt"), "a");
    testsupport::writeFile(sandbox.hostPath("d/b/x.txt"), "x");
    testsupport::writeFile(sandbox.hostPath("d/c.txt"), "read-only");
    testsupport::writeFile(sandbox.hostPath("d/e.txt"), "e");
    testsupport::writeFile(sandbox.hostPath("d/f/y.txt"), "y");
    chmod(sandbox.hostPath("d/c.txt").c_str(), 0444);

    TreeStatus removed = removeFolderTree(DriveMap::current(), "C:\\d\\");
    ASSERT_FALSE(removed.ok());
    EXPECT_EQ(removed.failure().step, TreeStep::DeleteFile);
    EXPECT_FALSE(present(sandbox.hostPath("d/a.txt")));
    EXPECT_FALSE(present(sandbox.hostPath("d/b")));
    EXPECT_TRUE(present(sandbox.hostPath("d/c.txt")));
    EXPECT_TRUE(present(sandbox.hostPath("d/e.txt")));
    EXPECT_TRUE(present(sandbox.hostPath("d/f/y.txt")));
}

TEST(FolderTreeTest, CopyCopiesFilesAndFoldersAndLinksAsLinks) {
    Sandbox sandbox;
    const DriveMap& map = DriveMap::current();
    testsupport::writeFile(sandbox.hostPath("src/top.txt"), "top");
    testsupport::writeFile(sandbox.hostPath("src/sub/deep/inner.txt"), "inner");
    fs::create_directory(sandbox.hostPath("src/empty"));
    testsupport::writeFile(sandbox.hostPath("outside/big.txt"), "outside");
    fs::create_directory_symlink(sandbox.hostPath("src"), sandbox.hostPath("src/sub/to-ancestor"));
    fs::create_directory_symlink(sandbox.hostPath("outside"), sandbox.hostPath("src/to-outside"));
    fs::create_symlink("top.txt", sandbox.hostPath("src/relative-link"));

    TreeStatus copied = copyFolderTree(map, "C:\\src", "C:\\dst");
    ASSERT_TRUE(copied.ok()) << copied.failure().error.message;
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("dst/top.txt")), "top");
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("dst/sub/deep/inner.txt")), "inner");
    EXPECT_TRUE(fs::is_directory(sandbox.hostPath("dst/empty")));
    struct LinkCase {
        const char* copy;
        std::string target;
    };
    const LinkCase links[] = {
        {"dst/sub/to-ancestor", sandbox.hostPath("src")},
        {"dst/to-outside", sandbox.hostPath("outside")},
        {"dst/relative-link", "top.txt"},
    };
    for (const LinkCase& link : links) {
        ASSERT_TRUE(isSymlink(sandbox.hostPath(link.copy))) << link.copy;
        EXPECT_EQ(fs::read_symlink(sandbox.hostPath(link.copy)).string(), link.target) << link.copy;
    }
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("outside/big.txt")), "outside");
}

TEST(FolderTreeTest, ACopySourceThatIsALinkGivesALink) {
    Sandbox sandbox;
    testsupport::writeFile(sandbox.hostPath("target/a.txt"), "a");
    fs::create_directory_symlink(sandbox.hostPath("target"), sandbox.hostPath("link"));
    fs::create_symlink(sandbox.hostPath("target/a.txt"), sandbox.hostPath("filelink"));
    fs::create_directory(sandbox.hostPath("dst"));
    ASSERT_TRUE(copyFolderTree(DriveMap::current(), "C:\\link\\", "C:\\dst\\link").ok());
    ASSERT_TRUE(copyFileOrLink(DriveMap::current(), "C:\\filelink", "C:\\dst\\filelink").ok());
    for (const char* copy : {"dst/link", "dst/filelink"}) {
        EXPECT_TRUE(isSymlink(sandbox.hostPath(copy))) << copy;
    }
    EXPECT_EQ(fs::read_symlink(sandbox.hostPath("dst/link")).string(), sandbox.hostPath("target"));
}

TEST(FolderTreeTest, ACopyIntoItselfIsRefusedBeforeAnythingIsCreated) {
    Sandbox sandbox;
    testsupport::writeFile(sandbox.hostPath("src/a.txt"), "a");
    fs::create_directory(sandbox.hostPath("src/sub"));
    // A link elsewhere that leads back into the source.
    fs::create_directory_symlink(sandbox.hostPath("src/sub"), sandbox.hostPath("alias"));
    const char* destinations[] = {"C:\\src",         "C:\\src\\",
                                  "C:\\src\\copy",   "C:\\src\\sub\\copy",
                                  "C:\\alias\\copy", "C:\\alias\\deeper\\copy"};
    for (const char* destination : destinations) {
        TreeStatus copied = copyFolderTree(DriveMap::current(), "C:\\src", destination);
        ASSERT_FALSE(copied.ok()) << destination;
        EXPECT_EQ(copied.failure().step, TreeStep::SameFolder) << destination;
    }
    EXPECT_FALSE(present(sandbox.hostPath("src/copy")));
    EXPECT_FALSE(present(sandbox.hostPath("src/sub/copy")));
    EXPECT_FALSE(present(sandbox.hostPath("src/sub/deeper")));
    // A sibling whose name only starts like the source is no part of it.
    EXPECT_TRUE(copyFolderTree(DriveMap::current(), "C:\\src", "C:\\srcXY").ok());
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("srcXY/a.txt")), "a");
}

TEST(FolderTreeTest, CopyFailuresNameTheirStepAndKeepWhatWasCopied) {
    Sandbox sandbox;
    testsupport::writeFile(sandbox.hostPath("src/a.txt"), "a");
    testsupport::writeFile(sandbox.hostPath("src/b.txt"), "b");
    fs::create_directory(sandbox.hostPath("exists"));
    TreeStatus onExisting = copyFolderTree(DriveMap::current(), "C:\\src", "C:\\exists");
    ASSERT_FALSE(onExisting.ok());
    EXPECT_EQ(onExisting.failure().step, TreeStep::CreateFolder);

    TreeStatus missing = copyFolderTree(DriveMap::current(), "C:\\missing", "C:\\fresh");
    ASSERT_FALSE(missing.ok());
    EXPECT_FALSE(present(sandbox.hostPath("fresh"))) << "nothing is made for a source that cannot be read";

    // Something that is neither a file, a folder nor a link (a pipe, which would block a reader
    // forever) stops the copy after the entries before it.
    testsupport::writeFile(sandbox.hostPath("src2/a.txt"), "a");
    ASSERT_EQ(mkfifo(sandbox.hostPath("src2/b.pipe").c_str(), 0644), 0);
    testsupport::writeFile(sandbox.hostPath("src2/c.txt"), "c");
    TreeStatus copied = copyFolderTree(DriveMap::current(), "C:\\src2", "C:\\dst2");
    ASSERT_FALSE(copied.ok());
    EXPECT_EQ(copied.failure().step, TreeStep::CopyFile);
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("dst2/a.txt")), "a");
    EXPECT_FALSE(present(sandbox.hostPath("dst2/b.pipe")));
    EXPECT_FALSE(present(sandbox.hostPath("dst2/c.txt")));
}

TEST(FolderTreeTest, ACopySourceMustBeReadable) {
    Sandbox sandbox;
    testsupport::writeFile(sandbox.hostPath("folder/a.txt"), "a");
    testsupport::writeFile(sandbox.hostPath("plain.txt"), "p");
    fs::create_directory_symlink(sandbox.hostPath("nowhere"), sandbox.hostPath("dangling"));
    struct Case {
        const char* path;
        bool readable;
    };
    const Case cases[] = {
        {"C:\\folder", true},     {"C:\\folder\\", true}, {"C:\\missing", false},
        {"C:\\plain.txt", false}, {"C:\\dangling", true}, // copied as a link
    };
    for (const Case& c : cases) {
        EXPECT_EQ(checkCopySource(DriveMap::current(), c.path).ok(), c.readable) << c.path;
    }
}
