#include "drivemap.h"
#include "hostfile.h"
#include "hostnames.h"
#include "sandbox.h"

#include <algorithm>
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

// Every byte a Linux name may hold, alone and among others, comes back from its Windows path, and
// no Windows path the map makes holds a quote, a control character or a byte that is not UTF-8.
TEST(DriveMapTest, EveryHostNameRoundTripsThroughItsWindowsPath) {
    const DriveMap map = sampleMap();
    std::vector<std::string> names;
    for (int byte = 1; byte < 256; ++byte) {
        if (byte != '/' && byte != '.') { // "." is no file's name
            names.push_back(std::string(1, static_cast<char>(byte)));
            names.push_back("a" + std::string(1, static_cast<char>(byte)) + "b.txt");
        }
    }
    names.insert(names.end(), {"r.zip\">\".bashrc", "v.zip\" -del \"@l.lst", "x\nrun \".zip", "x\r\nrun.zip",
                               "a\\b", "\xef\x80\xa2", "\xef\x81\x81 literal carriers", "caf\xc3\xa9",
                               "caf\xe9 latin1", "\xc0\xaf overlong", "\xed\xa0\x80 surrogate",
                               "\xf0\x9f\x98", "...", ". .", "-del", "@l.lst", "C:", "%PATH% & ^! $(x) `y`"});
    for (const std::string& name : names) {
        const std::string host = "/home/u/dir " + name + "/" + name;
        auto windows = map.toWindows(host);
        ASSERT_TRUE(windows.ok()) << windows.error().message;
        EXPECT_EQ(platform::unsafeJobCharacter(*windows), std::string::npos) << *windows;
        EXPECT_EQ(std::count(windows->begin(), windows->end(), '\\'), 2) << *windows;
        auto back = map.toHost(*windows);
        ASSERT_TRUE(back.ok());
        EXPECT_EQ(*back, host) << *windows;
    }
    const struct {
        const char* host;
        const char* windows;
    } exact[] = {
        {"/home/u/a\"b\".txt", "C:\\a\uF022b\uF022.txt"},
        {"/home/u/n\nkeep.txt", "C:\\n\uF00Akeep.txt"},
        {"/home/u/back\\slash", "C:\\back\uF05Cslash"},
        {"/home/u/x\xff", "C:\\x\uF0FF"},
        {"/home/u/\xef\x80\xa2", "C:\\\uF0EF\uF080\uF0A2"},
        {"/home/u/caf\xc3\xa9 100%", "C:\\caf\xc3\xa9 100%"},
    };
    for (const auto& c : exact) {
        auto windows = map.toWindows(c.host);
        ASSERT_TRUE(windows.ok());
        EXPECT_EQ(*windows, c.windows);
    }
}

// Code points that carry no byte a Windows name lacks are names, never dots or separators.
TEST(DriveMapTest, NoWindowsPathClimbsOutThroughACarrier) {
    const DriveMap map = sampleMap();
    const struct {
        const char* windows;
        const char* host;
    } cases[] = {
        {"C:\\\uF02E\uF02E\\etc", "/home/u/\uF02E\uF02E/etc"},
        {"C:\\a\uF02Fb", "/home/u/a\uF02Fb"},
        {"C:\\a\uF000b", "/home/u/a\uF000b"},
        {"C:\\a\"b", "/home/u/a\"b"},
        {"C:\\a\uF05C..\\x", "/home/u/a\\../x"},
    };
    for (const auto& c : cases) {
        auto host = map.toHost(c.windows);
        ASSERT_TRUE(host.ok());
        EXPECT_EQ(*host, c.host) << c.windows;
    }
}

TEST(HostNamesTest, ListsShowTheRealCharactersAndTypedNamesAreCarried) {
    const struct {
        const char* name;
        const char* shown;
    } shown[] = {
        {"a\uF022b\uF022", "a\"b\""},       {"n\uF00Akeep", "n\u240Akeep"},
        {"n\u240Akeep", "n\u240Akeep"},     {"x\uF0FF", "x\uFFFD"},
        {"\uF0EF\uF081\uF081", "\uF041"},   {"\uF07F", "\u2421"},
        {"back\uF05Cslash", "back\\slash"}, {"plain.txt", "plain.txt"},
    };
    for (const auto& c : shown) {
        EXPECT_EQ(platform::shownNameOf(c.name), c.shown) << c.name;
    }
    EXPECT_EQ(platform::windowsNameFromTyped("a\"b\u240A*?"), "a\uF022b\uF00A\uF02A\uF03F");
    EXPECT_EQ(platform::hostNameOfListed("n\u240Akeep \"q\" \u2421\uF05C"), "n\nkeep \"q\" \x7f\\");
}
