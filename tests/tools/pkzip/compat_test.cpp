// Archives users already have: made by zip, 7z and Python's zipfile, with and without data
// descriptors, and by hand where no tool at hand writes the case. The tool must read what the
// peers read, byte for byte.

#include "pkzip_fixture.h"

#include <algorithm>
#include <random>

namespace pkziptest {
namespace {

// Sizes around the boundaries of the tool's buffers: 256 KiB reads and decompression output,
// 1 MiB streaming chunks and parallel compression, 8 MiB whole-file compression.
std::vector<size_t> boundarySizes() {
    std::vector<size_t> sizes;
    for (size_t n = 1; n <= 4; ++n) {
        for (long k : {-1L, 0L, 1L, 100L, 160L}) {
            sizes.push_back(static_cast<size_t>(static_cast<long>(n * (256u << 10)) + k));
        }
    }
    for (long k : {-1L, 0L, 1L, 160L}) {
        sizes.push_back(static_cast<size_t>(static_cast<long>(8u << 20) + k));
    }
    return sizes;
}

class CompatTest : public PkzipTest {
protected:
    // Files of every boundary size: zeros, text and noise. Returns their names below "sweep/".
    std::vector<std::string> writeSweep() const;
};

std::vector<std::string> CompatTest::writeSweep() const {
    std::string text;
    while (text.size() < (8u << 20) + 200) {
        text += "log line " + std::to_string(text.size()) + ": nothing happened\n";
    }
    std::mt19937 random(5);
    std::string noise((8u << 20) + 200, '\0');
    for (char& c : noise) {
        c = static_cast<char>(random());
    }
    std::vector<std::string> names;
    for (size_t size : boundarySizes()) {
        for (const auto& [kind, source] : {std::pair<const char*, const std::string*>{"zeros", nullptr},
                                           {"text", &text},
                                           {"noise", &noise}}) {
            const std::string name = std::string(kind) + "-" + std::to_string(size);
            write("sweep/" + name, source == nullptr ? std::string(size, '\0') : source->substr(0, size));
            names.push_back(name);
        }
    }
    return names;
}

TEST_F(CompatTest, EverySizeAroundTheBufferBoundariesComesBackFromItsOwnArchive) {
    const std::vector<std::string> names = writeSweep();
    std::vector<std::string> files;
    for (const std::string& name : names) {
        files.push_back(win("sweep/" + name));
    }
    ASSERT_EQ(add("own.zip", files, false).exitCode, 0);
    const ToolRun run = extract("own.zip", names, win("back"), false);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    for (const std::string& name : names) {
        EXPECT_TRUE(exists("back/" + name) && read("back/" + name) == read("sweep/" + name)) << name;
    }
}

TEST_F(CompatTest, EverySizeAroundTheBufferBoundariesComesBackFromThePeersArchives) {
    // The peers store noise as it is; the compressible files are the ones that inflate far.
    std::vector<std::string> names = writeSweep();
    shell("rm sweep/noise-*");
    names.erase(std::remove_if(names.begin(), names.end(),
                               [](const std::string& name) { return name.rfind("noise", 0) == 0; }),
                names.end());
    write("pyzip.py", "import sys, zipfile\n"
                      "out = sys.stdout.buffer if sys.argv[1] == '-' else sys.argv[1]\n"
                      "with zipfile.ZipFile(out, 'w', zipfile.ZIP_DEFLATED) as z:\n"
                      "    for name in sys.argv[2:]:\n"
                      "        z.write(name)\n");
    // The streamed makers cannot seek back to the local header, so they write data descriptors.
    const std::vector<std::pair<std::string, std::string>> makers = {
        {"zip", "zip -q ../peer.zip *"},
        {"zip, streamed", "zip -q - * | cat > ../peer.zip"},
        {"7z", "7z a -tzip -bd ../peer.zip * >/dev/null"},
        {"Python zipfile", "python3 ../pyzip.py ../peer.zip *"},
        {"Python zipfile, streamed", "python3 ../pyzip.py - * | cat > ../peer.zip"},
    };
    for (const auto& [maker, command] : makers) {
        SCOPED_TRACE(maker);
        shell("rm -rf peer.zip back && cd sweep && " + command);
        const ToolRun run = extract("peer.zip", names, win("back"), false);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        for (const std::string& name : names) {
            EXPECT_TRUE(exists("back/" + name) && read("back/" + name) == read("sweep/" + name)) << name;
        }
    }
}

} // namespace
} // namespace pkziptest
