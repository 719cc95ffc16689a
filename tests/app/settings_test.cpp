#include "fakewindow.h"
#include "recentfiles.h"
#include "sandbox.h"
#include "settings.h"

#include <filesystem>
#include <gtest/gtest.h>
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

    archive::RecentFileList shorter;
    shorter.add("C:\\only.zip");
    ASSERT_TRUE(shorter.save(registry).ok());
    read.load(registry);
    EXPECT_EQ(read.entries(), std::vector<std::string>{"C:\\only.zip"}) << "older entries do not come back";
}
