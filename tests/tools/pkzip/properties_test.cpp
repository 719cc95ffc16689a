// -info and -comment: what the Properties window is told of an archive and its members, and the
// comment replaced in place or by a rewrite.

#include "pkzip_fixture.h"

#include <cstdio>
#include <map>
#include <sys/stat.h>
#include <zlib.h>

namespace pkziptest {
namespace {

using Section = std::map<std::string, std::string>;

// The sections of an information text: the archive's first, then one per "member:" line.
std::vector<Section> sectionsOf(const std::string& text) {
    std::vector<Section> sections(1);
    size_t start = text.find("\r\n");
    EXPECT_EQ(text.substr(0, start), "PKZIP25.EXE archive information");
    while (start != std::string::npos && start + 2 < text.size()) {
        start += 2;
        const size_t end = text.find("\r\n", start);
        const std::string line = text.substr(start, end - start);
        const size_t colon = line.find(": ");
        EXPECT_NE(colon, std::string::npos) << line;
        if (line.compare(0, colon, "member") == 0) {
            sections.emplace_back();
        }
        sections.back()[line.substr(0, colon)] = line.substr(colon + 2);
        start = end;
    }
    return sections;
}

class PropertiesTest : public PkzipTest {
protected:
    ToolRun info(const std::string& archive, const std::vector<std::string>& members = {}) const {
        if (members.empty()) {
            return runTool({"-info", win(archive)});
        }
        writeList(host("temp.lst"), members);
        return runTool({"-info", win(archive), "@" + win("temp.lst")});
    }
    ToolRun setComment(const std::string& archive, const std::string& comment) const {
        write("comment.txt", comment);
        return runTool({"-comment", win(archive), "@" + win("comment.txt")});
    }
    ino_t inode(const std::string& relative) const {
        struct stat info {};
        EXPECT_EQ(::stat(host(relative).c_str(), &info), 0);
        return info.st_ino;
    }
};

TEST_F(PropertiesTest, InfoTellsTheArchiveAndTheNamedMembers) {
    // Python's zipfile writes DOS times only, a member comment and an archive comment; zip adds
    // a member with an extended timestamp and Unix mode, and one encrypted with ZipCrypto.
    write("make.py", "import zipfile\n"
                     "with zipfile.ZipFile('peer.zip', 'w') as z:\n"
                     "    z.comment = b'Release 1.2 - built by CI on 2024-05-01'\n"
                     "    i = zipfile.ZipInfo('docs/config.json', (2024, 5, 1, 14, 3, 7))\n"
                     "    i.comment = b'the settings'\n"
                     "    i.compress_type = zipfile.ZIP_DEFLATED\n"
                     "    z.writestr(i, '{\"a\": 1}' * 100)\n"
                     "    z.writestr(zipfile.ZipInfo('docs/', (2024, 5, 1, 14, 3, 8)), '')\n");
    shell("python3 make.py");
    write("src/top.txt", "top level");
    write("src/secret.txt", "hush");
    shell("touch -d '2024-06-30 12:30:45 UTC' src/top.txt && touch -d '2020-01-01 UTC' src/secret.txt && "
          "chmod 640 src/top.txt");
    shell("cd src && zip -q ../peer.zip top.txt && zip -q -P pass ../peer.zip secret.txt");

    const ToolRun run = info("peer.zip", {"docs\\config.json", "/top.txt", "secret.txt", "missing.txt"});
    EXPECT_EQ(run.exitCode, 1) << "a name that matches no member\n" << run.err;
    EXPECT_NE(run.err.find("missing.txt: no such member in the archive"), std::string::npos) << run.err;
    const std::vector<Section> sections = sectionsOf(run.out);
    ASSERT_EQ(sections.size(), 5u) << run.out;
    const Section& archive = sections[0];
    EXPECT_EQ(archive.at("members"), "4");
    EXPECT_EQ(archive.at("files"), "3");
    EXPECT_EQ(archive.at("folders"), "1");
    EXPECT_EQ(archive.at("size"), std::to_string(800 + 9 + 4));
    EXPECT_EQ(archive.at("zip64"), "no");
    EXPECT_EQ(archive.at("encrypted"), "1");
    EXPECT_EQ(archive.at("encryption"), "ZipCrypto 1");
    EXPECT_EQ(archive.at("methods"), "Deflate 1, Stored 2");
    EXPECT_EQ(archive.at("comment"), "Release 1.2 - built by CI on 2024-05-01");
    EXPECT_EQ(archive.at("comment-bytes"), "39");
    EXPECT_EQ(archive.at("newest"), "1719750645") << "the extended timestamp of top.txt";

    const Section& config = sections[1];
    EXPECT_EQ(config.at("member"), "docs/config.json");
    EXPECT_EQ(config.at("method"), "Deflate");
    EXPECT_EQ(config.at("time-source"), "dos");
    EXPECT_EQ(config.count("modified"), 0u) << "a DOS time names no moment";
    EXPECT_EQ(config.at("dos-time"), "2024-05-01 14:03:06") << "DOS seconds are even";
    EXPECT_EQ(config.at("comment"), "the settings");
    EXPECT_EQ(config.at("encryption"), "none");
    const Section& top = sections[2];
    EXPECT_EQ(top.at("member"), "top.txt");
    EXPECT_EQ(top.at("time-source"), "extended-timestamp");
    EXPECT_EQ(top.at("modified"), "1719750645");
    EXPECT_EQ(top.at("unix-mode"), "100640");
    EXPECT_EQ(top.at("made-by").substr(0, 4), "Unix");
    char crc[16];
    std::snprintf(crc, sizeof crc, "%08lx", crc32(0, reinterpret_cast<const Bytef*>("top level"), 9));
    EXPECT_EQ(top.at("crc"), crc);
    EXPECT_EQ(sections[3].at("encryption"), "ZipCrypto");
    EXPECT_EQ(sections[4].at("member"), "missing.txt");
    EXPECT_EQ(sections[4].at("error"), "no such member in the archive");

    // An unreadable archive says why and writes nothing.
    write("bad.zip", "this is no archive");
    const ToolRun bad = info("bad.zip");
    EXPECT_EQ(bad.exitCode, 2);
    EXPECT_TRUE(bad.out.empty()) << bad.out;
    EXPECT_NE(bad.err.find("not a readable ZIP archive"), std::string::npos) << bad.err;
}

TEST_F(PropertiesTest, TheCommentIsReplacedInPlaceOrByARewriteAndRefusedWhenItCannotBeStored) {
    write("src/a.txt", std::string(5000, 'a'));
    shell("cd src && zip -q ../a.zip a.txt");
    const ino_t before = inode("a.zip");

    // The end record ends the file: only it is written again.
    ToolRun run = setComment("a.zip", "first\nsecond");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(inode("a.zip"), before);
    EXPECT_EQ(shell("unzip -z a.zip | tail -n +2"), "first\nsecond\n");
    shell("unzip -tq a.zip");
    EXPECT_TRUE(sideFiles().empty());
    const std::string longest(65535, 'x');
    EXPECT_EQ(setComment("a.zip", longest).exitCode, 0);
    EXPECT_EQ(sectionsOf(info("a.zip").out)[0].at("comment"), longest);
    EXPECT_EQ(setComment("a.zip", "").exitCode, 0);
    EXPECT_EQ(sectionsOf(info("a.zip").out)[0].at("comment-bytes"), "0");
    shell("unzip -tq a.zip");

    // What no end record can hold is refused, and the archive is left as it was.
    const std::string kept = read("a.zip");
    for (const std::string& refused : {std::string(65536, 'y'), std::string("ends PK\x05\x06 here")}) {
        run = setComment("a.zip", refused);
        EXPECT_EQ(run.exitCode, 2) << refused.size();
        EXPECT_NE(run.err.find("the archive was not changed"), std::string::npos) << run.err;
        EXPECT_TRUE(read("a.zip") == kept);
    }

    // Bytes after the end record: the archive is written again, beside the old one.
    write("a.zip", kept + "trailing bytes");
    run = setComment("a.zip", "rewritten");
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(shell("unzip -z a.zip | tail -n +2"), "rewritten\n");
    shell("unzip -tq a.zip");
    EXPECT_TRUE(sideFiles().empty());
}

} // namespace
} // namespace pkziptest
