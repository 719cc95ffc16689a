// Benchmarks of PKZIP25.EXE against zip and unzip, each peer run on the same data in the same run.
//
//   pkzip-bench --bin <program folder> [--work <folder>] [--quick] [--only 1,2,...]
//               [--no-fsync-cost] [--keep]
//
// The archiver is driven the way the program drives it: Windows paths on drive C: (the work
// folder, given to the tool as its home folder), list files with CR LF line ends, and adds cut
// into runs of at most 500,000 bytes. What the fsync calls cost is measured by running the
// archiver again with PELLIX_PKZIP_NO_FSYNC=1, its switch that leaves them out.

#include "datagen.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;
using pkzipbench::DataSetShape;
using pkzipbench::PlannedFile;

namespace {

constexpr std::uint64_t kChunkLimit = 500000;

struct Options {
    std::string binDir;
    std::string workDir;
    std::set<int> only;
    bool quick = false;
    bool keep = false;
    bool fsyncCost = true;
};

// A failed step of one benchmark; the other benchmarks still run.
struct BenchError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct Command {
    std::vector<std::string> argv;
    std::string cwd;
    std::string stdoutPath = "/dev/null";
    std::vector<std::string> env; // NAME=value entries that override the inherited environment
};

// Wall-clock time, and the processor time (user and system) the process itself used: on a busy
// machine the second moves much less than the first.
struct Span {
    double wall = 0;
    double cpu = 0;
    Span& operator+=(const Span& other) {
        wall += other.wall;
        cpu += other.cpu;
        return *this;
    }
};

struct Outcome {
    int status = 0;
    Span time;
};

std::string describe(const Command& command) {
    std::string text;
    for (const auto& arg : command.argv) {
        text += (text.empty() ? "" : " ") + arg;
        if (text.size() > 200) {
            return text + " ...";
        }
    }
    return text;
}

std::vector<std::string> mergedEnvironment(const std::vector<std::string>& overrides) {
    std::vector<std::string> merged;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        const bool replaced = std::any_of(overrides.begin(), overrides.end(), [&](const std::string& o) {
            return o.compare(0, name.size() + 1, name + "=") == 0;
        });
        if (!replaced) {
            merged.push_back(text);
        }
    }
    merged.insert(merged.end(), overrides.begin(), overrides.end());
    return merged;
}

// Runs one command without a shell (so the time is the tool's own) and waits for it. Standard
// error is appended to errorLog.
Outcome runCommand(const Command& command, const std::string& errorLog) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, command.stdoutPath.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorLog.c_str(), O_WRONLY | O_CREAT | O_APPEND,
                                     0644);
    if (!command.cwd.empty()) {
        posix_spawn_file_actions_addchdir_np(&actions, command.cwd.c_str());
    }
    std::vector<char*> argv;
    for (const auto& arg : command.argv) {
        argv.push_back(const_cast<char*>(arg.c_str()));
    }
    argv.push_back(nullptr);
    const std::vector<std::string> env = mergedEnvironment(command.env);
    std::vector<char*> envp;
    for (const auto& entry : env) {
        envp.push_back(const_cast<char*>(entry.c_str()));
    }
    envp.push_back(nullptr);

    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) {
        throw BenchError("cannot start " + command.argv[0] + ": " + std::strerror(spawned));
    }
    int status = 0;
    struct rusage usage {};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            throw BenchError("lost the process of " + command.argv[0]);
        }
    }
    Outcome outcome;
    outcome.time.wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.time.cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return outcome;
}

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

std::string windowsPath(const std::string& relative) {
    std::string path = "C:\\" + relative;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// The program's chunking: items are taken in order while the chunk's bytes plus the next item's
// size stay at most 500,000; the first item of a chunk (and any item after only empty ones) is
// taken whatever its size. Returns the index where each chunk starts, plus the item count.
std::vector<std::size_t> chunkStarts(const std::vector<std::uint64_t>& sizes) {
    std::vector<std::size_t> starts;
    std::size_t i = 0;
    while (i < sizes.size()) {
        starts.push_back(i);
        std::uint64_t chunkBytes = 0;
        while (i < sizes.size() && (chunkBytes == 0 || chunkBytes + sizes[i] <= kChunkLimit)) {
            chunkBytes += sizes[i];
            ++i;
        }
    }
    starts.push_back(sizes.size());
    return starts;
}

// The median of the wall times and, separately, of the processor times.
Span median(const std::vector<Span>& spans) {
    std::vector<double> walls;
    std::vector<double> cpus;
    for (const auto& span : spans) {
        walls.push_back(span.wall);
        cpus.push_back(span.cpu);
    }
    std::sort(walls.begin(), walls.end());
    std::sort(cpus.begin(), cpus.end());
    return {walls[walls.size() / 2], cpus[cpus.size() / 2]};
}

struct Row {
    std::string name;
    Span ours;
    Span peer;
    double limit = 0; // highest ratio that meets the target; 0 for figures shown for information
    std::string failure;
};

struct SyncRow {
    std::string name;
    Span withSync;
    Span withoutSync;
};

class Bench {
public:
    explicit Bench(Options options) : m_opt(std::move(options)) {}

    int run();

private:
    // Paths
    std::string work(const std::string& relative) const { return m_work + "/" + relative; }
    std::string tool() const { return m_opt.binDir + "/PKZIP25.EXE"; }

    Command toolCommand(std::vector<std::string> args, bool nosync = false) const {
        Command command;
        command.argv.push_back(tool());
        command.argv.insert(command.argv.end(), args.begin(), args.end());
        command.cwd = m_work;
        command.env = {"HOME=" + m_work, "XDG_CONFIG_HOME=" + work(".config")};
        if (nosync) {
            command.env.push_back("PELLIX_PKZIP_NO_FSYNC=1");
        }
        return command;
    }
    Command peerCommand(std::vector<std::string> args) const {
        Command command;
        command.argv = std::move(args);
        command.cwd = m_work;
        return command;
    }

    // Writes out what earlier steps left in the page cache, so that the kernel's write-back of
    // generated data does not land in the next timed run.
    static void settle() { ::sync(); }

    // Runs a command that must succeed; returns its time.
    Span timed(const Command& command) {
        const Outcome outcome = runCommand(command, m_errorLog);
        if (outcome.status != 0) {
            throw BenchError(describe(command) + " exited with " + std::to_string(outcome.status) +
                             " (standard error in " + m_errorLog + ")");
        }
        return outcome.time;
    }
    std::string captured(const Command& command) {
        Command copy = command;
        copy.stdoutPath = work("capture.txt");
        timed(copy);
        return readText(copy.stdoutPath);
    }

    std::vector<std::string> memberNames(const std::string& archive) {
        std::vector<std::string> names;
        for (const auto& line : splitLines(captured(peerCommand({"unzip", "-Z1", archive})))) {
            if (!line.empty() && line.back() != '/') {
                names.push_back(line);
            }
        }
        return names;
    }
    void expectIntact(const std::string& archive, std::size_t members) {
        const Outcome test = runCommand(peerCommand({"unzip", "-tq", archive}), m_errorLog);
        if (test.status != 0) {
            throw BenchError("unzip -t finds " + archive + " damaged");
        }
        const std::size_t found = memberNames(archive).size();
        if (found != members) {
            throw BenchError(archive + " holds " + std::to_string(found) + " members, expected " +
                             std::to_string(members));
        }
    }

    void writeList(const std::string& relative, const std::vector<std::string>& lines) const {
        std::ofstream out(work(relative), std::ios::binary | std::ios::trunc);
        for (const auto& line : lines) {
            out << line << "\r\n";
        }
        if (!out) {
            throw BenchError("cannot write the list file " + relative);
        }
    }

    const std::vector<PlannedFile>& dataSet(const std::string& name);
    void section(const std::string& text) const { std::cerr << "== " << text << std::endl; }

    // Adds the files in the program's runs with PKZIP25.EXE; returns the summed time.
    Span addInRuns(const std::vector<PlannedFile>& files, const std::string& archive, bool nosync);
    Span zipInRuns(const std::vector<PlannedFile>& files, const std::string& archive);

    void benchListing();
    void benchAdd(int number, const std::string& setName, double limit);
    void benchExtract();
    void benchDelete();
    void countSyncCalls();
    void report() const;

    Options m_opt;
    std::string m_work;
    std::string m_errorLog;
    std::map<std::string, DataSetShape> m_shapes;
    std::map<std::string, std::vector<PlannedFile>> m_sets;
    std::vector<Row> m_rows;
    std::vector<SyncRow> m_syncRows;
    std::vector<std::pair<std::string, std::string>> m_notes;
};

const std::vector<PlannedFile>& Bench::dataSet(const std::string& name) {
    auto found = m_sets.find(name);
    if (found != m_sets.end()) {
        return found->second;
    }
    const DataSetShape& shape = m_shapes.at(name);
    auto files = pkzipbench::planDataSet(shape);
    const auto start = std::chrono::steady_clock::now();
    const std::uint64_t bytes = pkzipbench::writeDataSet(m_work, shape, files);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cerr << "   generated " << name << ": " << files.size() << " files, " << bytes << " bytes in "
              << seconds << " s" << std::endl;
    m_notes.emplace_back("data set " + name,
                         std::to_string(files.size()) + " files, " + std::to_string(bytes) + " bytes");
    return m_sets.emplace(name, std::move(files)).first->second;
}

Span Bench::addInRuns(const std::vector<PlannedFile>& files, const std::string& archive, bool nosync) {
    std::vector<std::uint64_t> sizes;
    for (const auto& file : files) {
        sizes.push_back(file.size);
    }
    const auto starts = chunkStarts(sizes);
    Span total;
    for (std::size_t c = 0; c + 1 < starts.size(); ++c) {
        std::vector<std::string> lines;
        for (std::size_t i = starts[c]; i < starts[c + 1]; ++i) {
            lines.push_back(windowsPath(files[i].relative));
        }
        writeList("job/temp.lst", lines);
        total += timed(toolCommand(
            {"-add", "-attr", windowsPath(archive), "-include=@" + windowsPath("job/temp.lst"), "-path=root"},
            nosync));
    }
    return total;
}

Span Bench::zipInRuns(const std::vector<PlannedFile>& files, const std::string& archive) {
    std::vector<std::uint64_t> sizes;
    for (const auto& file : files) {
        sizes.push_back(file.size);
    }
    const auto starts = chunkStarts(sizes);
    Span total;
    for (std::size_t c = 0; c + 1 < starts.size(); ++c) {
        std::vector<std::string> args = {"zip", "-q", archive};
        for (std::size_t i = starts[c]; i < starts[c + 1]; ++i) {
            args.push_back(files[i].relative);
        }
        total += timed(peerCommand(args));
    }
    return total;
}

// (1) Listing a large archive, as the program does after every change.
void Bench::benchListing() {
    const auto& files = dataSet("list");
    section("(1) listing " + std::to_string(files.size()) + " members");
    timed(peerCommand({"zip", "-r", "-q", "-D", "arc/list.zip", "list"}));
    fs::remove_all(work("list"));
    std::vector<Span> ours;
    std::vector<Span> peer;
    for (int rep = 0; rep < 3; ++rep) {
        settle();
        Command mine = toolCommand({windowsPath("arc/list.zip")});
        mine.stdoutPath = work("out/ours-listing.txt");
        ours.push_back(timed(mine));
        settle();
        Command theirs = peerCommand({"unzip", "-l", "arc/list.zip"});
        theirs.stdoutPath = work("out/peer-listing.txt");
        peer.push_back(timed(theirs));
    }
    // The listing must name every member: a tool that prints nothing is not fast, it is wrong.
    std::size_t listed = 0;
    for (const auto& line : splitLines(readText(work("out/ours-listing.txt")))) {
        if (line.find("list/d") != std::string::npos) {
            ++listed;
        }
    }
    if (listed != files.size()) {
        throw BenchError("the listing names " + std::to_string(listed) + " of " +
                         std::to_string(files.size()) + " members");
    }
    m_rows.push_back({"(1) list " + std::to_string(files.size()) + " members vs unzip -l", median(ours),
                      median(peer), 1.0, ""});
    fs::remove(work("arc/list.zip"));
}

// (2) and (3): adding a selection in the program's runs, against one zip -r run of the same
// files and against the same runs done by zip.
void Bench::benchAdd(int number, const std::string& setName, double limit) {
    const auto& files = dataSet(setName);
    std::vector<std::uint64_t> sizes;
    for (const auto& file : files) {
        sizes.push_back(file.size);
    }
    const std::size_t runs = chunkStarts(sizes).size() - 1;
    const std::string tag = "(" + std::to_string(number) + ") ";
    section(tag + "adding " + std::to_string(files.size()) + " files in " + std::to_string(runs) + " runs");

    const std::string ours = "arc/ours-" + setName + ".zip";
    settle();
    const Span oursTime = addInRuns(files, ours, false);
    expectIntact(work(ours), files.size());
    settle();
    const Span zipAll = timed(peerCommand({"zip", "-r", "-q", "arc/zipr-" + setName + ".zip", setName}));
    expectIntact(work("arc/zipr-" + setName + ".zip"), files.size());
    settle();
    const Span zipRuns = zipInRuns(files, "arc/zipruns-" + setName + ".zip");

    const std::string what = std::to_string(files.size()) + " files, " + std::to_string(runs) + " runs";
    m_rows.push_back({tag + "add " + what + " vs one zip -r -q", oursTime, zipAll, limit, ""});
    m_rows.push_back({tag + "add " + what + " vs the same runs of zip -q", oursTime, zipRuns, 0, ""});
    m_notes.emplace_back(tag + "archive bytes: ours / zip -r / zip runs",
                         std::to_string(fs::file_size(work(ours))) + " / " +
                             std::to_string(fs::file_size(work("arc/zipr-" + setName + ".zip"))) + " / " +
                             std::to_string(fs::file_size(work("arc/zipruns-" + setName + ".zip"))));
    fs::remove(work("arc/zipruns-" + setName + ".zip"));

    if (m_opt.fsyncCost) {
        const std::string unsynced = "arc/nosync-" + setName + ".zip";
        settle();
        const Span withoutSync = addInRuns(files, unsynced, true);
        expectIntact(work(unsynced), files.size());
        m_syncRows.push_back({tag + "add " + what, oursTime, withoutSync});
        fs::remove(work(unsynced));
    }
    fs::remove(work(ours));
    if (setName != "small") {
        fs::remove(work("arc/zipr-" + setName + ".zip"));
    }
}

// (4) Extracting every member of the archive zip -r made in (2), into an empty folder: once in
// a single run, and once in the program's runs of 500,000 bytes.
void Bench::benchExtract() {
    const auto& files = dataSet("small");
    const std::string archive = "arc/zipr-small.zip";
    if (!fs::exists(work(archive))) {
        timed(peerCommand({"zip", "-r", "-q", archive, "small"}));
    }
    section("(4) extracting " + std::to_string(files.size()) + " members");
    std::map<std::string, std::uint64_t> sizeOf;
    for (const auto& file : files) {
        sizeOf[file.relative] = file.size;
    }
    const std::vector<std::string> names = memberNames(work(archive));

    auto freshFolder = [&](const std::string& relative) {
        fs::remove_all(work(relative));
        fs::create_directories(work(relative));
    };
    auto expectSameTree = [&](const std::string& relative) {
        const Outcome diff =
            runCommand(peerCommand({"diff", "-r", "-q", "small", relative + "/small"}), m_errorLog);
        if (diff.status != 0) {
            throw BenchError(relative + " differs from the files that were zipped");
        }
    };

    // Three rounds, each into empty folders, alternating the tools; the median counts.
    writeList("job/temp.lst", names);
    const std::vector<std::string> extractAll = {"-dir=root",
                                                 "-extract",
                                                 "-overwrite=all",
                                                 windowsPath(archive),
                                                 "@" + windowsPath("job/temp.lst"),
                                                 windowsPath("x/ours")};
    std::vector<Span> ours;
    std::vector<Span> oursNosync;
    std::vector<Span> peer;
    for (int rep = 0; rep < 3; ++rep) {
        freshFolder("x/ours");
        settle();
        ours.push_back(timed(toolCommand(extractAll)));
        expectSameTree("x/ours");
        freshFolder("x/peer");
        settle();
        peer.push_back(timed(peerCommand({"unzip", "-q", "-o", archive, "-d", "x/peer"})));
        expectSameTree("x/peer");
        if (m_opt.fsyncCost) {
            freshFolder("x/ours");
            settle();
            oursNosync.push_back(timed(toolCommand(extractAll, true)));
            expectSameTree("x/ours");
        }
    }
    const std::string what = "(4) extract " + std::to_string(names.size()) + " members, one run";
    m_rows.push_back({what + " vs unzip -q -o", median(ours), median(peer), 1.0, ""});
    if (!oursNosync.empty()) {
        m_syncRows.push_back({what, median(ours), median(oursNosync)});
    }

    std::vector<std::uint64_t> sizes;
    for (const auto& name : names) {
        sizes.push_back(sizeOf[name]);
    }
    const auto starts = chunkStarts(sizes);
    freshFolder("x/ours");
    freshFolder("x/peer");
    settle();
    Span oursRuns;
    Span peerRuns;
    for (std::size_t c = 0; c + 1 < starts.size(); ++c) {
        const std::vector<std::string> chunk(names.begin() + starts[c], names.begin() + starts[c + 1]);
        writeList("job/temp.lst", chunk);
        oursRuns += timed(toolCommand({"-dir=root", "-extract", "-overwrite=all", windowsPath(archive),
                                       "@" + windowsPath("job/temp.lst"), windowsPath("x/ours")}));
        std::vector<std::string> args = {"unzip", "-q", "-o", archive};
        args.insert(args.end(), chunk.begin(), chunk.end());
        args.insert(args.end(), {"-d", "x/peer"});
        peerRuns += timed(peerCommand(args));
    }
    expectSameTree("x/ours");
    expectSameTree("x/peer");
    m_rows.push_back(
        {"(4) extract in " + std::to_string(starts.size() - 1) + " runs vs the same runs of unzip", oursRuns,
         peerRuns, 0, ""});
    fs::remove_all(work("x"));
}

// (5) Deleting one member from the middle of a large archive: each run starts from a fresh copy.
void Bench::benchDelete() {
    const auto& large = dataSet("large");
    const std::size_t count = std::min<std::size_t>(large.size(), m_opt.quick ? 15 : 150);
    section("(5) deleting one member of " + std::to_string(count));
    std::vector<std::string> args = {"zip", "-q", "-0", "arc/del-master.zip"};
    for (std::size_t i = 0; i < count; ++i) {
        args.push_back(large[i].relative);
    }
    fs::remove(work("arc/del-master.zip"));
    timed(peerCommand(args));
    const std::string victim = large[count / 2].relative;
    writeList("job/temp.lst", {victim});
    const auto masterBytes = fs::file_size(work("arc/del-master.zip"));

    auto freshCopy = [&](const std::string& relative) {
        fs::remove(work(relative));
        fs::copy_file(work("arc/del-master.zip"), work(relative));
        settle();
    };
    auto expectDeleted = [&](const std::string& relative) {
        const auto names = memberNames(work(relative));
        if (names.size() != count - 1 || std::find(names.begin(), names.end(), victim) != names.end()) {
            throw BenchError(relative + ": the member was not deleted, or others went with it");
        }
    };
    std::vector<Span> ours;
    std::vector<Span> oursNosync;
    std::vector<Span> peer;
    for (int rep = 0; rep < 3; ++rep) {
        freshCopy("arc/del-ours.zip");
        ours.push_back(
            timed(toolCommand({"-del", windowsPath("arc/del-ours.zip"), "@" + windowsPath("job/temp.lst")})));
        expectDeleted("arc/del-ours.zip");
        freshCopy("arc/del-peer.zip");
        peer.push_back(timed(peerCommand({"zip", "-q", "-d", "arc/del-peer.zip", victim})));
        expectDeleted("arc/del-peer.zip");
        if (m_opt.fsyncCost) {
            freshCopy("arc/del-ours.zip");
            oursNosync.push_back(timed(toolCommand(
                {"-del", windowsPath("arc/del-ours.zip"), "@" + windowsPath("job/temp.lst")}, true)));
            expectDeleted("arc/del-ours.zip");
        }
    }
    const Outcome test = runCommand(peerCommand({"unzip", "-tq", "arc/del-ours.zip"}), m_errorLog);
    if (test.status != 0) {
        throw BenchError("unzip -t finds the archive damaged after the delete");
    }
    m_rows.push_back(
        {"(5) delete 1 member of a " + std::to_string(masterBytes / 1000000) + " MB archive vs zip -d",
         median(ours), median(peer), 1.5, ""});
    if (!oursNosync.empty()) {
        m_syncRows.push_back({"(5) delete 1 member", median(ours), median(oursNosync)});
    }
    fs::remove(work("arc/del-ours.zip"));
    fs::remove(work("arc/del-peer.zip"));
    fs::remove(work("arc/del-master.zip"));
}

// How many fsync-type calls one append and one delete make, counted by strace.
void Bench::countSyncCalls() {
    if (runCommand(peerCommand({"strace", "-V"}), m_errorLog).status != 0) {
        m_notes.emplace_back("sync calls per run", "strace is not installed");
        return;
    }
    pkzipbench::DataSetShape probe{"probe", 2, 1, 100000, 100000, 99};
    const auto files = pkzipbench::planDataSet(probe);
    pkzipbench::writeDataSet(m_work, probe, files);
    fs::remove(work("arc/probe.zip"));
    timed(peerCommand({"zip", "-q", "arc/probe.zip", files[0].relative}));

    auto count = [&](const std::string& what, std::vector<std::string> args, bool nosync) {
        Command command = toolCommand(std::move(args), nosync);
        const std::string counts = work("out/strace.txt");
        command.argv.insert(command.argv.begin(),
                            {"strace", "-f", "-c", "-o", counts, "-e",
                             "trace=fsync,fdatasync,sync_file_range,syncfs,sync,msync"});
        timed(command);
        std::string summary;
        for (const auto& line : splitLines(readText(counts))) {
            std::istringstream fields(line);
            std::vector<std::string> words;
            std::string word;
            while (fields >> word) {
                words.push_back(word);
            }
            if (words.size() >= 5 && words.back() != "total" &&
                std::isdigit(static_cast<unsigned char>(words[0][0]))) {
                summary += (summary.empty() ? "" : ", ") + words[3] + " " + words.back();
            }
        }
        m_notes.emplace_back("sync calls, one " + what + (nosync ? ", fsync off" : ""),
                             summary.empty() ? "none" : summary);
    };
    for (bool nosync : {false, true}) {
        writeList("job/temp.lst", {windowsPath(files[1].relative)});
        count("append run",
              {"-add", "-attr", windowsPath("arc/probe.zip"), "-include=@" + windowsPath("job/temp.lst"),
               "-path=root"},
              nosync);
        writeList("job/temp.lst", {files[1].relative});
        count("delete run", {"-del", windowsPath("arc/probe.zip"), "@" + windowsPath("job/temp.lst")},
              nosync);
    }
    fs::remove(work("arc/probe.zip"));
}

std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

void Bench::report() const {
    // Targets are judged on wall-clock time; the processor-time ratio beside it shows how much of
    // a result is the machine's other load.
    std::printf("\n%-62s %9s %9s %7s %8s  %-8s %9s %9s %7s\n", "benchmark", "ours (s)", "peer (s)", "ratio",
                "target", "result", "ours cpu", "peer cpu", "ratio");
    for (const auto& row : m_rows) {
        if (!row.failure.empty()) {
            std::printf("%-62s %s\n", row.name.c_str(), ("FAILED: " + row.failure).c_str());
            continue;
        }
        const double ratio = row.peer.wall > 0 ? row.ours.wall / row.peer.wall : 0;
        const double cpuRatio = row.peer.cpu > 0 ? row.ours.cpu / row.peer.cpu : 0;
        char target[16] = "-";
        if (row.limit > 0) {
            std::snprintf(target, sizeof target, "<= %.1fx", row.limit);
        }
        const char* result = row.limit > 0 ? (ratio <= row.limit ? "met" : "NOT MET") : "(info)";
        std::printf("%-62s %9s %9s %6.2fx %8s  %-8s %9s %9s %6.2fx\n", row.name.c_str(),
                    seconds(row.ours.wall).c_str(), seconds(row.peer.wall).c_str(), ratio, target, result,
                    seconds(row.ours.cpu).c_str(), seconds(row.peer.cpu).c_str(), cpuRatio);
    }
    if (!m_syncRows.empty()) {
        std::printf("\n%-62s %9s %9s %9s %7s\n", "cost of the fsync calls (ours, wall clock)", "with (s)",
                    "without", "cost (s)", "share");
        for (const auto& row : m_syncRows) {
            const double cost = row.withSync.wall - row.withoutSync.wall;
            std::printf("%-62s %9s %9s %9s %6.1f%%\n", row.name.c_str(), seconds(row.withSync.wall).c_str(),
                        seconds(row.withoutSync.wall).c_str(), seconds(cost).c_str(),
                        row.withSync.wall > 0 ? 100.0 * cost / row.withSync.wall : 0.0);
        }
    }
    std::printf("\n");
    for (const auto& [what, value] : m_notes) {
        std::printf("%-44s %s\n", what.c_str(), value.c_str());
    }
}

int Bench::run() {
    if (access(tool().c_str(), X_OK) != 0) {
        std::cerr << "pkzip-bench: no PKZIP25.EXE in " << m_opt.binDir << std::endl;
        return 2;
    }
    if (m_opt.workDir.empty()) {
        std::string pattern = fs::temp_directory_path().string() + "/pkzip-bench-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) {
            std::cerr << "pkzip-bench: cannot create a work folder" << std::endl;
            return 2;
        }
        m_work = pattern;
    } else {
        m_work = fs::absolute(m_opt.workDir).lexically_normal().string();
        if (fs::exists(m_work) && !fs::is_empty(m_work)) {
            std::cerr << "pkzip-bench: the work folder " << m_work << " is not empty" << std::endl;
            return 2;
        }
    }
    for (const char* folder : {"arc", "job", "out", ".config"}) {
        fs::create_directories(work(folder));
    }
    m_errorLog = work("out/stderr.log");
    std::cerr << "work folder: " << m_work << (m_opt.quick ? " (quick sizes)" : " (full sizes)") << std::endl;

    // One untimed start of each program first, so that no timed run pays for loading it.
    for (const Command& warmUp : {toolCommand({windowsPath("arc/missing.zip")}), peerCommand({"zip", "-v"}),
                                  peerCommand({"unzip", "-v"})}) {
        (void)runCommand(warmUp, m_errorLog);
    }

    const bool quick = m_opt.quick;
    // Mean sizes: small files about 7,500 bytes (20,000 of them make 150 MB), list members tiny.
    m_shapes["list"] = {"list", quick ? 5000u : 100000u, 1000, 64, 1024, 11};
    m_shapes["small"] = {"small", quick ? 1500u : 20000u, 500, 500, 14500, 22};
    m_shapes["large"] = {"large", quick ? 20u : 200u, 50, 2 * 1024 * 1024, 2 * 1024 * 1024, 33};

    auto wanted = [&](int number) { return m_opt.only.empty() || m_opt.only.count(number) > 0; };
    auto attempt = [&](const std::string& name, auto&& body) {
        try {
            body();
        } catch (const std::exception& error) {
            std::cerr << "   failed: " << error.what() << std::endl;
            m_rows.push_back({name, {}, {}, 0, error.what()});
        }
    };
    if (wanted(1)) {
        attempt("(1) listing", [&] { benchListing(); });
    }
    if (wanted(2)) {
        attempt("(2) add small files", [&] { benchAdd(2, "small", 2.5); });
    }
    if (wanted(3)) {
        attempt("(3) add 2 MB files", [&] { benchAdd(3, "large", 1.2); });
    }
    if (wanted(4)) {
        attempt("(4) extract", [&] { benchExtract(); });
    }
    if (wanted(5)) {
        attempt("(5) delete", [&] { benchDelete(); });
    }
    attempt("sync calls", [&] { countSyncCalls(); });
    report();
    if (!m_opt.keep) {
        fs::remove_all(m_work);
    }
    return std::any_of(m_rows.begin(), m_rows.end(), [](const Row& row) { return !row.failure.empty(); }) ? 1
                                                                                                          : 0;
}

void usage() {
    std::cerr
        << "usage: pkzip-bench --bin <program folder> [--work <empty folder>] [--quick] [--only 1,2,...]\n"
           "                   [--no-fsync-cost] [--keep]\n";
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) {
                usage();
                std::exit(2);
            }
            return argv[++i];
        };
        if (arg == "--bin") {
            options.binDir = value();
        } else if (arg == "--work") {
            options.workDir = value();
        } else if (arg == "--quick") {
            options.quick = true;
        } else if (arg == "--keep") {
            options.keep = true;
        } else if (arg == "--no-fsync-cost") {
            options.fsyncCost = false;
        } else if (arg == "--only") {
            std::istringstream list(value());
            std::string number;
            while (std::getline(list, number, ',')) {
                options.only.insert(std::atoi(number.c_str()));
            }
        } else {
            usage();
            return 2;
        }
    }
    if (options.binDir.empty()) {
        usage();
        return 2;
    }
    options.binDir = fs::absolute(options.binDir).lexically_normal().string();
    try {
        return Bench(std::move(options)).run();
    } catch (const std::exception& error) {
        std::cerr << "pkzip-bench: " << error.what() << std::endl;
        return 2;
    }
}
