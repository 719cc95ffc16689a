#include "archiveengine.h"
#include "fakewindow.h"
#include "formats.h"
#include "programcopy.h"
#include "sandbox.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <random>

using archive::ArchiveEngine;
using archive::JobFiles;
using archive::OperationItem;
using testsupport::FakeWindow;
using testsupport::Sandbox;

namespace {

const std::string kJobError =
    std::string("Stop|Pellix|") + "The program was unable to create a required Dependency File.";
const std::string kCancelledBox = "Stop|Process Cancelled|The process has been cancelled by the user.";

// An engine over a program directory C:\prog\ that holds the real archiver, run by the real
// interpreter, with a scripted window.
struct EngineWorld {
    Sandbox sandbox;
    JobFiles files;
    FakeWindow window;
    std::string lastFolder = "C:\\";
    std::int32_t includePathInfo = 0;
    archive::RecentFileList recent;
    std::unique_ptr<ArchiveEngine> engine;

    EngineWorld() {
        std::filesystem::create_directories(sandbox.hostPath("prog"));
        std::filesystem::create_symlink(testsupport::programDir() + "/PKZIP25.EXE",
                                        sandbox.hostPath("prog/PKZIP25.EXE"));
        files = JobFiles::inProgramDir("C:\\prog\\", testsupport::programDir() + "/pellix-batch");
        engine = std::make_unique<ArchiveEngine>(files, window, lastFolder, includePathInfo, recent);
    }

    // Files below the sandbox's home, zipped by `zip` into C:\<zipName> in the order given.
    void makeZip(const std::string& zipName, const std::string& folder, const std::string& members) {
        ASSERT_EQ(testsupport::runShell("cd '" + sandbox.hostPath(folder) + "' && zip -q '" +
                                        sandbox.hostPath(zipName) + "' " + members),
                  0);
    }

    void open(const std::string& zipName) {
        engine->state().archivePath = "C:\\" + zipName;
        engine->state().archiveFileName = zipName;
        engine->ListArchive();
    }

    std::vector<std::string> memberPaths() const {
        std::vector<std::string> paths;
        for (const archive::ArchiveEntry& entry : engine->state().entries) {
            paths.push_back(entry.folder.empty() ? entry.name : entry.folder + "/" + entry.name);
        }
        return paths;
    }
};

const std::string kSourceMembers = "docs/old/a.txt docs/b.txt 'docs/new/c d.txt' top.txt";

void makeSourceTree(const Sandbox& sandbox) {
    testsupport::writeFile(sandbox.hostPath("src/docs/old/a.txt"), "alpha\n");
    testsupport::writeFile(sandbox.hostPath("src/docs/b.txt"), std::string(3000, 'b'));
    testsupport::writeFile(sandbox.hostPath("src/docs/new/c d.txt"), "see dee");
    testsupport::writeFile(sandbox.hostPath("src/top.txt"), "top");
}

} // namespace

TEST(EngineTest, ListsAnArchiveMadeByZipAndCollectsFolderItems) {
    EngineWorld world;
    makeSourceTree(world.sandbox);
    world.makeZip("nested.zip", "src", kSourceMembers);
    bool flagSeenDuringRebuild = false;
    world.window.onRebuild = [&] { flagSeenDuringRebuild = world.engine->state().archiveJustOpened; };
    world.open("nested.zip");

    EXPECT_TRUE(world.window.boxes().empty());
    EXPECT_TRUE(flagSeenDuringRebuild);
    EXPECT_FALSE(world.engine->state().archiveJustOpened);
    EXPECT_EQ(world.memberPaths(),
              (std::vector<std::string>{"docs/old/a.txt", "docs/b.txt", "docs/new/c d.txt", "top.txt"}));
    EXPECT_EQ(world.engine->state().folders.folders(),
              (std::vector<std::string>{"docs/old", "docs", "docs/new"}));
    EXPECT_EQ(world.engine->state().entries[1].size, 3000);
    EXPECT_EQ(world.window.callsStartingWith("status "),
              (std::vector<std::string>{"status Opening Zip File - Please Wait ...", "status Ready"}));
    EXPECT_TRUE(world.window.mainWindowEnabled);
    EXPECT_EQ(world.window.waitCursorDepth, 0);
    for (const char* jobFile : {"temp.bat", "temp.txt", "tempdone.txt", "temp.err"}) {
        EXPECT_FALSE(testsupport::fileExists(world.sandbox.hostPath(std::string("prog/") + jobFile)))
            << jobFile;
    }

    // What a drag of the root and of a folder collects.
    world.engine->dragState().sourceKind = archive::kDragArchiveList;
    world.engine->AddArchiveFolderItems("C:\\nested.zip");
    ASSERT_EQ(world.engine->state().operationItems.size(), 1u) << "the root takes its own members only";
    EXPECT_EQ(world.engine->state().operationItems[0].name, "\\top.txt");
    world.engine->clearOperationItems();
    world.engine->AddArchiveFolderItems("C:\\nested.zip/docs");
    std::vector<std::string> names;
    for (const OperationItem& item : world.engine->state().operationItems) {
        names.push_back(item.name);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"docs\\old\\a.txt", "docs\\b.txt", "docs\\new\\c d.txt"}));
    EXPECT_EQ(world.engine->state().operationItems[1].size, 3000);
    EXPECT_EQ(world.engine->state().operationItems[1].dateText,
              archive::FormatDateText(world.engine->state().entries[1].time));
    world.engine->clearOperationItems();
    world.engine->AddArchiveFolderItems("C:\\nested.zip/doc");
    EXPECT_TRUE(world.engine->state().operationItems.empty()) << "doc/ is not a prefix of docs/";
    EXPECT_TRUE(world.window.callsStartingWith("progress").empty()) << "only a tree drag extracts at once";

    // A missing archive is not listed, and nothing is said.
    world.window.calls.clear();
    world.open("missing.zip");
    EXPECT_EQ(world.window.calls, (std::vector<std::string>{"wait+", "wait-"}));
    EXPECT_EQ(world.engine->state().entries.size(), 4u);
}

TEST(EngineTest, AddsInChunksWithAndWithoutPathsThenListsAgain) {
    EngineWorld world;
    testsupport::writeFile(world.sandbox.hostPath("in/one.bin"), std::string(300'000, '1'));
    testsupport::writeFile(world.sandbox.hostPath("in/sub/two.bin"), std::string(300'000, '2'));
    testsupport::writeFile(world.sandbox.hostPath("in/sub/three.txt"), "three");
    world.engine->state().archivePath = "C:\\out.zip";
    world.engine->state().archiveFileName = "out.zip";
    for (const char* name : {"in/one.bin", "in/sub/two.bin", "in/sub/three.txt"}) {
        const auto size = static_cast<std::int64_t>(std::filesystem::file_size(world.sandbox.hostPath(name)));
        world.engine->AddOperationItem(Sandbox::windowsPath(name), size, "1/1/20 1:00 AM");
    }
    world.engine->RunArchiveOperation(true);
    EXPECT_EQ(world.window.boxes(),
              std::vector<std::string>{"Information|Zip Completed|The Selected Files have been Zipped."});
    EXPECT_EQ(world.window.callsStartingWith("now C"),
              (std::vector<std::string>{"now C:\\in\\one.bin|300,000|1/1/20 1:00 AM",
                                        "now C:\\in\\sub\\two.bin|300,000|1/1/20 1:00 AM",
                                        "now C:\\in\\sub\\three.txt|5|1/1/20 1:00 AM"}));
    EXPECT_EQ(world.window.callsStartingWith("position "),
              (std::vector<std::string>{"position 0", "position 49", "position 100"}))
        << "two chunks: 300,000 bytes, then 300,005";
    EXPECT_EQ(world.window.callsStartingWith("counts ").back(),
              "counts 3 of 3 (100%)|600,005 of 600,005 (100%)");
    EXPECT_EQ(world.memberPaths(), (std::vector<std::string>{"one.bin", "two.bin", "three.txt"}))
        << "listed again without folders";
    // The free space the second chunk left before the directory is gone: the archive is what one
    // run of the archiver writes.
    testsupport::writeFile(world.sandbox.hostPath("one.lst"),
                           "C:\\in\\one.bin\r\nC:\\in\\sub\\two.bin\r\nC:\\in\\sub\\three.txt\r\n");
    ASSERT_EQ(testsupport::runShell("cd '" + world.sandbox.home() + "' && HOME='" + world.sandbox.home() +
                                    "' '" + world.sandbox.hostPath("prog/PKZIP25.EXE") +
                                    "' -add -attr 'C:\\one.zip' -include=@'C:\\one.lst'"),
              0);
    EXPECT_TRUE(testsupport::readFile(world.sandbox.hostPath("out.zip")) ==
                testsupport::readFile(world.sandbox.hostPath("one.zip")));
    EXPECT_FALSE(world.engine->state().busy);
    EXPECT_TRUE(world.window.mainWindowEnabled);

    // With path information the stored names keep their folders, without the drive.
    world.window.calls.clear();
    world.includePathInfo = 1;
    world.engine->RunArchiveOperation(true);
    std::vector<std::string> paths = world.memberPaths();
    EXPECT_EQ(paths.size(), 6u);
    EXPECT_NE(std::find(paths.begin(), paths.end(), "in/sub/two.bin"), paths.end())
        << "C:\\in\\sub\\two.bin is stored as in/sub/two.bin";
    EXPECT_EQ(testsupport::runShell("unzip -tqq '" + world.sandbox.hostPath("out.zip") + "'"), 0);
}

TEST(EngineTest, ExtractsAndDeletesMembers) {
    EngineWorld world;
    makeSourceTree(world.sandbox);
    world.makeZip("nested.zip", "src", kSourceMembers);
    world.open("nested.zip");

    // Extract a list selection (archive path, "/", member path) and a tree folder with paths.
    world.engine->state().extractDestination = "C:\\flat";
    std::filesystem::create_directories(world.sandbox.hostPath("flat"));
    world.engine->AddOperationItem("C:\\nested.zip/docs/old/a.txt", 6, "");
    world.engine->AddOperationItem("C:\\nested.zip/top.txt", 3, "");
    world.engine->RunArchiveOperation(false);
    EXPECT_EQ(world.window.boxes(),
              std::vector<std::string>{"Information|UnZip Completed|The Selected Files have been UnZipped."});
    EXPECT_EQ(testsupport::readFile(world.sandbox.hostPath("flat/a.txt")), "alpha\n");
    EXPECT_EQ(testsupport::readFile(world.sandbox.hostPath("flat/top.txt")), "top");
    EXPECT_FALSE(testsupport::fileExists(world.sandbox.hostPath("prog/temp.lst"))) << "job files deleted";

    world.window.calls.clear();
    world.includePathInfo = 1;
    world.engine->clearOperationItems();
    world.engine->state().extractDestination = "C:\\tree";
    std::filesystem::create_directories(world.sandbox.hostPath("tree"));
    world.engine->dragState().sourceKind = archive::kDragArchiveTree;
    world.engine->AddArchiveFolderItems("C:\\nested.zip/docs");
    EXPECT_EQ(testsupport::readFile(world.sandbox.hostPath("tree/docs/b.txt")), std::string(3000, 'b'));
    EXPECT_EQ(testsupport::readFile(world.sandbox.hostPath("tree/docs/new/c d.txt")), "see dee");
    EXPECT_EQ(testsupport::readFile(world.sandbox.hostPath("tree/docs/old/a.txt")), "alpha\n");
    EXPECT_FALSE(testsupport::fileExists(world.sandbox.hostPath("tree/top.txt")));

    // Delete the members under docs/.
    world.window.calls.clear();
    world.engine->clearOperationItems();
    world.engine->state().deleteRequest = true;
    world.engine->AddArchiveFolderItems("C:\\nested.zip/docs");
    world.engine->RunArchiveOperation(false);
    world.engine->state().deleteRequest = false;
    EXPECT_EQ(world.window.boxes(),
              std::vector<std::string>{"Information|Delete Completed|The Selected Files have been Deleted."});
    EXPECT_EQ(world.memberPaths(), std::vector<std::string>{"top.txt"});
    EXPECT_EQ(testsupport::runShell("unzip -tqq '" + world.sandbox.hostPath("nested.zip") + "'"), 0);
}

TEST(EngineTest, CancellingStopsAtEachCheckWithoutACompletionMessage) {
    // Three items of 400,000 bytes: three chunks. The checks of the first chunk are 1 (before its
    // launch), 2 (after its job) and 3 (after its progress); check 4 is before the second launch.
    const struct {
        int cancelBefore;
        size_t membersAdded;
    } cases[] = {{1, 0}, {2, 1}, {3, 1}, {4, 1}, {0, 3}};
    for (const auto& c : cases) {
        EngineWorld world;
        for (int i = 0; i < 3; ++i) {
            const std::string name = "f" + std::to_string(i) + ".bin";
            testsupport::writeFile(world.sandbox.hostPath(name),
                                   std::string(400'000, static_cast<char>('a' + i)));
            world.engine->AddOperationItem("C:\\" + name, 400'000, "");
        }
        world.engine->state().archivePath = "C:\\c.zip";
        world.window.cancelBeforeCheck = c.cancelBefore;
        world.engine->RunArchiveOperation(true);
        EXPECT_EQ(world.memberPaths().size(), c.membersAdded) << "cancel before check " << c.cancelBefore;
        if (c.cancelBefore == 0) {
            EXPECT_EQ(
                world.window.boxes(),
                std::vector<std::string>{"Information|Zip Completed|The Selected Files have been Zipped."});
            EXPECT_FALSE(world.engine->state().cancelled);
        } else {
            EXPECT_EQ(world.window.boxes(), std::vector<std::string>{kCancelledBox}) << c.cancelBefore;
            EXPECT_TRUE(world.engine->state().cancelled);
        }
        EXPECT_FALSE(world.engine->state().busy);
        EXPECT_TRUE(world.window.mainWindowEnabled);
        EXPECT_EQ(world.window.callsStartingWith("progress closed").size(), 1u);
    }
}

TEST(EngineTest, FailuresEndWithTheWindowEnabledAndNoCompletionMessage) {
    {
        // The interpreter cannot be launched.
        EngineWorld world;
        world.files.interpreterHost = world.sandbox.hostPath("nowhere/pellix-batch");
        testsupport::writeFile(world.sandbox.hostPath("x.txt"), "x");
        world.engine->state().archivePath = "C:\\a.zip";
        world.engine->AddOperationItem("C:\\x.txt", 1, "");
        world.engine->RunArchiveOperation(true);
        EXPECT_EQ(world.window.boxes(), std::vector<std::string>{kJobError});
        EXPECT_TRUE(world.window.mainWindowEnabled);
        EXPECT_FALSE(world.engine->state().busy);
        EXPECT_EQ(world.window.callsStartingWith("progress closed").size(), 1u);
        EXPECT_TRUE(world.window.callsStartingWith("rebuild").empty()) << "not listed again";
        EXPECT_EQ(world.window.waitCursorDepth, 0);
    }
    {
        // The list file cannot be created (a folder stands where it goes).
        EngineWorld world;
        std::filesystem::create_directories(world.sandbox.hostPath("prog/temp.lst"));
        world.engine->state().archivePath = "C:\\a.zip";
        world.engine->AddOperationItem("C:\\x.txt", 1, "");
        world.engine->RunArchiveOperation(true);
        EXPECT_EQ(world.window.boxes(), std::vector<std::string>{kJobError});
        EXPECT_TRUE(world.window.mainWindowEnabled);
        EXPECT_TRUE(world.window.callsStartingWith("check").empty()) << "nothing was launched";
    }
    {
        // The archiver fails (a member that is not there): the user is told, not congratulated.
        EngineWorld world;
        makeSourceTree(world.sandbox);
        world.makeZip("nested.zip", "src", kSourceMembers);
        world.open("nested.zip");
        world.engine->state().extractDestination = "C:\\out";
        std::filesystem::create_directories(world.sandbox.hostPath("out"));
        world.engine->AddOperationItem("C:\\nested.zip/no/such.txt", 1, "");
        world.engine->RunArchiveOperation(false);
        ASSERT_EQ(world.window.boxes().size(), 1u);
        EXPECT_EQ(world.window.boxes()[0].rfind(
                      "Stop|UnZip Failed|The archiver could not complete the operation:", 0),
                  0u)
            << world.window.boxes()[0];
        EXPECT_TRUE(world.window.mainWindowEnabled);
    }
    for (const bool listing : {false, true}) {
        // The job's error file cannot be read afterwards: what the archiver said is unknown, so
        // the job counts as failed, for an add as for the listing after it.
        EngineWorld world;
        makeSourceTree(world.sandbox);
        world.makeZip("nested.zip", "src", kSourceMembers);
        world.files.errors = "C:\\prog\\gone\\temp.err";
        if (listing) {
            world.open("nested.zip");
        } else {
            world.engine->state().archivePath = "C:\\nested.zip";
            world.engine->AddOperationItem("C:\\src\\top.txt", 3, "");
            world.engine->RunArchiveOperation(true);
        }
        const std::string expected = listing
                                         ? "Stop|Unable to Open Zip Archive|The Zip Archive could not be read"
                                         : "Stop|Zip Failed|The archiver could not complete the operation:";
        ASSERT_FALSE(world.window.boxes().empty());
        EXPECT_EQ(world.window.boxes().front().rfind(expected, 0), 0u) << world.window.boxes().front();
        EXPECT_NE(world.window.boxes().front().find("gone"), std::string::npos)
            << "the reason names the file";
        EXPECT_TRUE(world.window.mainWindowEnabled);
    }
    {
        // Over two gigabytes (true 64-bit sizes): refused before anything runs.
        EngineWorld world;
        world.engine->AddOperationItem("C:\\a", 2'147'483'647, "");
        world.engine->AddOperationItem("C:\\b", 5'000'000'000LL, "");
        world.engine->RunArchiveOperation(true);
        EXPECT_EQ(world.window.boxes(),
                  std::vector<std::string>{"Stop|Unable to Add Files to the Archive|The maximum "
                                           "limit of 2 gigabytes has been exceeded."});
        EXPECT_TRUE(world.window.callsStartingWith("progress").empty());
        EXPECT_FALSE(testsupport::fileExists(world.sandbox.hostPath("prog/temp.bat")));
    }
}

TEST(EngineTest, TheLimitAndTheChunksCountBytesExactly) {
    auto items = [](std::initializer_list<std::int64_t> sizes) {
        std::vector<OperationItem> list;
        for (std::int64_t size : sizes) {
            list.push_back(OperationItem{"x", size, ""});
        }
        return list;
    };
    const struct {
        std::vector<OperationItem> items;
        std::vector<size_t> chunks;
    } cases[] = {
        {items({600'000}), {1}},          {items({300'000, 300'000}), {1, 1}},
        {items({250'000, 250'000}), {2}}, {items({250'000, 250'000, 1}), {2, 1}},
        {items({0, 900'000, 1}), {2, 1}}, {items({0, 0, 499'999, 1, 1}), {4, 1}},
        {items({1, 600'000}), {1, 1}},    {items({}), {}},
    };
    for (const auto& c : cases) {
        std::vector<size_t> chunks;
        for (size_t first = 0; first < c.items.size();) {
            chunks.push_back(archive::chunkLength(c.items, first));
            first += chunks.back();
        }
        EXPECT_EQ(chunks, c.chunks);
    }

    // Exactly 2,147,483,647 bytes pass the test (the operation then runs); one more does not.
    for (const bool deleting : {false, true}) {
        EngineWorld world;
        world.engine->state().deleteRequest = deleting;
        world.engine->state().archivePath = "C:\\a.zip";
        world.engine->AddOperationItem("C:\\a.zip/x", 2'147'483'647, "");
        world.window.cancelBeforeCheck = 1;
        world.engine->RunArchiveOperation(false);
        EXPECT_EQ(world.window.boxes(), std::vector<std::string>{kCancelledBox});
        world.window.calls.clear();
        world.engine->AddOperationItem("C:\\a.zip/y", 1, "");
        world.engine->RunArchiveOperation(false);
        EXPECT_EQ(world.window.boxes().size(), 1u);
        EXPECT_NE(world.window.boxes()[0].find("2 gigabytes"), std::string::npos);
    }
}

TEST(EngineTest, CommandLinesAndListFilesAreExact) {
    JobFiles files = JobFiles::inProgramDir("C:\\Program Files\\Pellix\\", "/x/pellix-batch");
    const std::string a = "\"C:\\Program Files\\Pellix\\PKZIP25.EXE\"";
    const std::string l = "\"C:\\Program Files\\Pellix\\temp.lst\"";
    EXPECT_EQ(archive::listingCommandLine(files, "C:\\My Zips\\a.zip"),
              a + " \"C:\\My Zips\\a.zip\">\"C:\\Program Files\\Pellix\\temp.txt\"");
    EXPECT_EQ(archive::extractCommandLine(files, "C:\\a.zip", "C:\\Out Dir", false),
              a + "  -extract -overwrite=all \"C:\\a.zip\" @" + l + " \"C:\\Out Dir\"");
    EXPECT_EQ(archive::extractCommandLine(files, "C:\\a.zip", "C:/", true),
              a + "  -dir=root -extract -overwrite=all \"C:\\a.zip\" @" + l + " \"C:/\"");
    EXPECT_EQ(archive::addCommandLine(files, "C:\\a.zip", false),
              a + " -add -attr \"C:\\a.zip\" -include=@" + l);
    EXPECT_EQ(archive::addCommandLine(files, "C:\\a.zip", true),
              a + " -add -attr \"C:\\a.zip\" -include=@" + l + " -path=root");
    EXPECT_EQ(archive::deleteCommandLine(files, "C:\\a.zip"), a + " -del \"C:\\a.zip\" @" + l);

    EXPECT_EQ(archive::listFileLine("C:\\Data\\a.zip/docs/x.txt", false), "docs/x.txt");
    EXPECT_EQ(archive::listFileLine("docs\\x.txt", false), "docs\\x.txt");
    EXPECT_EQ(archive::listFileLine("\\top.txt", false), "\\top.txt");
    EXPECT_EQ(archive::listFileLine("C:\\Data\\in/odd.txt", true), "C:\\Data\\in/odd.txt");

    // The script and list file as an operation writes them (kept here because the launch fails).
    EngineWorld world;
    world.files.interpreterHost = world.sandbox.hostPath("nowhere/pellix-batch");
    world.engine->state().archivePath = "C:\\a b.zip";
    world.engine->state().extractDestination = "C:\\dest";
    world.engine->AddOperationItem("C:\\a b.zip/docs/x.txt", 1, "");
    world.engine->AddOperationItem("docs\\y.txt", 1, "");
    world.engine->RunArchiveOperation(false);
    EXPECT_EQ(world.window.boxes(), std::vector<std::string>{kJobError});
    EXPECT_EQ(testsupport::readFile(world.sandbox.hostPath("prog/temp.bat")),
              "\"C:\\prog\\PKZIP25.EXE\"  -extract -overwrite=all \"C:\\a b.zip\" @\"C:\\prog\\temp.lst\" "
              "\"C:\\dest\" -progress=@\"C:\\prog\\temp.prg\"\r\ncopy \"C:\\prog\\temp.bat\" "
              "\"C:\\prog\\tempdone.txt\"");
    EXPECT_EQ(testsupport::readFile(world.sandbox.hostPath("prog/temp.lst")),
              "docs/x.txt\r\ndocs\\y.txt\r\n");
}

// The stand-in logs each command line as it was given: job folders have random names, and one
// whose backslash met an n, t or c must not turn into a line break, a tab or a cut line.
TEST(EngineTest, TheSlowArchiverLogsItsCommandLineAsGiven) {
    testsupport::Sandbox sandbox;
    const std::string log = sandbox.hostPath("runs.log");
    const std::string standIn = sandbox.hostPath("PKZIP25.EXE");
    testsupport::writeSlowArchiver(standIn, "-never", 0, log, sandbox.hostPath("sleeper.pid"));
    const std::string folder = "C:\\tmp\\n972\\t01\\c\\0101 it's\\";
    testsupport::runShell(testsupport::shellQuoted(standIn) + " -list " + testsupport::shellQuoted(folder) +
                          " > /dev/null 2>&1");
    EXPECT_EQ(testsupport::readFile(log), "-list " + folder + "\n");
}

// A large add stopped at a random moment of its long chunk: "Files Completed" names exactly the
// members the archive then holds, and while the chunk ran its bar moved and its speed showed.
TEST(EngineTest, AStoppedAddListsExactlyWhatTheArchiveHoldsAndShowsProgressWithinTheChunk) {
    EngineWorld world;
    testsupport::writeFile(world.sandbox.hostPath("src/small.txt"), "small");
    // Word-like text of a skewed vocabulary, which deflate works on longest: the add runs for
    // seconds, past the moment the window takes its events again.
    std::mt19937_64 rng(std::random_device{}());
    std::vector<std::string> words(3000);
    for (std::string& word : words) {
        for (size_t i = 2 + rng() % 8; i > 0; --i) {
            word += static_cast<char>('a' + (rng() % 26) * (rng() % 26) / 26);
        }
    }
    std::string big;
    const size_t bigSize = 120u << 20;
    big.reserve(bigSize + 16);
    while (big.size() < bigSize) {
        big += words[rng() % (1 + rng() % words.size())];
        big += rng() % 12 == 0 ? '\n' : ' ';
    }
    big.resize(bigSize);
    testsupport::writeFile(world.sandbox.hostPath("src/big.txt"), big);
    world.engine->state().archivePath = "C:\\a.zip";
    world.engine->AddOperationItem("C:\\src\\small.txt", 5, "");
    world.engine->AddOperationItem("C:\\src\\big.txt", static_cast<std::int64_t>(bigSize), "");
    const int stopAt = 2 + static_cast<int>(rng() % 8);
    world.window.answers.push_back(archive::MessageAnswer::Ok);
    world.window.onJobEvents = [&](int call) {
        world.window.cancelPressed = world.window.cancelPressed || call == stopAt;
        return archive::JobRequest::None;
    };
    world.engine->RunArchiveOperation(true);

    SCOPED_TRACE("stopped at the window's wait " + std::to_string(stopAt));
    std::vector<std::string> completed;
    for (const std::string& call : world.window.callsStartingWith("completed C:")) {
        const std::string name = call.substr(std::string("completed ").size());
        completed.push_back(name.substr(name.rfind('\\') + 1, name.find('|') - name.rfind('\\') - 1));
    }
    EXPECT_EQ(completed, world.memberPaths());
    EXPECT_EQ(world.window.boxes().back(), kCancelledBox);
    // Within the long chunk the bar stood between its two ends, and the speed was told.
    bool movedWithin = false;
    for (const std::string& call : world.window.callsStartingWith("position ")) {
        const int percent = std::stoi(call.substr(9));
        movedWithin = movedWithin || (percent > 0 && percent < 100);
    }
    EXPECT_TRUE(movedWithin);
    const std::vector<std::string> rates = world.window.callsStartingWith("rate ");
    ASSERT_FALSE(rates.empty());
    EXPECT_NE(rates.back().find(" MB/s, about "), std::string::npos) << rates.back();
}

TEST(EngineTest, ALongJobIsStoppedOnlyWhenTheUserSaysSo) {
    using archive::JobRequest;
    const std::string question = "Question|Stop the Archiver|The archiver is still working. Do you want to "
                                 "stop it?\n\nOK stops the archiver now. Cancel lets it finish.\n";
    const std::string zipped = "Information|Zip Completed|The Selected Files have been Zipped.\n";
    const std::string cancelled = kCancelledBox + "\n";
    const struct {
        const char* what;
        const char* hangOn;  // the archiver's runs that wait, by a word of their command line
        int seconds;         // how long they wait
        bool listing;        // a listing of the archive, else an add to it
        int cancelAtCall;    // the progress dialog's Cancel pressed during this pump (0: never)
        int closeAtCall;     // the window asked to close during this pump (0: never)
        const char* answers; // to the questions in order: "n" Cancel (let it finish), "y" OK (stop it)
        std::string boxes;   // one line each
        bool stopped;
        bool closing;
        size_t runs; // archiver runs from the operation on, an add's compaction and the listing included
    } cases[] = {
        {"slow add, close answered no", "-add", 4, false, 0, 1, "n", question + zipped, false, false, 3},
        {"hung add, Cancel answered yes", "-add", 60, false, 2, 0, "y", question + cancelled, true, false, 3},
        {"hung add, Cancel answered no, then close answered yes", "-add", 60, false, 2, 4, "ny",
         question + question + cancelled, true, true, 1},
        {"hung listing, close answered yes", "", 60, true, 0, 1, "y", question, true, true, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EngineWorld world;
        makeSourceTree(world.sandbox);
        world.makeZip("a.zip", "src", "top.txt");
        world.open("a.zip");
        const std::string zip = world.sandbox.hostPath("a.zip");
        const std::string before = testsupport::readFile(zip);
        const std::string log = world.sandbox.hostPath("runs.log");
        const std::string sleeper = world.sandbox.hostPath("sleeper.pid");
        testsupport::writeSlowArchiver(world.sandbox.hostPath("prog/PKZIP25.EXE"), c.hangOn, c.seconds, log,
                                       sleeper);
        world.window.calls.clear();
        for (const char* answer = c.answers; *answer != '\0'; ++answer) {
            world.window.answers.push_back(*answer == 'y' ? archive::MessageAnswer::Ok
                                                          : archive::MessageAnswer::Cancel);
        }
        world.window.onJobEvents = [&](int call) {
            if (call == 1) {
                // Nothing handled during the wait may start a job of its own.
                world.engine->ListArchive();
                world.engine->RunArchiveOperation(true);
            }
            if (call == c.cancelAtCall) {
                world.window.cancelPressed = true;
            }
            return call == c.closeAtCall ? JobRequest::CloseWindow : JobRequest::None;
        };
        world.window.status = "before";
        if (c.listing) {
            world.engine->ListArchive();
        } else {
            world.engine->AddOperationItem("C:\\src\\docs\\b.txt", 3000, "");
            world.engine->RunArchiveOperation(true);
        }

        std::string boxes;
        for (const std::string& box : world.window.boxes()) {
            boxes += box + "\n";
        }
        EXPECT_EQ(boxes, c.boxes);
        EXPECT_GE(world.window.jobEventCalls, 1) << "the window's events are handled during a long job";
        EXPECT_FALSE(world.window.callsStartingWith("status The Archiver is Still Working").empty());
        EXPECT_NE(world.window.status, "The Archiver is Still Working - Please Wait ...")
            << "the text goes again";
        const std::string runs = testsupport::readFile(log);
        EXPECT_EQ(static_cast<size_t>(std::count(runs.begin(), runs.end(), '\n')), c.runs) << runs;
        EXPECT_EQ(world.engine->state().closing, c.closing);
        EXPECT_EQ(world.window.closingLater, c.closing);
        EXPECT_TRUE(world.window.mainWindowEnabled);
        EXPECT_FALSE(world.engine->state().busy);
        EXPECT_EQ(world.window.waitCursorDepth, 0);
        if (c.stopped) {
            EXPECT_TRUE(testsupport::processEndsWithin(sleeper, std::chrono::seconds(5)))
                << "the whole job ends, what it started included";
            EXPECT_EQ(testsupport::readFile(zip), before) << "the stopped job had not touched the archive";
            EXPECT_EQ(world.memberPaths(), std::vector<std::string>{"top.txt"});
        } else {
            EXPECT_EQ(world.memberPaths(), (std::vector<std::string>{"top.txt", "b.txt"}));
        }
        if (c.closing) {
            // Once the window is closing, no job starts any more.
            world.engine->ListArchive();
            world.engine->RunArchiveOperation(true);
            EXPECT_EQ(testsupport::readFile(log), runs);
        }
    }
}
