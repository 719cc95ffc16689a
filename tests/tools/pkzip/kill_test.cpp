// PKZIP25.EXE killed (SIGKILL) at random moments of an add (one that moves the directory, or one
// that writes into the free space before it), a delete or a compaction, and now and then again
// while its next run repairs the archive: the archive must keep every member it had, with its
// data, and a listing run must leave nothing behind beside the archive.

#include "sandbox.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <optional>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using testsupport::Sandbox;

// Rounds per operation; PELLIX_KILL_ROUNDS asks for more in a longer hunt.
int roundCount() {
    const char* rounds = std::getenv("PELLIX_KILL_ROUNDS");
    return rounds != nullptr && std::atoi(rounds) > 0 ? std::atoi(rounds) : 15;
}

// The CRC-32 of ZIP files, computed here so that the check does not trust the archive's own.
std::uint32_t crc32Of(const std::string& data) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) {
                c = (c & 1) ? 0xEDB88320U ^ (c >> 1) : c >> 1;
            }
            t[i] = c;
        }
        return t;
    }();
    std::uint32_t crc = 0xFFFFFFFFU;
    for (unsigned char byte : data) {
        crc = table[(crc ^ byte) & 0xFF] ^ (crc >> 8);
    }
    return crc ^ 0xFFFFFFFFU;
}

std::string hex8(std::uint32_t value) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", value);
    return text;
}

// File contents that deflate has to work on: lines of text mixed with blocks of random bytes.
std::string mixedContent(std::mt19937_64& rng, std::size_t size) {
    std::string out;
    out.reserve(size);
    while (out.size() < size) {
        if (rng() % 3 == 0) {
            for (int i = 0; i < 4096 && out.size() < size; ++i) {
                out += static_cast<char>(rng() & 0xFF);
            }
        } else {
            out += "line " + std::to_string(rng() % 100000) + " of the member, with some words to pack\n";
        }
    }
    out.resize(size);
    return out;
}

std::string quoted(const std::string& text) {
    return "'" + text + "'";
}

// Member name -> CRC-32 (hex, as unzip prints it), read with unzip -v; nothing when unzip cannot
// read the archive.
std::optional<std::map<std::string, std::string>> membersOf(const std::string& archive) {
    std::string output;
    if (testsupport::runShell("unzip -v " + quoted(archive) + " 2>/dev/null", &output) != 0) {
        return std::nullopt;
    }
    std::map<std::string, std::string> members;
    std::istringstream lines(output);
    std::string line;
    int rulers = 0;
    while (std::getline(lines, line)) {
        if (line.rfind("--------", 0) == 0) {
            ++rulers;
            continue;
        }
        if (rulers != 1) {
            continue;
        }
        // Length Method Size Cmpr Date Time CRC-32 Name: the name is the rest of the line.
        std::istringstream fields(line);
        std::string field;
        std::string crc;
        for (int i = 0; i < 7 && fields >> field; ++i) {
            crc = field;
        }
        std::string name;
        std::getline(fields >> std::ws, name);
        members[name] = crc;
    }
    return members;
}

bool archiveTestsClean(const std::string& archive) {
    return testsupport::runShell("unzip -tqq " + quoted(archive) + " >/dev/null 2>&1") == 0;
}

std::set<std::string> folderEntries(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

// A started tool process.
class ToolRun {
public:
    ToolRun(const std::vector<std::string>& args, const std::string& logPath) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, logPath.c_str(),
                                         O_WRONLY | O_CREAT | O_APPEND, 0644);
        posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
        std::vector<char*> argv;
        for (const auto& arg : args) {
            argv.push_back(const_cast<char*>(arg.c_str()));
        }
        argv.push_back(nullptr);
        // Its own process group, so that the kill also reaches any helper process it starts.
        posix_spawnattr_t attributes;
        posix_spawnattr_init(&attributes);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
        posix_spawnattr_setpgroup(&attributes, 0);
        m_started = posix_spawn(&m_pid, argv[0], &actions, &attributes, argv.data(), environ) == 0;
        posix_spawnattr_destroy(&attributes);
        posix_spawn_file_actions_destroy(&actions);
    }
    bool started() const { return m_started; }

    // Kills the tool unless it has already ended; true when the kill met a running tool.
    bool kill() {
        int status = 0;
        if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            return false;
        }
        ::kill(-m_pid, SIGKILL);
        waitpid(m_pid, &status, 0);
        // The tool may have ended between the look and the kill.
        const bool killed = WIFSIGNALED(status);
        m_exitStatus = killed ? -1 : WEXITSTATUS(status);
        return killed;
    }
    int wait() {
        int status = 0;
        waitpid(m_pid, &status, 0);
        m_exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        return m_exitStatus;
    }
    int exitStatus() const { return m_exitStatus; }

private:
    pid_t m_pid = 0;
    bool m_started = false;
    int m_exitStatus = -1;
};

enum class Operation { Add, AddIntoFreeSpace, Delete, Compact };

struct KillCase {
    const char* name;
    Operation operation;
};

void PrintTo(const KillCase& killCase, std::ostream* out) {
    *out << killCase.name;
}

class PkzipKillTest : public ::testing::TestWithParam<KillCase> {
protected:
    void SetUp() override {
        m_tool = testsupport::programDir() + "/PKZIP25.EXE";
        ASSERT_EQ(access(m_tool.c_str(), X_OK), 0) << m_tool << " is not built";
        ASSERT_EQ(testsupport::runShell("command -v zip >/dev/null && command -v unzip >/dev/null"), 0)
            << "zip and unzip are needed";
        fs::create_directories(m_sandbox.hostPath("arc"));
        fs::create_directories(m_sandbox.hostPath("job"));
        m_log = m_sandbox.root() + "/tool.log";
        if (const char* seed = std::getenv("PELLIX_KILL_SEED")) {
            m_seed = std::strtoull(seed, nullptr, 10);
        }
        m_rng.seed(m_seed);
    }

    std::string archive() const { return m_sandbox.hostPath("arc/a.zip"); }

    // Writes a file below the home folder and remembers the CRC-32 of its data by member name.
    void makeFile(const std::string& relative, std::size_t size) {
        const std::string data = mixedContent(m_rng, size);
        testsupport::writeFile(m_sandbox.hostPath(relative), data);
        m_crcOf[relative] = hex8(crc32Of(data));
    }

    void writeList(const std::vector<std::string>& lines) const {
        std::string text;
        for (const auto& line : lines) {
            text += line + "\r\n";
        }
        testsupport::writeFile(m_sandbox.hostPath("job/temp.lst"), text);
    }

    std::vector<std::string> addArgs(const std::string& archiveRelative) const {
        return {m_tool,
                "-add",
                "-attr",
                Sandbox::windowsPath(archiveRelative),
                "-include=@" + Sandbox::windowsPath("job/temp.lst"),
                "-path=root"};
    }
    std::vector<std::string> compactArgs(const std::string& archiveRelative) const {
        return {m_tool, "-compact", Sandbox::windowsPath(archiveRelative)};
    }
    std::vector<std::string> deleteArgs(const std::string& archiveRelative) const {
        return {m_tool, "-del", Sandbox::windowsPath(archiveRelative),
                "@" + Sandbox::windowsPath("job/temp.lst")};
    }

    // Runs the tool to its end; returns its exit status and how long it took.
    std::pair<int, double> runToEnd(const std::vector<std::string>& args) const {
        const auto start = std::chrono::steady_clock::now();
        ToolRun run(args, m_log);
        const int status = run.started() ? run.wait() : -1;
        return {status, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()};
    }

    std::string toolLogTail() const {
        const std::string log = testsupport::readFile(m_log);
        return log.size() > 2000 ? log.substr(log.size() - 2000) : log;
    }

    // A listing run of the tool, which finishes or rolls back an interrupted change; fills listed
    // with the member names it shows: eight header lines, then one line per member with the name
    // from column 68 (counting from 0), up to the line whose column 2 is "-".
    void runListing(std::set<std::string>* listed) const {
        std::string output;
        const int status =
            testsupport::runShell("timeout 60 " + quoted(m_tool) + " " +
                                      quoted(Sandbox::windowsPath("arc/a.zip")) + " 2>>" + quoted(m_log),
                                  &output);
        ASSERT_EQ(status, 0) << "listing run failed; tool output:\n" << toolLogTail();
        std::istringstream lines(output);
        std::string line;
        for (int number = 0; std::getline(lines, line); ++number) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (number < 8) {
                continue;
            }
            if (line.size() > 2 && line[2] == '-') {
                return;
            }
            listed->insert(line.size() > 68 ? line.substr(68) : "");
        }
        ADD_FAILURE() << "the listing has no closing separator line";
    }

    Sandbox m_sandbox;
    std::string m_tool;
    std::string m_log;
    std::uint64_t m_seed = 20261207;
    std::mt19937_64 m_rng;
    std::map<std::string, std::string> m_crcOf; // member name -> CRC-32 of the data written
};

TEST_P(PkzipKillTest, killedAtRandomMomentsKeepsEveryMember) {
    const Operation operation = GetParam().operation;
    SCOPED_TRACE("seed " + std::to_string(m_seed) + " (set PELLIX_KILL_SEED to change it)");

    // The archive made by zip: enough data that a delete, which rewrites it, takes a moment.
    // Each delete round takes two members, and the archive must never run out of them. Adds into
    // free space and compactions need a directory large enough for the space to hold a few runs'
    // members: many small members.
    const int rounds = roundCount();
    const bool manyMembers = operation == Operation::AddIntoFreeSpace || operation == Operation::Compact;
    const int baseCount = operation == Operation::Delete ? 2 * rounds + 18 : manyMembers ? 2500 : 10;
    const std::size_t baseSize = operation == Operation::Delete ? 700000 : manyMembers ? 300 : 200000;
    std::string zipCommand = "cd " + quoted(m_sandbox.home()) + " && zip -q -r arc/a.zip base";
    for (int i = 0; i < baseCount; ++i) {
        const std::string name = "base/m" + std::to_string(100 + i) + ".dat";
        makeFile(name, baseSize + static_cast<std::size_t>(m_rng() % (manyMembers ? 300 : 100000)));
    }
    ASSERT_EQ(testsupport::runShell(zipCommand), 0);

    // Each add round adds three new files (about 1.5 MB each, or about 100 KB into free space);
    // each delete round deletes two members; each compaction round follows an add of its own.
    auto newFiles = [&](const std::string& round) {
        std::vector<std::string> names;
        for (int i = 0; i < 3; ++i) {
            const std::string name = "data/" + round + "/n" + std::to_string(i) + ".dat";
            makeFile(name, manyMembers ? 80000 + static_cast<std::size_t>(m_rng() % 40000)
                                       : 1400000 + static_cast<std::size_t>(m_rng() % 200000));
            names.push_back(name);
        }
        return names;
    };
    auto windowsLines = [](const std::vector<std::string>& names) {
        std::vector<std::string> lines;
        for (const auto& name : names) {
            lines.push_back(Sandbox::windowsPath(name));
        }
        return lines;
    };

    if (manyMembers) {
        // The first add moves the directory and leaves free space before it.
        writeList(windowsLines(newFiles("first")));
        ASSERT_EQ(runToEnd(addArgs("arc/a.zip")).first, 0) << toolLogTail();
    }

    // How long one whole run takes, measured on fresh copies: the kills fall anywhere in that
    // span. The shortest of three runs, so that one slow flush does not stretch it.
    std::vector<std::string> calibrationArgs;
    if (operation == Operation::Compact) {
        calibrationArgs = compactArgs("copy/a.zip");
    } else if (operation != Operation::Delete) {
        writeList(windowsLines(newFiles("calibration")));
        calibrationArgs = addArgs("copy/a.zip");
    } else {
        writeList({"base/m100.dat", "base/m101.dat"});
        calibrationArgs = deleteArgs("copy/a.zip");
    }
    double runSeconds = 0;
    for (int run = 0; run < 3; ++run) {
        fs::create_directories(m_sandbox.hostPath("copy"));
        fs::copy_file(archive(), m_sandbox.hostPath("copy/a.zip"));
        const auto [status, seconds] = runToEnd(calibrationArgs);
        ASSERT_EQ(status, 0) << "an uninterrupted run failed; tool output:\n" << toolLogTail();
        ASSERT_TRUE(archiveTestsClean(m_sandbox.hostPath("copy/a.zip")));
        fs::remove_all(m_sandbox.hostPath("copy"));
        runSeconds = run == 0 ? seconds : std::min(runSeconds, seconds);
    }

    const std::set<std::string> entriesBefore = folderEntries(m_sandbox.hostPath("arc"));
    ASSERT_EQ(entriesBefore, std::set<std::string>{"a.zip"});
    int killedMidRun = 0;
    int unreadableUntilNextRun = 0;
    int repairsKilled = 0;
    std::uniform_real_distribution<double> repairMoment(0.0, 0.02);
    std::uniform_real_distribution<double> moment(0.0, runSeconds * 1.1);

    for (int round = 0; round < rounds; ++round) {
        auto before = membersOf(archive());
        ASSERT_TRUE(before.has_value()) << "round " << round << ": unzip cannot read the archive";

        std::vector<std::string> changed;
        std::vector<std::string> args;
        if (operation == Operation::Compact) {
            // An add of its own, not killed, leaves the free space the compaction takes out.
            writeList(windowsLines(newFiles("r" + std::to_string(round))));
            ASSERT_EQ(runToEnd(addArgs("arc/a.zip")).first, 0) << toolLogTail();
            args = compactArgs("arc/a.zip");
            before = membersOf(archive());
            ASSERT_TRUE(before.has_value());
        } else if (operation != Operation::Delete) {
            changed = newFiles("r" + std::to_string(round));
            writeList(windowsLines(changed));
            args = addArgs("arc/a.zip");
        } else {
            std::vector<std::string> names;
            for (const auto& member : *before) {
                names.push_back(member.first);
            }
            ASSERT_GE(names.size(), 2U);
            std::shuffle(names.begin(), names.end(), m_rng);
            changed = {names[0], names[1]};
            writeList(changed);
            args = deleteArgs("arc/a.zip");
        }

        const double delay = moment(m_rng);
        SCOPED_TRACE("round " + std::to_string(round) + ", killed after " + std::to_string(delay) + " s");
        ToolRun run(args, m_log);
        ASSERT_TRUE(run.started());
        std::this_thread::sleep_for(std::chrono::duration<double>(delay));
        if (run.kill()) {
            ++killedMidRun;
        } else {
            EXPECT_EQ(run.exitStatus(), 0) << "a run that was not killed failed; tool output:\n"
                                           << toolLogTail();
        }
        if (!archiveTestsClean(archive())) {
            ++unreadableUntilNextRun;
        }
        // Every other round the run that repairs the archive is itself killed in its first
        // milliseconds: the repair must survive being cut short too.
        if (round % 2 == 1) {
            ToolRun repair({m_tool, Sandbox::windowsPath("arc/a.zip")}, m_log);
            ASSERT_TRUE(repair.started());
            std::this_thread::sleep_for(std::chrono::duration<double>(repairMoment(m_rng)));
            if (repair.kill()) {
                ++repairsKilled;
            }
        }

        std::set<std::string> listed;
        runListing(&listed);
        EXPECT_EQ(folderEntries(m_sandbox.hostPath("arc")), entriesBefore)
            << "files left beside the archive after a listing run";

        const auto after = membersOf(archive());
        ASSERT_TRUE(after.has_value()) << "unzip cannot read the archive after the listing run";
        EXPECT_TRUE(archiveTestsClean(archive())) << "unzip -t finds damaged members";
        std::set<std::string> afterNames;
        for (const auto& member : *after) {
            afterNames.insert(member.first);
        }
        EXPECT_EQ(listed, afterNames) << "the tool's listing and unzip disagree";
        const std::set<std::string> changedSet(changed.begin(), changed.end());
        for (const auto& [name, crc] : *before) {
            const auto found = after->find(name);
            if (found == after->end()) {
                EXPECT_TRUE(operation == Operation::Delete && changedSet.count(name) > 0)
                    << "lost member " << name;
            } else {
                EXPECT_EQ(found->second, crc) << "member " << name << " changed";
            }
        }
        for (const auto& [name, crc] : *after) {
            if (before->count(name) == 0) {
                EXPECT_TRUE(operation != Operation::Delete && changedSet.count(name) > 0)
                    << "unexpected member " << name;
                EXPECT_EQ(crc, m_crcOf[name]) << "added member " << name << " holds other data";
            }
        }
        if (HasFatalFailure()) {
            return;
        }
    }

    // After all the interruptions the archive still takes a whole change.
    std::vector<std::string> last;
    if (operation != Operation::Delete) {
        last = newFiles("final");
        writeList(windowsLines(last));
        EXPECT_EQ(runToEnd(addArgs("arc/a.zip")).first, 0) << toolLogTail();
    } else {
        const auto members = membersOf(archive());
        ASSERT_TRUE(members.has_value());
        last = {members->begin()->first};
        writeList(last);
        EXPECT_EQ(runToEnd(deleteArgs("arc/a.zip")).first, 0) << toolLogTail();
    }
    const auto ending = membersOf(archive());
    ASSERT_TRUE(ending.has_value());
    EXPECT_TRUE(archiveTestsClean(archive()));
    for (const auto& name : last) {
        EXPECT_EQ(ending->count(name), operation != Operation::Delete ? 1U : 0U) << name;
    }
    EXPECT_EQ(folderEntries(m_sandbox.hostPath("arc")), entriesBefore);

    // Most kills must land while the tool runs, or the rounds prove nothing.
    EXPECT_GE(killedMidRun, rounds / 2) << "the tool ended before most kills";
    std::cout << "[ kills    ] " << GetParam().name << ": " << killedMidRun << " of " << rounds
              << " rounds killed mid-run, " << repairsKilled << " repair runs killed too, "
              << unreadableUntilNextRun
              << " left an archive unzip could not test until the tool ran again; one run took " << runSeconds
              << " s\n";
}

INSTANTIATE_TEST_SUITE_P(Operations, PkzipKillTest,
                         ::testing::Values(KillCase{"add", Operation::Add},
                                           KillCase{"add_into_free_space", Operation::AddIntoFreeSpace},
                                           KillCase{"delete", Operation::Delete},
                                           KillCase{"compact", Operation::Compact}),
                         [](const ::testing::TestParamInfo<KillCase>& each) {
                             return std::string(each.param.name);
                         });

} // namespace
