#include "fakewindow.h"
#include "recentfiles.h"
#include "sandbox.h"
#include "settings.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using testsupport::FakeWindow;

namespace {

const std::string kRegistryBox = std::string("Stop|Pellix|") + "A Windows Registry Error was encountered.";

} // namespace

TEST(SettingsTest, SavedSettingsAreTheNextStartsSettings) {
    testsupport::Sandbox sandbox;
    platform::Registry registry;
    app::Settings defaults;
    ASSERT_EQ(app::loadSettings(registry, defaults), app::SettingsLoad::FirstRun);

    app::Settings changed;
    changed.splitterWidth = 411;
    changed.splitterHeight = 97;
    changed.sortType = "6";
    changed.dialogDir = "C:\\Mine \"quoted\"";
    changed.includePathInfo = 1;
    changed.useDriveA = 1;
    FakeWindow window;
    ASSERT_TRUE(app::saveSettings(registry, changed, window));
    EXPECT_TRUE(window.boxes().empty());

    app::Settings read;
    ASSERT_EQ(app::loadSettings(registry, read), app::SettingsLoad::Loaded);
    EXPECT_EQ(read.splitterWidth, 411);
    EXPECT_EQ(read.splitterHeight, 97);
    EXPECT_EQ(read.sortType, "6");
    EXPECT_EQ(read.dialogDir, "C:\\Mine \"quoted\"");
    EXPECT_EQ(read.includePathInfo, 1);
    EXPECT_EQ(read.useDriveA, 1);
}

TEST(SettingsTest, SaveFailuresShowTheRegistryErrorOnceAndWriteNothingMore) {
    testsupport::Sandbox sandbox;
    platform::Registry registry;
    app::Settings settings;
    settings.splitterWidth = 500;
    {
        FakeWindow window;
        EXPECT_FALSE(app::saveSettings(registry, settings, window)) << "no settings key";
        EXPECT_EQ(window.boxes(), std::vector<std::string>{kRegistryBox});
        EXPECT_FALSE(testsupport::fileExists(registry.filePath()));
    }
    app::Settings loaded;
    ASSERT_EQ(app::loadSettings(registry, loaded), app::SettingsLoad::FirstRun);
    const std::string before = testsupport::readFile(registry.filePath());
    // A folder where the store's temporary file goes makes every write fail, even for root.
    std::filesystem::create_directories(registry.filePath() + ".tmp" + std::to_string(getpid()));
    FakeWindow window;
    EXPECT_FALSE(app::saveSettings(registry, settings, window));
    EXPECT_EQ(window.boxes(), std::vector<std::string>{kRegistryBox})
        << "the first failed write ends the save";
    EXPECT_EQ(testsupport::readFile(registry.filePath()), before);
}

TEST(RecentFilesTest, FourEntriesNewestFirstWithoutDuplicates) {
    testsupport::Sandbox sandbox;
    platform::Registry registry;
    archive::RecentFileList list;
    for (const char* path : {"C:\\a.zip", "C:\\b.zip", "C:\\c.zip", "C:\\d.zip", "c:\\B.ZIP", "C:\\e.zip"}) {
        list.add(path);
    }
    EXPECT_EQ(list.entries(), (std::vector<std::string>{"C:\\e.zip", "c:\\B.ZIP", "C:\\d.zip", "C:\\c.zip"}));
    ASSERT_TRUE(list.save(registry).ok());

    archive::RecentFileList read;
    read.load(registry);
    EXPECT_EQ(read.entries(), list.entries());
    auto key =
        registry.openKey(platform::RegistryRoot::CurrentUser, "Software\\PellixB\\Pellix\\Recent File List");
    ASSERT_TRUE(key.ok());
    EXPECT_EQ(registry.queryValue(*key, "File1", 255)->text, "C:\\e.zip");
    EXPECT_EQ(registry.queryValue(*key, "File4", 255)->text, "C:\\c.zip");

    // Another program's list, never loaded, adds one archive: it goes first, the oldest falls
    // off, and what the first program saved stays.
    archive::RecentFileList another;
    another.add("C:\\only.zip");
    ASSERT_TRUE(another.save(registry).ok());
    read.load(registry);
    EXPECT_EQ(read.entries(),
              (std::vector<std::string>{"C:\\only.zip", "C:\\e.zip", "c:\\B.ZIP", "C:\\d.zip"}));
    EXPECT_EQ(another.entries(), read.entries());
}

TEST(SettingsTest, ProgramsSavingAtOnceKeepEachOthersChangesAndArchives) {
    testsupport::Sandbox sandbox;
    {
        platform::Registry registry;
        app::Settings defaults;
        ASSERT_EQ(app::loadSettings(registry, defaults), app::SettingsLoad::FirstRun);
    }
    // Four programs start, each changes one setting of its own and opens an archive of its own,
    // and all of them save at about the same moment.
    constexpr int kPrograms = 4;
    std::vector<pid_t> children;
    for (int program = 0; program < kPrograms; ++program) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            platform::Registry registry;
            app::Settings settings;
            app::StoredSettings stored;
            archive::RecentFileList recent;
            const bool loaded = app::loadSettings(registry, settings, &stored) == app::SettingsLoad::Loaded;
            recent.load(registry);
            usleep(static_cast<useconds_t>(20'000 * (kPrograms - program)));
            switch (program) {
            case 0:
                settings.sortType = "6";
                break;
            case 1:
                settings.dialogDir = "C:\\Mine";
                break;
            case 2:
                settings.splitterWidth = 411;
                break;
            default:
                settings.useDriveA = 1;
            }
            recent.add("C:\\p" + std::to_string(program) + ".zip");
            FakeWindow window;
            const bool saved =
                app::saveSettings(registry, settings, window, &stored) && recent.save(registry).ok();
            _exit(loaded && saved ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    platform::Registry registry;
    app::Settings read;
    ASSERT_EQ(app::loadSettings(registry, read), app::SettingsLoad::Loaded);
    EXPECT_EQ(read.sortType, "6");
    EXPECT_EQ(read.dialogDir, "C:\\Mine");
    EXPECT_EQ(read.splitterWidth, 411);
    EXPECT_EQ(read.useDriveA, 1);
    EXPECT_EQ(read.splitterHeight, 240);
    archive::RecentFileList recent;
    recent.load(registry);
    std::vector<std::string> entries = recent.entries();
    std::sort(entries.begin(), entries.end());
    EXPECT_EQ(entries, (std::vector<std::string>{"C:\\p0.zip", "C:\\p1.zip", "C:\\p2.zip", "C:\\p3.zip"}));
}
