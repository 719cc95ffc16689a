// The engine's passwords: the refusals read from the archiver's errors, the password handed over in
// a file of mode 0600 and nowhere else, asked for once per archive and again after a wrong one.
#include "archiveengine.h"
#include "fakewindow.h"
#include "passwords.h"
#include "sandbox.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace {

using archive::PasswordAnswer;

TEST(PasswordRefusals, AreTakenOutOfTheErrorsByTheirExactLines) {
    struct Case {
        std::string errors;
        std::string verb;
        std::vector<std::string> wrong;
        std::vector<std::string> missing;
        std::string rest;
    };
    const Case cases[] = {
        {"PKZIP25.EXE: a.txt: not extracted: the password is wrong\n"
         "PKZIP25.EXE: docs/b: c.txt: not extracted: it is encrypted and no password was given\r\n"
         "PKZIP25.EXE: d.txt: not extracted: its data fail the CRC check (damaged archive)\n",
         "extracted",
         {"a.txt"},
         {"docs/b: c.txt"},
         "PKZIP25.EXE: d.txt: not extracted: its data fail the CRC check (damaged archive)\n"},
        {"PKZIP25.EXE: a.txt: not tested: the password is wrong\n", "tested", {"a.txt"}, {}, ""},
        // Another verb's lines, and text that only mentions the reason, are not refusals.
        {"PKZIP25.EXE: a.txt: not tested: the password is wrong\nthe password is wrong\n",
         "extracted",
         {},
         {},
         "PKZIP25.EXE: a.txt: not tested: the password is wrong\nthe password is wrong\n"},
    };
    for (const Case& c : cases) {
        const archive::PasswordRefusals refusals = archive::takePasswordRefusals(c.errors, c.verb);
        EXPECT_EQ(refusals.wrong, c.wrong) << c.errors;
        EXPECT_EQ(refusals.missing, c.missing) << c.errors;
        EXPECT_EQ(refusals.rest, c.rest) << c.errors;
    }
}

// An engine over C:\prog\ whose archiver is a stand-in that logs each run's arguments, the password
// file's mode and whether the password is in its environment, then runs the real archiver; with
// unmarked, it takes the encrypted mark out of listings, as a listing that does not know it would.
struct World {
    static constexpr char kPassword[] = "ruby slippers";
    testsupport::Sandbox sandbox;
    archive::JobFiles files;
    testsupport::FakeWindow window;
    std::string lastFolder = "C:\\";
    std::int32_t includePathInfo = 0;
    archive::RecentFileList recent;
    std::unique_ptr<archive::ArchiveEngine> engine;

    explicit World(bool unmarked = false) {
        std::filesystem::create_directories(sandbox.hostPath("prog"));
        std::filesystem::create_directories(sandbox.hostPath("out"));
        const std::string log = sandbox.hostPath("runs.log");
        testsupport::writeFile(
            sandbox.hostPath("prog/PKZIP25.EXE"),
            "#!/bin/sh\n"
            "printf 'args: %s\\n' \"$*\" >> '" +
                log +
                "'\n"
                "[ -e '" +
                sandbox.hostPath("prog/temp.pwd") + "' ] && stat -c 'mode: %a' '" +
                sandbox.hostPath("prog/temp.pwd") + "' >> '" + log +
                "'\n"
                "env | grep -qF '" +
                kPassword + "' && echo 'in the environment' >> '" + log + "'\n" +
                (unmarked ? "case \"$1\" in -*) ;; *) exec '" + testsupport::programDir() +
                                "/PKZIP25.EXE' \"$@\" | sed 's/^\\(.\\{61\\}\\)E/\\1 /' ;; esac\n"
                          : "") +
                "exec '" + testsupport::programDir() + "/PKZIP25.EXE' \"$@\"\n");
        std::filesystem::permissions(sandbox.hostPath("prog/PKZIP25.EXE"), std::filesystem::perms::owner_all);
        files = archive::JobFiles::inProgramDir("C:\\prog\\", testsupport::programDir() + "/pellix-batch");
        engine = std::make_unique<archive::ArchiveEngine>(files, window, lastFolder, includePathInfo, recent);
        testsupport::writeFile(sandbox.hostPath("src/a.txt"), "first secret");
        testsupport::writeFile(sandbox.hostPath("src/b.txt"), "second secret");
        for (const char* name : {"one.zip", "two.zip"}) {
            EXPECT_EQ(testsupport::runShell("cd '" + sandbox.hostPath("src") + "' && zip -q -P '" +
                                            kPassword + "' ../" + name + " a.txt b.txt"),
                      0);
        }
    }

    void open(const std::string& zipName) { (void)engine->OpenArchiveFile("C:\\" + zipName); }
    void extract(const std::vector<std::string>& members) {
        engine->clearOperationItems();
        engine->state().extractDestination = "C:\\out";
        for (const std::string& member : members) {
            engine->AddOperationItem(engine->state().archivePath + "/" + member, 12, "");
        }
        engine->RunArchiveOperation(false);
    }
    std::vector<std::string> questions() const { return window.callsStartingWith("password "); }
    std::string log() const { return testsupport::readFile(sandbox.hostPath("runs.log")); }
};

const std::string kAskOne =
    "password Password Required|Enter the password for the encrypted files of \"one.zip\":";

TEST(EnginePasswords, AreAskedOnceHandedOverInAFileAndForgottenForAnotherArchive) {
    World world;
    world.open("one.zip");
    ASSERT_EQ(world.engine->state().entries.size(), 2u);
    EXPECT_TRUE(world.engine->state().entries[0].encrypted);
    world.window.passwords = {PasswordAnswer{"wrong", ""}, PasswordAnswer{World::kPassword, ""}};
    world.extract({"a.txt"});
    world.extract({"b.txt"});
    EXPECT_EQ(
        world.questions(),
        (std::vector<std::string>{kAskOne, "password Password Required|The password is wrong for a.txt.\n" +
                                               kAskOne.substr(kAskOne.find('|') + 1)}));
    EXPECT_EQ(testsupport::readFile(world.sandbox.hostPath("out/a.txt")), "first secret");
    EXPECT_EQ(testsupport::readFile(world.sandbox.hostPath("out/b.txt")), "second secret");
    EXPECT_FALSE(testsupport::fileExists(world.sandbox.hostPath("prog/temp.pwd")));
    const std::string log = world.log();
    EXPECT_NE(log.find("-password=@C:\\prog\\temp.pwd"), std::string::npos) << log;
    EXPECT_NE(log.find("mode: 600"), std::string::npos) << log;
    EXPECT_EQ(log.find(World::kPassword), std::string::npos) << log;
    EXPECT_EQ(log.find("in the environment"), std::string::npos) << log;

    // Another archive has a password of its own; opening the same one again keeps it.
    world.window.calls.clear();
    world.open("one.zip");
    world.extract({"a.txt"});
    EXPECT_TRUE(world.questions().empty());
    world.open("two.zip");
    world.window.passwords = {std::nullopt};
    world.extract({"a.txt", "b.txt"});
    EXPECT_EQ(world.questions().size(), 1u);
    EXPECT_EQ(world.window.boxes().back(),
              "Exclamation|UnZip Completed|These encrypted files were not extracted, "
              "as no password was given:\na.txt\nb.txt");
}

TEST(EnginePasswords, AMemberTheListingDidNotMarkIsAskedForWhenTheArchiverRefusesIt) {
    World world(true);
    world.open("one.zip");
    ASSERT_EQ(world.engine->state().entries.size(), 2u);
    EXPECT_FALSE(world.engine->state().entries[0].encrypted);
    world.window.passwords = {PasswordAnswer{World::kPassword, ""}};
    world.extract({"a.txt", "b.txt"});
    EXPECT_EQ(world.questions(), std::vector<std::string>{kAskOne});
    EXPECT_EQ(world.window.boxes(),
              std::vector<std::string>{"Information|UnZip Completed|The Selected Files have been UnZipped."});
    EXPECT_EQ(testsupport::readFile(world.sandbox.hostPath("out/b.txt")), "second secret");
}

TEST(EnginePasswords, EncryptingAddsAsksTwiceUntilTheFieldsAgree) {
    World world;
    world.open("one.zip");
    world.window.passwords = {PasswordAnswer{"a", "b"}, PasswordAnswer{"", ""}, PasswordAnswer{"new", "new"}};
    world.engine->toggleAddEncryption();
    EXPECT_TRUE(world.engine->encryptsAdds());
    EXPECT_EQ(world.window.boxes(),
              (std::vector<std::string>{
                  "Stop|Encrypt Added Files|The two passwords differ. Enter the same password "
                  "in both fields.",
                  "Stop|Encrypt Added Files|A password cannot be empty."}));
    testsupport::writeFile(world.sandbox.hostPath("src/c.txt"), "third");
    world.engine->clearOperationItems();
    world.engine->AddOperationItem("C:\\src\\c.txt", 5, "");
    world.engine->RunArchiveOperation(true);
    EXPECT_NE(world.log().find("-encrypt=aes256 -password=@C:\\prog\\temp.pwd"), std::string::npos)
        << world.log();
    EXPECT_TRUE(world.engine->state().entries.back().encrypted);
    world.engine->toggleAddEncryption();
    EXPECT_FALSE(world.engine->encryptsAdds());
    // New forgets them all.
    world.window.passwords = {PasswordAnswer{"x", "x"}};
    world.engine->toggleAddEncryption();
    ASSERT_TRUE(world.engine->encryptsAdds());
    world.window.chosenFiles = {std::string("C:\\three.zip")};
    world.engine->newCommand();
    EXPECT_FALSE(world.engine->encryptsAdds());
}

} // namespace
