// -test: every member read through the extraction pipeline and checked, nothing written, and each
// member that does not come out whole named with the reason.

#include "pkzip_fixture.h"

#include <algorithm>
#include <filesystem>

namespace pkziptest {
namespace {

std::vector<std::string> linesOf(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t start = 0; start < text.size();) {
        const size_t end = text.find('\n', start);
        lines.push_back(text.substr(start, end - start));
        start = end == std::string::npos ? text.size() : end + 1;
    }
    std::sort(lines.begin(), lines.end());
    return lines;
}

FakeMember member(const std::string& name, const std::string& data) {
    FakeMember made;
    made.name = name;
    made.data = data;
    return made;
}

TEST_F(PkzipTest, TestNamesEachMemberThatDoesNotComeOutWholeAndWritesNothing) {
    FakeMember good = member("good.txt", "intact data");
    FakeMember crc = member("docs/crc.txt", "the CRC recorded for this is wrong");
    crc.declaredCrc = 0x12345678;
    FakeMember deflated = member("docs/inflated.txt", std::string(20000, 'd'));
    deflated.deflate = true;
    FakeMember cut = deflated;
    cut.name = "docs/cut.txt";
    cut.declaredSize = 30000; // the stream ends before the size the directory gives
    FakeMember method = member("odd.bin", "packed by something unknown");
    method.method = 77;
    method.packed = method.data;
    FakeMember encrypted = member("secret.txt", "twelve bytes of a header, then the data");
    encrypted.flags = 0x0001;
    FakeMember folder = member("docs/", "");
    write("t.zip", buildArchive({good, crc, deflated, cut, method, encrypted, folder}));
    const std::vector<std::string> before = linesOf(shell("find . -not -name temp.lst | sort"));

    const ToolRun run = test("t.zip", {"good.txt", "docs/crc.txt", "docs\\inflated.txt", "/docs/cut.txt",
                                       "odd.bin", "secret.txt", "docs/", "missing.txt"});
    EXPECT_EQ(run.exitCode, 1);
    const std::vector<std::string> expected = {
        "PKZIP25.EXE: docs/crc.txt: not tested: its data fail the CRC check (damaged archive)",
        "PKZIP25.EXE: docs/cut.txt: not tested: it holds 20000 bytes instead of its declared 30000",
        "PKZIP25.EXE: missing.txt: no such member in the archive",
        "PKZIP25.EXE: odd.bin: not tested: it is compressed with method 77, which is not supported",
        "PKZIP25.EXE: secret.txt: not tested: it is encrypted and no password was given",
    };
    EXPECT_EQ(linesOf(run.err), expected) << run.err;
    EXPECT_TRUE(run.out.empty()) << run.out;
    EXPECT_EQ(linesOf(shell("find . -not -name temp.lst | sort")), before) << "a test writes no file";

    const ToolRun intact = test("t.zip", {"good.txt", "docs/inflated.txt"});
    EXPECT_EQ(intact.exitCode, 0) << intact.err;
    EXPECT_TRUE(intact.err.empty()) << intact.err;
}

} // namespace
} // namespace pkziptest
