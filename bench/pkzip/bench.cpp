// Benchmarks of PKZIP25.EXE against zip and unzip, each peer run on the same data in the same run.
//
//   pkzip-bench --bin <program folder> [--base <program folder>] [--work <folder>] [--quick]
//               [--reps N] [--only 1,2,...] [--no-fsync-cost] [--keep] [--largest FILES]
//
// The archiver is driven the way the program drives it: Windows paths on drive C: (the work
// folder, given to the tool as its home folder), list files with CR LF line ends, and adds cut
// into runs of at most 500,000 bytes. What the fsync calls cost is measured by running the
// archiver again with PELLIX_PKZIP_NO_FSYNC=1, its switch that leaves them out. --base names a
// second archiver (an earlier build) that is measured the same way in the same run, so that
// before and after come from one harness on one machine state.

#include "datagen.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
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
#include <zlib.h>

extern char** environ;

namespace fs = std::filesystem;
using pkzipbench::DataSetShape;
using pkzipbench::PlannedFile;

namespace {

constexpr std::uint64_t kChunkLimit = 500000;

struct Options {
    std::string binDir;
    std::string baseDir;
    std::string workDir;
    std::set<int> only;
    int reps = 3;
    bool quick = false;
    bool keep = false;
    bool fsyncCost = true;
    std::uint64_t largest = 300000; // files of the largest chunked add (2)
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
    // The peak memory is measured through a small process of this program that starts the command
    // (see runMeasured): a child started straight from the benchmark, large by then, counts the
    // benchmark's own resident memory in its peak.
    bool peak = false;
};

// Wall-clock time, the processor time (user and system) the process itself used, from wait4, and
// its peak resident memory: on a busy machine the processor time moves much less than the wall
// clock.
struct Span {
    double wall = 0;
    double cpu = 0;
    long peakKb = 0;
    Span& operator+=(const Span& other) {
        wall += other.wall;
        cpu += other.cpu;
        peakKb = std::max(peakKb, other.peakKb);
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

std::string g_self; // this program, for Command::peak

// Runs one command without a shell (so the time is the tool's own) and waits for it. Standard
// error is appended to errorLog.
Outcome runCommand(const Command& original, const std::string& errorLog) {
    Command command = original;
    const std::string peakReport = errorLog + ".peak";
    if (original.peak) {
        command.argv.insert(command.argv.begin(), {g_self, "--peak-of", peakReport});
    }
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
    outcome.time.peakKb = usage.ru_maxrss;
    outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (original.peak) {
        std::ifstream report(peakReport);
        if (!(report >> outcome.time.peakKb)) {
            throw BenchError("no peak memory reported for " + original.argv[0]);
        }
        report.close();
        std::remove(peakReport.c_str());
    }
    return outcome;
}

// pkzip-bench --peak-of REPORT COMMAND...: runs the command with this process's standard files
// and environment, writes its peak resident memory (KiB) to REPORT and exits as it did. Started
// fresh, this process is small, so the command's peak is its own.
int runMeasured(int argc, char** argv) {
    pid_t pid = 0;
    if (argc < 4 || posix_spawnp(&pid, argv[3], nullptr, nullptr, argv + 3, environ) != 0) {
        return 127;
    }
    int status = 0;
    struct rusage usage {};
    while (wait4(pid, &status, 0, &usage) < 0) {
        if (errno != EINTR) {
            return 127;
        }
    }
    std::ofstream(argv[2]) << usage.ru_maxrss << "\n";
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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

std::vector<std::uint64_t> sizesOf(const std::vector<PlannedFile>& files) {
    std::vector<std::uint64_t> sizes;
    for (const auto& file : files) {
        sizes.push_back(file.size);
    }
    return sizes;
}

double medianOf(std::vector<double> values) {
    if (values.empty()) {
        return 0;
    }
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

// The median of the wall times and, separately, of the processor times; the largest peak.
Span median(const std::vector<Span>& spans) {
    std::vector<double> walls;
    std::vector<double> cpus;
    Span result;
    for (const auto& span : spans) {
        walls.push_back(span.wall);
        cpus.push_back(span.cpu);
        result.peakKb = std::max(result.peakKb, span.peakKb);
    }
    result.wall = medianOf(walls);
    result.cpu = medianOf(cpus);
    return result;
}

// A straight line through points, by least squares.
struct Line {
    double intercept = 0;
    double slope = 0;
};

Line fitLine(const std::vector<std::pair<double, double>>& points) {
    double sx = 0;
    double sy = 0;
    for (const auto& [x, y] : points) {
        sx += x;
        sy += y;
    }
    const double n = static_cast<double>(points.size());
    const double mx = sx / n;
    const double my = sy / n;
    double sxy = 0;
    double sxx = 0;
    for (const auto& [x, y] : points) {
        sxy += (x - mx) * (y - my);
        sxx += (x - mx) * (x - mx);
    }
    Line line;
    line.slope = sxx > 0 ? sxy / sxx : 0;
    line.intercept = my - line.slope * mx;
    return line;
}

std::string seconds(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    return text;
}

std::string fixed(double value, int decimals) {
    char text[32];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

// One line of the results: our median beside the peer's, the ratio of each repetition's pair
// summed up as its median and its minimum, and the earlier build's figure when one was measured.
struct Row {
    std::string name;
    Span ours;
    Span peer;
    std::optional<Span> before;
    double ratioMedian = 0;
    double ratioMin = 0;
    double limit = 0; // highest ratio that meets the target; 0 for figures shown for information
    std::string failure;
};

struct SyncRow {
    std::string name;
    Span withSync;
    Span withoutSync;
};

// One run of the program's chunked add: its time and the members the archive held before it.
struct AddRun {
    Span time;
    std::uint64_t membersBefore = 0;
};

class Bench {
public:
    explicit Bench(Options options) : m_opt(std::move(options)) {}

    int run();

private:
    std::string work(const std::string& relative) const { return m_work + "/" + relative; }
    bool hasBase() const { return !m_opt.baseDir.empty(); }

    // bin: the folder of the archiver to run (ours or the earlier build).
    Command toolCommand(const std::string& bin, std::vector<std::string> args, bool nosync = false) const {
        Command command;
        command.argv.push_back(bin + "/PKZIP25.EXE");
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

    // The program's runs, then its compaction (timed into compaction when given; an earlier build
    // without it is not asked).
    std::vector<AddRun> addInRuns(const std::string& bin, const std::vector<PlannedFile>& files,
                                  const std::string& archive, bool nosync, Span* compaction = nullptr);
    static Span total(const std::vector<AddRun>& runs) {
        Span sum;
        for (const auto& run : runs) {
            sum += run.time;
        }
        return sum;
    }
    void addRow(Row row, const std::vector<Span>& ours, const std::vector<Span>& peer);

    void benchStart();
    void benchSweep();
    void benchAddOnce(int number, const std::string& setName, double limit);
    void benchListing();
    void benchExtract();
    void benchDelete();
    void countSyncCalls();
    void writeListingArchive(const std::string& path, std::uint64_t members) const;
    void report() const;

    Options m_opt;
    std::string m_work;
    std::string m_errorLog;
    std::map<std::string, DataSetShape> m_shapes;
    std::map<std::string, std::vector<PlannedFile>> m_sets;
    std::vector<Row> m_rows;
    std::vector<SyncRow> m_syncRows;
    std::vector<std::string> m_details;
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
    const double took = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::cerr << "   generated " << name << ": " << files.size() << " files, " << bytes << " bytes in "
              << took << " s" << std::endl;
    m_notes.emplace_back("data set " + name,
                         std::to_string(files.size()) + " files, " + std::to_string(bytes) + " bytes");
    return m_sets.emplace(name, std::move(files)).first->second;
}

std::vector<AddRun> Bench::addInRuns(const std::string& bin, const std::vector<PlannedFile>& files,
                                     const std::string& archive, bool nosync, Span* compaction) {
    fs::remove(work(archive));
    const auto starts = chunkStarts(sizesOf(files));
    std::vector<AddRun> runs;
    for (std::size_t c = 0; c + 1 < starts.size(); ++c) {
        std::vector<std::string> lines;
        for (std::size_t i = starts[c]; i < starts[c + 1]; ++i) {
            lines.push_back(windowsPath(files[i].relative));
        }
        writeList("job/temp.lst", lines);
        const Span time = timed(toolCommand(
            bin,
            {"-add", "-attr", windowsPath(archive), "-include=@" + windowsPath("job/temp.lst"), "-path=root"},
            nosync));
        runs.push_back({time, starts[c]});
    }
    if (compaction != nullptr) {
        *compaction = timed(toolCommand(bin, {"-compact", windowsPath(archive)}, nosync));
    }
    return runs;
}

// A row from the repetitions' pairs: each ours/peer ratio on wall-clock time, summed up.
void Bench::addRow(Row row, const std::vector<Span>& ours, const std::vector<Span>& peer) {
    std::vector<double> ratios;
    for (std::size_t i = 0; i < ours.size() && i < peer.size(); ++i) {
        if (peer[i].wall > 0) {
            ratios.push_back(ours[i].wall / peer[i].wall);
        }
    }
    row.ours = median(ours);
    row.peer = median(peer);
    row.ratioMedian = medianOf(ratios);
    row.ratioMin = ratios.empty() ? 0 : *std::min_element(ratios.begin(), ratios.end());
    m_rows.push_back(std::move(row));
}

// (1) What starting the tool costs: a run that only reports a bad option, against zip -h.
void Bench::benchStart() {
    const int runs = m_opt.quick ? 50 : 300;
    section("(1) start: " + std::to_string(runs) + " runs reporting a bad option, against zip -h");
    std::vector<Span> ours;
    std::vector<Span> before;
    std::vector<Span> peer;
    for (int i = 0; i < runs; ++i) {
        // Only the exit status differs: ours reports the option as bad, zip prints its help.
        ours.push_back(runCommand(toolCommand(m_opt.binDir, {"-h"}), "/dev/null").time);
        peer.push_back(timed(peerCommand({"zip", "-h"})));
        if (hasBase()) {
            before.push_back(runCommand(toolCommand(m_opt.baseDir, {"-h"}), "/dev/null").time);
        }
    }
    Row row;
    row.name = "(1) start: a run that reports a bad option vs zip -h";
    if (hasBase()) {
        row.before = median(before);
    }
    addRow(row, ours, peer);
    const Span o = median(ours);
    const Span p = median(peer);
    m_details.push_back("(1) start cost, median of " + std::to_string(runs) + " runs: ours " +
                        fixed(o.cpu * 1000, 2) + " ms cpu (" + fixed(o.wall * 1000, 2) +
                        " ms wall), zip -h " + fixed(p.cpu * 1000, 2) + " ms cpu (" +
                        fixed(p.wall * 1000, 2) + " ms wall)" +
                        (hasBase() ? ", before " + fixed(median(before).cpu * 1000, 2) + " ms cpu" : "") +
                        "; target: ours at most 4 ms cpu: " + (o.cpu <= 0.004 ? "met" : "NOT MET"));
}

// (2) The program's chunked add of many small files, at three sizes, against one zip -r of the
// same folder, interleaved; the per-run cost against the members already present.
void Bench::benchSweep() {
    const std::vector<std::string> sets = {"s1", "s2", "s3"};
    std::map<std::string, double> oursTotals;
    std::map<std::string, double> beforeTotals;
    std::map<std::string, std::size_t> counts;
    std::vector<AddRun> largestRuns;
    std::vector<AddRun> largestBefore;
    std::vector<AddRun> middleRuns;
    std::vector<AddRun> largestNosync;
    std::map<std::string, double> peerTotals;
    for (const std::string& name : sets) {
        const auto& files = dataSet(name);
        const std::size_t runCount = chunkStarts(sizesOf(files)).size() - 1;
        counts[name] = files.size();
        section("(2) chunked add of " + std::to_string(files.size()) + " small files in " +
                std::to_string(runCount) + " runs");
        std::vector<Span> ours;
        std::vector<Span> peer;
        std::vector<Span> compactions;
        std::optional<Span> before;
        const std::string zipped = "arc/zipr-" + name + ".zip";
        for (int rep = 0; rep < m_opt.reps; ++rep) {
            settle();
            Span compaction;
            std::vector<AddRun> runs = addInRuns(m_opt.binDir, files, "arc/ours.zip", false, &compaction);
            Span whole = total(runs);
            whole += compaction;
            ours.push_back(whole);
            compactions.push_back(compaction);
            expectIntact(work("arc/ours.zip"), files.size());
            if (name == sets.back() && rep == 0) {
                largestRuns = runs;
            }
            if (name == sets[1] && rep == 0) {
                middleRuns = runs;
            }
            fs::remove(work(zipped));
            settle();
            peer.push_back(timed(peerCommand({"zip", "-r", "-q", zipped, name})));
            expectIntact(work(zipped), files.size());
            if (hasBase() && rep == 0) {
                settle();
                std::vector<AddRun> baseRuns = addInRuns(m_opt.baseDir, files, "arc/before.zip", false);
                before = total(baseRuns);
                expectIntact(work("arc/before.zip"), files.size());
                if (name == sets.back()) {
                    largestBefore = baseRuns;
                }
                fs::remove(work("arc/before.zip"));
            }
        }
        const auto oursBytes = static_cast<double>(fs::file_size(work("arc/ours.zip")));
        const auto zipBytes = static_cast<double>(fs::file_size(work(zipped)));
        m_notes.emplace_back("(2) " + name + " archive bytes: ours / zip -r",
                             std::to_string(fs::file_size(work("arc/ours.zip"))) + " / " +
                                 std::to_string(fs::file_size(work(zipped))));
        m_details.push_back(
            "(2) " + std::to_string(files.size()) + " files: the final archive is " +
            fixed((oursBytes / zipBytes - 1) * 100, 3) + "% larger than zip -r's; the compaction took " +
            fixed(median(compactions).wall * 1000, 1) + " ms (median); target: at most 0.1% larger: " +
            (oursBytes <= zipBytes * 1.001 ? "met" : "NOT MET"));
        if (m_opt.fsyncCost && name == sets.back()) {
            settle();
            largestNosync = addInRuns(m_opt.binDir, files, "arc/nosync.zip", true);
            expectIntact(work("arc/nosync.zip"), files.size());
            m_syncRows.push_back({"(2) chunked add of " + std::to_string(files.size()) + " files",
                                  median(ours), total(largestNosync)});
            fs::remove(work("arc/nosync.zip"));
        }
        fs::remove(work("arc/ours.zip"));
        Row row;
        row.name = "(2) add " + std::to_string(files.size()) + " files, " + std::to_string(runCount) +
                   " runs vs one zip -r";
        row.before = before;
        row.limit = name == sets[0] ? 1.0 : name == sets[1] ? 1.1 : 1.3;
        addRow(row, ours, peer);
        oursTotals[name] = median(ours).wall;
        peerTotals[name] = median(peer).wall;
        if (before) {
            beforeTotals[name] = before->wall;
        }
    }
    // How the total time grows with the file count: t ~ n^k between neighbouring sizes.
    auto exponent = [&](const std::map<std::string, double>& totals, const std::string& a,
                        const std::string& b) {
        return std::log(totals.at(b) / totals.at(a)) /
               std::log(static_cast<double>(counts.at(b)) / static_cast<double>(counts.at(a)));
    };
    for (std::size_t i = 0; i + 1 < sets.size(); ++i) {
        std::string line = "(2) growth exponent of the total time, " + std::to_string(counts[sets[i]]) +
                           " to " + std::to_string(counts[sets[i + 1]]) + " files: ours " +
                           fixed(exponent(oursTotals, sets[i], sets[i + 1]), 2);
        if (hasBase()) {
            line += ", before " + fixed(exponent(beforeTotals, sets[i], sets[i + 1]), 2);
        }
        m_details.push_back(line + ", zip -r " + fixed(exponent(peerTotals, sets[i], sets[i + 1]), 2) +
                            " (1.00 is linear)");
    }
    m_details.push_back("(2) growth exponent of the total time, " + std::to_string(counts[sets.front()]) +
                        " to " + std::to_string(counts[sets.back()]) + " files: ours " +
                        fixed(exponent(oursTotals, sets.front(), sets.back()), 3) + ", zip -r " +
                        fixed(exponent(peerTotals, sets.front(), sets.back()), 3) +
                        "; target: ours at most 1.05: " +
                        (exponent(oursTotals, sets.front(), sets.back()) <= 1.05 ? "met" : "NOT MET"));
    // The cost of one run against the members already present, by least squares through the
    // medians of twenty groups of consecutive runs (a run slowed by other work on the machine
    // moves a median little).
    auto fit = [&](const std::vector<AddRun>& runs, const std::string& who) {
        const std::size_t groups = std::min<std::size_t>(20, runs.size());
        std::vector<std::pair<double, double>> wall;
        std::vector<std::pair<double, double>> cpu;
        for (std::size_t g = 0; g < groups; ++g) {
            const std::size_t from = runs.size() * g / groups;
            const std::size_t to = runs.size() * (g + 1) / groups;
            std::vector<double> walls;
            std::vector<double> cpus;
            double members = 0;
            for (std::size_t r = from; r < to; ++r) {
                walls.push_back(runs[r].time.wall * 1000);
                cpus.push_back(runs[r].time.cpu * 1000);
                members += static_cast<double>(runs[r].membersBefore);
            }
            members /= static_cast<double>(to - from);
            wall.emplace_back(members / 10000, medianOf(walls));
            cpu.emplace_back(members / 10000, medianOf(cpus));
        }
        const Line w = fitLine(wall);
        const Line c = fitLine(cpu);
        if (who == "ours") {
            // A million files by the fit: as many runs again per file, each costing the line at
            // the members present then; against zip -r grown in proportion from the largest size.
            const double files = static_cast<double>(counts.at(sets.back()));
            const double runsPerFile = static_cast<double>(runs.size()) / files;
            const double million = 1e6;
            const double predicted =
                runsPerFile * million * (w.intercept + w.slope * million / 2 / 10000) / 1000;
            const double peer = peerTotals.at(sets.back()) * million / files;
            m_details.push_back("(2) 1,000,000 files by the fit: ours about " + fixed(predicted, 0) +
                                " s, zip -r grown in proportion about " + fixed(peer, 0) +
                                " s: " + fixed(predicted / peer, 2) +
                                "x; target: at most 1.3x: " + (predicted / peer <= 1.3 ? "met" : "NOT MET"));
        }
        m_details.push_back("(2) one run of " + who + " against the members already present (" +
                            std::to_string(runs.size()) + " runs): wall " + fixed(w.intercept, 1) + " ms + " +
                            fixed(w.slope, 2) + " ms per 10,000 members; cpu " + fixed(c.intercept, 1) +
                            " ms + " + fixed(c.slope, 2) + " ms per 10,000 members" +
                            (who == "ours" ? std::string("; target: at most 0.3 ms per 10,000: ") +
                                                 (w.slope <= 0.3 ? "met" : "NOT MET")
                                           : ""));
    };
    fit(largestRuns, "ours");
    if (!largestBefore.empty()) {
        fit(largestBefore, "before");
    }
    if (!largestNosync.empty()) {
        fit(largestNosync, "ours, fsync off");
    }
    if (!middleRuns.empty()) {
        fit(middleRuns, "ours, " + std::to_string(counts[sets[1]]) + " files");
    }
}

// (3) and (4): adding a set of larger files in the program's runs, against one zip -r.
void Bench::benchAddOnce(int number, const std::string& setName, double limit) {
    const auto& files = dataSet(setName);
    const std::size_t runCount = chunkStarts(sizesOf(files)).size() - 1;
    const std::string tag = "(" + std::to_string(number) + ") ";
    section(tag + "adding " + std::to_string(files.size()) + " files in " + std::to_string(runCount) +
            " runs");
    const std::string zipped = "arc/zipr-" + setName + ".zip";
    std::vector<Span> ours;
    std::vector<Span> peer;
    std::optional<Span> before;
    for (int rep = 0; rep < m_opt.reps; ++rep) {
        settle();
        ours.push_back(total(addInRuns(m_opt.binDir, files, "arc/ours.zip", false)));
        expectIntact(work("arc/ours.zip"), files.size());
        fs::remove(work(zipped));
        settle();
        peer.push_back(timed(peerCommand({"zip", "-r", "-q", zipped, setName})));
        expectIntact(work(zipped), files.size());
        if (hasBase() && rep == 0) {
            settle();
            before = total(addInRuns(m_opt.baseDir, files, "arc/before.zip", false));
            expectIntact(work("arc/before.zip"), files.size());
            fs::remove(work("arc/before.zip"));
        }
    }
    if (m_opt.fsyncCost) {
        settle();
        const Span withoutSync = total(addInRuns(m_opt.binDir, files, "arc/nosync.zip", true));
        expectIntact(work("arc/nosync.zip"), files.size());
        m_syncRows.push_back(
            {tag + "add " + std::to_string(files.size()) + " files", median(ours), withoutSync});
        fs::remove(work("arc/nosync.zip"));
    }
    m_notes.emplace_back(tag + "archive bytes: ours / zip -r",
                         std::to_string(fs::file_size(work("arc/ours.zip"))) + " / " +
                             std::to_string(fs::file_size(work(zipped))));
    fs::remove(work("arc/ours.zip"));
    fs::remove(work(zipped));
    Row row;
    row.name = tag + "add " + std::to_string(files.size()) + " files, " + std::to_string(runCount) +
               " runs vs one zip -r";
    row.before = before;
    row.limit = limit;
    addRow(row, ours, peer);
}

// A stored archive of many tiny members in folders of a thousand, with the extended timestamp
// field, as zip writes it (ZIP64 end records past 65,535 members): made directly, because a
// million files on disk would take longer to make than everything else here.
void Bench::writeListingArchive(const std::string& path, std::uint64_t members) const {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string central;
    std::uint64_t offset = 0;
    auto put16 = [](std::string& s, unsigned v) {
        s += static_cast<char>(v & 0xff);
        s += static_cast<char>((v >> 8) & 0xff);
    };
    auto put32 = [&](std::string& s, std::uint32_t v) {
        put16(s, v & 0xffff);
        put16(s, v >> 16);
    };
    auto put64 = [&](std::string& s, std::uint64_t v) {
        put32(s, static_cast<std::uint32_t>(v));
        put32(s, static_cast<std::uint32_t>(v >> 32));
    };
    pkzipbench::Rng rng(77);
    const std::uint32_t when = 1700000000;
    std::string local;
    for (std::uint64_t i = 0; i < members; ++i) {
        char name[64];
        std::snprintf(name, sizeof name, "list/d%04llu/f%07llu.txt",
                      static_cast<unsigned long long>(i / 1000), static_cast<unsigned long long>(i));
        std::string data(static_cast<std::size_t>(rng.between(0, 64)), 'a');
        for (char& c : data) {
            c = static_cast<char>('a' + rng.between(0, 25));
        }
        const auto crc = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
        std::string extra;
        put16(extra, 0x5455);
        put16(extra, 5);
        extra += '\1';
        put32(extra, when + static_cast<std::uint32_t>(i % 86400));
        const std::string nameText = name;
        local.clear();
        put32(local, 0x04034b50);
        put16(local, 10);
        put16(local, 0);
        put16(local, 0);
        put16(local, 0x6000);
        put16(local, 0x5761);
        put32(local, crc);
        put32(local, static_cast<std::uint32_t>(data.size()));
        put32(local, static_cast<std::uint32_t>(data.size()));
        put16(local, static_cast<unsigned>(nameText.size()));
        put16(local, static_cast<unsigned>(extra.size()));
        local += nameText + extra + data;
        out.write(local.data(), static_cast<std::streamsize>(local.size()));
        put32(central, 0x02014b50);
        put16(central, (3 << 8) | 30);
        put16(central, 10);
        put16(central, 0);
        put16(central, 0);
        put16(central, 0x6000);
        put16(central, 0x5761);
        put32(central, crc);
        put32(central, static_cast<std::uint32_t>(data.size()));
        put32(central, static_cast<std::uint32_t>(data.size()));
        put16(central, static_cast<unsigned>(nameText.size()));
        put16(central, static_cast<unsigned>(extra.size()));
        put16(central, 0);
        put16(central, 0);
        put16(central, 0);
        put32(central, 0100644u << 16);
        put32(central, static_cast<std::uint32_t>(offset));
        central += nameText + extra;
        offset += local.size();
    }
    std::string end;
    const bool zip64 = members >= 0xffff;
    if (zip64) {
        put32(end, 0x06064b50);
        put64(end, 44);
        put16(end, 45);
        put16(end, 45);
        put32(end, 0);
        put32(end, 0);
        put64(end, members);
        put64(end, members);
        put64(end, central.size());
        put64(end, offset);
        put32(end, 0x07064b50);
        put32(end, 0);
        put64(end, offset + central.size());
        put32(end, 1);
    }
    put32(end, 0x06054b50);
    put16(end, 0);
    put16(end, 0);
    put16(end, zip64 ? 0xffff : static_cast<unsigned>(members));
    put16(end, zip64 ? 0xffff : static_cast<unsigned>(members));
    put32(end, static_cast<std::uint32_t>(central.size()));
    put32(end, static_cast<std::uint32_t>(offset));
    put16(end, 0);
    out.write(central.data(), static_cast<std::streamsize>(central.size()));
    out.write(end.data(), static_cast<std::streamsize>(end.size()));
    if (!out) {
        throw BenchError("cannot write " + path);
    }
}

// (5) Listing a very large archive, as the program does after every change: time and peak memory.
void Bench::benchListing() {
    const std::uint64_t members = m_opt.quick ? 100000 : 1000000;
    section("(5) listing " + std::to_string(members) + " members");
    writeListingArchive(work("arc/list.zip"), members);
    const Outcome check = runCommand(peerCommand({"unzip", "-tqq", "arc/list.zip"}), m_errorLog);
    if (check.status != 0) {
        throw BenchError("unzip -t finds the generated listing archive damaged");
    }
    std::vector<Span> ours;
    std::vector<Span> before;
    std::vector<Span> peer;
    for (int rep = 0; rep < m_opt.reps; ++rep) {
        settle();
        Command mine = toolCommand(m_opt.binDir, {windowsPath("arc/list.zip")});
        mine.stdoutPath = work("out/ours-listing.txt");
        mine.peak = true;
        ours.push_back(timed(mine));
        settle();
        Command theirs = peerCommand({"unzip", "-l", "arc/list.zip"});
        theirs.stdoutPath = work("out/peer-listing.txt");
        theirs.peak = true;
        peer.push_back(timed(theirs));
        if (hasBase() && rep == 0) {
            settle();
            Command earlier = toolCommand(m_opt.baseDir, {windowsPath("arc/list.zip")});
            earlier.stdoutPath = work("out/before-listing.txt");
            earlier.peak = true;
            before.push_back(timed(earlier));
            if (readText(work("out/before-listing.txt")) != readText(work("out/ours-listing.txt"))) {
                throw BenchError("the listings of the two builds differ");
            }
        }
    }
    // The listing must name every member: a tool that prints nothing is not fast, it is wrong.
    std::size_t listed = 0;
    for (const auto& line : splitLines(readText(work("out/ours-listing.txt")))) {
        if (line.find("list/d") != std::string::npos) {
            ++listed;
        }
    }
    if (listed != members) {
        throw BenchError("the listing names " + std::to_string(listed) + " of " + std::to_string(members) +
                         " members");
    }
    Row row;
    row.name = "(5) list " + std::to_string(members) + " members vs unzip -l";
    row.limit = 1.0;
    if (!before.empty()) {
        row.before = median(before);
    }
    addRow(row, ours, peer);
    const Span o = median(ours);
    m_details.push_back(
        "(5) peak memory listing " + std::to_string(members) + " members: ours " +
        std::to_string(o.peakKb / 1024) + " MB" +
        (before.empty() ? "" : ", before " + std::to_string(median(before).peakKb / 1024) + " MB") +
        ", unzip -l " + std::to_string(median(peer).peakKb / 1024) +
        " MB; target: ours at most 64 MB: " + (o.peakKb <= 64 * 1024 ? "met" : "NOT MET"));
    fs::remove(work("arc/list.zip"));
}

// (6) Extracting every member of the archive zip -r made of the middle set of (2), in one run,
// and in the program's runs of 500,000 bytes.
void Bench::benchExtract() {
    const auto& files = dataSet("s2");
    const std::string archive = "arc/zipr-s2.zip";
    if (!fs::exists(work(archive))) {
        timed(peerCommand({"zip", "-r", "-q", archive, "s2"}));
    }
    section("(6) extracting " + std::to_string(files.size()) + " members");
    fs::remove_all(work("x"));
    std::map<std::string, std::uint64_t> sizeOf;
    for (const auto& file : files) {
        sizeOf[file.relative] = file.size;
    }
    const std::vector<std::string> names = memberNames(work(archive));
    // Every extraction gets a folder of its own, and they are all removed at the end: on ext4
    // without a journal, an inode freed in the last seconds is passed over by every allocation
    // that scans its group, so extracting into a tree just removed costs each file a scan of
    // the removed ones (several times the whole run, for ours and unzip alike).
    int folders = 0;
    auto freshFolder = [&](const std::string& kind) {
        const std::string relative = "x/" + kind + "-" + std::to_string(++folders);
        fs::create_directories(work(relative));
        return relative;
    };
    auto expectSameTree = [&](const std::string& relative) {
        const Outcome diff =
            runCommand(peerCommand({"diff", "-r", "-q", "s2", relative + "/s2"}), m_errorLog);
        if (diff.status != 0) {
            throw BenchError(relative + " differs from the files that were zipped");
        }
    };
    writeList("job/temp.lst", names);
    auto extractAll = [&](const std::string& bin, bool nosync, const std::string& into) {
        return toolCommand(bin,
                           {"-dir=root", "-extract", "-overwrite=all", windowsPath(archive),
                            "@" + windowsPath("job/temp.lst"), windowsPath(into)},
                           nosync);
    };
    std::vector<Span> ours;
    std::vector<Span> oursNosync;
    std::vector<Span> peer;
    std::optional<Span> before;
    for (int rep = 0; rep < m_opt.reps; ++rep) {
        std::string into = freshFolder("ours");
        settle();
        ours.push_back(timed(extractAll(m_opt.binDir, false, into)));
        expectSameTree(into);
        into = freshFolder("peer");
        settle();
        peer.push_back(timed(peerCommand({"unzip", "-q", "-o", archive, "-d", into})));
        expectSameTree(into);
        if (hasBase() && rep == 0) {
            into = freshFolder("before");
            settle();
            before = timed(extractAll(m_opt.baseDir, false, into));
            expectSameTree(into);
        }
        if (m_opt.fsyncCost) {
            into = freshFolder("nosync");
            settle();
            oursNosync.push_back(timed(extractAll(m_opt.binDir, true, into)));
            expectSameTree(into);
        }
    }
    const std::string what = "(6) extract " + std::to_string(names.size()) + " members, one run";
    Row row;
    row.name = what + " vs unzip";
    row.limit = 0.8;
    row.before = before;
    addRow(row, ours, peer);
    if (!oursNosync.empty()) {
        m_syncRows.push_back({what, median(ours), median(oursNosync)});
    }

    std::vector<std::uint64_t> sizes;
    for (const auto& name : names) {
        sizes.push_back(sizeOf[name]);
    }
    const auto starts = chunkStarts(sizes);
    const std::string oursInto = freshFolder("ours");
    const std::string peerInto = freshFolder("peer");
    settle();
    Span oursRuns;
    Span peerRuns;
    for (std::size_t c = 0; c + 1 < starts.size(); ++c) {
        const std::vector<std::string> chunk(names.begin() + starts[c], names.begin() + starts[c + 1]);
        writeList("job/temp.lst", chunk);
        oursRuns +=
            timed(toolCommand(m_opt.binDir, {"-dir=root", "-extract", "-overwrite=all", windowsPath(archive),
                                             "@" + windowsPath("job/temp.lst"), windowsPath(oursInto)}));
        std::vector<std::string> args = {"unzip", "-q", "-o", archive};
        args.insert(args.end(), chunk.begin(), chunk.end());
        args.insert(args.end(), {"-d", peerInto});
        peerRuns += timed(peerCommand(args));
    }
    expectSameTree(oursInto);
    expectSameTree(peerInto);
    Row runs;
    runs.name = "(6) extract in " + std::to_string(starts.size() - 1) + " runs vs the same runs of unzip";
    addRow(runs, {oursRuns}, {peerRuns});
    fs::remove_all(work("x"));
}

// (7) Deleting one member from the middle of the archive zip -r made of the largest set of (2):
// each run starts from a fresh copy.
void Bench::benchDelete() {
    const auto& files = dataSet("s3");
    const std::string master = "arc/zipr-s3.zip";
    if (!fs::exists(work(master))) {
        timed(peerCommand({"zip", "-r", "-q", master, "s3"}));
    }
    section("(7) deleting one member of " + std::to_string(files.size()));
    const std::string victim = files[files.size() / 2].relative;
    writeList("job/temp.lst", {victim});
    const std::size_t count = memberNames(work(master)).size();
    auto freshCopy = [&](const std::string& relative) {
        fs::remove(work(relative));
        fs::copy_file(work(master), work(relative));
        settle();
    };
    auto expectDeleted = [&](const std::string& relative) {
        const auto names = memberNames(work(relative));
        if (names.size() != count - 1 || std::find(names.begin(), names.end(), victim) != names.end()) {
            throw BenchError(relative + ": the member was not deleted, or others went with it");
        }
    };
    auto deleteWith = [&](const std::string& bin, bool nosync) {
        return toolCommand(bin, {"-del", windowsPath("arc/del.zip"), "@" + windowsPath("job/temp.lst")},
                           nosync);
    };
    std::vector<Span> ours;
    std::vector<Span> oursNosync;
    std::vector<Span> peer;
    std::optional<Span> before;
    for (int rep = 0; rep < m_opt.reps; ++rep) {
        freshCopy("arc/del.zip");
        ours.push_back(timed(deleteWith(m_opt.binDir, false)));
        expectDeleted("arc/del.zip");
        freshCopy("arc/del.zip");
        peer.push_back(timed(peerCommand({"zip", "-q", "-d", "arc/del.zip", victim})));
        expectDeleted("arc/del.zip");
        if (hasBase() && rep == 0) {
            freshCopy("arc/del.zip");
            before = timed(deleteWith(m_opt.baseDir, false));
            expectDeleted("arc/del.zip");
        }
        if (m_opt.fsyncCost) {
            freshCopy("arc/del.zip");
            oursNosync.push_back(timed(deleteWith(m_opt.binDir, true)));
            expectDeleted("arc/del.zip");
        }
    }
    freshCopy("arc/del.zip");
    timed(deleteWith(m_opt.binDir, false));
    const Outcome test = runCommand(peerCommand({"unzip", "-tq", "arc/del.zip"}), m_errorLog);
    if (test.status != 0) {
        throw BenchError("unzip -t finds the archive damaged after the delete");
    }
    const std::string what = "(7) delete 1 of " + std::to_string(count) + " members (" +
                             std::to_string(fs::file_size(work(master)) / 1000000) + " MB)";
    Row row;
    row.name = what + " vs zip -d";
    row.limit = 1.0;
    row.before = before;
    addRow(row, ours, peer);
    if (!oursNosync.empty()) {
        m_syncRows.push_back({what, median(ours), median(oursNosync)});
    }
    fs::remove(work("arc/del.zip"));
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
        Command command = toolCommand(m_opt.binDir, std::move(args), nosync);
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

void Bench::report() const {
    // Targets are judged on wall-clock time (the median of the repetitions' ratios); the
    // processor-time ratio beside it shows how much of a result is the machine's other load.
    std::printf("\n%-58s %9s %9s %9s %7s %7s %8s  %-8s %9s %9s %7s\n", "benchmark", "ours (s)", "before",
                "peer (s)", "ratio", "min", "target", "result", "ours cpu", "peer cpu", "ratio");
    for (const auto& row : m_rows) {
        if (!row.failure.empty()) {
            std::printf("%-58s %s\n", row.name.c_str(), ("FAILED: " + row.failure).c_str());
            continue;
        }
        const double cpuRatio = row.peer.cpu > 0 ? row.ours.cpu / row.peer.cpu : 0;
        char target[16] = "-";
        if (row.limit > 0) {
            std::snprintf(target, sizeof target, "<= %.1fx", row.limit);
        }
        const char* result = row.limit > 0 ? (row.ratioMedian <= row.limit ? "met" : "NOT MET") : "(info)";
        std::printf("%-58s %9s %9s %9s %6.2fx %6.2fx %8s  %-8s %9s %9s %6.2fx\n", row.name.c_str(),
                    seconds(row.ours.wall).c_str(), row.before ? seconds(row.before->wall).c_str() : "-",
                    seconds(row.peer.wall).c_str(), row.ratioMedian, row.ratioMin, target, result,
                    seconds(row.ours.cpu).c_str(), seconds(row.peer.cpu).c_str(), cpuRatio);
    }
    if (hasBase()) {
        std::printf("\n%-58s %12s %12s %12s\n", "before against peer (one run each)", "before/peer",
                    "ours/peer", "cpu before/peer");
        for (const auto& row : m_rows) {
            if (row.failure.empty() && row.before && row.peer.wall > 0 && row.peer.cpu > 0) {
                std::printf("%-58s %11.2fx %11.2fx %11.2fx\n", row.name.c_str(),
                            row.before->wall / row.peer.wall, row.ratioMedian,
                            row.before->cpu / row.peer.cpu);
            }
        }
    }
    std::printf("\n");
    for (const auto& line : m_details) {
        std::printf("%s\n", line.c_str());
    }
    if (!m_syncRows.empty()) {
        std::printf("\n%-58s %9s %9s %9s %7s\n", "cost of the fsync calls (ours, wall clock)", "with (s)",
                    "without", "cost (s)", "share");
        for (const auto& row : m_syncRows) {
            const double cost = row.withSync.wall - row.withoutSync.wall;
            std::printf("%-58s %9s %9s %9s %6.1f%%\n", row.name.c_str(), seconds(row.withSync.wall).c_str(),
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
    for (const std::string& bin : {m_opt.binDir, m_opt.baseDir}) {
        if (!bin.empty() && access((bin + "/PKZIP25.EXE").c_str(), X_OK) != 0) {
            std::cerr << "pkzip-bench: no PKZIP25.EXE in " << bin << std::endl;
            return 2;
        }
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
    std::vector<Command> warmUps = {toolCommand(m_opt.binDir, {windowsPath("arc/missing.zip")}),
                                    peerCommand({"zip", "-v"}), peerCommand({"unzip", "-v"})};
    if (hasBase()) {
        warmUps.push_back(toolCommand(m_opt.baseDir, {windowsPath("arc/missing.zip")}));
    }
    for (const Command& warmUp : warmUps) {
        (void)runCommand(warmUp, m_errorLog);
    }

    const bool quick = m_opt.quick;
    // Small files of 1 to 16 KB, two of three word-like text and one of three random bytes, a
    // hundred to a folder, at three sizes; files of 64 KB to 1 MB (about 200 MB); files of 1 MiB.
    m_shapes["s1"] = {"s1", quick ? 1000u : 20000u, 100, 1024, 16384, 41, true};
    m_shapes["s2"] = {"s2", quick ? 3000u : 100000u, 100, 1024, 16384, 42, true};
    m_shapes["s3"] = {"s3", quick ? 10000u : m_opt.largest, 100, 1024, 16384, 43, true};
    m_shapes["medium"] = {"medium", quick ? 40u : 368u, 100, 64 * 1024, 1024 * 1024, 44, true};
    m_shapes["mib"] = {"mib", quick ? 8u : 40u, 100, 1024 * 1024, 1024 * 1024, 45, true};

    auto wanted = [&](int number) { return m_opt.only.empty() || m_opt.only.count(number) > 0; };
    auto attempt = [&](const std::string& name, auto&& body) {
        try {
            body();
        } catch (const std::exception& error) {
            std::cerr << "   failed: " << error.what() << std::endl;
            Row row;
            row.name = name;
            row.failure = error.what();
            m_rows.push_back(row);
        }
    };
    if (wanted(1)) {
        attempt("(1) start", [&] { benchStart(); });
    }
    if (wanted(2)) {
        attempt("(2) chunked add of small files", [&] { benchSweep(); });
    }
    if (wanted(3)) {
        attempt("(3) add medium files", [&] { benchAddOnce(3, "medium", 1.2); });
    }
    if (wanted(4)) {
        attempt("(4) add 1 MiB files, one run each", [&] { benchAddOnce(4, "mib", 1.3); });
    }
    if (wanted(5)) {
        attempt("(5) listing", [&] { benchListing(); });
    }
    if (wanted(6)) {
        attempt("(6) extract", [&] { benchExtract(); });
    }
    if (wanted(7)) {
        attempt("(7) delete", [&] { benchDelete(); });
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
        << "usage: pkzip-bench --bin <program folder> [--base <program folder>] [--work <empty folder>]\n"
           "                   [--quick] [--reps N] [--only 1,2,...] [--no-fsync-cost] [--keep]\n"
           "                   [--largest FILES]\n";
}

} // namespace

int main(int argc, char** argv) {
    if (argc > 1 && std::string(argv[1]) == "--peak-of") {
        return runMeasured(argc, argv);
    }
    g_self = fs::canonical("/proc/self/exe").string();
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
        } else if (arg == "--base") {
            options.baseDir = value();
        } else if (arg == "--work") {
            options.workDir = value();
        } else if (arg == "--quick") {
            options.quick = true;
        } else if (arg == "--keep") {
            options.keep = true;
        } else if (arg == "--no-fsync-cost") {
            options.fsyncCost = false;
        } else if (arg == "--largest") {
            options.largest = std::strtoull(value().c_str(), nullptr, 10);
        } else if (arg == "--reps") {
            options.reps = std::max(1, std::atoi(value().c_str()));
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
    if (!options.baseDir.empty()) {
        options.baseDir = fs::absolute(options.baseDir).lexically_normal().string();
    }
    try {
        return Bench(std::move(options)).run();
    } catch (const std::exception& error) {
        std::cerr << "pkzip-bench: " << error.what() << std::endl;
        return 2;
    }
}
