// Kills during add and delete, and two writers at once: the archive always comes back whole.

#include "pkzip_fixture.h"

#include <chrono>
#include <csignal>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <zlib.h>

namespace pkziptest {
namespace {

std::string noise(size_t size, std::mt19937& random) {
    std::string data(size, '\0');
    for (char& c : data) {
        c = static_cast<char>(random());
    }
    return data;
}

class KillTest : public PkzipTest {
protected:
    std::mt19937 m_random{20261207};
    std::vector<std::string> m_original;

    void SetUp() override {
        std::vector<std::string> files;
        for (int i = 0; i < 40; ++i) {
            const std::string name = "base/m" + std::to_string(i) + ".bin";
            write(name, noise(50000, m_random));
            files.push_back(win(name));
            m_original.push_back(name);
        }
        ASSERT_EQ(add("k.zip", files, true).exitCode, 0);
    }

    // Runs the tool and kills it after a random delay of up to limit; returns whether it was
    // still running when killed.
    bool runAndKill(const std::vector<std::string>& arguments, std::chrono::microseconds limit) {
        const int child = startTool(arguments);
        std::uniform_int_distribution<long> delay(0, limit.count());
        std::this_thread::sleep_for(std::chrono::microseconds(delay(m_random)));
        const bool killed = ::kill(child, SIGKILL) == 0;
        int status = 0;
        ::waitpid(child, &status, 0);
        return killed && WIFSIGNALED(status);
    }

    std::chrono::microseconds timeOf(const std::vector<std::string>& arguments) const {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(runTool(arguments).exitCode, 0);
        return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                                     start);
    }

    // After a listing run (which finishes or rolls back) the archive is whole: it passes the
    // peer's test, holds every original member (less the deleted ones, when deletion finished)
    // and no side file is left.
    void expectWhole(const std::vector<std::string>& mayBeGone, const std::vector<std::string>& mayBeNew) {
        const ToolRun listed = list("k.zip");
        ASSERT_EQ(listed.exitCode, 0) << listed.err;
        std::vector<std::string> paths;
        for (const ListedMember& member : parseListing(listed.out).members) {
            paths.push_back(member.path);
        }
        size_t goneCount = 0;
        for (const std::string& name : m_original) {
            const bool present = std::find(paths.begin(), paths.end(), name) != paths.end();
            const bool allowedGone = std::find(mayBeGone.begin(), mayBeGone.end(), name) != mayBeGone.end();
            EXPECT_TRUE(present || allowedGone) << name << " was lost";
            goneCount += present ? 0 : 1;
        }
        EXPECT_TRUE(goneCount == 0 || goneCount == mayBeGone.size()) << "a delete was half done";
        size_t newCount = 0;
        for (const std::string& name : mayBeNew) {
            newCount += std::find(paths.begin(), paths.end(), name) != paths.end() ? 1 : 0;
        }
        EXPECT_TRUE(newCount == 0 || newCount == mayBeNew.size()) << "an add was half done";
        shell("unzip -tq k.zip");
        EXPECT_TRUE(sideFiles().empty());
    }
};

TEST_F(KillTest, KilledAddsLeaveACompleteArchive) {
    std::vector<std::string> files;
    std::vector<std::string> names;
    for (int i = 0; i < 10; ++i) {
        const std::string name = "more/n" + std::to_string(i) + ".bin";
        write(name, noise(400000, m_random));
        files.push_back(win(name));
        names.push_back(name);
    }
    writeList(host("add.lst"), files);
    const std::vector<std::string> arguments = {"-add", "-attr", win("k.zip"), "-include=@" + win("add.lst"),
                                                "-path=root"};
    // Time one uninterrupted add on a copy, to spread the kills over the whole run.
    shell("cp k.zip k.bak");
    const std::chrono::microseconds full = timeOf(arguments);
    shell("mv k.bak k.zip");
    int interrupted = 0;
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        interrupted += runAndKill(arguments, full + full / 5) ? 1 : 0;
        expectWhole({}, names);
        // Start the next round from the original archive when the add went through.
        if (memberPaths("k.zip").size() != m_original.size()) {
            ASSERT_EQ(remove("k.zip", names).exitCode, 0);
        }
    }
    EXPECT_GT(interrupted, 0) << "no kill landed while the tool was running";
}

TEST_F(KillTest, KilledDeletesLeaveACompleteArchive) {
    const std::vector<std::string> doomed = {m_original[0], m_original[17], m_original[39]};
    writeList(host("del.lst"), doomed);
    const std::vector<std::string> arguments = {"-del", win("k.zip"), "@" + win("del.lst")};
    shell("cp k.zip k.bak");
    const std::chrono::microseconds full = timeOf(arguments);
    int interrupted = 0;
    for (int round = 0; round < 12; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        shell("cp k.bak k.zip");
        interrupted += runAndKill(arguments, full + full / 5) ? 1 : 0;
        expectWhole(doomed, {});
    }
    EXPECT_GT(interrupted, 0) << "no kill landed while the tool was running";
}

TEST_F(PkzipTest, TwoWritersAtOnceDoNotCorruptTheArchive) {
    std::mt19937 random(5);
    std::vector<std::string> left;
    std::vector<std::string> right;
    for (int i = 0; i < 8; ++i) {
        write("l/" + std::to_string(i), noise(200000, random));
        write("r/" + std::to_string(i), noise(200000, random));
        left.push_back(win("l/" + std::to_string(i)));
        right.push_back(win("r/" + std::to_string(i)));
    }
    writeList(host("left.lst"), left);
    writeList(host("right.lst"), right);
    for (int round = 0; round < 3; ++round) {
        shell("rm -f both.zip");
        const int a =
            startTool({"-add", "-attr", win("both.zip"), "-include=@" + win("left.lst"), "-path=root"});
        const int b =
            startTool({"-add", "-attr", win("both.zip"), "-include=@" + win("right.lst"), "-path=root"});
        int status = 0;
        ::waitpid(a, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        ::waitpid(b, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        EXPECT_EQ(memberPaths("both.zip").size(), 16u);
        shell("unzip -tq both.zip");
    }
}

} // namespace
} // namespace pkziptest

namespace pkziptest {
namespace {

// A file-size limit makes every write past it fail, as a full disk would.
TEST_F(PkzipTest, AFullDiskLeavesTheArchiveAsItWas) {
    std::mt19937 random(9);
    write("small.txt", "small");
    ASSERT_EQ(add("full.zip", {win("small.txt")}, false).exitCode, 0);
    write("huge.bin", noise(3u << 20, random));
    write("fits.txt", "fits");
    const std::string before = read("full.zip");
    struct Case {
        const char* what;
        std::vector<std::string> lines;
    };
    // Appending, and replacing (which rewrites through a new file).
    write("small.txt", noise(3u << 20, random));
    const std::vector<Case> cases = {
        {"append", {win("fits.txt"), win("huge.bin")}},
        {"replace", {win("small.txt")}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        writeList(host("temp.lst"), c.lines);
        std::string output;
        const int code = testsupport::runShell("ulimit -f 1024 && '" + testsupport::programDir() +
                                                   "/PKZIP25.EXE' -add -attr '" + win("full.zip") +
                                                   "' '-include=@" + win("temp.lst") + "' 2>&1",
                                               &output);
        EXPECT_EQ(code, 2) << output;
        EXPECT_NE(output.find("not changed"), std::string::npos) << output;
        EXPECT_TRUE(read("full.zip") == before);
        EXPECT_TRUE(sideFiles().empty());
    }
    // Extraction past the limit leaves no partial file and keeps the old one.
    write("small.txt", "old");
    write("big.txt", std::string(3u << 20, 'b'));
    ASSERT_EQ(add("full.zip", {win("big.txt")}, false).exitCode, 0);
    write("out/big.txt", "old contents");
    writeList(host("temp.lst"), {"big.txt"});
    std::string output;
    const int code = testsupport::runShell("ulimit -f 1024 && '" + testsupport::programDir() +
                                               "/PKZIP25.EXE' -extract -overwrite=all '" + win("full.zip") +
                                               "' '@" + win("temp.lst") + "' '" + win("out") + "' 2>&1",
                                           &output);
    EXPECT_NE(code, 0);
    EXPECT_NE(output.find("big.txt"), std::string::npos) << output;
    EXPECT_EQ(read("out/big.txt"), "old contents");
    EXPECT_EQ(shell("ls -a out | grep -c pellix || true"), "0\n");
}

} // namespace
} // namespace pkziptest

namespace pkziptest {
namespace {

// The recovery record of an interrupted append, and an archive put back or changed behind it.
class RecoveryRecordTest : public PkzipTest {
protected:
    // Starts an append of big.bin and kills it once it has written past the archive's old end:
    // its recovery record is then complete and the archive half changed. False when the append
    // ended before it could be caught.
    bool interruptAppend() {
        struct stat before {};
        EXPECT_EQ(::stat(host("k.zip").c_str(), &before), 0);
        writeList(host("big.lst"), {win("big.bin")});
        const int child = startTool({"-add", "-attr", win("k.zip"), "-include=@" + win("big.lst")});
        bool caught = false;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!caught && std::chrono::steady_clock::now() < deadline) {
            struct stat now {};
            caught = ::stat(host("k.zip").c_str(), &now) == 0 && now.st_size > before.st_size &&
                     exists(".k.zip.pellix-journal");
            if (!caught && ::waitpid(child, nullptr, WNOHANG) == child) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        return caught && WIFSIGNALED(status) && exists(".k.zip.pellix-journal");
    }
};

TEST_F(RecoveryRecordTest, IsAppliedOnlyToTheArchiveItWasWrittenFor) {
    std::mt19937 random(17);
    for (int i = 0; i < 6; ++i) {
        write("base/m" + std::to_string(i) + ".txt", noise(30000, random));
    }
    write("one.txt", "added by the tool before the interrupted append");
    write("later.txt", "added by zip after the original was put back");
    write("big.bin", noise(48u << 20, random));
    shell("zip -q -r orig.zip base");
    struct Case {
        const char* what;
        const char* restore; // run after the interrupted append
        bool recordFits;
    };
    const std::vector<Case> cases = {
        {"the archive as the append found it, copied back", "cp before.zip k.zip", true},
        {"an older copy put back with cp", "cp orig.zip k.zip", false},
        {"an older copy put back, then changed by zip", "cp orig.zip k.zip && zip -q k.zip later.txt", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        shell("rm -rf copy .k.zip.pellix-* && cp orig.zip k.zip");
        ASSERT_EQ(add("k.zip", {win("one.txt")}, false).exitCode, 0);
        shell("cp k.zip before.zip");
        bool interrupted = false;
        for (int attempt = 0; attempt < 5 && !interrupted; ++attempt) {
            shell("cp before.zip k.zip");
            interrupted = interruptAppend();
        }
        ASSERT_TRUE(interrupted) << "the append always ended before it could be interrupted";
        shell(c.restore);
        // What the archive holds as it was put back, read from a copy without a record beside it.
        shell("mkdir copy && cp k.zip copy/k.zip");
        const std::vector<std::string> expected = memberPaths("copy/k.zip");
        ASSERT_FALSE(expected.empty());
        const std::string restored = read("k.zip");

        const ToolRun listed = list("k.zip");
        EXPECT_EQ(listed.exitCode, 0) << listed.err;
        EXPECT_EQ(memberPaths("k.zip"), expected);
        shell("unzip -tq k.zip");
        EXPECT_FALSE(exists(".k.zip.pellix-journal"));
        if (c.recordFits) {
            EXPECT_TRUE(read("k.zip") == read("before.zip"));
            EXPECT_TRUE(sideFiles().empty()) << sideFiles().front();
        } else {
            EXPECT_TRUE(read("k.zip") == restored) << "the archive was changed";
            EXPECT_NE(listed.err.find("kept as"), std::string::npos) << listed.err;
            EXPECT_EQ(shell("ls -a | grep -c '^.k.zip.pellix-journal.set-aside'"), "1\n");
        }
    }
}

} // namespace
} // namespace pkziptest

namespace pkziptest {
namespace {

// A recovery record as the tool writes it: the magic, the fields, the saved tail and a CRC-32 of
// all of that.
std::string recoveryRecord(const std::string& magic, const std::vector<uint64_t>& fields,
                           const std::string& tail) {
    std::string record = magic;
    for (uint64_t field : fields) {
        put64(record, field);
    }
    put64(record, tail.size());
    record += tail;
    const auto crc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(record.data()), static_cast<uInt>(record.size())));
    for (int i = 0; i < 4; ++i) {
        record += static_cast<char>((crc >> (8 * i)) & 0xff);
    }
    return record;
}

// Where the central directory of a small archive (one without ZIP64 records or a comment) starts;
// past the end when the archive is too short to hold an end record.
uint64_t centralOffsetOf(const std::string& archive) {
    if (archive.size() < 22) {
        return archive.size() + 1;
    }
    const auto* end = reinterpret_cast<const unsigned char*>(archive.data() + archive.size() - 22);
    return end[16] | (end[17] << 8) | (end[18] << 16) | (uint64_t{end[19]} << 24);
}

// Records left by the previous version (without the CRC of the data before the old directory)
// are applied when the checks they allow pass, else kept; no whole record is ever dropped.
TEST_F(PkzipTest, RecoveryRecordsOfThePreviousVersionAreAppliedOrKeptNeverDropped) {
    write("a.txt", "the first member");
    write("b.txt", "the second member");
    write("c.txt", "appended by the run that was interrupted");
    ASSERT_EQ(add("k.zip", {win("a.txt"), win("b.txt")}, false).exitCode, 0);
    const std::string before = read("k.zip");
    const uint64_t centralOffset = centralOffsetOf(before);
    ASSERT_LE(centralOffset, before.size());
    const std::string tail = before.substr(centralOffset);
    // The append done in place, as if killed just before its record was removed.
    ASSERT_EQ(add("k.zip", {win("c.txt")}, false).exitCode, 0);
    const std::string after = read("k.zip");
    struct stat info {};
    ASSERT_EQ(::stat(host("k.zip").c_str(), &info), 0);
    const uint64_t device = info.st_dev;
    const uint64_t inode = info.st_ino;
    const uint64_t size = before.size();
    const std::string previous = "PXJOUR01";

    enum class Outcome { RolledBack, Kept, Dropped };
    struct Case {
        const char* what;
        std::string record;
        Outcome outcome;
    };
    const std::vector<Case> cases = {
        {"a previous version's record of this append",
         recoveryRecord(previous, {device, inode, size, centralOffset}, tail), Outcome::RolledBack},
        {"a previous version's record of another file",
         recoveryRecord(previous, {device, inode + 1, size, centralOffset}, tail), Outcome::Kept},
        {"a previous version's record whose old directory's place holds something else",
         recoveryRecord(previous, {device, inode, size + 1, centralOffset + 1}, tail), Outcome::Kept},
        {"a previous version's record of an archive that ends before its old directory",
         recoveryRecord(previous, {device, inode, after.size() + 10, after.size()}, tail), Outcome::Kept},
        {"a whole record of a version this one does not know",
         recoveryRecord("PXJOUR09", {device, inode, size, centralOffset}, tail), Outcome::Kept},
        {"a previous version's record cut short",
         recoveryRecord(previous, {device, inode, size, centralOffset}, tail).substr(0, 60),
         Outcome::Dropped},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        shell("rm -f .k.zip.pellix-journal*");
        write("k.zip", after);
        write(".k.zip.pellix-journal", c.record);
        const ToolRun listed = list("k.zip");
        EXPECT_EQ(listed.exitCode, 0) << listed.err;
        EXPECT_FALSE(exists(".k.zip.pellix-journal"));
        const std::string kept = shell("ls -a | grep -c '^.k.zip.pellix-journal.set-aside' || true");
        if (c.outcome == Outcome::RolledBack) {
            EXPECT_TRUE(read("k.zip") == before) << "the interrupted append was not rolled back";
            EXPECT_NE(listed.err.find("rolled back"), std::string::npos) << listed.err;
        } else {
            EXPECT_TRUE(read("k.zip") == after) << "the archive was changed";
        }
        EXPECT_EQ(kept, c.outcome == Outcome::Kept ? "1\n" : "0\n");
        if (c.outcome == Outcome::Kept) {
            EXPECT_NE(listed.err.find("kept as"), std::string::npos) << listed.err;
        }
    }
}

// An append writes its recovery record before it searches the old directory and seals it with the
// closing CRC only when it goes on: a record left without it by a run that died in between is
// dropped and the untouched archive left as it is; a run that takes another way (a replaced
// member, so a rewrite) leaves no record behind.
TEST_F(PkzipTest, UnsealedRecoveryRecordsAreDroppedAndUnusedOnesRemoved) {
    write("a.txt", "the first member");
    write("b.txt", "the second member");
    write("c.txt", "added after the interrupted run");
    ASSERT_EQ(add("k.zip", {win("a.txt"), win("b.txt")}, false).exitCode, 0);
    const std::string before = read("k.zip");
    const uint64_t centralOffset = centralOffsetOf(before);
    ASSERT_LE(centralOffset, before.size());
    const uint64_t guarded = std::min<uint64_t>(centralOffset, 64u << 10);
    const auto dataCrc = static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(before.data() + centralOffset - guarded),
              static_cast<uInt>(guarded)));
    struct stat info {};
    ASSERT_EQ(::stat(host("k.zip").c_str(), &info), 0);
    const std::string sealed =
        recoveryRecord("PXJOUR02", {info.st_dev, info.st_ino, before.size(), centralOffset, dataCrc},
                       before.substr(centralOffset));
    for (size_t cut : {size_t{4}, size_t{5}, sealed.size() / 2}) {
        SCOPED_TRACE("record without its last " + std::to_string(cut) + " bytes");
        write(".k.zip.pellix-journal", sealed.substr(0, sealed.size() - cut));
        const ToolRun listed = list("k.zip");
        EXPECT_EQ(listed.exitCode, 0) << listed.err;
        EXPECT_EQ(listed.err.find("rolled back"), std::string::npos) << listed.err;
        EXPECT_TRUE(read("k.zip") == before) << "the archive was changed";
        EXPECT_TRUE(sideFiles().empty()) << sideFiles().front();
    }
    ASSERT_EQ(add("k.zip", {win("c.txt")}, false).exitCode, 0);
    EXPECT_TRUE(sideFiles().empty()) << sideFiles().front();
    write("a.txt", "the first member, changed");
    ASSERT_EQ(add("k.zip", {win("a.txt")}, false).exitCode, 0);
    EXPECT_TRUE(sideFiles().empty()) << sideFiles().front();
    EXPECT_EQ(memberPaths("k.zip"), (std::vector<std::string>{"b.txt", "c.txt", "a.txt"}));
    shell("unzip -tq k.zip");
}

} // namespace
} // namespace pkziptest
