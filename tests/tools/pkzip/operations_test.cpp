// Extract, add and delete on real archives, checked with the peers unzip and 7z.

#include "pkzip_fixture.h"

#include <random>
#include <sys/stat.h>

namespace pkziptest {
namespace {

std::string pseudoRandom(size_t size, uint32_t seed) {
    std::string data(size, '\0');
    for (char& c : data) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return data;
}

class PeerArchiveExtract : public PkzipTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PeerArchiveExtract, ExtractsByteIdenticalWithAndWithoutFolders) {
    write("src/top.txt", "top level\n");
    write("src/docs/text.txt", std::string(20000, 'z'));
    write("src/docs/deep/random.bin", pseudoRandom(300000, 7));
    write("src/docs/deep/empty", "");
    shell(std::string("cd src && ") + GetParam() + " ../peer.zip . >/dev/null");
    const std::vector<std::string> members = {"top.txt", "docs/text.txt", "docs/deep/random.bin",
                                              "docs/deep/empty"};

    // With folders: names as the archive list writes them ("/"), and as the folder tree writes
    // them ("\" with a leading "\" for the top level).
    const std::vector<std::string> treeNames = {"\\top.txt", "docs\\text.txt", "docs\\deep\\random.bin",
                                                "docs\\deep\\empty"};
    for (const auto& names : {members, treeNames}) {
        shell("rm -rf out");
        const ToolRun run = extract("peer.zip", names, win("out"), true);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        for (const std::string& member : members) {
            ASSERT_TRUE(exists("out/" + member)) << member;
            EXPECT_TRUE(read("out/" + member) == read("src/" + member)) << member;
        }
    }
    // Without folders every member lands by its bare name.
    const ToolRun flat = extract("peer.zip", members, win("flat"), false);
    EXPECT_EQ(flat.exitCode, 0) << flat.err;
    EXPECT_TRUE(read("flat/random.bin") == read("src/docs/deep/random.bin"));
    EXPECT_EQ(read("flat/top.txt"), read("src/top.txt"));
    EXPECT_FALSE(exists("flat/docs"));
}

// BZip2 members are decoded by libbz2, stored and deflated ones by the tool itself and zlib.
INSTANTIATE_TEST_SUITE_P(Makers, PeerArchiveExtract,
                         ::testing::Values("zip -q -r", "7z a -tzip -bd", "7z a -tzip -mm=BZip2 -bd"));

TEST_F(PkzipTest, ExtractsToDriveRootReplacesFilesAndReportsMissingNames) {
    write("src/a.txt", "new contents");
    shell("cd src && zip -q ../a.zip a.txt");
    write("a.txt", "old contents that are longer");
    struct stat before {};
    ASSERT_EQ(::stat(host("a.txt").c_str(), &before), 0);
    const ToolRun run = extract("a.zip", {"a.txt", "not-there.txt"}, "C:/", true);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("not-there.txt"), std::string::npos) << run.err;
    EXPECT_EQ(read("a.txt"), "new contents");
    // Replaced by a new file renamed over the old one, not truncated in place.
    struct stat after {};
    ASSERT_EQ(::stat(host("a.txt").c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);
    EXPECT_TRUE(sideFiles().empty());
}

TEST_F(PkzipTest, AddStoresPathsOrBareNamesAndPassesPeerTests) {
    write("data/sub/one.txt", std::string(5000, '1'));
    write("data/sub/.hidden", "hidden file");
    write("data/two.bin", pseudoRandom(100000, 3));
    write("data/caf\xc3\xa9.txt", "accented");
    const std::vector<std::string> relative = {"data/sub/one.txt", "data/sub/.hidden", "data/two.bin",
                                               "data/caf\xc3\xa9.txt"};
    std::vector<std::string> files;
    for (const std::string& path : relative) {
        files.push_back(win(path));
    }
    struct Case {
        bool withFolders;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {true, {"data/sub/one.txt", "data/sub/.hidden", "data/two.bin", "data/caf\xc3\xa9.txt"}},
        {false, {"one.txt", ".hidden", "two.bin", "caf\xc3\xa9.txt"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.withFolders ? "with folders" : "bare names");
        shell("rm -f made.zip");
        const ToolRun run = add("made.zip", files, c.withFolders);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(memberPaths("made.zip"), c.names);
        shell("unzip -tq made.zip");
        shell("7z t made.zip");
        // The peer extracts what we stored, byte for byte.
        shell("rm -rf peer && mkdir peer && cd peer && unzip -q ../made.zip");
        for (size_t i = 0; i < c.names.size(); ++i) {
            EXPECT_TRUE(read("peer/" + c.names[i]) == read(relative[i])) << c.names[i];
        }
    }
    // A non-ASCII name carries the UTF-8 flag (bit 11 of the general purpose flags).
    const std::string archive = read("made.zip");
    const size_t header = archive.find(std::string("PK\x03\x04", 4) + std::string(), 0);
    size_t found = std::string::npos;
    for (size_t pos = header; pos != std::string::npos;
         pos = archive.find(std::string("PK\x01\x02", 4), pos + 1)) {
        if (archive.compare(pos, 4, std::string("PK\x01\x02", 4)) == 0 &&
            archive.compare(pos + 46, 9, "caf\xc3\xa9.txt") == 0) {
            found = pos;
        }
    }
    ASSERT_NE(found, std::string::npos);
    EXPECT_TRUE(static_cast<unsigned char>(archive[found + 9]) & 0x08);
}

TEST_F(PkzipTest, EveryKindOfDataRoundTripsThroughStoreOrDeflate) {
    std::mt19937 random(11);
    auto noise = [&random](size_t size) {
        std::string data(size, '\0');
        for (char& c : data) {
            c = static_cast<char>(random());
        }
        return data;
    };
    std::string text;
    while (text.size() < (9u << 20)) {
        text += "line " + std::to_string(text.size()) + " of some compressible text\n";
    }
    struct Case {
        const char* name;
        std::string data;
        const char* method; // as the listing shows it
    };
    // Random bytes that repeat compress although their byte frequencies look random.
    const std::string block = noise(3000);
    const std::string half = noise(20000);
    const std::vector<Case> cases = {
        {"empty", "", "Stored"},
        {"tiny.txt", "abc", "Stored"},
        {"small-noise.bin", noise(9000), "Stored"},
        {"repeated-noise.bin", block + block + block, "Deflate"},
        {"noise-twice.bin", half + half, "Deflate"},
        {"noise.bin", noise(300000), "Stored"},
        {"zeros.bin", std::string(300000, '\0'), "Deflate"},
        {"mid-text.txt", text.substr(0, (2u << 20) + 12345), "Deflate"}, // compressed in parallel blocks
        {"big-noise.bin", noise(9u << 20), "Stored"},
        {"big-text.txt", text, "Deflate"},
    };
    std::vector<std::string> files;
    for (const Case& c : cases) {
        write(std::string("kinds/") + c.name, c.data);
        files.push_back(win(std::string("kinds/") + c.name));
    }
    ASSERT_EQ(add("kinds.zip", files, false).exitCode, 0);
    shell("unzip -tq kinds.zip");
    const Listing listing = parseListing(list("kinds.zip").out);
    ASSERT_EQ(listing.members.size(), cases.size());
    std::vector<std::string> names;
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(listing.members[i].line.substr(9, 7).substr(0, std::string(cases[i].method).size()),
                  cases[i].method)
            << cases[i].name;
        names.push_back(cases[i].name);
    }
    ASSERT_EQ(extract("kinds.zip", names, win("back"), false).exitCode, 0);
    shell("mkdir peer && cd peer && unzip -q ../kinds.zip");
    for (const Case& c : cases) {
        EXPECT_TRUE(read(std::string("back/") + c.name) == c.data) << c.name;
        EXPECT_TRUE(read(std::string("peer/") + c.name) == c.data) << c.name;
    }
}

TEST_F(PkzipTest, AddingAnExistingNameReplacesTheMember) {
    write("f/a.txt", "first version");
    write("f/b.txt", "b");
    ASSERT_EQ(add("r.zip", {win("f/a.txt"), win("f/b.txt")}, false).exitCode, 0);
    write("f/a.txt", "second, longer version");
    write("g/a.txt", "from another folder, same bare name");
    ASSERT_EQ(add("r.zip", {win("f/a.txt")}, false).exitCode, 0);
    EXPECT_EQ(memberPaths("r.zip"), (std::vector<std::string>{"b.txt", "a.txt"}));
    EXPECT_EQ(shell("unzip -p r.zip a.txt"), "second, longer version");
    // Two lines naming one member in one run also leave one member, the later file.
    ASSERT_EQ(add("r.zip", {win("f/a.txt"), win("g/a.txt")}, false).exitCode, 0);
    EXPECT_EQ(memberPaths("r.zip"), (std::vector<std::string>{"b.txt", "a.txt"}));
    EXPECT_EQ(shell("unzip -p r.zip a.txt"), "from another folder, same bare name");
    shell("unzip -tq r.zip");
    EXPECT_TRUE(sideFiles().empty());
}

TEST_F(PkzipTest, AppendingKeepsEveryEarlierMemberIntact) {
    std::vector<std::string> expected;
    for (int run = 0; run < 5; ++run) {
        std::vector<std::string> files;
        for (int k = 0; k < 3; ++k) {
            const std::string name = "in/r" + std::to_string(run) + "_" + std::to_string(k) + ".bin";
            write(name, pseudoRandom(40000 + static_cast<size_t>(k), static_cast<uint32_t>(run * 10 + k)));
            files.push_back(win(name));
            expected.push_back(name);
        }
        ASSERT_EQ(add("grow.zip", files, true).exitCode, 0);
    }
    EXPECT_EQ(memberPaths("grow.zip"), expected);
    shell("unzip -tq grow.zip");
    shell("7z t grow.zip");
    shell("mkdir back && cd back && unzip -q ../grow.zip");
    for (const std::string& name : expected) {
        EXPECT_TRUE(read("back/" + name) == read(name)) << name;
    }
}

TEST_F(PkzipTest, AddReportsUnreadableFilesAndKeepsTheRest) {
    write("ok.txt", "fine");
    shell("mkfifo pipe");
    // A named pipe would block a reader forever: it is refused, not opened for reading.
    const ToolRun run = add("p.zip", {win("ok.txt"), win("absent.txt"), win("pipe")}, false);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("absent.txt"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("pipe"), std::string::npos) << run.err;
    EXPECT_EQ(memberPaths("p.zip"), (std::vector<std::string>{"ok.txt"}));
    // The archive is never added to itself.
    const ToolRun self = add("p.zip", {win("p.zip")}, false);
    EXPECT_NE(self.exitCode, 0);
    EXPECT_EQ(memberPaths("p.zip"), (std::vector<std::string>{"ok.txt"}));
}

TEST_F(PkzipTest, DeleteRemovesNamedMembersOnly) {
    write("d/keep.txt", "keep me");
    write("d/sub/gone.txt", "delete me");
    write("d/sub/also.txt", "delete me too");
    shell("zip -q -r del.zip d");
    struct Case {
        std::vector<std::string> names;
        int exitCode;
        std::vector<std::string> left;
    };
    const std::vector<Case> cases = {
        {{"d/sub/gone.txt"}, 0, {"d/", "d/keep.txt", "d/sub/", "d/sub/also.txt"}},
        {{"\\d\\sub\\also.txt", "d/nothing.txt"}, 1, {"d/", "d/keep.txt", "d/sub/"}},
        {{"d/nothing.txt"}, 1, {"d/", "d/keep.txt", "d/sub/"}},
    };
    for (const Case& c : cases) {
        const ToolRun run = remove("del.zip", c.names);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        std::vector<std::string> left = memberPaths("del.zip");
        std::sort(left.begin(), left.end());
        EXPECT_EQ(left, c.left);
        shell("unzip -tq del.zip");
    }
    EXPECT_EQ(shell("unzip -p del.zip d/keep.txt"), "keep me");
    EXPECT_TRUE(sideFiles().empty());
}

TEST_F(PkzipTest, CommandLinesAsTheProgramWritesThem) {
    write("w/x.txt", "x");
    // Windows paths through the drive map, list file lines with CR LF.
    writeList(host("temp.lst"), {win("w/x.txt")});
    ToolRun run = runTool({"-add", "-attr", win("cmd.zip"), "-include=@" + win("temp.lst"), "-path=root"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    writeList(host("temp.lst"), {"w/x.txt"});
    run = runTool(
        {"-dir=root", "-extract", "-overwrite=all", win("cmd.zip"), "@" + win("temp.lst"), win("dest")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(read("dest/w/x.txt"), "x");
    run = runTool({"-del", win("cmd.zip"), "@" + win("temp.lst")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(memberPaths("cmd.zip").empty());
    // Host paths work as well, and a list file with LF line ends.
    testsupport::writeFile(host("lf.lst"), host("w/x.txt") + "\n");
    run = runTool({"-add", "-attr", host("host.zip"), "-include=@" + host("lf.lst")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(memberPaths("host.zip"), (std::vector<std::string>{"x.txt"}));
    // Unknown switches are refused without touching anything.
    run = runTool({"-frobnicate", win("cmd.zip")});
    EXPECT_NE(run.exitCode, 0);
    EXPECT_FALSE(run.err.empty());
}

// Each word has its place: a path is a path however it begins, and an option anywhere else than
// where its command puts it makes the whole command refused, with the archive untouched.
TEST_F(PkzipTest, OptionsAreTakenOnlyWhereTheirCommandPutsThem) {
    write("w/x.txt", "x");
    writeList(host("add.lst"), {win("w/x.txt")});
    writeList(host("@l.lst"), {"x.txt"});
    ASSERT_EQ(add("v.zip", {win("w/x.txt")}, false).exitCode, 0);
    const std::string before = read("v.zip");
    const std::string lst = "@" + win("@l.lst");
    const std::vector<std::vector<std::string>> refused = {
        {win("v.zip"), "-del", lst}, // what a name with quotes made of a listing line
        {"-del", lst, win("v.zip")},
        {win("v.zip"), "-extract", "-overwrite=all", lst, win("out")},
        {"-extract", win("v.zip"), lst, win("out")},
        {"-overwrite=all", "-extract", win("v.zip"), lst, win("out")},
        {"-extract", "-overwrite=all", win("v.zip"), lst, win("out"), "-dir=root"},
        {"-add", "-attr", win("v.zip"), "-include=@" + win("add.lst"), "-path=root", "-path=root"},
        {"-path=root", "-add", "-attr", win("v.zip"), "-include=@" + win("add.lst")},
        {"-del", win("v.zip"), "@"},
        {"-del", win("v.zip"), lst, "-del"},
        {""},
        {},
    };
    for (const std::vector<std::string>& arguments : refused) {
        const ToolRun run = runTool(arguments);
        EXPECT_EQ(run.exitCode, 2) << (arguments.empty() ? "" : arguments[0]);
        EXPECT_NE(run.err.find("usage:"), std::string::npos) << run.err;
        EXPECT_EQ(read("v.zip"), before);
        EXPECT_FALSE(exists("out"));
    }
    // Paths that look like options or list files are paths in their places.
    write("-del", read("v.zip"));
    ToolRun run = runTool({win("-del")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(parseListing(run.out).members.size(), 1u);
    run = runTool({"-add", "-attr", win("@l.zip"), "-include=@" + win("add.lst")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(memberPaths("@l.zip"), (std::vector<std::string>{"x.txt"}));
    run = runTool({"-extract", "-overwrite=all", win("@l.zip"), lst, win("-extract")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(read("-extract/x.txt"), "x");
    run = runTool({"-del", win("-del"), lst});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(memberPaths("-del").empty());
    EXPECT_EQ(read("v.zip"), before);
}

// A local file of any name, added by its Windows path and extracted again by its listed name,
// comes back under its own bytes, with or without its folders.
TEST_F(PkzipTest, EveryByteOfALocalNameComesBackFromTheArchive) {
    std::vector<std::string> names;
    for (int byte = 1; byte < 256; ++byte) {
        if (byte != '/' && byte != '.') {
            names.push_back("f" + std::string(1, static_cast<char>(byte)) + ".txt");
        }
    }
    names.insert(names.end(), {"\"", "\\", ":", "n\nkeep.txt", "r.zip\">\".bashrc", "x\r\nrun \".zip",
                               "\xef\x80\xa2 carrier", "pic \xe2\x90\x8a", "caf\xc3\xa9", "\xff\xfe", "C:x",
                               "-del", "@l.lst", "a\\..\\b"});
    const std::string folder = "in \"dir\"\n\\\xff";
    std::vector<std::string> files;
    for (size_t i = 0; i < names.size(); ++i) {
        write(folder + "/" + names[i], "file " + std::to_string(i));
        files.push_back(win(folder + "/" + names[i]));
    }
    for (bool withFolders : {true, false}) {
        SCOPED_TRACE(withFolders ? "with folders" : "bare names");
        shell("rm -rf out names.zip");
        const ToolRun added = add("names.zip", files, withFolders);
        ASSERT_EQ(added.exitCode, 0) << added.err;
        const std::vector<std::string> listed = memberPaths("names.zip");
        ASSERT_EQ(listed.size(), names.size());
        const ToolRun extracted = extract("names.zip", listed, win("out"), withFolders);
        ASSERT_EQ(extracted.exitCode, 0) << extracted.err;
        for (size_t i = 0; i < names.size(); ++i) {
            EXPECT_EQ(read("out/" + (withFolders ? folder + "/" : "") + names[i]),
                      "file " + std::to_string(i))
                << names[i];
        }
        EXPECT_EQ(shell("find out -type f -printf x | wc -c"), std::to_string(names.size()) + "\n");
        const ToolRun removed = remove("names.zip", listed);
        ASSERT_EQ(removed.exitCode, 0) << removed.err;
        EXPECT_TRUE(memberPaths("names.zip").empty());
    }
}

} // namespace
} // namespace pkziptest

namespace pkziptest {
namespace {

// A self-extractor: a program in front of an archive whose offsets ignore it.
TEST_F(PkzipTest, ArchivesBehindAPrefixAreReadAndRewrittenWithTrueOffsets) {
    write("src/a.txt", "alpha");
    write("src/sub/b.txt", std::string(10000, 'b'));
    shell("cd src && zip -q -r ../plain.zip .");
    write("sfx.zip", std::string(1000, 'P') + read("plain.zip"));
    std::string peer;
    testsupport::runShell("cd '" + m_box.home() + "' && unzip -tq sfx.zip 2>&1", &peer);
    EXPECT_NE(peer.find("extra bytes at beginning"), std::string::npos) << peer;
    EXPECT_EQ(memberPaths("sfx.zip"), memberPaths("plain.zip"));
    ToolRun run = extract("sfx.zip", {"a.txt", "sub/b.txt"}, win("out"), true);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(read("out/a.txt"), "alpha");
    EXPECT_EQ(read("out/sub/b.txt"), std::string(10000, 'b'));
    write("c.txt", "gamma");
    run = add("sfx.zip", {win("c.txt")}, false);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // The prefix stays, and the offsets now count it: the peer no longer warns.
    EXPECT_EQ(read("sfx.zip").substr(0, 1000), std::string(1000, 'P'));
    EXPECT_EQ(shell("unzip -tq sfx.zip"), "No errors detected in compressed data of sfx.zip.\n");
    EXPECT_EQ(shell("unzip -p sfx.zip c.txt"), "gamma");
}

} // namespace
} // namespace pkziptest
