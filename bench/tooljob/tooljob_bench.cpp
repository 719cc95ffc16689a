// Measures what one empty tool job costs (write the script, launch the interpreter hidden, wait
// for it, take the marker) against running the same command straight from a shell, in one run.
// Usage: tooljob_bench [RUNS]

#include "tooljob.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

class NullWindow : public archive::ArchiveWindow {
public:
    archive::MessageAnswer showMessage(const std::string& text, const std::string&, archive::MessageIcon,
                                       archive::MessageButtons) override {
        std::fprintf(stderr, "unexpected message: %s\n", text.c_str());
        std::exit(1);
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
        return nullptr;
    }
    std::optional<std::string> chooseArchiveFile(const archive::FileDialogRequest&) override {
        return std::nullopt;
    }
    archive::JobRequest processEventsDuringJob() override { return archive::JobRequest::None; }
    void closeMainWindowLater() override {}
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void runFromShell(const std::string& command) {
    std::string shell = "/bin/sh";
    std::string flag = "-c";
    std::string text = command;
    char* argv[] = {shell.data(), flag.data(), text.data(), nullptr};
    pid_t child = -1;
    if (posix_spawn(&child, "/bin/sh", nullptr, nullptr, argv, environ) != 0) {
        std::perror("posix_spawn");
        std::exit(1);
    }
    int status = 0;
    waitpid(child, &status, 0);
}

} // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 300;
    const std::string binDir = PELLIX_PROGRAM_DIR;
    // A private home and configuration, so the drive map used is C: = that home, Z: = "/".
    char pattern[] = "/tmp/pellix-bench-XXXXXX";
    const std::string home = mkdtemp(pattern);
    setenv("HOME", home.c_str(), 1);
    setenv("XDG_CONFIG_HOME", (home + "/config").c_str(), 1);

    const archive::JobFiles files =
        archive::JobFiles::inProgramDir("C:\\", binDir + "/" + archive::kInterpreterName);
    NullWindow window;
    archive::ToolJob job(files, window);

    // Warm up both paths once (page cache, dynamic loader).
    job.run("\"Z:\\bin\\true\"");
    runFromShell("\"/bin/true\"");

    auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i) {
        if (!job.run("\"Z:\\bin\\true\"")) {
            return 1;
        }
    }
    const double jobSeconds = secondsSince(start) / runs;

    start = std::chrono::steady_clock::now();
    for (int i = 0; i < runs; ++i) {
        runFromShell("\"/bin/true\"");
    }
    const double shellSeconds = secondsSince(start) / runs;

    std::filesystem::remove_all(home);
    std::printf("runs: %d\n", runs);
    std::printf("tool job (script, launch, wait, marker): %.3f ms\n", jobSeconds * 1000);
    std::printf("same command from /bin/sh -c:           %.3f ms\n", shellSeconds * 1000);
    std::printf("ratio: %.2f\n", jobSeconds / shellSeconds);
    return 0;
}
