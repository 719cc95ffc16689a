// Archives past the 32-bit limits: more than 65,535 members, and a member past 4 GiB.

#include "pkzip_fixture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace pkziptest {
namespace {

TEST_F(PkzipTest, SeventyThousandMembersAcrossTwoRuns) {
    // The second run appends across the 65,535-member limit of the classic end record.
    std::vector<std::string> first;
    std::vector<std::string> second;
    shell("mkdir -p many && cd many && seq -f 'f%05g.txt' 0 69999 | xargs -n 5000 touch");
    for (int i = 0; i < 70000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "many/f%05d.txt", i);
        (i < 60000 ? first : second).push_back(win(name));
    }
    write("many/f00123.txt", "some text in one of them");
    ToolRun run = add("many.zip", first, true);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    run = add("many.zip", second, true);
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const Listing listing = parseListing(list("many.zip").out);
    ASSERT_EQ(listing.members.size(), 70000u);
    EXPECT_EQ(listing.members.front().path, "many/f00000.txt");
    EXPECT_EQ(listing.members.back().path, "many/f69999.txt");
    EXPECT_EQ(listing.header[2], "Members: 70000");
    EXPECT_NE(shell("unzip -l many.zip | tail -1").find("70000 files"), std::string::npos);
    shell("7z t many.zip >/dev/null");
    run = extract("many.zip", {"many/f00123.txt", "many/f69999.txt"}, win("out"), false);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(read("out/f00123.txt"), "some text in one of them");
    EXPECT_TRUE(exists("out/f69999.txt"));
    // Deleting from it keeps the ZIP64 records right.
    run = remove("many.zip", {"many/f00000.txt"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(shell("unzip -l many.zip | tail -1").find("69999 files"), std::string::npos);
}

TEST_F(PkzipTest, FiveGigabyteMemberListsAndExtractsWithItsExactSize) {
    constexpr uint64_t kSize = 5368709120; // 5 GiB, a sparse file: no disk space is used
    const std::string source = host("big/big.bin");
    shell("mkdir -p big && truncate -s 5G big/big.bin && printf 'marker' | dd of=big/big.bin bs=1 "
          "seek=4294967300 "
          "conv=notrunc status=none");
    ToolRun run = add("big.zip", {win("big/big.bin")}, false);
    ASSERT_EQ(run.exitCode, 0) << run.err;

    const Listing listing = parseListing(list("big.zip").out);
    ASSERT_EQ(listing.members.size(), 1u);
    EXPECT_EQ(listing.members[0].size, kSize);
    EXPECT_EQ(listing.members[0].sizeText, "5368709120");
    EXPECT_EQ(listing.members[0].path, "big.bin");
    EXPECT_EQ(listing.widths[0], 10u);
    EXPECT_NE(shell("unzip -l big.zip").find("5368709120"), std::string::npos);

    run = extract("big.zip", {"big.bin"}, win("out"), false);
    ASSERT_EQ(run.exitCode, 0) << run.err; // the tool checks the CRC of all 5 GiB
    struct stat info {};
    ASSERT_EQ(::stat(host("out/big.bin").c_str(), &info), 0);
    EXPECT_EQ(static_cast<uint64_t>(info.st_size), kSize);
    // Written sparse: the zeros take no space.
    EXPECT_LT(static_cast<uint64_t>(info.st_blocks) * 512, uint64_t{64} << 20);
    const int fd = ::open(host("out/big.bin").c_str(), O_RDONLY);
    char marker[6] = {};
    EXPECT_EQ(::pread(fd, marker, sizeof marker, 4294967300), 6);
    ::close(fd);
    EXPECT_EQ(std::string(marker, 6), "marker");
}

} // namespace
} // namespace pkziptest
