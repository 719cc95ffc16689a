// Every compression method the archiver decodes, on archives the peers write (7z, Python's zipfile)
// or, where no tool on the system writes the method into a ZIP, on members whose stream a tool of
// the method wrote (zstd, xz), put into an archive here.

#include "pkzip_fixture.h"

#include <zlib.h>

namespace pkziptest {
namespace {

std::string wordText(size_t size, uint32_t seed) {
    static const char* const words[] = {"archive", "member", "the",      "of", "folder", "zip",  "data",
                                        "extract", "and",    "compress", "a",  "window", "pane", "list"};
    std::string text;
    while (text.size() < size) {
        seed = seed * 1664525u + 1013904223u;
        text += words[(seed >> 16) % std::size(words)];
        text += (seed >> 8) % 11 == 0 ? ".\n" : " ";
    }
    text.resize(size);
    return text;
}

std::string noise(size_t size, uint32_t seed) {
    std::string data(size, '\0');
    for (char& c : data) {
        seed = seed * 1664525u + 1013904223u;
        c = static_cast<char>(seed >> 24);
    }
    return data;
}

// Where a member's local header and packed bytes lie (the makers here write the sizes in the header).
struct PackedPlace {
    size_t header = 0;
    size_t start = 0;
    size_t length = 0;
};
PackedPlace packedRange(const std::string& archive, const std::string& name) {
    for (size_t at = archive.find("PK\x03\x04"); at != std::string::npos;
         at = archive.find("PK\x03\x04", at + 1)) {
        auto u16 = [&](size_t p) {
            return static_cast<size_t>(static_cast<unsigned char>(archive[p]) |
                                       (static_cast<unsigned char>(archive[p + 1]) << 8));
        };
        const size_t nameLength = u16(at + 26);
        if (archive.compare(at + 30, nameLength, name) == 0 && nameLength == name.size()) {
            const size_t packed = u16(at + 18) | (u16(at + 20) << 16);
            return {at, at + 30 + nameLength + u16(at + 28), packed};
        }
    }
    return {};
}

FakeMember packedMember(const std::string& name, const std::string& data, int method,
                        const std::string& packed) {
    FakeMember member;
    member.name = name;
    member.data = data;
    member.method = method;
    member.packed = packed;
    return member;
}

class MethodsTest : public PkzipTest {
protected:
    const std::vector<std::pair<std::string, std::string>> m_files = {
        {"text.txt", wordText(400000, 1)},
        {"noise.bin", noise(150000, 2)},
        {"zeros.bin", std::string(200000, '\0')},
        {"empty.txt", ""},
        {"sub/small.txt", "a small file in a folder\n"},
    };

    void writeSources() const {
        for (const auto& [name, data] : m_files) {
            write("src/" + name, data);
        }
    }

    // Extracts every member with folders and checks each file's bytes.
    void expectExtractedWhole(const std::string& archive) {
        std::vector<std::string> names;
        for (const auto& file : m_files) {
            names.push_back(file.first);
        }
        shell("rm -rf out");
        const ToolRun run = extract(archive, names, win("out"), true);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        for (const auto& [name, data] : m_files) {
            EXPECT_TRUE(exists("out/" + name) && read("out/" + name) == data) << archive << ": " << name;
        }
    }

    std::string methodOf(const std::string& archive, const std::string& path) const {
        const Listing listing = parseListing(list(archive).out);
        for (const ListedMember& member : listing.members) {
            if (member.path == path) {
                std::string method = member.line.substr(listing.starts[1], listing.widths[1]);
                return method.substr(0, method.find(' '));
            }
        }
        return "";
    }
};

struct MakerCase {
    std::string command;         // run in src/, writes ../m.zip
    const char* method;          // the text member's method as listed
    const char* peers = nullptr; // for archives made here, the peers that still read the method
};

class PeerMethods : public MethodsTest, public ::testing::WithParamInterface<MakerCase> {};

// Each maker's archive is extracted whole; then a byte of the text member's packed data is changed
// and another copy cut short inside them: both are refused, and nothing is left of the member.
TEST_P(PeerMethods, ExtractWholeAndRefuseTheirDamagedData) {
    writeSources();
    shell("cd src && " + GetParam().command + " >/dev/null");
    EXPECT_EQ(methodOf("m.zip", "text.txt"), GetParam().method);
    if (GetParam().peers != nullptr) {
        shell(GetParam().peers);
    }
    expectExtractedWhole("m.zip");
    const ToolRun intact =
        test("m.zip", {"text.txt", "noise.bin", "zeros.bin", "empty.txt", "sub/small.txt"});
    EXPECT_EQ(intact.exitCode, 0) << intact.err;

    const std::string archive = read("m.zip");
    const auto [header, start, length] = packedRange(archive, "text.txt");
    ASSERT_GT(length, 100u);
    std::string changed = archive;
    changed[start + length / 2] = static_cast<char>(changed[start + length / 2] ^ 0x5a);
    // The packed size halved in both headers: the stream ends early.
    std::string cut = archive;
    auto setPacked = [&](size_t at) {
        for (int i = 0; i < 4; ++i) {
            cut[at + i] = static_cast<char>((length / 2) >> (8 * i));
        }
    };
    setPacked(header + 18);
    setPacked(cut.rfind(std::string("PK\x01\x02", 4), cut.rfind("text.txt")) + 20);
    for (const std::string& damaged : {changed, cut}) {
        write("damaged.zip", damaged);
        shell("rm -rf out");
        const ToolRun run = extract("damaged.zip", {"text.txt"}, win("out"), true);
        EXPECT_NE(run.exitCode, 0);
        EXPECT_NE(run.err.find("text.txt: not extracted:"), std::string::npos) << run.err;
        EXPECT_FALSE(exists("out/text.txt"));
        EXPECT_TRUE(sideFiles().empty());
        // A test reads it through the same pipeline, and names it alone.
        const ToolRun tested = test("damaged.zip", {"text.txt", "noise.bin"});
        EXPECT_EQ(tested.exitCode, 1);
        EXPECT_EQ(tested.err.rfind("PKZIP25.EXE: text.txt: not tested: ", 0), 0u) << tested.err;
        EXPECT_EQ(tested.err.find("noise.bin"), std::string::npos) << tested.err;
    }
}

const char* const kPyZip = "python3 -c \"import sys, zipfile, os; z = zipfile.ZipFile('../m.zip', 'w', "
                           "zipfile.%s); [z.write(os.path.join(d, f), os.path.relpath(os.path.join(d, f))) "
                           "for d, _, fs in os.walk('.') for f in fs]; z.close()\"";

std::string pyZip(const char* method) {
    char command[512];
    std::snprintf(command, sizeof command, kPyZip, method);
    return command;
}

// The old MS-DOS methods, which no tool writes any more, by the test-only encoders of dosmethods.py.
std::string dos(const char* method) {
    return std::string("python3 " PKZIP_DOSMETHODS " ../m.zip ") + method +
           " text.txt noise.bin zeros.bin empty.txt sub/small.txt";
}
// unzip and 7z still read Shrink and Implode; no peer on the system reads Reduce.
const char* const kPeersRead = "unzip -tq m.zip && 7z t m.zip";

INSTANTIATE_TEST_SUITE_P(
    Makers, PeerMethods,
    ::testing::Values(MakerCase{"7z a -tzip -mm=BZip2 -bd ../m.zip .", "BZip2"},
                      MakerCase{"7z a -tzip -mm=LZMA -bd ../m.zip .", "LZMA"},
                      MakerCase{"7z a -tzip -mm=XZ -bd ../m.zip .", "XZ"},
                      MakerCase{"7z a -tzip -mm=Deflate64 -bd ../m.zip .", "Defl64"},
                      MakerCase{"7z a -tzip -mm=Deflate64 -mx=9 -bd ../m.zip .", "Defl64"},
                      MakerCase{"7z a -tzip -mm=PPMd -bd ../m.zip .", "PPMd"},
                      // A model of 1 MiB fills up: restarted (a0) or cut off (a1).
                      MakerCase{"7z a -tzip -mm=PPMd:mem1m:o16:a0 -bd ../m.zip .", "PPMd"},
                      MakerCase{"7z a -tzip -mm=PPMd:mem1m:o8:a1 -bd ../m.zip .", "PPMd"},
                      MakerCase{pyZip("ZIP_BZIP2"), "BZip2"},
                      // zipfile's LZMA members carry the end marker (flag bit 1).
                      MakerCase{pyZip("ZIP_LZMA"), "LZMA"}, MakerCase{dos("shrink"), "Shrink", kPeersRead},
                      MakerCase{dos("reduce1"), "Reduce1"}, MakerCase{dos("reduce2"), "Reduce2"},
                      MakerCase{dos("reduce3"), "Reduce3"}, MakerCase{dos("reduce4"), "Reduce4"},
                      MakerCase{dos("implode:8k:lit"), "Implode", kPeersRead},
                      MakerCase{dos("implode:4k:lit"), "Implode", kPeersRead},
                      MakerCase{dos("implode:8k:nolit"), "Implode", kPeersRead},
                      MakerCase{dos("implode:4k:nolit"), "Implode", kPeersRead}),
    [](const ::testing::TestParamInfo<MakerCase>& param) {
        return std::string(param.param.method) + "_" + std::to_string(param.index);
    });

// A bzip2 member of many blocks is decoded a block per core: whole, and refused when damaged.
TEST_F(MethodsTest, LargeBzip2MembersAreDecodedBlockByBlock) {
    const std::string data = wordText(9u << 20, 4) + noise(3u << 20, 5) + std::string(2u << 20, '\0');
    write("big/large.bin", data);
    shell("cd big && " + pyZip("ZIP_BZIP2") + " >/dev/null");
    const std::string archive = read("m.zip");
    const auto [header, start, length] = packedRange(archive, "large.bin");
    ASSERT_GT(length, 1000000u);
    std::string changed = archive;
    changed[start + length / 2] = static_cast<char>(changed[start + length / 2] ^ 0x10);
    write("changed.zip", changed);
    struct Case {
        const char* archive;
        bool whole;
    };
    for (const Case& c : {Case{"m.zip", true}, Case{"changed.zip", false}}) {
        shell("rm -rf out");
        const ToolRun run = extract(c.archive, {"large.bin"}, win("out"), false);
        EXPECT_EQ(run.exitCode == 0, c.whole) << c.archive << ": " << run.err;
        EXPECT_EQ(exists("out/large.bin") && read("out/large.bin") == data, c.whole) << c.archive;
        EXPECT_EQ(exists("out/large.bin"), c.whole) << c.archive;
    }
}

// Zstandard (93, and 20, its id before it had its own) and XZ streams written by the zstd and xz
// tools, in an archive made here.
TEST_F(MethodsTest, ZstandardAndXzStreamsOfTheirOwnToolsAreDecoded) {
    writeSources();
    std::vector<FakeMember> members;
    for (const auto& [name, data] : m_files) {
        for (const auto& [method, tool] :
             {std::pair{93, "zstd -q -c -19"}, std::pair{20, "zstd -q -c --no-check"},
              std::pair{95, "xz -q -c -6"}}) {
            members.push_back(packedMember(std::to_string(method) + "/" + name, data, method,
                                           shell(std::string(tool) + " < 'src/" + name + "'")));
        }
    }
    write("z.zip", buildArchive(members));
    EXPECT_EQ(methodOf("z.zip", "93/text.txt"), "Zstd");
    EXPECT_EQ(methodOf("z.zip", "20/text.txt"), "Zstd");
    EXPECT_EQ(methodOf("z.zip", "95/text.txt"), "XZ");
    std::vector<std::string> names;
    for (const FakeMember& member : members) {
        names.push_back(member.name);
    }
    const ToolRun run = extract("z.zip", names, win("out"), true);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    for (const FakeMember& member : members) {
        EXPECT_TRUE(exists("out/" + member.name) && read("out/" + member.name) == member.data) << member.name;
    }
}

// A header may claim a window or dictionary of gigabytes. LZMA's dictionary is never needed past
// the member's size, so a small member decodes; an XZ or Zstandard stream that asks for more than the
// tool allows is refused with the reason, not allocated.
TEST_F(MethodsTest, DictionariesAndWindowsPastTheLimitAreRefusedOrNotNeeded) {
    const std::string data = wordText(50000, 3);
    write("plain.txt", data);
    // The LZMA member: 7z's stream with its dictionary size set to 4 GB.
    shell("7z a -tzip -mm=LZMA -bd lzma.zip plain.txt >/dev/null");
    std::string lzma = read("lzma.zip");
    const size_t lzmaStart = packedRange(lzma, "plain.txt").start;
    lzma.replace(lzmaStart + 5, 4, "\xff\xff\xff\xff");
    write("lzma.zip", lzma);

    // The XZ member: the block header's dictionary size byte set to its largest (4 GiB), and the
    // header's CRC made right again.
    std::string xz = shell("xz -q -c < plain.txt");
    const size_t block = 12;
    const size_t headerSize = (static_cast<unsigned char>(xz[block]) + 1) * 4;
    ASSERT_EQ(xz[block + 2], '\x21'); // the LZMA2 filter, then its one properties byte
    xz[block + 4] = 40;
    const uint32_t crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(xz.data() + block), static_cast<uInt>(headerSize - 4)));
    for (int i = 0; i < 4; ++i) {
        xz[block + headerSize - 4 + i] = static_cast<char>(crc >> (8 * i));
    }
    // The Zstandard member: a frame of unknown content size (from a pipe) has a window descriptor,
    // set here to 2 GiB.
    std::string zstd = shell("cat plain.txt | zstd -q -c");
    ASSERT_EQ(static_cast<unsigned char>(zstd[4]) & 0x20, 0) << "a single-segment frame";
    zstd[5] = static_cast<char>(21 << 3);

    write("huge.zip",
          buildArchive({packedMember("huge.xz", data, 95, xz), packedMember("huge.zst", data, 93, zstd)}));

    const ToolRun small = extract("lzma.zip", {"plain.txt"}, win("out"), false);
    EXPECT_EQ(small.exitCode, 0) << small.err;
    EXPECT_TRUE(read("out/plain.txt") == data);
    const ToolRun huge = extract("huge.zip", {"huge.xz", "huge.zst"}, win("out"), false);
    EXPECT_NE(huge.exitCode, 0);
    for (const char* name : {"huge.xz", "huge.zst"}) {
        EXPECT_NE(huge.err.find(std::string(name) + ": not extracted: its data would need"),
                  std::string::npos)
            << huge.err;
        EXPECT_FALSE(exists(std::string("out/") + name));
    }
}

} // namespace
} // namespace pkziptest
