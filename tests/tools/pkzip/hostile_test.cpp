// Hostile and damaged archives, made by hand: nothing may be written outside the destination,
// no link is created, and lying sizes, CRCs and overlaps are errors that leave nothing behind.

#include "pkzip_fixture.h"

#include <iostream>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace pkziptest {
namespace {

FakeMember member(const std::string& name, const std::string& data) {
    FakeMember m;
    m.name = name;
    m.data = data;
    return m;
}

TEST_F(PkzipTest, UnsafeNamesAreRefusedOneByOne) {
    const std::vector<std::string> unsafe = {
        "../escape.txt",         "a/../../escape.txt", "..\\escape.txt",
        "a\\..\\..\\escape.txt", "/tmp/absolute.txt",  "\\absolute.txt",
        "C:/drive.txt",          "C:escape.txt",       "..",
    };
    std::vector<FakeMember> members = {member("good/inside.txt", "fine")};
    for (const std::string& name : unsafe) {
        members.push_back(member(name, "evil"));
    }
    write("evil.zip", buildArchive(members));
    // The program asks for members by their listed names.
    std::vector<std::string> names;
    for (const ListedMember& listed : parseListing(list("evil.zip").out).members) {
        names.push_back(listed.path);
    }
    ASSERT_EQ(names.size(), members.size());
    for (bool withFolders : {true, false}) {
        SCOPED_TRACE(withFolders ? "with folders" : "bare names");
        shell("rm -rf box && mkdir -p box/dest");
        const ToolRun run = extract("evil.zip", names, win("box/dest"), withFolders);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_EQ(read(withFolders ? "box/dest/good/inside.txt" : "box/dest/inside.txt"), "fine");
        // One message per refused member, and nothing anywhere but the good file.
        size_t lines = 0;
        for (char c : run.err) {
            lines += c == '\n' ? 1 : 0;
        }
        EXPECT_EQ(lines, unsafe.size()) << run.err;
        EXPECT_EQ(shell("cd box && find . -type f | sort"),
                  withFolders ? "./dest/good/inside.txt\n" : "./dest/inside.txt\n");
        EXPECT_FALSE(exists("escape.txt"));
        EXPECT_FALSE(testsupport::fileExists("/tmp/absolute.txt"));
    }
}

TEST_F(PkzipTest, SymlinksAreNeitherCreatedNorFollowed) {
    FakeMember link = member("link", "/etc");
    link.unixMode = 0120777;
    write("links.zip", buildArchive({link, member("sub/file.txt", "through a planted link")}));
    shell("mkdir -p outside dest && ln -s ../outside dest/sub");
    const ToolRun run = extract("links.zip", {"link", "sub/file.txt"}, win("dest"), true);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("link"), std::string::npos);
    struct stat info {};
    EXPECT_NE(::lstat(host("dest/link").c_str(), &info), 0) << "a link member was created";
    EXPECT_FALSE(exists("outside/file.txt")) << "a member was written through a symbolic link";
    // A planted link at the file's own name is replaced, not written through.
    shell("ln -s ../outside/target dest/file.txt");
    const ToolRun flat = extract("links.zip", {"sub/file.txt"}, win("dest"), false);
    EXPECT_EQ(flat.exitCode, 0) << flat.err;
    EXPECT_FALSE(exists("outside/target"));
    ASSERT_EQ(::lstat(host("dest/file.txt").c_str(), &info), 0);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_EQ(read("dest/file.txt"), "through a planted link");
}

TEST_F(PkzipTest, DuplicateAndLookAlikeNamesAreNeverMixedUp) {
    write("dup.zip", buildArchive({member("dup.txt", "first"), member("dup.txt", "second"),
                                   member("a\\b.txt", "backslash"), member("a/b.txt", "slash"),
                                   member("line\nfeed.txt", "control"), member("plain.txt", "plain")}));
    const Listing listing = parseListing(list("dup.zip").out);
    ASSERT_EQ(listing.members.size(), 6u);
    const std::string escaped = "line\xe2\x90\x8a"
                                "feed.txt";
    EXPECT_EQ(listing.members[4].path, escaped);
    const ToolRun run = extract("dup.zip", {"dup.txt", "a/b.txt", escaped, "plain.txt"}, win("out"), true);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("dup.txt"), std::string::npos) << run.err;
    EXPECT_FALSE(exists("out/dup.txt"));
    EXPECT_FALSE(exists("out/a/b.txt"));
    // Asked for by its visible, listed name, the member lands under its own name, line feed and all.
    EXPECT_EQ(read("out/line\nfeed.txt"), "control");
    EXPECT_FALSE(exists("out/" + escaped));
    EXPECT_EQ(read("out/plain.txt"), "plain");
    // Deleting a name removes every member listed under it, so none is left behind.
    ASSERT_EQ(remove("dup.zip", {"dup.txt"}).exitCode, 0);
    const Listing after = parseListing(list("dup.zip").out);
    ASSERT_EQ(after.members.size(), 4u);
    for (const ListedMember& listed : after.members) {
        EXPECT_NE(listed.path, "dup.txt");
    }
}

TEST_F(PkzipTest, LyingSizesCrcsAndOverlapsAreErrorsThatLeaveNothing) {
    const std::string big(1 << 20, 'A');
    struct Case {
        const char* what;
        FakeMember bad;
    };
    std::vector<Case> cases;
    {
        FakeMember m = member("bomb.txt", big);
        m.deflate = true;
        m.declaredSize = 100; // inflates to 1 MiB
        cases.push_back({"inflates past its size", m});
    }
    {
        FakeMember m = member("short.txt", big);
        m.deflate = true;
        m.declaredSize = (2 << 20);
        cases.push_back({"inflates short of its size", m});
    }
    {
        FakeMember m = member("crc.txt", "some data");
        m.declaredCrc = 12345;
        cases.push_back({"bad CRC", m});
    }
    {
        FakeMember m = member("stored.txt", "0123456789");
        m.declaredSize = 5;
        cases.push_back({"stored sizes differ", m});
    }
    {
        FakeMember m = member("long.txt", "0123456789");
        m.declaredSize = 1000;
        m.declaredPacked = 1000;
        cases.push_back({"data run past the archive", m});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        write(c.bad.name, "the old file");
        write("bad.zip", buildArchive({c.bad, member("fine.txt", "fine")}));
        const ToolRun run = extract("bad.zip", {c.bad.name, "fine.txt"}, "C:/", true);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_NE(run.err.find(c.bad.name), std::string::npos) << run.err;
        EXPECT_EQ(read(c.bad.name), "the old file");
        EXPECT_EQ(read("fine.txt"), "fine");
        EXPECT_EQ(shell("ls -a | grep -c pellix || true"), "0\n");
    }
}

TEST_F(PkzipTest, OverlappingMembersAreRefused) {
    // A second directory record pointing at the first member's data, and a member whose
    // declared data swallow the next member (the shape of overlapping zip bombs).
    FakeMember twin = member("twin.txt", "");
    twin.offsetOf = 0;
    twin.declaredSize = 5;
    twin.declaredPacked = 5;
    write("twin.zip", buildArchive({member("one.txt", "hello"), twin}));
    ToolRun run = extract("twin.zip", {"one.txt", "twin.txt"}, win("out"), true);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("twin.txt"), std::string::npos) << run.err;
    EXPECT_FALSE(exists("out/twin.txt"));
    EXPECT_FALSE(exists("out/one.txt"));

    FakeMember swallow = member("swallow.txt", "abc");
    swallow.declaredPacked = 3 + 30 + 9 + 3;
    swallow.declaredSize = swallow.declaredPacked;
    write("swallow.zip", buildArchive({swallow, member("next.txt", "xyz")}));
    run = extract("swallow.zip", {"swallow.txt", "next.txt"}, win("out2"), true);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_FALSE(exists("out2/swallow.txt"));
    EXPECT_EQ(read("out2/next.txt"), "xyz");
}

TEST_F(PkzipTest, DamagedArchivesAreNeverWrittenTo) {
    std::string damaged = buildArchive({member("a.txt", "aaa"), member("b.txt", "bbb")});
    damaged[damaged.size() - 22 - 46 * 2 - 10] = 'X'; // break the first directory record
    write("damaged.zip", damaged);
    write("new.txt", "new");
    for (const ToolRun& run :
         {add("damaged.zip", {win("new.txt")}, false), remove("damaged.zip", {"a.txt"})}) {
        EXPECT_NE(run.exitCode, 0);
        EXPECT_NE(run.err.find("not changed"), std::string::npos) << run.err;
        EXPECT_EQ(read("damaged.zip"), damaged);
        EXPECT_TRUE(sideFiles().empty()) << sideFiles().front();
    }
}

TEST_F(PkzipTest, Cp437AndUtf8NamesAreFoundByTheirListedNames) {
    FakeMember cp437 = member("\x81"
                              "ber.txt",
                              "cp437");
    FakeMember utf8 = member("\xe6\x97\xa5\xe6\x9c\xac.txt", "utf8");
    utf8.flags = 0x0800;
    write("names.zip", buildArchive({cp437, utf8, member("other.txt", "other")}));
    const std::string uber = "\xc3\xbc"
                             "ber.txt";
    const ToolRun run = extract("names.zip", {uber, "\xe6\x97\xa5\xe6\x9c\xac.txt"}, win("out"), true);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(read("out/" + uber), "cp437");
    EXPECT_EQ(read("out/\xe6\x97\xa5\xe6\x9c\xac.txt"), "utf8");
    ASSERT_EQ(remove("names.zip", {uber}).exitCode, 0);
    EXPECT_EQ(memberPaths("names.zip"),
              (std::vector<std::string>{"\xe6\x97\xa5\xe6\x9c\xac.txt", "other.txt"}));
    shell("unzip -tq names.zip");
}

} // namespace
} // namespace pkziptest

namespace pkziptest {
namespace {

// Damaged copies of a real archive, bytes flipped at random (fixed seed): every run ends with an
// exit status, never a crash, and nothing lands outside the destination.
TEST_F(PkzipTest, RandomlyDamagedArchivesNeverCrashTheTool) {
    write("src/a.txt", std::string(3000, 'a') + "end");
    write("src/sub/b.txt", "bee");
    write("src/sub/c.bin", std::string(5000, '\x01'));
    shell("cd src && zip -q -r ../good.zip .");
    const std::string good = read("good.zip");
    std::mt19937 random(3);
    for (int round = 0; round < 150; ++round) {
        std::string damaged = good;
        const int flips = 1 + static_cast<int>(random() % 4);
        for (int k = 0; k < flips; ++k) {
            damaged[random() % damaged.size()] = static_cast<char>(random());
        }
        write("bad.zip", damaged);
        const ToolRun listed = list("bad.zip");
        ASSERT_LT(listed.exitCode, 3) << "round " << round << ": " << listed.err;
        const ToolRun extracted =
            extract("bad.zip", {"a.txt", "sub/b.txt", "sub/c.bin"}, win("box/out"), true);
        ASSERT_LT(extracted.exitCode, 3) << "round " << round << ": " << extracted.err;
        const ToolRun removed = remove("bad.zip", {"sub/b.txt"});
        ASSERT_LT(removed.exitCode, 3) << "round " << round << ": " << removed.err;
        // In a sanitizer build a memory error exits with status 1 and a report.
        for (const ToolRun* run : std::vector<const ToolRun*>{&listed, &extracted, &removed}) {
            ASSERT_EQ(run->err.find("Sanitizer"), std::string::npos) << "round " << round << ": " << run->err;
        }
    }
    EXPECT_EQ(shell("cd box && find . -type f | grep -v '^./out/' | wc -l"), "0\n");
}

} // namespace
} // namespace pkziptest

namespace pkziptest {
namespace {

// A named pipe, a device or a folder named as the archive: every run refuses it at once with a
// reason, and none replaces it with an archive.
TEST_F(PkzipTest, AnArchiveThatIsNotARegularFileIsRefusedWithoutWaitingOrReplacingIt) {
    struct Case {
        const char* what;
        const char* make;
        const char* reason;
        mode_t kind;
    };
    const std::vector<Case> cases = {
        {"named pipe", "mkfifo special.zip", "a named pipe", S_IFIFO},
        {"device", "mknod special.zip c 1 3", "a device", S_IFCHR},
        {"folder", "mkdir special.zip", "a folder", S_IFDIR},
    };
    write("new.txt", "new");
    const std::string tool = testsupport::programDir() + "/PKZIP25.EXE";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        shell("rm -rf special.zip");
        std::string made;
        if (testsupport::runShell("cd '" + m_box.home() + "' && " + c.make + " 2>&1", &made) != 0) {
            std::cout << "[ skipped  ] " << c.what << ": " << made; // mknod needs privileges
            continue;
        }
        // A run that waits on the pipe is stopped by the timeout (status 124) and fails here.
        std::string listing;
        const int listed = testsupport::runShell("cd '" + m_box.home() + "' && timeout 20 '" + tool + "' '" +
                                                     win("special.zip") + "' 2>&1",
                                                 &listing);
        EXPECT_EQ(listed, 1) << listing;
        EXPECT_NE(listing.find(std::string("is ") + c.reason + ", not a ZIP archive"), std::string::npos)
            << listing;
        const size_t header = listing.find("PKZIP25.EXE archive listing");
        EXPECT_TRUE(header != std::string::npos && parseListing(listing.substr(header)).hasSeparator)
            << listing;
        for (const ToolRun& run :
             {add("special.zip", {win("new.txt")}, false), remove("special.zip", {"a"})}) {
            EXPECT_EQ(run.exitCode, 2) << run.err;
            EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
        }
        std::string extracted;
        const int extractStatus =
            testsupport::runShell("cd '" + m_box.home() + "' && printf 'a\\r\\n' > temp.lst && timeout 20 '" +
                                      tool + "' -extract -overwrite=all '" + win("special.zip") + "' '@" +
                                      win("temp.lst") + "' '" + win("out") + "' 2>&1",
                                  &extracted);
        EXPECT_EQ(extractStatus, 2) << extracted;
        struct stat info {};
        ASSERT_EQ(::lstat(host("special.zip").c_str(), &info), 0);
        EXPECT_EQ(info.st_mode & S_IFMT, c.kind) << "the " << c.what << " was replaced";
        EXPECT_TRUE(sideFiles().empty());
    }
}

} // namespace
} // namespace pkziptest
