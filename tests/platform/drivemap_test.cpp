#include "drivemap.h"
#include "hostfile.h"
#include "sandbox.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::DriveMap;

namespace {

DriveMap sampleMap() {
    DriveMap map;
    map.map('c', "/home/u");
    map.map('Z', "/");
    map.map('E', "/media/u/USB STICK");
    return map;
}

} // namespace

TEST(DriveMapTest, WindowsPathsBecomeHostPaths) {
    const DriveMap map = sampleMap();
    const struct {
        const char* windows;
        const char* host;
    } cases[] = {
        {"C:\\Data\\a.zip", "/home/u/Data/a.zip"},
        {"c:/Data/Sub/", "/home/u/Data/Sub"},
        {"C:/", "/home/u"},
        {"C:", "/home/u"},
        {"C:\\..\\..\\etc\\passwd", "/home/u/etc/passwd"},
        {"C:\\Data\\.\\x\\..\\y.txt", "/home/u/Data/y.txt"},
        {"Z:\\etc\\hosts", "/etc/hosts"},
        {"E:\\Fotos 2024\\Größe.jpg", "/media/u/USB STICK/Fotos 2024/Größe.jpg"},
        {"C:\\Data\\a.zip/docs/x.txt", "/home/u/Data/a.zip/docs/x.txt"},
    };
    for (const auto& c : cases) {
        auto host = map.toHost(c.windows);
        ASSERT_TRUE(host.ok()) << c.windows << ": " << host.error().message;
        EXPECT_EQ(*host, c.host) << c.windows;
    }
    EXPECT_FALSE(map.toHost("Q:\\x").ok());
}

TEST(DriveMapTest, HostPathsTakeTheLongestMatchingDriveAndRoundTrip) {
    const DriveMap map = sampleMap();
    const struct {
        const char* host;
        const char* windows;
    } cases[] = {
        {"/home/u/x.zip", "C:\\x.zip"},
        {"/home/u", "C:\\"},
        {"/home/user2/x", "Z:\\home\\user2\\x"},
        {"/etc/hosts", "Z:\\etc\\hosts"},
        {"/", "Z:\\"},
        {"/media/u/USB STICK/a b/ünï cødé.txt", "E:\\a b\\ünï cødé.txt"},
        {"/home/u//Data/./Sub/", "C:\\Data\\Sub"},
    };
    for (const auto& c : cases) {
        auto windows = map.toWindows(c.host);
        ASSERT_TRUE(windows.ok()) << c.host << ": " << windows.error().message;
        EXPECT_EQ(*windows, c.windows) << c.host;
        auto back = map.toHost(*windows);
        ASSERT_TRUE(back.ok());
        EXPECT_EQ(*back, platform::normaliseHostPath(c.host));
    }
    EXPECT_FALSE(map.toWindows("/home/u/odd\\name").ok()) << "a backslash in a name cannot be named";
    DriveMap onlyC;
    onlyC.map('C', "/home/u");
    EXPECT_FALSE(onlyC.toWindows("/etc/hosts").ok());
}

TEST(DriveMapTest, UserMapIsWrittenOnFirstUseAndReadBack) {
    testsupport::Sandbox sandbox;
    const DriveMap first = DriveMap::load();
    ASSERT_EQ(first.drives().size(), 2u);
    EXPECT_EQ(first.hostRoot('C'), sandbox.home());
    EXPECT_EQ(first.hostRoot('Z'), "/");
    ASSERT_TRUE(testsupport::fileExists(DriveMap::filePath()));

    testsupport::writeFile(DriveMap::filePath(), "# mine\nC: " + sandbox.home() + "\nD: " + sandbox.root() +
                                                     "\n\nA: /nonexistent-floppy\n");
    const DriveMap edited = DriveMap::load();
    ASSERT_EQ(edited.drives().size(), 3u);
    EXPECT_EQ(edited.drives()[0].letter, 'A');
    EXPECT_EQ(edited.hostRoot('d'), sandbox.root());
    EXPECT_FALSE(edited.hostRoot('Z'));
    EXPECT_TRUE(edited.canChangeToDrive('C'));
    EXPECT_FALSE(edited.canChangeToDrive('A')) << "mapped, but the folder is missing";
    EXPECT_FALSE(edited.canChangeToDrive('Q')) << "not mapped";

    EXPECT_FALSE(DriveMap::parse("C: relative/path\n").ok());
    EXPECT_FALSE(DriveMap::parse("CC: /x\n").ok());
}

TEST(DriveMapTest, TheFirstUseTableNeverReplacesOneThatIsThere) {
    testsupport::Sandbox sandbox;
    const std::string path = sandbox.hostPath("table.conf");
    ASSERT_TRUE(platform::writeNewFileAtomically(path, "first\n").ok());
    const platform::Status second = platform::writeNewFileAtomically(path, "second\n");
    ASSERT_FALSE(second.ok());
    EXPECT_EQ(second.error().code, EEXIST);
    EXPECT_EQ(testsupport::readFile(path), "first\n");
    for (const auto& entry : std::filesystem::directory_iterator(sandbox.home())) {
        EXPECT_EQ(entry.path().filename(), "table.conf") << "no temporary file is left";
    }

    // Programs starting at once on a missing table all use the one table that was written.
    std::vector<pid_t> children;
    for (int program = 0; program < 6; ++program) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            testsupport::writeFile(sandbox.hostPath("seen" + std::to_string(program)),
                                   DriveMap::load().toText());
            _exit(0);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
    }
    const std::string table = testsupport::readFile(DriveMap::filePath());
    ASSERT_FALSE(table.empty());
    for (int program = 0; program < 6; ++program) {
        EXPECT_EQ(testsupport::readFile(sandbox.hostPath("seen" + std::to_string(program))), table);
    }
}
