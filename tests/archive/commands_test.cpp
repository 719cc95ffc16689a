#include "archiveengine.h"
#include "fakewindow.h"
#include "sandbox.h"

#include <filesystem>
#include <gtest/gtest.h>

using archive::ArchiveEngine;
using testsupport::FakeWindow;
using testsupport::Sandbox;

namespace {

// An engine whose archiver is the real one, in C:\prog\, with a zip of two members at C:\z\a.zip.
struct CommandWorld {
    Sandbox sandbox;
    archive::JobFiles files;
    FakeWindow window;
    std::string lastFolder = "C:\\start";
    std::int32_t includePathInfo = 0;
    archive::RecentFileList recent;
    std::unique_ptr<ArchiveEngine> engine;

    CommandWorld() {
        std::filesystem::create_directories(sandbox.hostPath("prog"));
        std::filesystem::create_directories(sandbox.hostPath("start"));
        std::filesystem::create_symlink(testsupport::programDir() + "/PKZIP25.EXE",
                                        sandbox.hostPath("prog/PKZIP25.EXE"));
        files = archive::JobFiles::inProgramDir("C:\\prog\\", testsupport::programDir() + "/pellix-batch");
        engine = std::make_unique<ArchiveEngine>(files, window, lastFolder, includePathInfo, recent);
        testsupport::writeFile(sandbox.hostPath("z/in/x.txt"), "x");
        testsupport::writeFile(sandbox.hostPath("z/in/sub/y.txt"), "yy");
        EXPECT_EQ(
            testsupport::runShell("cd '" + sandbox.hostPath("z") + "' && zip -q a.zip in/x.txt in/sub/y.txt"),
            0);
        engine->state().archivePath = "C:\\prog\\blank.zip";
        engine->state().archiveFileName = "blank.zip";
    }
};

} // namespace

TEST(ArchiveCommandsTest, OpenListsTheChosenArchiveAndRemembersItsFolder) {
    CommandWorld world;
    world.window.chosenFiles.push_back(std::nullopt);
    world.engine->openCommand();
    EXPECT_EQ(world.window.calls,
              (std::vector<std::string>{"file dialog Open Zip File|C:\\start", "repaint"}))
        << "a cancelled dialog changes nothing but still repaints";

    world.window.calls.clear();
    world.window.chosenFiles.push_back("C:\\z\\a.zip");
    world.engine->openCommand();
    EXPECT_EQ(world.engine->state().archivePath, "C:\\z\\a.zip");
    EXPECT_EQ(world.engine->state().archiveFileName, "a.zip");
    EXPECT_EQ(world.lastFolder, "C:\\z");
    EXPECT_EQ(world.engine->state().entries.size(), 2u);
    EXPECT_EQ(world.recent.entries(), std::vector<std::string>{"C:\\z\\a.zip"});

    // A remembered folder that has gone is not offered to the dialog.
    world.lastFolder = "C:\\gone";
    world.window.calls.clear();
    world.engine->openCommand();
    EXPECT_EQ(world.window.calls.front(), "file dialog Open Zip File|");
}

TEST(ArchiveCommandsTest, NewStartsAnEmptyArchiveThatExistsOnlyOnceFilesAreAdded) {
    CommandWorld world;
    world.window.chosenFiles.push_back("C:\\z\\a.zip");
    world.window.chosenFiles.push_back("C:\\z\\a.zip");
    world.engine->openCommand();
    ASSERT_EQ(world.engine->state().entries.size(), 2u);
    bool flagSeen = false;
    world.window.onRebuild = [&] { flagSeen = world.engine->state().archiveJustOpened; };
    world.window.calls.clear();
    world.engine->newCommand();
    EXPECT_TRUE(flagSeen);
    EXPECT_EQ(world.window.callsStartingWith("file dialog"),
              std::vector<std::string>{"file dialog New Zip Archive|C:\\z"});
    EXPECT_FALSE(testsupport::fileExists(world.sandbox.hostPath("z/a.zip")))
        << "the confirmed overwrite deletes it";
    EXPECT_TRUE(world.engine->state().entries.empty());
    EXPECT_TRUE(world.engine->state().folders.folders().empty());
    EXPECT_TRUE(world.window.callsStartingWith("check").empty()) << "no tool job runs";
}

TEST(ArchiveCommandsTest, OpenRequestsFromTheRecentListAndTheCommandLine) {
    CommandWorld world;
    world.engine->state().startupRouting = true;
    EXPECT_EQ(world.engine->OpenArchiveFile("C:\\z\\a.zip"), ArchiveEngine::OpenRoute::Framework);
    EXPECT_TRUE(world.window.calls.empty());
    world.engine->state().startupRouting = false;

    EXPECT_EQ(world.engine->OpenArchiveFile("C:\\z\\missing.zip"), ArchiveEngine::OpenRoute::Handled);
    EXPECT_EQ(world.window.boxes(),
              std::vector<std::string>{"Stop|Unable to Open Zip Archive|The selected file does not exist."});
    EXPECT_EQ(world.engine->state().archivePath, "C:\\prog\\blank.zip");

    world.engine->OpenArchiveFile("C:\\z\\a.zip");
    EXPECT_EQ(world.engine->state().archiveFileName, "a.zip");
    EXPECT_EQ(world.engine->state().entries.size(), 2u);
    EXPECT_EQ(world.lastFolder, "C:\\start") << "the dialogs' folder stays";
    EXPECT_TRUE(world.recent.entries().empty()) << "entered at idle time, not during the open";
    world.engine->onIdle();
    EXPECT_EQ(world.recent.entries(), std::vector<std::string>{"C:\\z\\a.zip"});
    world.engine->onIdle();
    EXPECT_EQ(world.recent.entries().size(), 1u);

    // The command line: a name with a folder sets the dialogs' folder, a bare name does not.
    world.engine->commandLineOpen("C:\\z\\a.zip");
    EXPECT_EQ(world.lastFolder, "C:\\z");
    world.engine->commandLineOpen("b.zip");
    EXPECT_EQ(world.engine->state().archiveFileName, "b.zip");
    EXPECT_EQ(world.lastFolder, "C:\\z");
    EXPECT_EQ(world.engine->state().entries.size(), 2u) << "a missing file is not listed";
}

TEST(ArchiveCommandsTest, TheZipCommandAsksFirst) {
    CommandWorld world;
    world.engine->AddOperationItem("C:\\old", 1, "");
    world.window.answers.push_back(archive::MessageAnswer::Cancel);
    EXPECT_FALSE(world.engine->beginZipCommand());
    EXPECT_EQ(world.engine->state().operationItems.size(), 1u);
    EXPECT_EQ(world.window.boxes(),
              std::vector<std::string>{"Question|Confirm Zip File(s)|Are you sure you want to Add the "
                                       "selected File(s) to the Zip Archive?"});

    world.window.calls.clear();
    world.engine->state().cancelled = true;
    world.window.answers.push_back(archive::MessageAnswer::Ok);
    ASSERT_TRUE(world.engine->beginZipCommand());
    EXPECT_TRUE(world.engine->state().operationItems.empty());
    EXPECT_FALSE(world.engine->state().cancelled);
    world.engine->endZipCommand();
    EXPECT_EQ(world.window.callsStartingWith("status"),
              (std::vector<std::string>{"status Zipping Files - Please Wait ...", "status Ready"}));
    EXPECT_EQ(world.window.waitCursorDepth, 0);
}
