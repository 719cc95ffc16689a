// End-to-end benchmarks of the archive engine through the job protocol, each against a peer tool
// in the same run:
//   1. ListArchive of a 100,000-member archive            vs  unzip -l
//   2. RunArchiveOperation adding 20,000 small files      vs  one zip -r -q run
//   3. RunArchiveOperation adding 200 files of 2 MB       vs  one zip -r -q run
// Usage: engine_bench [--quick]   (--quick: a tenth of the files, for a check that it works)

#include "archiveengine.h"
#include "datagen.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

class BenchWindow : public archive::ArchiveWindow {
public:
    archive::MessageAnswer showMessage(const std::string& text, const std::string& caption,
                                       archive::MessageIcon icon, archive::MessageButtons) override {
        if (icon != archive::MessageIcon::Information) {
            std::fprintf(stderr, "unexpected message: %s: %s\n", caption.c_str(), text.c_str());
            std::exit(1);
        }
        return archive::MessageAnswer::Ok;
    }
    size_t askQuestion(const std::string& text, const std::string& caption,
                       const std::vector<std::string>&) override {
        std::fprintf(stderr, "unexpected question: %s: %s\n", caption.c_str(), text.c_str());
        std::exit(1);
    }
    void setStatusText(const std::string&) override {}
    std::string statusText() const override { return {}; }
    void beginWaitCursor() override {}
    void endWaitCursor() override {}
    bool processOnePendingMessage() override { return false; }
    void setMainWindowEnabled(bool) override {}
    void focusMainWindow() override {}
    void repaintMainFrame() override {}
    void rebuildArchiveViews() override {}
    std::unique_ptr<archive::ProgressDialog> createProgressDialog(const std::string&) override {
        return std::make_unique<Progress>();
    }
    std::optional<std::string> chooseArchiveFile(const archive::FileDialogRequest&) override {
        return std::nullopt;
    }
    archive::JobRequest processEventsDuringJob() override { return archive::JobRequest::None; }
    void closeMainWindowLater() override {}

private:
    class Progress : public archive::ProgressDialog {
    public:
        void setPosition(int) override {}
        void addNowProcessing(const archive::ProgressRow&) override {}
        void clearNowProcessing() override {}
        void addCompleted(const archive::ProgressRow&) override {}
        void scrollCompletedToEnd() override {}
        void setCountTexts(const std::string&, const std::string&) override {}
        bool checkCancelled() override { return false; }
        bool cancelRequested() const override { return false; }
        void requestCancel() override {}
        void setRateText(const std::string&) override {}
    };
};

double seconds(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void shell(const std::string& command) {
    const int status = std::system(command.c_str());
    if (status != 0) {
        std::fprintf(stderr, "failed (%d): %s\n", status, command.c_str());
        std::exit(1);
    }
}

long peakKilobytes(int who) {
    rusage usage{};
    getrusage(who, &usage);
    return usage.ru_maxrss;
}

struct Row {
    std::string name;
    double ours;
    double peer;
    double target;
};

} // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::string(argv[1]) == "--quick";
    const std::uint64_t scale = quick ? 10 : 1;
    const fs::path work = fs::temp_directory_path() / ("pellix-engine-bench-" + std::to_string(getpid()));
    const fs::path home = work / "home";
    fs::create_directories(home / "prog");
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (work / "config").c_str(), 1);
    fs::create_symlink(fs::path(PELLIX_PROGRAM_DIR) / "PKZIP25.EXE", home / "prog" / "PKZIP25.EXE");
    const archive::JobFiles files =
        archive::JobFiles::inProgramDir("C:\\prog\\", std::string(PELLIX_PROGRAM_DIR) + "/pellix-batch");
    BenchWindow window;
    std::string lastFolder;
    std::int32_t includePathInfo = 1;
    archive::RecentFileList recent;
    archive::ArchiveEngine engine(files, window, lastFolder, includePathInfo, recent);
    std::vector<Row> rows;

    // 1. Listing: members of 0 to 64 bytes in folders of 50.
    {
        pkzipbench::DataSetShape shape{"list", 100'000 / scale, 50, 0, 64, 7};
        const auto plan = pkzipbench::planDataSet(shape);
        pkzipbench::writeDataSet(home.string(), shape, plan);
        shell("cd '" + home.string() + "' && zip -q -r list.zip list");
        engine.state().archivePath = "C:\\list.zip";
        double ours = 1e9;
        double peer = 1e9;
        for (int i = 0; i < 3; ++i) {
            ours = std::min(ours, seconds([&] { engine.ListArchive(); }));
            peer = std::min(
                peer, seconds([&] { shell("unzip -l '" + (home / "list.zip").string() + "' >/dev/null"); }));
        }
        if (engine.state().entries.size() != plan.size()) {
            std::fprintf(stderr, "listed %zu members of %zu\n", engine.state().entries.size(), plan.size());
            return 1;
        }
        rows.push_back(
            {"ListArchive, " + std::to_string(plan.size()) + " members vs unzip -l", ours, peer, 2.0});
        std::printf("folders listed: %zu\n", engine.state().folders.size());
    }

    // 2 and 3. Adding: every file of a data set, as the Zip command collects them, into a new
    // archive with path information, against one zip -r -q of the same folder.
    const pkzipbench::DataSetShape adds[] = {
        {"small", 20'000 / scale, 1000, 1'000, 14'000, 11},
        {"large", 200 / scale, 100, 2'000'000, 2'000'000, 13},
    };
    const double targets[] = {3.0, 1.3};
    for (int i = 0; i < 2; ++i) {
        const auto& shape = adds[i];
        const auto plan = pkzipbench::planDataSet(shape);
        const std::uint64_t bytes = pkzipbench::writeDataSet(home.string(), shape, plan);
        engine.clearOperationItems();
        for (const pkzipbench::PlannedFile& file : plan) {
            std::string windowsPath = "C:\\" + file.relative;
            for (char& c : windowsPath) {
                c = c == '/' ? '\\' : c;
            }
            engine.AddOperationItem(windowsPath, static_cast<std::int64_t>(file.size), "");
        }
        const std::string oursZip = shape.prefix + "-ours.zip";
        engine.state().archivePath = "C:\\" + oursZip;
        const double ours = seconds([&] { engine.RunArchiveOperation(true); });
        if (engine.state().entries.size() != plan.size()) {
            std::fprintf(stderr, "added %zu members of %zu\n", engine.state().entries.size(), plan.size());
            return 1;
        }
        const double peer = seconds([&] {
            shell("cd '" + home.string() + "' && zip -q -r '" + shape.prefix + "-peer.zip' " + shape.prefix);
        });
        rows.push_back({"RunArchiveOperation add, " + std::to_string(plan.size()) + " files, " +
                            std::to_string(bytes / 1'000'000) + " MB vs zip -r -q",
                        ours, peer, targets[i]});
    }

    std::printf("\n%-62s %9s %9s %7s %7s\n", "benchmark", "ours (s)", "peer (s)", "ratio", "target");
    for (const Row& row : rows) {
        std::printf("%-62s %9.3f %9.3f %7.2f %7.1f %s\n", row.name.c_str(), row.ours, row.peer,
                    row.ours / row.peer, row.target, row.ours / row.peer <= row.target ? "met" : "NOT MET");
    }
    std::printf("\npeak memory: engine %ld KB, largest child (archiver, zip, unzip) %ld KB\n",
                peakKilobytes(RUSAGE_SELF), peakKilobytes(RUSAGE_CHILDREN));
    std::printf("mode: %s\n", quick ? "quick (a tenth of the files)" : "full");
    fs::remove_all(work);
    return 0;
}
