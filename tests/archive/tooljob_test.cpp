#include "fakewindow.h"
#include "sandbox.h"
#include "tooljob.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>

using archive::JobFiles;
using archive::ToolJob;
using testsupport::FakeWindow;
using testsupport::Sandbox;

namespace {

const std::string kJobError =
    std::string("Stop|Pellix|") + "The program was unable to create a required Dependency File.";

// Job files in a program directory below the sandbox's drive C:, run by the built interpreter.
JobFiles filesIn(const Sandbox& sandbox, const std::string& folder) {
    std::filesystem::create_directories(sandbox.hostPath(folder));
    return JobFiles::inProgramDir(Sandbox::windowsPath(folder) + "\\",
                                  testsupport::programDir() + "/" + archive::kInterpreterName);
}

} // namespace

TEST(ToolJobTest, ScriptAndListFileBytesAreExact) {
    Sandbox sandbox;
    const JobFiles files = filesIn(sandbox, "Program Files/Pellix");
    FakeWindow window;
    ToolJob job(files, window);
    const std::string listing = "\"C:\\Program Files\\Pellix\\PKZIP25.EXE\" \"C:\\My Zips\\a b.zip\">"
                                "\"C:\\Program Files\\Pellix\\temp.txt\"";
    ASSERT_TRUE(job.writeScript(listing));
    EXPECT_EQ(
        testsupport::readFile(sandbox.hostPath("Program Files/Pellix/temp.bat")),
        listing +
            "\r\ncopy \"C:\\Program Files\\Pellix\\temp.bat\" \"C:\\Program Files\\Pellix\\tempdone.txt\"");
    ASSERT_TRUE(job.writeListFile({"docs/x.txt", "\\top.txt", "C:\\Data\\ü ñ.txt"}));
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("Program Files/Pellix/temp.lst")),
              "docs/x.txt\r\n\\top.txt\r\nC:\\Data\\ü ñ.txt\r\n");
    ASSERT_TRUE(job.writeListFile({}));
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("Program Files/Pellix/temp.lst")), "") << "truncated";
    EXPECT_TRUE(window.boxes().empty());
}

// The last guard: a path or line that would change what the line says is refused, naming it,
// and no file is written.
TEST(ToolJobTest, LinesThatANameWouldBreakAreRefusedBeforeAnythingIsWritten) {
    Sandbox sandbox;
    const JobFiles files = filesIn(sandbox, "Pellix");
    const std::string archiver = "\"" + files.archiver + "\" ";
    const std::string unsafe = "Stop|Unsafe File Name|The name of this file holds a character that cannot be "
                               "handed to the archiver, so nothing was done:\n";
    const struct {
        const char* what;
        std::function<bool(ToolJob&)> step;
        std::string named;
    } cases[] = {
        {"quote in a path", [](ToolJob& job) { return !job.refusesPath("C:\\dl\\r.zip\">\".bashrc"); },
         "C:\\dl\\r.zip\">\".bashrc"},
        {"line feed in a path", [](ToolJob& job) { return !job.refusesPath("C:\\x\nrun \".zip"); },
         "C:\\x\u240Arun \".zip"},
        {"odd quote in a line", [&](ToolJob& job) { return job.writeScript(archiver + "\"C:\\a\"b.zip\""); },
         archiver + "\"C:\\a\"b.zip\""},
        {"line break in a line", [&](ToolJob& job) { return job.writeScript(archiver + "\"C:\\a\r\nb\""); },
         archiver + "\"C:\\a\u240D\u240Ab\""},
        {"line feed in a list line", [](ToolJob& job) { return job.writeListFile({"C:\\one\\n\nkeep.txt"}); },
         "C:\\one\\n\u240Akeep.txt"},
    };
    for (const auto& c : cases) {
        FakeWindow window;
        ToolJob job(files, window);
        EXPECT_FALSE(c.step(job)) << c.what;
        EXPECT_EQ(window.boxes(), std::vector<std::string>{unsafe + c.named}) << c.what;
        EXPECT_FALSE(testsupport::fileExists(sandbox.hostPath("Pellix/temp.bat"))) << c.what;
        EXPECT_FALSE(testsupport::fileExists(sandbox.hostPath("Pellix/temp.lst"))) << c.what;
    }
    // A quote is a plain character on a list line, and carried names need no refusal.
    FakeWindow window;
    ToolJob job(files, window);
    EXPECT_FALSE(job.refusesPath("C:\\a\uF022b\uF00A.zip"));
    EXPECT_TRUE(job.writeListFile({"docs/a \"b\".txt"}));
    EXPECT_TRUE(window.boxes().empty());
}

TEST(ToolJobTest, AJobRunsToItsEndAndItsOutputIsThere) {
    Sandbox sandbox;
    const JobFiles files = filesIn(sandbox, "Pellix Ü");
    FakeWindow window;
    ToolJob job(files, window);
    const std::string done = sandbox.hostPath("done.txt");
    // A marker left by an interrupted run must not end this wait before the job has run.
    testsupport::writeFile(sandbox.hostPath("Pellix Ü/tempdone.txt"), "stale");
    ASSERT_TRUE(job.run("\"Z:\\bin\\sh\" -c \"sleep 0.3; echo finished > '" + done + "'\""))
        << window.calls.size();
    EXPECT_EQ(testsupport::readFile(done), "finished\n");
    EXPECT_FALSE(testsupport::fileExists(sandbox.hostPath("Pellix Ü/tempdone.txt")))
        << "the wait takes the marker";

    ASSERT_TRUE(job.run("\"Z:\\bin\\echo\" one  two>\"" + files.listing + "\""));
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("Pellix Ü/temp.txt")), "one two\n");
    EXPECT_TRUE(window.boxes().empty());

    archive::DeleteJobFiles(files);
    for (const char* name : {"temp.bat", "tempdone.txt", "temp.lst", "temp.txt"}) {
        EXPECT_FALSE(testsupport::fileExists(sandbox.hostPath(std::string("Pellix Ü/") + name))) << name;
    }
    archive::DeleteJobFiles(files); // nothing left: no error, nothing shown
    EXPECT_TRUE(window.boxes().empty());
}

TEST(ToolJobTest, FailuresShowTheJobFileErrorOnceAndNeverHang) {
    Sandbox sandbox;
    FakeWindow window;

    // The interpreter cannot be started: nothing is waited for.
    JobFiles noInterpreter = filesIn(sandbox, "p1");
    noInterpreter.interpreterHost = sandbox.hostPath("p1/missing-interpreter");
    EXPECT_FALSE(ToolJob(noInterpreter, window).run("\"Z:\\bin\\true\""));
    EXPECT_EQ(window.boxes(), std::vector<std::string>{kJobError});

    // The job's last line cannot create the marker: the interpreter ends without it, and the
    // program reports the job instead of waiting for ever.
    window.calls.clear();
    JobFiles noMarker = filesIn(sandbox, "p2");
    noMarker.marker = Sandbox::windowsPath("no such folder\\tempdone.txt");
    EXPECT_FALSE(ToolJob(noMarker, window).run("\"Z:\\bin\\true\""));
    EXPECT_EQ(window.boxes(), std::vector<std::string>{kJobError});

    // The script cannot be written (its folder is missing): nothing is launched.
    window.calls.clear();
    JobFiles noFolder = JobFiles::inProgramDir(Sandbox::windowsPath("gone") + "\\",
                                               testsupport::programDir() + "/" + archive::kInterpreterName);
    ToolJob job(noFolder, window);
    EXPECT_FALSE(job.run("\"Z:\\bin\\true\""));
    EXPECT_FALSE(job.writeListFile({"a"}));
    EXPECT_EQ(window.boxes(), (std::vector<std::string>{kJobError, kJobError}));
    // The box has a fixed text; the job keeps the system's reason for whoever asks.
    EXPECT_EQ(job.failure().code, ENOENT);
    EXPECT_NE(job.failure().message.find("temp.lst"), std::string::npos) << job.failure().message;
    EXPECT_NE(job.failure().message.find(std::strerror(ENOENT)), std::string::npos) << job.failure().message;
}

TEST(ToolJobTest, PumpingRunsWaitingMessagesThenRestoresTheCursor) {
    FakeWindow window;
    window.pendingMessages = 2;
    archive::PumpPendingMessages(window);
    EXPECT_EQ(window.calls, (std::vector<std::string>{"message", "message", "wait+", "wait-"}));
}
