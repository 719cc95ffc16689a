// Adds in runs leave free space before the directory: every peer must read the archive as it is
// then, -compact must make it exactly what one run would have written, and a delete or a
// replacement must not carry the space along. A mark of free space that member data run into
// (a hostile or stale one) must never let an add write over those data.

#include "pkzip_fixture.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <zlib.h>

namespace pkziptest {
namespace {

class FreeSpaceTest : public PkzipTest {
protected:
    // 240 files in three folders: word text and noise of 1 to 16 KB. Returns their paths.
    std::vector<std::string> writeFiles() const {
        std::mt19937 random(11);
        const char* words[] = {"archive", "member", "folder", "pane", "record", "zip"};
        std::vector<std::string> paths;
        for (int i = 0; i < 240; ++i) {
            const size_t size = 1000 + random() % 15000;
            std::string data;
            while (data.size() < size) {
                data += i % 3 == 0 ? std::string(1, static_cast<char>(random()))
                                   : words[random() % 6] + std::string(" ");
            }
            data.resize(size);
            paths.push_back("src/d" + std::to_string(i / 80) + "/f" + std::to_string(i) + ".txt");
            write(paths.back(), data);
        }
        return paths;
    }
    std::vector<std::string> windowsNames(const std::vector<std::string>& paths, size_t from,
                                          size_t to) const {
        std::vector<std::string> names;
        for (size_t i = from; i < to && i < paths.size(); ++i) {
            names.push_back(win(paths[i]));
        }
        return names;
    }
    ToolRun compact(const std::string& archive) const { return runTool({"-compact", win(archive)}); }

    // Every peer's test or listing of the archive, each of which must name every member.
    void expectPeersRead(const std::string& archive, size_t members) const {
        const std::string count = std::to_string(members) + "\n";
        shell("unzip -tq " + archive);
        shell("7z t " + archive + " >/dev/null");
        shell("zip -T " + archive);
        EXPECT_EQ(shell("bsdtar -tf " + archive + " | grep -vc '/$'"), count);
        EXPECT_EQ(shell("cat " + archive + " | bsdtar -tf - | grep -vc '/$'"), count) << "read from a pipe";
        EXPECT_EQ(shell("cat " + archive + " | bsdtar -xOf - | wc -c"),
                  shell("unzip -p " + archive + " | wc -c"))
            << "the data read from a pipe";
        EXPECT_EQ(shell("python3 -c \"import zipfile,sys; z=zipfile.ZipFile(sys.argv[1]); "
                        "assert z.testzip() is None; print(len([n for n in z.namelist() if not "
                        "n.endswith('/')]))\" " +
                        archive),
                  count);
    }
};

TEST_F(FreeSpaceTest, RunsLeaveSpaceThatPeersReadAndCompactionTakesOut) {
    const std::vector<std::string> paths = writeFiles();
    ASSERT_EQ(add("one.zip", windowsNames(paths, 0, paths.size()), true).exitCode, 0);
    // Runs of 12 files: the first moves the directory, the next ones mostly fit the space.
    for (size_t from = 0; from < paths.size(); from += 12) {
        const ToolRun run = add("a.zip", windowsNames(paths, from, from + 12), true);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        if (from == 60 || from + 12 >= paths.size()) {
            SCOPED_TRACE("after " + std::to_string(from + 12) + " files");
            expectPeersRead("a.zip", from + 12);
        }
    }
    ASSERT_GT(read("a.zip").size(), read("one.zip").size()) << "no free space was left";
    EXPECT_TRUE(sideFiles().empty()) << sideFiles().front();
    const ToolRun compacted = compact("a.zip");
    EXPECT_EQ(compacted.exitCode, 0) << compacted.err;
    EXPECT_TRUE(read("a.zip") == read("one.zip")) << "compacted, the archive differs from one run's";
    EXPECT_TRUE(sideFiles().empty()) << sideFiles().front();
    // Compacting it again changes nothing, and neither does one made by zip.
    EXPECT_EQ(compact("a.zip").exitCode, 0);
    EXPECT_TRUE(read("a.zip") == read("one.zip"));
    shell("zip -q -r z.zip src");
    const std::string zipped = read("z.zip");
    EXPECT_EQ(compact("z.zip").exitCode, 0);
    EXPECT_TRUE(read("z.zip") == zipped);
}

TEST_F(FreeSpaceTest, DeletesAndReplacementsDoNotCarryTheSpace) {
    const std::vector<std::string> paths = writeFiles();
    for (size_t from = 0; from < 120; from += 12) {
        ASSERT_EQ(add("a.zip", windowsNames(paths, from, from + 12), true).exitCode, 0);
    }
    shell("cp a.zip b.zip");
    ASSERT_EQ(compact("b.zip").exitCode, 0);
    ASSERT_LT(read("b.zip").size(), read("a.zip").size());
    for (const std::string archive : {"a.zip", "b.zip"}) {
        ASSERT_EQ(remove(archive, {paths[119]}).exitCode, 0);
    }
    EXPECT_TRUE(read("a.zip") == read("b.zip")) << "the delete kept the free space";
    write(paths[10], "replaced");
    for (const std::string archive : {"a.zip", "b.zip"}) {
        ASSERT_EQ(add(archive, {win(paths[10])}, true).exitCode, 0);
    }
    EXPECT_TRUE(read("a.zip") == read("b.zip"));
    shell("unzip -tq a.zip");
}

TEST_F(FreeSpaceTest, AMarkThatMemberDataRunIntoIsNotUsed) {
    const std::vector<std::string> paths = writeFiles();
    ASSERT_EQ(add("a.zip", windowsNames(paths, 0, 40), true).exitCode, 0);
    const std::string before = read("a.zip");
    // A mark before the directory that says the space starts 4 KB into the member data.
    const auto* end = reinterpret_cast<const unsigned char*>(before.data() + before.size() - 22);
    const uint64_t central = end[16] | (end[17] << 8) | (end[18] << 16) | (uint64_t{end[19]} << 24);
    std::string mark = "PXFREE01";
    put64(mark, central + 32 - 4096);
    put64(mark, central + 32);
    put32(mark, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(mark.data()), 24)));
    put32(mark, 0);
    std::string hostile =
        before.substr(0, central) + mark + before.substr(central, before.size() - central - 22);
    std::string endRecord = before.substr(before.size() - 22);
    const uint32_t moved = static_cast<uint32_t>(central + 32);
    for (int i = 0; i < 4; ++i) {
        endRecord[16 + i] = static_cast<char>((moved >> (8 * i)) & 0xff);
    }
    write("a.zip", hostile + endRecord);
    shell("unzip -tq a.zip");
    ASSERT_EQ(add("a.zip", windowsNames(paths, 40, 50), true).exitCode, 0);
    shell("unzip -tq a.zip");
    EXPECT_EQ(memberPaths("a.zip").size(), 50u);
    EXPECT_EQ(compact("a.zip").exitCode, 0);
    shell("unzip -tq a.zip");
    EXPECT_EQ(memberPaths("a.zip").size(), 50u);
}

TEST_F(FreeSpaceTest, NamesOfEarlierRunsAreReplacedNotRepeatedAfterAnyChangeToTheDirectory) {
    const std::vector<std::string> paths = writeFiles();
    for (size_t from = 0; from < paths.size(); from += 12) {
        ASSERT_EQ(add("a.zip", windowsNames(paths, from, from + 12), true).exitCode, 0);
    }
    // A member of an early run, one of the last run, and one that another tool renamed in place
    // (same length, in the local header and the directory) are each added again to a copy.
    std::string renamed = read("a.zip");
    for (size_t at = renamed.find("d2/f238.txt"); at != std::string::npos; at = renamed.find("d2/f238.txt")) {
        renamed.replace(at, 11, "d2/g238.txt");
    }
    for (const std::string& path : {paths[5], paths[233], std::string("src/d2/g238.txt")}) {
        SCOPED_TRACE(path);
        shell("cp a.zip b.zip");
        if (path == "src/d2/g238.txt") {
            write("b.zip", renamed);
        }
        write(path, "again " + path);
        const ToolRun run = add("b.zip", {win(path)}, true);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::vector<std::string> members = memberPaths("b.zip");
        EXPECT_EQ(members.size(), paths.size());
        EXPECT_EQ(std::count(members.begin(), members.end(), path), 1);
        EXPECT_EQ(shell("unzip -p b.zip " + path), "again " + path);
    }
}
TEST_F(FreeSpaceTest, AMarkMovedIntoMemberDataIsNotUsedWhenTheSpaceHasANameIndex) {
    const std::vector<std::string> paths = writeFiles();
    for (size_t from = 0; from < 200; from += 20) {
        ASSERT_EQ(add("a.zip", windowsNames(paths, from, from + 20), true).exitCode, 0);
    }
    // The runs' own mark, and the index behind it, with the start of the space moved 4 KB back.
    std::string archive = read("a.zip");
    const auto* end = reinterpret_cast<const unsigned char*>(archive.data() + archive.size() - 22);
    const uint64_t central = end[16] | (end[17] << 8) | (end[18] << 16) | (uint64_t{end[19]} << 24);
    ASSERT_EQ(archive.compare(central - 32, 8, "PXFREE01"), 0);
    std::string mark = "PXFREE01";
    uint64_t start = 0;
    std::memcpy(&start, archive.data() + central - 24, 8);
    put64(mark, start - 4096);
    put64(mark, central);
    put32(mark, static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(mark.data()), 24)));
    put32(mark, 0);
    archive.replace(central - 32, 32, mark);
    write("a.zip", archive);
    ASSERT_EQ(add("a.zip", windowsNames(paths, 200, 210), true).exitCode, 0);
    shell("unzip -tq a.zip");
    EXPECT_EQ(memberPaths("a.zip").size(), 210u);
}

} // namespace
} // namespace pkziptest
