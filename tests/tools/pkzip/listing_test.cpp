// The listing: columns, ratio, 12-hour clock, names, and the widened layout.

#include "pkzip_fixture.h"

#include <cstdlib>
#include <sstream>

namespace pkziptest {
namespace {

// One line of `unzip -v`: the peer's view of a member.
struct PeerMember {
    uint64_t size = 0;
    uint64_t packed = 0;
    std::string date; // YYYY-MM-DD
    std::string time; // HH:MM
    std::string crc;
    std::string name;
};

std::vector<PeerMember> peerListing(const std::string& text) {
    std::vector<PeerMember> members;
    std::istringstream in(text);
    int dashes = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("--------", 0) == 0) {
            ++dashes;
            continue;
        }
        if (dashes != 1) {
            continue;
        }
        std::istringstream fields(line);
        PeerMember member;
        std::string method;
        std::string ratio;
        fields >> member.size >> method >> member.packed >> ratio >> member.date >> member.time >> member.crc;
        std::getline(fields, member.name);
        member.name.erase(0, member.name.find_first_not_of(' '));
        members.push_back(member);
    }
    return members;
}

class PeerArchiveListing : public PkzipTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PeerArchiveListing, ListsEveryMemberWithThePeersValues) {
    write("src/a.txt", std::string(1000, 'a') + "tail");
    write("src/empty.txt", "");
    std::string numbers;
    for (int i = 0; i < 3000; ++i) {
        numbers += std::to_string(i) + "\n";
    }
    write("src/docs/old/b.txt", numbers);
    shell("touch -d '2003-09-15 22:23' src/a.txt && touch -d '2010-01-02 00:05' src/empty.txt && "
          "touch -d '2024-06-30 12:30' src/docs/old/b.txt");
    shell(std::string("cd src && ") + GetParam() + " ../peer.zip . >/dev/null");

    const ToolRun run = list("peer.zip");
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const Listing listing = parseListing(run.out);
    const std::vector<PeerMember> peer = peerListing(shell("unzip -v peer.zip"));
    ASSERT_EQ(listing.header.size(), 8u);
    EXPECT_EQ(listing.header[7], "-------- ------- -------- ----- ---------- ------  --------         ----");
    ASSERT_TRUE(listing.hasSeparator);
    ASSERT_EQ(listing.members.size(), peer.size());
    ASSERT_EQ(peer.size(), 5u);
    for (size_t i = 0; i < peer.size(); ++i) {
        const ListedMember& mine = listing.members[i];
        SCOPED_TRACE(peer[i].name);
        EXPECT_EQ(mine.path, peer[i].name);
        EXPECT_EQ(mine.size, peer[i].size);
        EXPECT_EQ(mine.packedSize, peer[i].packed);
        EXPECT_EQ(mine.line.substr(51, 8), peer[i].crc);
        // The peer's 24-hour local time against ours on the 12-hour clock.
        const int hour24 = std::atoi(peer[i].time.substr(0, 2).c_str());
        EXPECT_EQ(mine.hour12, hour24 % 12 == 0 ? 12 : hour24 % 12);
        EXPECT_EQ(mine.ampm, hour24 >= 12 ? 'p' : 'a');
        EXPECT_EQ(mine.minute, std::atoi(peer[i].time.substr(3, 2).c_str()));
        EXPECT_EQ(mine.year, std::atoi(peer[i].date.substr(0, 4).c_str()));
        EXPECT_EQ(mine.month, std::atoi(peer[i].date.substr(5, 2).c_str()));
        EXPECT_EQ(mine.day, std::atoi(peer[i].date.substr(8, 2).c_str()));
    }
    // The fixed columns hold the same values as the underline's, and the path starts at 68.
    for (const ListedMember& member : listing.members) {
        EXPECT_EQ(std::strtoull(member.line.substr(0, 8).c_str(), nullptr, 10), member.size);
        EXPECT_EQ(std::strtoull(member.line.substr(17, 8).c_str(), nullptr, 10), member.packedSize);
        EXPECT_EQ(member.line.substr(26, 5), member.ratio);
        EXPECT_EQ(member.line.substr(68), member.path);
        EXPECT_NE(member.line[2], '-');
    }
    for (const std::string folder : {"docs/", "docs/old/"}) {
        EXPECT_NE(std::find_if(listing.members.begin(), listing.members.end(),
                               [&](const ListedMember& m) { return m.path == folder; }),
                  listing.members.end())
            << folder;
    }
}

INSTANTIATE_TEST_SUITE_P(Makers, PeerArchiveListing, ::testing::Values("zip -q -r", "7z a -tzip -bd"));

TEST_F(PkzipTest, RatioIsFiveCharactersWithOneDecimalWhereItFits) {
    struct Case {
        int64_t size;
        int64_t packed;
        const char* ratio;
    };
    const std::vector<Case> cases = {
        {0, 0, " 0.0%"},       {1000, 375, "62.5%"}, {1000, 1000, " 0.0%"},
        {1000, 1, "99.9%"},    {100000, 1, " 100%"}, {1000, 1005, "-0.5%"},
        {1000, 1123, " -12%"}, {10, 5000, "-999%"},  {3, 2, "33.3%"},
    };
    std::vector<FakeMember> members;
    for (size_t i = 0; i < cases.size(); ++i) {
        FakeMember member;
        member.name = "m" + std::to_string(i);
        member.declaredSize = cases[i].size;
        member.declaredPacked = cases[i].packed;
        members.push_back(member);
    }
    write("ratio.zip", buildArchive(members));
    const Listing listing = parseListing(list("ratio.zip").out);
    ASSERT_EQ(listing.members.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(listing.members[i].ratio, cases[i].ratio) << cases[i].size << "/" << cases[i].packed;
        EXPECT_EQ(listing.members[i].line.substr(26, 5), cases[i].ratio);
    }
}

TEST_F(PkzipTest, TwelveHourClockFromDosTimes) {
    struct Case {
        int hour;
        int minute;
        const char* shown;
    };
    const std::vector<Case> cases = {
        {0, 5, "12:05a"},   {9, 15, "09:15a"}, {11, 59, "11:59a"}, {12, 0, "12:00p"},
        {12, 30, "12:30p"}, {13, 1, "01:01p"}, {23, 59, "11:59p"},
    };
    std::vector<FakeMember> members;
    for (const Case& c : cases) {
        FakeMember member;
        member.name = "t" + std::to_string(c.hour) + "-" + std::to_string(c.minute);
        member.dosTime = static_cast<uint16_t>((c.hour << 11) | (c.minute << 5));
        member.dosDate = static_cast<uint16_t>(((2003 - 1980) << 9) | (9 << 5) | 15);
        members.push_back(member);
    }
    write("clock.zip", buildArchive(members));
    const Listing listing = parseListing(list("clock.zip").out);
    ASSERT_EQ(listing.members.size(), cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(listing.members[i].line.substr(32, 17), std::string("09-15-2003 ") + cases[i].shown);
    }
}

TEST_F(PkzipTest, SizesPastEightDigitsWidenTheColumnsExactly) {
    FakeMember small;
    small.name = "small.txt";
    small.data = "x";
    FakeMember large;
    large.name = "docs/large.bin";
    large.declaredSize = 3999999999;
    large.declaredPacked = 123456789;
    write("wide.zip", buildArchive({small, large}));
    const Listing listing = parseListing(list("wide.zip").out);
    ASSERT_EQ(listing.members.size(), 2u);
    ASSERT_EQ(listing.starts.size(), 8u);
    // Ten digits: both size columns grow by 2, everything after them moves by 4.
    EXPECT_EQ(listing.widths[0], 10u);
    EXPECT_EQ(listing.starts[2], 19u);
    EXPECT_EQ(listing.starts[3], 30u);
    EXPECT_EQ(listing.starts[4], 36u);
    EXPECT_EQ(listing.starts[5], 47u);
    EXPECT_EQ(listing.starts[7], 72u);
    EXPECT_EQ(listing.members[1].size, 3999999999u);
    EXPECT_EQ(listing.members[1].packedSize, 123456789u);
    EXPECT_EQ(listing.members[1].path, "docs/large.bin");
    EXPECT_EQ(listing.members[0].size, 1u);
    EXPECT_EQ(listing.members[0].path, "small.txt");
    EXPECT_EQ(listing.members[0].year, 2025);
}

TEST_F(PkzipTest, UnreadableArchiveListsNoMembersAndSaysWhy) {
    write("junk.zip", std::string(5000, 'j'));
    write("short.zip", "PK\x05\x06");
    for (const char* archive : {"missing.zip", "junk.zip", "short.zip"}) {
        const ToolRun run = list(archive);
        SCOPED_TRACE(archive);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_FALSE(run.err.empty());
        const Listing listing = parseListing(run.out);
        ASSERT_EQ(listing.header.size(), 8u);
        EXPECT_EQ(listing.header[1], "Archive: " + win(archive));
        EXPECT_EQ(listing.header[2], "Members: 0");
        EXPECT_TRUE(listing.hasSeparator);
        EXPECT_TRUE(listing.members.empty());
    }
}

TEST_F(PkzipTest, NamesAreListedAsUtf8FromCp437AndUtf8) {
    FakeMember cp437;
    cp437.name = "\x81"
                 "ber/caf\x82.txt"; // CP437 ü and é
    cp437.data = "one";
    FakeMember utf8;
    utf8.name = "na\xc3\xafve.txt";
    utf8.flags = 0x0800;
    utf8.data = "two";
    FakeMember control;
    control.name = std::string("line\nbreak\r.txt");
    control.data = "three";
    write("names.zip", buildArchive({cp437, utf8, control}));
    const ToolRun run = list("names.zip");
    const Listing listing = parseListing(run.out);
    ASSERT_EQ(listing.members.size(), 3u) << run.out;
    EXPECT_EQ(listing.members[0].path, "\xc3\xbc"
                                       "ber/caf\xc3\xa9.txt");
    EXPECT_EQ(listing.members[1].path, "na\xc3\xafve.txt");
    EXPECT_EQ(listing.members[2].path, "line\xe2\x90\x8a"
                                       "break\xe2\x90\x8d.txt");
}

} // namespace
} // namespace pkziptest
