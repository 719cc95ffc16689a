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

// A program directory below drive C: holding an archiver (and a blank.zip that is not this
// program's scratch archive).
std::string makeProgramDir(const Sandbox& sandbox, const std::string& folder, bool withArchiver = true) {
    testsupport::writeFile(sandbox.hostPath(folder + "/blank.zip"), "stale");
    if (withArchiver) {
        testsupport::writeFile(sandbox.hostPath(folder + "/PKZIP25.EXE"), "");
    }
    return sandbox.hostPath(folder + "/pellix");
}

// The Windows name of the sandbox's folder for the running programs' own folders, with a "\".
std::string instanceParentName(const Sandbox& sandbox) {
    platform::Result<std::string> name = platform::DriveMap::current().toWindows(sandbox.instanceParent());
    return name.ok() ? *name + "\\" : "(unnamed)";
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
    EXPECT_EQ(testsupport::readFile(sandbox.hostPath("Pellix Prögram/blank.zip")), "stale")
        << "the program directory is not the program's to change";
    EXPECT_EQ(application.programDir(), "C:\\Pellix Prögram\\");
    // The job files are in a folder of this running program's own, the scratch archive in another
    // on disk (see TheScratchArchiveAndTheCopiesLiveOnDiskInAPrivateFolder).
    const std::string own = application.instanceDir();
    ASSERT_EQ(sandbox.instanceFolders().size(), 1u);
    EXPECT_EQ(own, instanceParentName(sandbox) + sandbox.instanceFolders()[0] + "\\");
    EXPECT_EQ(application.archivePath(), application.scratchDir() + "blank.zip");
    EXPECT_EQ(application.archiveFileName(), "blank.zip");
    EXPECT_EQ(application.jobFiles().archiver, "C:\\Pellix Prögram\\PKZIP25.EXE");
    EXPECT_EQ(application.jobFiles().script, own + "temp.bat");
    EXPECT_EQ(application.jobFiles().marker, own + "tempdone.txt");
    EXPECT_EQ(application.jobFiles().listing, own + "temp.txt");
    EXPECT_EQ(application.jobFiles().list, own + "temp.lst");
    EXPECT_EQ(application.jobFiles().errors, own + "temp.err");
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

    // The second start reads what the first one wrote, in a folder of its own while both run.
    {
        CBrenloApp second(registry);
        ASSERT_TRUE(second.initialise({exe, {}}, window));
        EXPECT_FALSE(second.firstRun());
        EXPECT_EQ(second.settings().splitterWidth, 320);
        EXPECT_NE(second.instanceDir(), own);
        EXPECT_EQ(sandbox.instanceFolders().size(), 2u);
    }
    EXPECT_EQ(sandbox.instanceFolders().size(), 1u) << "a program's folder goes with it";
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
        EXPECT_FALSE(testsupport::fileExists(registry.filePath())) << "nothing is written before the check";
    }
    EXPECT_TRUE(sandbox.instanceFolders().empty());
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

TEST(StartupTest, JobFilesLieInTheProgramsOwnFolderWhateverTheWorkingFolder) {
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
    platform::Result<std::string> script =
        platform::DriveMap::current().toHost(application.jobFiles().script);
    ASSERT_TRUE(script.ok());
    EXPECT_EQ(script->rfind(sandbox.instanceParent() + "/", 0), 0u) << *script;
    EXPECT_TRUE(testsupport::fileExists(*script));
    EXPECT_FALSE(testsupport::fileExists(programDir + "/temp.bat"));
    EXPECT_TRUE(std::filesystem::is_empty(sandbox.hostPath("elsewhere")));
}

// The folder of the job files must have a drive letter: the runtime folder when one names it,
// else the cache folder, else the program says why it cannot start.
TEST(StartupTest, TheJobFolderIsTheFirstThatADriveLetterNames) {
    Sandbox sandbox;
    const std::string exe = makeProgramDir(sandbox, "p");
    const std::string outsideCache = sandbox.root() + "/cache";
    const std::string homeCache = sandbox.home() + "/.cache";
    platform::DriveMap homeOnly;
    homeOnly.map('C', sandbox.home());
    const struct {
        const char* what;
        platform::DriveMap drives;
        std::string cache;
        std::string parent; // "" when the start-up fails
    } cases[] = {
        {"default map", platform::DriveMap::defaults(), outsideCache, sandbox.instanceParent()},
        {"runtime folder without a drive", homeOnly, homeCache, homeCache + "/pellix"},
        {"neither with a drive", homeOnly, outsideCache, ""},
    };
    for (const auto& c : cases) {
        setenv("XDG_CACHE_HOME", c.cache.c_str(), 1);
        platform::Registry registry;
        FakeWindow window;
        CBrenloApp application(registry, c.drives);
        const bool started = application.initialise({exe, {}}, window);
        EXPECT_EQ(started, !c.parent.empty()) << c.what;
        if (started) {
            platform::Result<std::string> host = c.drives.toHost(application.instanceDir());
            ASSERT_TRUE(host.ok()) << c.what;
            EXPECT_EQ(host->rfind(c.parent + "/", 0), 0u) << c.what << ": " << *host;
            EXPECT_TRUE(window.boxes().empty()) << c.what;
            continue;
        }
        ASSERT_EQ(window.boxes().size(), 1u) << c.what;
        const std::string box = window.boxes()[0];
        EXPECT_EQ(box.rfind("Stop|Pellix|The program was unable to create its folder for work files:\n", 0),
                  0u)
            << box;
        EXPECT_NE(box.find("no drive letter is mapped to a folder holding " + c.cache + "/pellix"),
                  std::string::npos)
            << box;
        EXPECT_NE(box.find(platform::DriveMap::filePath()), std::string::npos) << box;
    }
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

// blank.zip and the copies for the desktop may be large: they live on disk below the cache folder,
// not in the runtime folder (in memory on most desktops), in a private folder that goes at exit, or
// at the next start after a crash.
TEST(StartupTest, TheScratchArchiveAndTheCopiesLiveOnDiskInAPrivateFolder) {
    Sandbox sandbox;
    const std::string exe = makeProgramDir(sandbox, "p");
    const std::string parent = sandbox.root() + "/cache/pellix";
    // What a program that crashed left: its folder, with its lock free.
    testsupport::writeFile(parent + "/999999-0badf00d/blank.zip", "left by a crash");
    testsupport::writeFile(parent + "/999999-0badf00d/lock", "");
    std::string scratchHost;
    {
        platform::Registry registry;
        FakeWindow window;
        CBrenloApp application(registry);
        ASSERT_TRUE(application.initialise({exe, {}}, window));
        platform::Result<std::string> host = platform::DriveMap::current().toHost(application.scratchDir());
        ASSERT_TRUE(host.ok());
        scratchHost = *host;
        EXPECT_EQ(scratchHost.rfind(parent + "/", 0), 0u) << scratchHost;
        EXPECT_EQ(application.archivePath(), application.scratchDir() + "blank.zip");
        EXPECT_NE(application.instanceDir(), application.scratchDir())
            << "the job files stay in the runtime folder";
        EXPECT_EQ(std::filesystem::status(scratchHost).permissions() & std::filesystem::perms::all,
                  std::filesystem::perms::owner_all);
        EXPECT_FALSE(std::filesystem::exists(parent + "/999999-0badf00d"))
            << "a crashed program's folder goes";
    }
    EXPECT_FALSE(std::filesystem::exists(scratchHost)) << "the folder goes with the program";
}
