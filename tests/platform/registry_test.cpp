#include "registry.h"
#include "sandbox.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace platform;

TEST(RegistryTest, KeysAndTypedValuesPersistAcrossInstances) {
    testsupport::Sandbox sandbox;
    Registry registry;
    EXPECT_EQ(registry.openKey(RegistryRoot::LocalMachine, "SOFTWARE\\PellixZ").error().code,
              kRegistryNotFound);

    auto key = registry.createKey(RegistryRoot::LocalMachine, "SOFTWARE\\PellixZ");
    ASSERT_TRUE(key.ok()) << key.error().message;
    ASSERT_TRUE(registry.setString(*key, "SortType", "1").ok());
    ASSERT_TRUE(registry.setString(*key, "DialogDir", "C:\\Data \"quoted\"\\").ok());
    ASSERT_TRUE(registry.setNumber(*key, "SplitterWidth", 320).ok());
    ASSERT_TRUE(registry.setNumber(*key, "Negative", static_cast<std::uint32_t>(-5)).ok());
    ASSERT_TRUE(registry.closeKey(*key).ok());
    auto assoc = registry.createKey(RegistryRoot::ClassesRoot, ".ZIP\\Shell\\Open\\Command");
    ASSERT_TRUE(assoc.ok());
    ASSERT_TRUE(registry.setString(*assoc, "", "Z:\\opt\\Pellix.exe %1").ok());

    Registry again;
    auto reopened = again.openKey(RegistryRoot::LocalMachine, "software\\pellixz");
    ASSERT_TRUE(reopened.ok()) << "key names ignore case";
    auto sort = again.queryValue(*reopened, "sorttype", 53);
    ASSERT_TRUE(sort.ok());
    EXPECT_EQ(sort->type, RegistryType::String);
    EXPECT_EQ(sort->text, "1");
    EXPECT_EQ(sort->storedLength(), 2u) << "strings count their terminating zero";
    EXPECT_EQ(again.queryValue(*reopened, "DialogDir", 255)->text, "C:\\Data \"quoted\"\\");
    EXPECT_EQ(again.queryValue(*reopened, "SplitterWidth", 4)->number, 320u);
    EXPECT_EQ(static_cast<std::int32_t>(again.queryValue(*reopened, "Negative", 4)->number), -5);
    EXPECT_EQ(again.queryValue(*reopened, "Missing", 255).error().code, kRegistryNotFound);
    EXPECT_EQ(again.queryValue(*reopened, "DialogDir", 5).error().code, kRegistryMoreData);
    EXPECT_TRUE(again.openKey(RegistryRoot::ClassesRoot, ".ZIP\\Shell").ok()) << "parents are created";
    EXPECT_EQ(
        again.queryValue(*again.openKey(RegistryRoot::ClassesRoot, ".zip\\shell\\open\\command"), "", 255)
            ->text,
        "Z:\\opt\\Pellix.exe %1");

    const std::string text = testsupport::readFile(registry.filePath());
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\PellixZ]"), std::string::npos) << text;
    EXPECT_NE(text.find("\"SplitterWidth\"=dword:00000140"), std::string::npos) << text;
    EXPECT_NE(text.find("@=\"Z:\\\\opt\\\\Pellix.exe %1\""), std::string::npos) << text;
}

TEST(RegistryTest, HandEditsAreReadAndDamagedStoresAreNeitherReadNorOverwritten) {
    testsupport::Sandbox sandbox;
    Registry registry;
    testsupport::writeFile(registry.filePath(),
                           "Windows Registry Editor Version 5.00\r\n\r\n"
                           "[HKEY_CURRENT_USER\\Software\\PellixB\\Pellix\\Recent File List]\r\n"
                           "\"File1\"=\"C:\\\\a.zip\"\r\n"
                           "garbage\r\n");
    // A line that is neither a key nor a value: the store is refused rather than half read.
    EXPECT_EQ(registry.openKey(RegistryRoot::CurrentUser, "Software\\PellixB").error().code,
              kRegistryBadStore);
    const std::string damaged = testsupport::readFile(registry.filePath());
    EXPECT_FALSE(registry.createKey(RegistryRoot::CurrentUser, "Software\\Other").ok());
    EXPECT_EQ(testsupport::readFile(registry.filePath()), damaged) << "a damaged store is left for the user";

    testsupport::writeFile(registry.filePath(),
                           "Windows Registry Editor Version 5.00\r\n\r\n"
                           "[HKEY_CURRENT_USER\\Software\\PellixB\\Pellix\\Recent File List]\r\n"
                           "\"File1\"=\"C:\\\\a.zip\"\r\n"
                           "  \"File2\" = dword:00000007\r\n");
    auto key = registry.openKey(RegistryRoot::CurrentUser, "Software\\PellixB\\Pellix\\Recent File List");
    ASSERT_TRUE(key.ok()) << key.error().message;
    EXPECT_EQ(registry.queryValue(*key, "File1", 255)->text, "C:\\a.zip");
    EXPECT_EQ(registry.queryValue(*key, "File2", 4)->number, 7u) << "blanks around \"=\" are a person's edit";
}

TEST(RegistryTest, AFailedWriteReportsAndKeepsTheOldStore) {
    testsupport::Sandbox sandbox;
    Registry registry;
    auto key = registry.createKey(RegistryRoot::LocalMachine, "SOFTWARE\\PellixZ");
    ASSERT_TRUE(key.ok());
    ASSERT_TRUE(registry.setNumber(*key, "UseDriveA", 0).ok());
    const std::string before = testsupport::readFile(registry.filePath());
    // A folder where the temporary file would go makes every write fail, even for root.
    std::filesystem::create_directories(registry.filePath() + ".tmp" + std::to_string(getpid()));
    EXPECT_FALSE(registry.setNumber(*key, "UseDriveA", 1).ok());
    EXPECT_EQ(testsupport::readFile(registry.filePath()), before);

    Registry nowhere("/proc/self/no-such-folder/registry.reg");
    EXPECT_FALSE(nowhere.createKey(RegistryRoot::LocalMachine, "SOFTWARE\\PellixZ").ok());
}
