#include "association.h"
#include "sandbox.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

using archive::DesktopPlaces;

TEST(AssociationTest, MakesThisProgramTheDesktopsZipHandler) {
    testsupport::Sandbox sandbox;
    platform::Registry registry;
    const DesktopPlaces places = DesktopPlaces::forCurrentUser();
    EXPECT_EQ(places.mimeAppsList, sandbox.config() + "/mimeapps.list");
    // A user's other defaults survive; an old .zip handler and a program id on .ZIP are replaced.
    testsupport::writeFile(places.mimeAppsList, "[Default Applications]\ntext/plain=gedit.desktop\n"
                                                "application/zip=other.desktop;\n\n[Added Associations]\n"
                                                "image/png=eog.desktop;\n");
    auto zip = registry.createKey(platform::RegistryRoot::ClassesRoot, ".ZIP");
    ASSERT_TRUE(zip.ok());
    ASSERT_TRUE(registry.setString(*zip, "", "OtherProgram.Zip").ok());

    const std::string program = sandbox.hostPath("My Programs/pellix");
    EXPECT_TRUE(archive::EnsureZipAssociation(registry, "C:\\My Programs\\", program, places));
    const std::string list = testsupport::readFile(places.mimeAppsList);
    EXPECT_EQ(archive::defaultApplicationFor(list, "application/zip"), "pellix.desktop");
    EXPECT_EQ(archive::defaultApplicationFor(list, "text/plain"), "gedit.desktop");
    EXPECT_NE(list.find("image/png=eog.desktop;"), std::string::npos);
    const std::string entry = testsupport::readFile(sandbox.root() + "/data/applications/pellix.desktop");
    // The program's path holds a blank: the entry names it through a link whose path needs no
    // quoting, which every launcher runs as it is.
    EXPECT_NE(entry.find("Exec=" + places.programLink + " %f\n"), std::string::npos) << entry;
    EXPECT_EQ(std::filesystem::read_symlink(places.programLink).string(), program);
    EXPECT_NE(entry.find("MimeType=application/zip;"), std::string::npos);
    EXPECT_NE(entry.find("Icon=pellix\n"), std::string::npos) << entry;
    EXPECT_EQ(places.iconFile, sandbox.root() + "/data/icons/hicolor/scalable/apps/pellix.svg");
    EXPECT_EQ(testsupport::readFile(places.iconFile),
              testsupport::readTestFixture("../src/res/icons/pellix.svg"));
    for (const char* size : {"16", "24"}) {
        EXPECT_EQ(testsupport::readFile(sandbox.root() + "/data/icons/hicolor/" + size + "x" + size +
                                        "/apps/pellix.svg"),
                  testsupport::readTestFixture(std::string("../src/res/icons/pellix-") + size + ".svg"))
            << "the small picture of " << size << " pixels";
    }
    auto command = registry.openKey(platform::RegistryRoot::ClassesRoot, ".ZIP\\Shell\\Open\\Command");
    ASSERT_TRUE(command.ok());
    EXPECT_EQ(registry.queryValue(*command, "", 255)->text, "C:\\My Programs\\pellix %1");
    EXPECT_EQ(registry.queryValue(*zip, "", 255)->text, "");

    // The desktop's own tool agrees.
    std::string answer;
    if (testsupport::runShell("command -v xdg-mime >/dev/null") == 0) {
        testsupport::runShell("XDG_CURRENT_DESKTOP=X-Generic xdg-mime query default application/zip",
                              &answer);
        EXPECT_EQ(answer, "pellix.desktop\n");
    }

    // A second run finds everything in place and writes nothing.
    const auto before = std::filesystem::last_write_time(places.mimeAppsList);
    EXPECT_TRUE(archive::EnsureZipAssociation(registry, "C:\\My Programs\\", program, places));
    EXPECT_EQ(std::filesystem::last_write_time(places.mimeAppsList), before);
}

TEST(AssociationTest, AFailedWriteLeavesTheAssociationUnmade) {
    testsupport::Sandbox sandbox;
    platform::Registry registry;
    // The applications folder cannot be created: a plain file stands where it would go.
    testsupport::writeFile(sandbox.root() + "/blocked", "");
    const DesktopPlaces places{sandbox.root() + "/blocked/applications/pellix.desktop",
                               sandbox.config() + "/mimeapps.list", "", ""};
    EXPECT_FALSE(archive::EnsureZipAssociation(registry, "C:\\p\\", sandbox.hostPath("p/pellix"), places));
    EXPECT_FALSE(testsupport::fileExists(places.mimeAppsList)) << "no default names a missing entry";
}

TEST(AssociationTest, ExecNamesTheProgramByTheEntrysQuotingRules) {
    const struct {
        const char* path;
        const char* word;
    } cases[] = {
        {"/opt/pellix/pellix", "/opt/pellix/pellix"},
        {"/home/u/My Programs/pellix", "\"/home/u/My Programs/pellix\""},
        {"/home/u/(x86)/pellix", "\"/home/u/(x86)/pellix\""},
        // Inside the quotes a quote, a dollar and a backslash get a backslash, and the value
        // escapes each backslash once more.
        {"/a\"b/c$d/e\\f", "\"/a\\\\\"b/c\\\\$d/e\\\\\\\\f\""},
        {"/50%/pellix", "\"/50%%/pellix\""},
        // A line break never ends the entry's line: the value writes it as its escape.
        {"/a\nMimeType=text/plain;\r\tb/pellix", "\"/a\\nMimeType=text/plain;\\r\\tb/pellix\""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(archive::execProgramWord(c.path), c.word) << c.path;
        EXPECT_EQ(archive::needsExecEscaping(c.path), std::string(c.path) != c.word) << c.path;
        EXPECT_TRUE(archive::canNameInExec(c.path)) << c.path;
    }
    EXPECT_FALSE(archive::canNameInExec("/a\x01b/pellix"));
}

// The entry as the desktop's own tools read it: desktop-file-validate accepts it, and xdg-open
// (its generic fallback, which takes Exec's first word literally, and the GNOME path through gio)
// and gio open start the program on a file whose name holds blanks and parentheses, wherever the
// program lies. A stub program stands in for Pellix and writes down the arguments it got.
TEST(AssociationTest, TheDesktopsLaunchersRunTheEntryOnAnyFileName) {
    if (testsupport::runShell("command -v xdg-open && command -v gio && command -v desktop-file-validate && "
                              "command -v zip >/dev/null") != 0) {
        GTEST_SKIP() << "xdg-open, gio, desktop-file-validate or zip is not installed";
    }
    for (const char* folder : {"bin", "My Programs (x86)"}) {
        testsupport::Sandbox sandbox;
        platform::Registry registry;
        const DesktopPlaces places = DesktopPlaces::forCurrentUser();
        const std::string program = sandbox.hostPath(std::string(folder) + "/pellix");
        const std::string got = sandbox.root() + "/arguments";
        testsupport::writeFile(program, "#!/bin/sh\nprintf '%s\\n' \"$#\" \"$@\" > '" + got +
                                            ".new' && mv '" + got + ".new' '" + got + "'\n");
        std::filesystem::permissions(program, std::filesystem::perms::owner_all);
        ASSERT_TRUE(archive::EnsureZipAssociation(registry, "C:\\p\\", program, places));
        EXPECT_EQ(testsupport::runShell("desktop-file-validate '" + places.desktopEntry + "'"), 0);

        const std::string zipFile = sandbox.hostPath("Report (1) final.zip");
        testsupport::writeFile(sandbox.hostPath("x.txt"), "x");
        ASSERT_EQ(testsupport::runShell("cd '" + sandbox.home() + "' && zip -q '" + zipFile + "' x.txt"), 0);
        for (const char* launcher :
             {"XDG_CURRENT_DESKTOP=X-Generic xdg-open", "XDG_CURRENT_DESKTOP=GNOME xdg-open", "gio open"}) {
            std::filesystem::remove(got);
            std::string output;
            // xdg-open looks for a desktop application only where a display is named; the stub
            // needs none.
            const int status = testsupport::runShell(
                "DISPLAY=:99 " + std::string(launcher) + " '" + zipFile + "' 2>&1", &output);
            EXPECT_EQ(status, 0) << launcher << ": " << output;
            // gio starts the program and returns at once: wait for it to write.
            for (int tries = 0; tries < 100 && !testsupport::fileExists(got); ++tries) {
                testsupport::runShell("sleep 0.1");
            }
            ASSERT_TRUE(testsupport::fileExists(got)) << launcher << " in " << folder << ": " << output;
            EXPECT_EQ(testsupport::readFile(got), "1\n" + zipFile + "\n") << launcher << " in " << folder;
        }
    }
}
