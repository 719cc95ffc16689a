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
    EXPECT_NE(entry.find("Exec=\"" + program + "\" %f"), std::string::npos) << entry;
    EXPECT_NE(entry.find("MimeType=application/zip;"), std::string::npos);
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
                               sandbox.config() + "/mimeapps.list"};
    EXPECT_FALSE(archive::EnsureZipAssociation(registry, "C:\\p\\", sandbox.hostPath("p/pellix"), places));
    EXPECT_FALSE(testsupport::fileExists(places.mimeAppsList)) << "no default names a missing entry";
}
