#include "registry.h"
#include "sandbox.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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
    {
        Registry::Batch batch(registry);
        EXPECT_EQ(registry.openKey(RegistryRoot::CurrentUser, "Software\\PellixB").error().code,
                  kRegistryBadStore);
        EXPECT_FALSE(batch.commit().ok());
    }
    EXPECT_EQ(testsupport::readFile(registry.filePath()), damaged);

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

namespace {

std::string numbered(const char* prefix, int i) {
    return prefix + std::to_string(i);
}

} // namespace

TEST(RegistryTest, ALargeStoreKeepsEveryValueAndTheFilesOrder) {
    testsupport::Sandbox sandbox;
    Registry registry;
    // Keys out of alphabetical order, a value name in odd case, 200,000 values under one key.
    constexpr int kValues = 200'000;
    std::string text = "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Zeta]\n"
                       "\"Only\"=dword:00000001\n\n[HKEY_CURRENT_USER\\Software\\Many]\n";
    for (int i = 0; i < kValues; ++i) {
        text += "\"" + numbered(i % 2 == 0 ? "Value" : "VALUE", i) + "\"=\"" + numbered("text ", i) + "\"\n";
    }
    text += "\n[HKEY_CLASSES_ROOT\\.ZIP]\n@=\"\"\n";
    testsupport::writeFile(registry.filePath(), text);

    auto many = registry.openKey(RegistryRoot::CurrentUser, "software\\many");
    ASSERT_TRUE(many.ok()) << many.error().message;
    for (int i : {0, 1, 99'999, 150'001, kValues - 1}) {
        auto value = registry.queryValue(*many, numbered("value", i), 255);
        ASSERT_TRUE(value.ok()) << i;
        EXPECT_EQ(value->text, numbered("text ", i));
    }
    EXPECT_EQ(registry.queryValue(*many, numbered("Value", kValues), 255).error().code, kRegistryNotFound);

    // A change rewrites the one line in its place; a new value goes after the key's others.
    ASSERT_TRUE(registry.setString(*many, "value100000", "changed").ok());
    ASSERT_TRUE(registry.setNumber(*many, "Added", 7).ok());
    std::string expected = text;
    const std::string line = "\"Value100000\"=\"text 100000\"\n";
    expected.replace(expected.find(line), line.size(), "\"Value100000\"=\"changed\"\n");
    expected.replace(expected.find("\n[HKEY_CLASSES_ROOT"), 0, "\"Added\"=dword:00000007\n");
    EXPECT_TRUE(testsupport::readFile(registry.filePath()) == expected) << "the file keeps its order";

    Registry again;
    auto reopened = again.openKey(RegistryRoot::CurrentUser, "Software\\Many");
    ASSERT_TRUE(reopened.ok());
    EXPECT_EQ(again.queryValue(*reopened, "VALUE199999", 255)->text, "text 199999");
    EXPECT_EQ(again.queryValue(*reopened, "Value100000", 255)->text, "changed");
}

TEST(RegistryTest, TwoStoresOnOneFileKeepEachOthersValues) {
    testsupport::Sandbox sandbox;
    Registry first;
    Registry second;
    auto key = first.createKey(RegistryRoot::LocalMachine, "SOFTWARE\\PellixZ");
    ASSERT_TRUE(key.ok());
    ASSERT_TRUE(first.setString(*key, "SortType", "1").ok());
    // The second store reads the file, then each writes a value of its own, in turn.
    auto secondKey = second.openKey(RegistryRoot::LocalMachine, "SOFTWARE\\PellixZ");
    ASSERT_TRUE(secondKey.ok());
    EXPECT_EQ(second.queryValue(*secondKey, "SortType", 53)->text, "1");
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(first.setNumber(*key, numbered("First", round), static_cast<std::uint32_t>(round)).ok());
        ASSERT_TRUE(
            second.setNumber(*secondKey, numbered("Second", round), static_cast<std::uint32_t>(round)).ok());
        EXPECT_EQ(second.queryValue(*secondKey, numbered("First", round), 4)->number,
                  static_cast<std::uint32_t>(round))
            << "each sees what the other wrote";
    }
    ASSERT_TRUE(second.setString(*secondKey, "SortType", "6").ok());
    EXPECT_EQ(first.queryValue(*key, "SortType", 53)->text, "6") << "the last writer wins";
    {
        // A batch holds the store as it was read at its start and writes its changes together.
        Registry::Batch batch(first);
        ASSERT_TRUE(first.setString(*key, "DialogDir", "C:\\x").ok());
        ASSERT_TRUE(first.setNumber(*key, "UseDriveA", 1).ok());
        EXPECT_EQ(first.queryValue(*key, "DialogDir", 255)->text, "C:\\x");
        EXPECT_EQ(testsupport::readFile(first.filePath()).find("DialogDir"), std::string::npos)
            << "nothing is written before the commit";
        ASSERT_TRUE(batch.commit().ok());
    }
    {
        Registry::Batch dropped(second);
        ASSERT_TRUE(second.setNumber(*secondKey, "UseDriveA", 2).ok());
    }
    EXPECT_EQ(second.queryValue(*secondKey, "UseDriveA", 4)->number, 1u) << "an uncommitted batch is dropped";
    Registry reader;
    auto read = reader.openKey(RegistryRoot::LocalMachine, "SOFTWARE\\PellixZ");
    ASSERT_TRUE(read.ok());
    for (const char* name : {"First0", "First2", "Second0", "Second2"}) {
        EXPECT_TRUE(reader.queryValue(*read, name, 4).ok()) << name;
    }
    EXPECT_EQ(reader.queryValue(*read, "DialogDir", 255)->text, "C:\\x");
}

TEST(RegistryTest, ManyProgramsWritingAtOnceLoseNothingAndNeverSeeHalfAFile) {
    testsupport::Sandbox sandbox;
    {
        Registry setup;
        ASSERT_TRUE(setup.createKey(RegistryRoot::CurrentUser, "Software\\Shared").ok());
    }
    constexpr int kPrograms = 6;
    constexpr int kValuesEach = 40;
    std::vector<pid_t> children;
    for (int program = 0; program < kPrograms; ++program) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Each program writes values of its own, some in batches, the shared one in every
            // round, and reads the store between its writes.
            Registry registry;
            auto key = registry.openKey(RegistryRoot::CurrentUser, "Software\\Shared");
            int failures = key.ok() ? 0 : 1;
            for (int i = 0; key.ok() && i < kValuesEach; i += 2) {
                Registry::Batch batch(registry);
                const std::string name = "P" + std::to_string(program) + "_";
                failures +=
                    registry.setNumber(*key, name + std::to_string(i), static_cast<std::uint32_t>(i)).ok()
                        ? 0
                        : 1;
                failures += batch.commit().ok() ? 0 : 1;
                failures +=
                    registry.setNumber(*key, name + std::to_string(i + 1), static_cast<std::uint32_t>(i + 1))
                            .ok()
                        ? 0
                        : 1;
                failures +=
                    registry.setNumber(*key, "Last", static_cast<std::uint32_t>(program)).ok() ? 0 : 1;
                failures += registry.queryValue(*key, "Last", 4).ok() ? 0 : 1;
            }
            _exit(failures == 0 ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a write or read failed in a program";
    }
    Registry reader;
    auto key = reader.openKey(RegistryRoot::CurrentUser, "Software\\Shared");
    ASSERT_TRUE(key.ok()) << key.error().message;
    for (int program = 0; program < kPrograms; ++program) {
        for (int i = 0; i < kValuesEach; ++i) {
            auto value = reader.queryValue(*key, "P" + std::to_string(program) + "_" + std::to_string(i), 4);
            ASSERT_TRUE(value.ok()) << program << " " << i;
            EXPECT_EQ(value->number, static_cast<std::uint32_t>(i));
        }
    }
    EXPECT_LT(reader.queryValue(*key, "Last", 4)->number, static_cast<std::uint32_t>(kPrograms));
}

// A value may hold any byte (a folder named with a line break, a quote, a backslash): it comes
// back whole and never adds a line or a value to the store.
TEST(RegistryTest, ValuesWithLineBreaksAndQuotesKeepTheStoreIntact) {
    testsupport::Sandbox sandbox;
    std::string everyByte;
    for (int byte = 1; byte < 256; ++byte) {
        everyByte += static_cast<char>(byte);
    }
    const std::string values[] = {everyByte,
                                  "C:\\n\nkeep\r\n\"Other\"=\"injected\"\r\n[HKEY_CURRENT_USER\\X]", "\\",
                                  "\"", "ends in \\"};
    for (const std::string& value : values) {
        Registry registry;
        auto key = registry.createKey(RegistryRoot::LocalMachine, "SOFTWARE\\PellixZ");
        ASSERT_TRUE(key.ok());
        ASSERT_TRUE(registry.setString(*key, "DialogDir", value).ok());
        ASSERT_TRUE(registry.setString(*key, "After", "still here").ok());
        Registry again;
        auto reopened = again.openKey(RegistryRoot::LocalMachine, "SOFTWARE\\PellixZ");
        ASSERT_TRUE(reopened.ok());
        EXPECT_EQ(again.queryValue(*reopened, "DialogDir", 4096)->text, value);
        EXPECT_EQ(again.queryValue(*reopened, "After", 255)->text, "still here");
        EXPECT_EQ(again.queryValue(*reopened, "Other", 255).error().code, kRegistryNotFound);
        EXPECT_FALSE(again.openKey(RegistryRoot::CurrentUser, "X").ok());
    }
}
