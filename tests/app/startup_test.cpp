#include "brenloapp.h"
#include "fakewindow.h"
#include "sandbox.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <unistd.h>

using app::CBrenloApp;
using testsupport::FakeWindow;
using testsupport::Sandbox;

namespace {

const std::string kArchiverBox =
    std::string("Stop|Pellix|") +
    "The file PKZIP25.EXE must be contained in the same Directory as this program.";
const std::string kRegistryBox = std::string("Stop|Pellix|") + "A Windows Registry Error was encountered.";

// A program directory below drive C: holding an archiver (and a stale blank.zip).
std::string makeProgramDir(const Sandbox& sandbox, const std::string& folder, bool withArchiver = true) {
    testsupport::writeFile(sandbox.hostPath(folder + "/blank.zip"), "stale");
    if (withArchiver) {
        testsupport::writeFile(sandbox.hostPath(folder + "/PKZIP25.EXE"), "");
    }
    return sandbox.hostPath(folder + "/pellix");
}

size_t positionOf(const std::string& text, const std::string& what) {
    const size_t at = text.find(what);
    EXPECT_NE(at, std::string::npos) << what << " missing from\n" << text;
    return at;
}

} // namespace

TEST(StartupTest, FirstRunWritesTheDefaultsInOrderAndStartsWithThem) {
    Sandbox sandbox;
    platform::Registry registry;
    FakeWindow window;
    CBrenloApp application(registry);
    const std::string exe = makeProgramDir(sandbox, "Pellix Prögram");
    ASSERT_TRUE(application.initialise({exe, {}}, window));

    EXPECT_TRUE(window.boxes().empty());
    EXPECT_EQ(window.waitCursorDepth, 0);
    EXPECT_TRUE(application.firstRun());
    EXPECT_FALSE(testsupport::fileExists(sandbox.hostPath("Pellix Prögram/blank.zip")))
        << "stale archive deleted";
    EXPECT_EQ(application.programDir(), "C:\\Pellix Prögram\\");
    EXPECT_EQ(application.archivePath(), "C:\\Pellix Prögram\\blank.zip");
    EXPECT_EQ(application.archiveFileName(), "blank.zip");
    EXPECT_EQ(application.jobFiles().archiver, "C:\\Pellix Prögram\\PKZIP25.EXE");
    EXPECT_EQ(application.jobFiles().script, "C:\\Pellix Prögram\\temp.bat");
    EXPECT_EQ(application.jobFiles().marker, "C:\\Pellix Prögram\\tempdone.txt");
    EXPECT_EQ(application.jobFiles().listing, "C:\\Pellix Prögram\\temp.txt");
    EXPECT_EQ(application.jobFiles().list, "C:\\Pellix Prögram\\temp.lst");
    EXPECT_EQ(application.settings().splitterWidth, 320);
    EXPECT_EQ(application.settings().splitterHeight, 240);
    EXPECT_EQ(application.settings().sortType, "1");
    EXPECT_EQ(application.settings().dialogDir, "");
    EXPECT_EQ(application.settings().includePathInfo, 0);
    EXPECT_EQ(application.settings().useDriveA, 0);
    EXPECT_EQ(application.sortFlags(), (app::SortFlags{true, false, false, false, false, false}));

    const std::string store = testsupport::readFile(registry.filePath());
    const size_t order[] = {positionOf(store, "[HKEY_LOCAL_MACHINE\\SOFTWARE\\PellixZ]"),
                            positionOf(store, "\"SortType\"=\"1\""),
                            positionOf(store, "\"DialogDir\"=\"\""),
                            positionOf(store, "\"IncludePathInfo\"=dword:00000000"),
                            positionOf(store, "\"UseDriveA\"=dword:00000000"),
                            positionOf(store, "\"SplitterWidth\"=dword:00000140"),
                            positionOf(store, "\"SplitterHeight\"=dword:000000f0")};
    EXPECT_TRUE(std::is_sorted(std::begin(order), std::end(order))) << store;

    // The second start reads what the first one wrote.
    CBrenloApp second(registry);
    ASSERT_TRUE(second.initialise({exe, {}}, window));
    EXPECT_FALSE(second.firstRun());
    EXPECT_EQ(second.settings().splitterWidth, 320);
}

TEST(StartupTest, StoredSettingsAreReadAndBadOnesKeepTheirDefaults) {
    Sandbox sandbox;
    platform::Registry registry;
    const std::string exe = makeProgramDir(sandbox, "p");
    const struct {
        const char* sortType;
        app::SortFlags flags;
    } sorts[] = {
        {"1", {true, false, false, false, false, false}},
        {"2", {false, true, false, false, false, false}},
        {"3", {false, false, true, false, false, false}},
        {"4", {false, false, false, true, false, false}},
        {"5", {false, false, false, false, true, false}},
        {"6", {false, false, false, false, false, true}},
        {"7", {}},
        {"", {}},
        {"1 ", {}},
    };
    for (const auto& sort : sorts) {
        auto key = registry.createKey(platform::RegistryRoot::LocalMachine, "SOFTWARE\\PellixZ");
        ASSERT_TRUE(key.ok());
        ASSERT_TRUE(registry.setString(*key, "SortType", sort.sortType).ok());
        ASSERT_TRUE(registry.setString(*key, "DialogDir", std::string(255, 'x')).ok()); // 256 bytes stored
        ASSERT_TRUE(registry.setString(*key, "SplitterWidth", "wide").ok());            // wrong type
        ASSERT_TRUE(registry.setNumber(*key, "SplitterHeight", static_cast<std::uint32_t>(-1)).ok());
        ASSERT_TRUE(registry.setNumber(*key, "IncludePathInfo", 1).ok());
        FakeWindow window;
        CBrenloApp application(registry);
        ASSERT_TRUE(application.initialise({exe, {}}, window));
        EXPECT_EQ(application.sortFlags(), sort.flags) << "SortType \"" << sort.sortType << "\"";
        EXPECT_EQ(application.settings().sortType, sort.sortType);
        EXPECT_EQ(application.settings().dialogDir, "") << "a value too long for its buffer is left out";
        EXPECT_EQ(application.settings().splitterWidth, 320);
        EXPECT_EQ(application.settings().splitterHeight, -1);
        EXPECT_EQ(application.settings().includePathInfo, 1);
        EXPECT_TRUE(window.boxes().empty());
    }
}

TEST(StartupTest, TheProgramDoesNotStartWithoutItsArchiverOrItsSettingsStore) {
    Sandbox sandbox;
    {
        platform::Registry registry;
        FakeWindow window;
        CBrenloApp application(registry);
        EXPECT_FALSE(application.initialise({makeProgramDir(sandbox, "no archiver", false), {}}, window));
        EXPECT_EQ(window.boxes(), std::vector<std::string>{kArchiverBox});
        EXPECT_EQ(window.waitCursorDepth, 0);
        EXPECT_FALSE(testsupport::fileExists(sandbox.hostPath("no archiver/blank.zip")))
            << "the stale archive goes even when the start-up then fails";
        EXPECT_FALSE(testsupport::fileExists(registry.filePath())) << "nothing is written before the check";
    }
    {
        // A store that cannot be read as a registry is left for the user to mend, not replaced.
        platform::Registry registry;
        testsupport::writeFile(registry.filePath(), "not a registry\n");
        FakeWindow window;
        CBrenloApp application(registry);
        EXPECT_FALSE(application.initialise({makeProgramDir(sandbox, "p"), {}}, window));
        EXPECT_EQ(window.boxes(), std::vector<std::string>{kRegistryBox});
        EXPECT_EQ(testsupport::readFile(registry.filePath()), "not a registry\n");
    }
    {
        // A store whose folder cannot be created: the key can be neither opened nor created.
        testsupport::writeFile(sandbox.hostPath("plain-file"), "");
        platform::Registry registry(sandbox.hostPath("plain-file/pellix/registry.reg"));
        FakeWindow window;
        CBrenloApp application(registry);
        EXPECT_FALSE(application.initialise({makeProgramDir(sandbox, "p"), {}}, window));
        EXPECT_EQ(window.boxes(), std::vector<std::string>{kRegistryBox});
    }
}

TEST(StartupTest, JobFilesLieBesideTheExecutableWhateverTheWorkingFolder) {
    Sandbox sandbox;
    platform::Registry registry;
    FakeWindow window;
    CBrenloApp application(registry);
    const std::string exe = makeProgramDir(sandbox, "prog");
    const std::string programDir = sandbox.hostPath("prog");
    std::filesystem::create_directories(sandbox.hostPath("elsewhere"));
    std::filesystem::copy_file(testsupport::programDir() + "/pellix-batch", programDir + "/pellix-batch",
                               std::filesystem::copy_options::overwrite_existing);
    const std::string oldCwd = std::filesystem::current_path();
    std::filesystem::current_path(sandbox.hostPath("elsewhere"));
    const bool started = application.initialise({exe, {}}, window);
    const bool ran = started && archive::ToolJob(application.jobFiles(), window).run("\"Z:\\bin\\true\"");
    std::filesystem::current_path(oldCwd);
    ASSERT_TRUE(started);
    ASSERT_TRUE(ran);
    EXPECT_TRUE(testsupport::fileExists(programDir + "/temp.bat"));
    EXPECT_FALSE(testsupport::fileExists(sandbox.hostPath("elsewhere/temp.bat")));
    EXPECT_TRUE(std::filesystem::is_empty(sandbox.hostPath("elsewhere")));
}

TEST(StartupTest, TheCommandLineNamesOneArchive) {
    const struct {
        std::vector<std::string> arguments;
        const char* fileName;
    } cases[] = {
        {{}, ""},
        {{"C:\\x\\y.zip"}, "C:\\x\\y.zip"},
        {{"-flag", "a.zip", "/p"}, "a.zip"},
        {{"a.zip", "b.zip"}, "b.zip"},
        {{"/home/u/a b.zip"}, "/home/u/a b.zip"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(app::parseCommandLine(c.arguments).fileName, c.fileName);
    }

    Sandbox sandbox;
    platform::Registry registry;
    const std::string exe = makeProgramDir(sandbox, "p");
    testsupport::writeFile(sandbox.hostPath("Zips/ä b.zip"), "PK");
    {
        FakeWindow window;
        CBrenloApp application(registry);
        ASSERT_TRUE(application.initialise({exe, {sandbox.hostPath("Zips/ä b.zip")}}, window));
        EXPECT_TRUE(application.checkCommandLineFile(window));
        EXPECT_EQ(application.commandLineFile(), "C:\\Zips\\ä b.zip") << "a host path is named by its drive";
    }
    {
        FakeWindow window;
        CBrenloApp application(registry);
        ASSERT_TRUE(application.initialise({exe, {"C:\\Zips\\missing.zip"}}, window));
        EXPECT_FALSE(application.checkCommandLineFile(window));
        EXPECT_EQ(window.boxes(),
                  std::vector<std::string>{"Exclamation|Pellix|C:\\Zips\\missing.zip was not found."});
    }
}
