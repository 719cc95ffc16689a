// Archives that unzip, 7z, bsdtar and Python's zipfile all read, made here by zipfile and a few byte
// edits: each is read, listed and extracted.

#include "hostnames.h"
#include "pkzip_fixture.h"

namespace pkziptest {
namespace {

// Writes one archive per case into the current folder.
const char* const kMakeCases = R"PY(
import io, struct, zipfile

def archive(members, comment=b"", force_zip64=False):
    saved = zipfile.ZIP_FILECOUNT_LIMIT
    if force_zip64:
        zipfile.ZIP_FILECOUNT_LIMIT = 0  # zipfile then writes the ZIP64 end records
    out = io.BytesIO()
    with zipfile.ZipFile(out, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data, fields in members:
            info = zipfile.ZipInfo(name, (2025, 1, 15, 9, 24, 0))
            info.compress_type = zipfile.ZIP_DEFLATED
            for key, value in fields.items():
                setattr(info, key, value)
            z.writestr(info, data)
        z.comment = comment
    zipfile.ZIP_FILECOUNT_LIMIT = saved
    return bytearray(out.getvalue())

def save(name, data):
    open(name, "wb").write(bytes(data))

LOCATOR = b"PK\x06\x07" + bytes(16)
first = ("first.txt", b"the first member " * 50, {})
# The 20 bytes before the end record: the end of the last member's comment, extra field or name.
save("locator-comment.zip", archive([first, ("last.txt", b"last", {"comment": LOCATOR})]))
save("locator-extra.zip", archive([first, ("last.txt", b"last", {"extra": LOCATOR})]))
z = archive([first, ("last" + "x" * 20, b"last", {})])
at = z.rfind(b"last" + b"x" * 20)
z[at + 4:at + 24] = LOCATOR
save("locator-name.zip", z)

# A ZIP64 archive behind 17 bytes, its offsets counting from its own start: as zipfile writes the
# classic end record (real values), and with its fields set to the markers.
z64 = archive([first, ("second.txt", b"second", {})], force_zip64=True)
save("zip64-prefix.zip", b"#!/bin/sh\nexit 0\n" + z64)
end = z64.rfind(b"PK\x05\x06")
z64[end + 8:end + 20] = b"\xff\xff\xff\xff" + b"\xff" * 8
save("zip64-prefix-markers.zip", b"#!/bin/sh\nexit 0\n" + z64)

# The end record declares an 11-byte comment, of which 6 bytes made it.
save("cut-comment.zip", archive([first], comment=b"hello world")[:-5])

save("colon-name.zip", archive([first, ("123456789:;<=>?@", b"colons", {})]))
)PY";

struct ReadCase {
    const char* archive;
    std::vector<std::pair<std::string, std::string>> members; // listed path, data
};

class PeerReadable : public PkzipTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(PeerReadable, IsListedAndExtracted) {
    write("make.py", kMakeCases);
    shell("python3 make.py");
    const ReadCase& c = GetParam();
    const ToolRun listing = list(c.archive);
    EXPECT_EQ(listing.exitCode, 0) << listing.err;
    std::vector<std::string> expected;
    for (const auto& member : c.members) {
        expected.push_back(member.first);
    }
    EXPECT_EQ(memberPaths(c.archive), expected);
    const ToolRun run = extract(c.archive, expected, win("out"), true);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // A file takes the name its listed path stands for: control pictures are control characters.
    for (const auto& [path, data] : c.members) {
        const std::string file = "out/" + platform::hostNameOfListed(path);
        EXPECT_TRUE(exists(file) && read(file) == data) << path;
    }
}

const std::string kFirst = [] {
    std::string text;
    for (int i = 0; i < 50; ++i) {
        text += "the first member ";
    }
    return text;
}();

INSTANTIATE_TEST_SUITE_P(
    Cases, PeerReadable,
    ::testing::Values(ReadCase{"locator-comment.zip", {{"first.txt", kFirst}, {"last.txt", "last"}}},
                      ReadCase{"locator-extra.zip", {{"first.txt", kFirst}, {"last.txt", "last"}}},
                      ReadCase{"locator-name.zip",
                               {{"first.txt", kFirst},
                                {"lastPK\xe2\x90\x86\xe2\x90\x87" +
                                     [] {
                                         std::string nul;
                                         for (int i = 0; i < 16; ++i) {
                                             nul += "\xe2\x90\x80";
                                         }
                                         return nul;
                                     }(),
                                 "last"}}},
                      ReadCase{"zip64-prefix.zip", {{"first.txt", kFirst}, {"second.txt", "second"}}},
                      ReadCase{"zip64-prefix-markers.zip", {{"first.txt", kFirst}, {"second.txt", "second"}}},
                      ReadCase{"cut-comment.zip", {{"first.txt", kFirst}}},
                      ReadCase{"colon-name.zip", {{"first.txt", kFirst}, {"123456789:;<=>?@", "colons"}}}));

// The comment of an end record cut short is what is left of it.
TEST_F(PkzipTest, ACutShortCommentIsListedAsFarAsItGoes) {
    write("make.py", kMakeCases);
    shell("python3 make.py");
    const ToolRun run = list("cut-comment.zip");
    EXPECT_NE(run.out.find("Comment: hello \r\n"), std::string::npos) << run.out;
}

// A one-member archive whose data run into its central directory: there is no other member to
// blame, and the message says what is wrong.
TEST_F(PkzipTest, DataRunningIntoTheDirectoryAreToldAsSuch) {
    FakeMember only;
    only.name = "only.txt";
    only.data = "0123456789";
    only.declaredPacked = 40;
    only.declaredSize = 40;
    write("into.zip", buildArchive({only}));
    const ToolRun run = extract("into.zip", {"only.txt"}, win("out"), false);
    EXPECT_NE(run.exitCode, 0);
    EXPECT_NE(run.err.find("only.txt: not extracted: its data run into the central directory"),
              std::string::npos)
        << run.err;
    EXPECT_FALSE(exists("out/only.txt"));
}

// A member with an empty name is listed; an empty line in the list file names it, and extraction
// says that it was not written instead of writing nothing in silence.
TEST_F(PkzipTest, AMemberWithAnEmptyNameIsToldNotSilentlySkipped) {
    FakeMember unnamed;
    unnamed.data = "no name";
    FakeMember named;
    named.name = "named.txt";
    named.data = "a name";
    write("empty-name.zip", buildArchive({named, unnamed}));
    EXPECT_EQ(memberPaths("empty-name.zip"), (std::vector<std::string>{"named.txt", ""}));
    const ToolRun run = extract("empty-name.zip", {"named.txt", ""}, win("out"), true);
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.err.find("member 2 (its name is empty): not extracted"), std::string::npos) << run.err;
    EXPECT_EQ(read("out/named.txt"), "a name");
    // An empty line where no member has an empty name names nothing, as before.
    write("named.zip", buildArchive({named}));
    const ToolRun plain = extract("named.zip", {"named.txt", ""}, win("again"), true);
    EXPECT_EQ(plain.exitCode, 0) << plain.err;
}

} // namespace
} // namespace pkziptest
