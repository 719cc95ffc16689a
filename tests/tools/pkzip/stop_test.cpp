// PKZIP25.EXE asked to stop (SIGTERM) at random moments of an add or an extract: it ends after at
// most a few blocks, leaves the archive byte for byte as it was (or, when it had finished, with
// the new members), leaves no part of a file behind, and says which of the two it did. Its
// progress reports climb to the total.

#include "pkzip_support.h"
#include "sandbox.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <sstream>
#include <string>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using pkziptest::runTool;
using testsupport::Sandbox;

constexpr size_t kLargeSize = 40u << 20;

// Word-like text, which deflate works on longest: words of a skewed vocabulary, in lines.
std::string wordText(std::mt19937_64& rng, size_t size) {
    std::vector<std::string> words(4000);
    for (std::string& word : words) {
        const size_t length = 2 + rng() % 9;
        for (size_t i = 0; i < length; ++i) {
            word += static_cast<char>('a' + (rng() % 26) * (rng() % 26) / 26);
        }
    }
    std::string text;
    text.reserve(size + 16);
    size_t column = 0;
    while (text.size() < size) {
        const std::string& word = words[rng() % (1 + rng() % words.size())];
        text += word;
        column += word.size() + 1;
        text += column > 70 ? '\n' : ' ';
        column = column > 70 ? 0 : column;
    }
    text.resize(size);
    return text;
}

struct Progress {
    std::vector<std::pair<uint64_t, uint64_t>> reports; // done, total
};

Progress readProgress(const std::string& path) {
    Progress progress;
    std::istringstream in(testsupport::fileExists(path) ? testsupport::readFile(path) : "");
    uint64_t done = 0;
    uint64_t total = 0;
    while (in >> done >> total) {
        progress.reports.emplace_back(done, total);
    }
    return progress;
}

// A process in a process group of its own, as the program starts its jobs.
pid_t startInGroup(const std::vector<std::string>& words) {
    std::vector<char*> argv;
    for (const std::string& word : words) {
        argv.push_back(const_cast<char*>(word.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    EXPECT_EQ(posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    return pid;
}

// Stops the group after delay; returns the exit status and the time from the stop to the exit.
std::pair<int, double> stopAfter(pid_t pid, std::chrono::milliseconds delay) {
    std::this_thread::sleep_for(delay);
    const auto stopped = std::chrono::steady_clock::now();
    ::kill(-pid, SIGTERM);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - stopped).count();
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), seconds};
}

class StopTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::mt19937_64 rng(2026);
        s_large = new std::string(wordText(rng, kLargeSize));
    }
    static void TearDownTestSuite() {
        delete s_large;
        s_large = nullptr;
    }

    void SetUp() override {
        testsupport::writeFile(box.hostPath("old/keep.txt"), "kept\n");
        pkziptest::writeList(box.hostPath("old.lst"), {box.hostPath("old/keep.txt")});
        ASSERT_EQ(runTool({"-add", "-attr", zip, "-include=@" + box.hostPath("old.lst")}).exitCode, 0);
        testsupport::writeFile(box.hostPath("src/large.txt"), *s_large);
    }

    // The archive as it stands, and no side file of a change left beside it.
    void expectArchiveAsBefore(const std::string& before) {
        EXPECT_EQ(testsupport::readFile(zip), before);
        for (const auto& entry : fs::directory_iterator(box.home())) {
            EXPECT_EQ(entry.path().filename().string().find(".pellix-"), std::string::npos) << entry.path();
        }
    }

    std::string listing() { return runTool({zip}).out; }

    static std::string* s_large;
    Sandbox box;
    std::mt19937_64 rng{std::random_device{}()};
    const std::string zip = box.hostPath("a.zip");
};

std::string* StopTest::s_large = nullptr;

// Through the interpreter, as the program runs it: the stop reaches the archiver, the interpreter
// waits for it and keeps what it said, and makes no marker. The program reads the error file to
// know whether the chunk is in the archive.
TEST_F(StopTest, AStoppedAddEndsWithinBlocksAndSaysWhetherTheArchiveChanged) {
    const struct {
        const char* what;
        std::vector<std::string> files; // below src/
    } cases[] = {
        {"one large file, streamed", {"large.txt"}},
        {"files compressed in memory on several cores", {"m1.txt", "m2.txt", "m3.txt", "m4.txt", "m5.txt"}},
    };
    for (int k = 1; k <= 5; ++k) {
        testsupport::writeFile(box.hostPath("src/m" + std::to_string(k) + ".txt"),
                               s_large->substr(static_cast<size_t>(k) << 20, 6u << 20));
    }
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> lines;
        for (const std::string& file : c.files) {
            lines.push_back(box.hostPath("src/" + file));
        }
        pkziptest::writeList(box.hostPath("new.lst"), lines);
        const std::string script = box.hostPath("job/temp.bat");
        const std::string errors = box.hostPath("job/temp.err");
        const std::string progress = box.hostPath("job/temp.prg");
        testsupport::writeFile(script, "\"" + testsupport::programDir() + "/PKZIP25.EXE\" -add -attr \"" +
                                           zip + "\" -include=@\"" + box.hostPath("new.lst") +
                                           "\" -progress=@\"" + progress + "\"\r\ncopy \"" + script +
                                           "\" \"" + box.hostPath("job/tempdone.txt") + "\"");
        const std::string before = testsupport::readFile(zip);
        const pid_t job = startInGroup({testsupport::programDir() + "/pellix-batch", script});
        const auto delay = std::chrono::milliseconds(150 + rng() % 500);
        std::this_thread::sleep_for(delay);
        const Progress atStop = readProgress(progress);
        const auto [status, seconds] = stopAfter(job, std::chrono::milliseconds(0));
        EXPECT_NE(status, 0);
        EXPECT_FALSE(testsupport::fileExists(box.hostPath("job/tempdone.txt")));
        const std::string said = testsupport::readFile(errors);
        if (said.empty()) {
            // It had done its work before it saw the stop: the members are in the archive.
            for (const std::string& file : c.files) {
                EXPECT_NE(listing().find(file), std::string::npos) << file;
            }
            continue;
        }
        EXPECT_NE(said.find("stopped on request; the archive was not changed"), std::string::npos) << said;
        expectArchiveAsBefore(before);
        // It read a few blocks more at most after the stop (the report seen then is up to 100 ms old).
        const Progress atEnd = readProgress(progress);
        ASSERT_FALSE(atStop.reports.empty());
        ASSERT_FALSE(atEnd.reports.empty());
        EXPECT_LE(atEnd.reports.back().first - atStop.reports.back().first, uint64_t{12} << 20)
            << "stopped after " << delay.count() << " ms";
        EXPECT_LT(seconds, 5.0);
    }
}

TEST_F(StopTest, ProgressClimbsToTheTotalAndAStoppedExtractLeavesNoPartOfTheFile) {
    pkziptest::writeList(box.hostPath("new.lst"), {box.hostPath("src/large.txt")});
    const std::string addProgress = box.hostPath("add.prg");
    ASSERT_EQ(
        runTool({"-add", "-attr", zip, "-include=@" + box.hostPath("new.lst"), "-progress=@" + addProgress})
            .exitCode,
        0);
    const Progress added = readProgress(addProgress);
    ASSERT_GE(added.reports.size(), 3u) << "a run of a second or more reports every 100 ms";
    for (size_t i = 1; i < added.reports.size(); ++i) {
        EXPECT_LE(added.reports[i - 1].first, added.reports[i].first);
        EXPECT_EQ(added.reports[i].second, kLargeSize);
    }
    EXPECT_EQ(added.reports.back().first, kLargeSize);

    pkziptest::writeList(box.hostPath("names.lst"), {"large.txt"});
    const std::string out = box.hostPath("out");
    const std::string extractProgress = box.hostPath("extract.prg");
    ASSERT_EQ(runTool({"-extract", "-overwrite=all", zip, "@" + box.hostPath("names.lst"), out,
                       "-progress=@" + extractProgress})
                  .exitCode,
              0);
    EXPECT_EQ(readProgress(extractProgress).reports.back(),
              std::make_pair(uint64_t{kLargeSize}, uint64_t{kLargeSize}));
    EXPECT_EQ(testsupport::readFile(out + "/large.txt"), *s_large);
    fs::remove_all(out);

    // Inflating runs faster than deflating, so the stop comes early.
    const pid_t run = startInGroup({testsupport::programDir() + "/PKZIP25.EXE", "-extract", "-overwrite=all",
                                    zip, "@" + box.hostPath("names.lst"), out});
    const auto [status, seconds] = stopAfter(run, std::chrono::milliseconds(20 + rng() % 80));
    EXPECT_LT(seconds, 5.0);
    if (status == 0) {
        EXPECT_EQ(testsupport::readFile(out + "/large.txt"), *s_large) << "it ended before the stop";
    } else {
        EXPECT_TRUE(fs::is_empty(out)) << "neither the file nor a part of it";
    }
}

} // namespace
