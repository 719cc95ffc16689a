// The questions an extraction and an add ask before their jobs, through the real archiver: what
// the user is asked, and what ends up on disk and in the archive for each answer.
#include "archiveengine.h"
#include "fakewindow.h"
#include "formats.h"
#include "operationchecks.h"
#include "programcopy.h"
#include "sandbox.h"

#include <algorithm>
#include <filesystem>
#include <gtest/gtest.h>

using testsupport::FakeWindow;
using testsupport::readFile;
using testsupport::Sandbox;

namespace {

// 2024-03-05 10:20 UTC; the members' files are 30 seconds into that minute.
constexpr std::int64_t kMemberTime = 1709634000;
const char kReplaceButtons[] = "|Replace/Skip These/Cancel";
const char kRepeatButtons[] = "|Include Path Info for this add/Add Only the First of Each/Cancel";

struct World {
    Sandbox sandbox;
    archive::JobFiles files;
    FakeWindow window;
    std::string lastFolder = "C:\\";
    std::int32_t includePathInfo = 0;
    archive::RecentFileList recent;
    std::unique_ptr<archive::ArchiveEngine> engine;

    World() {
        std::filesystem::create_directories(sandbox.hostPath("prog"));
        std::filesystem::create_symlink(testsupport::programDir() + "/PKZIP25.EXE",
                                        sandbox.hostPath("prog/PKZIP25.EXE"));
        files = archive::JobFiles::inProgramDir("C:\\prog\\", testsupport::programDir() + "/pellix-batch");
        engine = std::make_unique<archive::ArchiveEngine>(files, window, lastFolder, includePathInfo, recent);
    }

    // a.zip: notes.txt, keep.txt, docs/a.txt, docs/b.txt, listed.
    void openArchive() {
        testsupport::writeFile(sandbox.hostPath("src/notes.txt"), "the member\n");
        testsupport::writeFile(sandbox.hostPath("src/keep.txt"), "kept\n");
        testsupport::writeFile(sandbox.hostPath("src/docs/a.txt"), "aaa\n");
        testsupport::writeFile(sandbox.hostPath("src/docs/b.txt"), "bbb\n");
        ASSERT_EQ(testsupport::runShell(
                      "cd '" + sandbox.hostPath("src") + "' && touch -d @" +
                      std::to_string(kMemberTime + 30) + " notes.txt keep.txt docs/*.txt && zip -q '" +
                      sandbox.hostPath("a.zip") + "' notes.txt keep.txt docs/a.txt docs/b.txt"),
                  0);
        engine->state().archivePath = "C:\\a.zip";
        engine->state().archiveFileName = "a.zip";
        engine->ListArchive();
        ASSERT_EQ(engine->state().entries.size(), 4u);
    }

    // Extracts the archive list's rows named (archive path, "/", member path) into C:\out.
    void extract(const std::vector<std::string>& members) {
        window.calls.clear();
        engine->clearOperationItems();
        engine->state().extractDestination = "C:\\out";
        for (const std::string& member : members) {
            engine->AddOperationItem("C:\\a.zip/" + member, 4, "");
        }
        engine->RunArchiveOperation(false);
    }

    std::vector<std::string> questions() const { return window.callsStartingWith("question "); }
    std::string out(const std::string& relative) const { return sandbox.hostPath("out/" + relative); }
};

} // namespace

TEST(OperationChecksTest, AnExtractionAsksOnceBeforeReplacingFilesThatDiffer) {
    const struct {
        const char* answer;
        const char* notes;    // notes.txt afterwards
        bool othersExtracted; // keep.txt and docs' files, new
        bool completed;       // the completion box
    } cases[] = {
        {"Replace", "the member\n", true, true},
        {"Skip These", "edited by the user, longer\n", true, true},
        {"Cancel", "edited by the user, longer\n", false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        World world;
        world.openArchive();
        world.includePathInfo = 1;
        testsupport::writeFile(world.out("notes.txt"), "edited by the user, longer\n");
        world.window.questionAnswers = {c.answer};
        world.extract({"notes.txt", "keep.txt", "docs/a.txt", "docs/b.txt"});

        ASSERT_EQ(world.questions().size(), 1u) << "asked once";
        const std::string question = world.questions().front();
        EXPECT_NE(question.find("Confirm File Replace|1 file(s) in C:\\out would be replaced"),
                  std::string::npos)
            << question;
        // The file with its date and size on disk and in the archive.
        EXPECT_NE(question.find("notes.txt   (on disk: "), std::string::npos) << question;
        EXPECT_NE(question.find(", 27 bytes; in the archive: " + archive::FormatDateText(kMemberTime) +
                                ", 11 bytes)"),
                  std::string::npos)
            << question;
        EXPECT_NE(question.find(kReplaceButtons), std::string::npos);
        EXPECT_EQ(readFile(world.out("notes.txt")), c.notes);
        EXPECT_EQ(testsupport::fileExists(world.out("docs/b.txt")), c.othersExtracted);
        EXPECT_EQ(testsupport::fileExists(world.out("keep.txt")), c.othersExtracted);
        EXPECT_EQ(world.window.boxes().size(), c.completed ? 1u : 0u);
        EXPECT_EQ(world.engine->state().cancelled, !c.completed);
    }
}

TEST(OperationChecksTest, IdenticalAndNewFilesNeedNoQuestionAndManyAreCounted) {
    World world;
    world.openArchive();
    world.extract({"notes.txt", "keep.txt"});
    ASSERT_EQ(world.window.boxes(),
              std::vector<std::string>{"Information|UnZip Completed|The Selected Files have been UnZipped."});
    // The same members again: the files there are the members' own (size and time).
    world.extract({"notes.txt", "keep.txt"});
    EXPECT_TRUE(world.questions().empty());
    EXPECT_EQ(world.window.boxes().size(), 1u);

    // Seven differing files: five named, the count of the rest, the total.
    World many;
    testsupport::writeFile(many.sandbox.hostPath("src/x"), "");
    std::string names;
    for (int i = 1; i <= 7; ++i) {
        testsupport::writeFile(many.sandbox.hostPath("src/f" + std::to_string(i) + ".txt"), "new");
        testsupport::writeFile(many.out("f" + std::to_string(i) + ".txt"), "old one");
        names += " f" + std::to_string(i) + ".txt";
    }
    ASSERT_EQ(testsupport::runShell("cd '" + many.sandbox.hostPath("src") + "' && zip -q '" +
                                    many.sandbox.hostPath("a.zip") + "'" + names),
              0);
    many.engine->state().archivePath = "C:\\a.zip";
    many.engine->ListArchive();
    many.window.questionAnswers = {"Skip These"};
    std::vector<std::string> members;
    for (int i = 1; i <= 7; ++i) {
        members.push_back("f" + std::to_string(i) + ".txt");
    }
    many.extract(members);
    ASSERT_EQ(many.questions().size(), 1u);
    const std::string question = many.questions().front();
    EXPECT_NE(question.find("7 file(s) in C:\\out"), std::string::npos) << question;
    EXPECT_NE(question.find("f5.txt"), std::string::npos);
    EXPECT_EQ(question.find("f6.txt"), std::string::npos) << "only the first few are named";
    EXPECT_NE(question.find("... and 2 more"), std::string::npos) << question;
    EXPECT_EQ(readFile(many.out("f7.txt")), "old one");
    EXPECT_TRUE(many.window.boxes().empty()) << "nothing was left to extract, so nothing claims it was";
}

TEST(OperationChecksTest, WhatStandsInAMembersWayIsReportedAndNeverRemoved) {
    const struct {
        const char* what;
        bool withPaths;
        const char* inTheWay;  // made below C:\out: a folder ends in "/"
        const char* line;      // the report's line for it
        const char* extracted; // a member that still comes out
    } cases[] = {
        {"a folder where a file goes", false, "b.txt/", "b.txt   (a folder is in the way)", "a.txt"},
        {"a file where a folder goes", true, "docs", "docs\\a.txt   (the file docs is in the way)",
         "keep.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        World world;
        world.openArchive();
        world.includePathInfo = c.withPaths ? 1 : 0;
        const std::string inTheWay = c.inTheWay;
        if (inTheWay.back() == '/') {
            std::filesystem::create_directories(world.out(inTheWay + "inside"));
        } else {
            testsupport::writeFile(world.out(inTheWay), "a file of the user's");
        }
        world.extract({"keep.txt", "docs/a.txt", "docs/b.txt"});
        const std::vector<std::string> boxes = world.window.boxes();
        ASSERT_EQ(boxes.size(), 2u);
        EXPECT_EQ(boxes[0].rfind("Exclamation|Members Not Extracted|", 0), 0u) << boxes[0];
        EXPECT_NE(boxes[0].find(c.line), std::string::npos) << boxes[0];
        EXPECT_EQ(boxes[1], "Information|UnZip Completed|The Selected Files have been UnZipped.")
            << "the archiver was not handed the members in the way, so nothing failed";
        EXPECT_TRUE(world.questions().empty());
        if (inTheWay.back() == '/') {
            EXPECT_TRUE(std::filesystem::is_directory(world.out(inTheWay + "inside")));
        } else {
            EXPECT_EQ(readFile(world.out(inTheWay)), "a file of the user's");
        }
        EXPECT_TRUE(testsupport::fileExists(world.out(c.extracted)));
    }
}

TEST(OperationChecksTest, CopiesForTheDesktopAreReplacedOrUsedAgainWithoutAQuestion) {
    World world;
    world.openArchive();
    auto extractNotes = [&world] {
        world.window.calls.clear();
        world.engine->clearOperationItems();
        world.engine->AddOperationItem("C:\\a.zip/notes.txt", 11, "");
        return world.engine->extractCopies("C:\\copies");
    };
    ASSERT_TRUE(extractNotes());
    ASSERT_EQ(readFile(world.sandbox.hostPath("copies/notes.txt")), "the member\n");
    // Used again as it is: no job runs.
    ASSERT_TRUE(extractNotes());
    EXPECT_TRUE(world.window.callsStartingWith("progress").empty());
    // Changed meanwhile: replaced, without a word.
    testsupport::writeFile(world.sandbox.hostPath("copies/notes.txt"), "changed");
    ASSERT_TRUE(extractNotes());
    EXPECT_EQ(readFile(world.sandbox.hostPath("copies/notes.txt")), "the member\n");
    EXPECT_TRUE(world.questions().empty());
    EXPECT_TRUE(world.window.boxes().empty());
}

TEST(OperationChecksTest, AnAddWithoutPathInfoAsksBeforeStoringTwoFilesUnderOneName) {
    const struct {
        const char* answer; // "" for an add without repeated names
        bool repeated;
        std::vector<std::string> members; // afterwards, sorted; none: no archive
        bool completed;
    } cases[] = {
        {"Include Path Info for this add", true, {"in/a/readme.txt", "in/b/readme.txt", "in/c.txt"}, true},
        {"Add Only the First of Each", true, {"c.txt", "readme.txt"}, true},
        {"Cancel", true, {}, false},
        {"", false, {"c.txt", "readme.txt"}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        World world;
        testsupport::writeFile(world.sandbox.hostPath("in/a/readme.txt"), "first");
        testsupport::writeFile(world.sandbox.hostPath("in/b/readme.txt"), "second");
        testsupport::writeFile(world.sandbox.hostPath("in/c.txt"), "c");
        world.engine->state().archivePath = "C:\\new.zip";
        world.engine->AddOperationItem("C:\\in\\a\\readme.txt", 5, "");
        if (c.repeated) {
            world.engine->AddOperationItem("C:\\in\\b\\readme.txt", 6, "");
        }
        world.engine->AddOperationItem("C:\\in\\c.txt", 1, "");
        if (*c.answer != '\0') {
            world.window.questionAnswers = {c.answer};
        }
        world.engine->RunArchiveOperation(true);

        const std::vector<std::string> questions = world.questions();
        ASSERT_EQ(questions.size(), c.repeated ? 1u : 0u);
        if (c.repeated) {
            EXPECT_NE(
                questions[0].find("Files With the Same Name|Without path info, 1 name(s) would be stored "
                                  "more than once"),
                std::string::npos)
                << questions[0];
            EXPECT_NE(questions[0].find("readme.txt: C:\\in\\a\\readme.txt, C:\\in\\b\\readme.txt"),
                      std::string::npos)
                << questions[0];
            EXPECT_NE(questions[0].find(kRepeatButtons), std::string::npos);
        }
        std::vector<std::string> members;
        if (testsupport::fileExists(world.sandbox.hostPath("new.zip"))) {
            for (const archive::ArchiveEntry& entry : world.engine->state().entries) {
                members.push_back(entry.folder.empty() ? entry.name : entry.folder + "/" + entry.name);
            }
            std::sort(members.begin(), members.end());
        }
        EXPECT_EQ(members, c.members);
        EXPECT_EQ(world.window.boxes().size(), c.completed ? 1u : 0u);
        EXPECT_EQ(world.includePathInfo, 0) << "the setting stays as it was";
        if (std::string(c.answer) == "Add Only the First of Each") {
            std::string first;
            ASSERT_EQ(testsupport::runShell("unzip -p '" + world.sandbox.hostPath("new.zip") + "' readme.txt",
                                            &first),
                      0);
            EXPECT_EQ(first, "first");
        }
    }
    // Replacing a member by a file of the same name is what an add is for: no question.
    World world;
    testsupport::writeFile(world.sandbox.hostPath("in/readme.txt"), "one");
    world.engine->state().archivePath = "C:\\new.zip";
    world.engine->AddOperationItem("C:\\in\\readme.txt", 3, "");
    world.engine->RunArchiveOperation(true);
    world.engine->clearOperationItems();
    world.engine->AddOperationItem("C:\\in\\readme.txt", 3, "");
    world.engine->RunArchiveOperation(true);
    EXPECT_TRUE(world.questions().empty());
}

// What the archiver says names the user's files, never the hidden side files it works through.
TEST(OperationChecksTest, TheArchiversMessagesNameTheFilesTheUserKnows) {
    const struct {
        const char* what;
        const char* archive; // the open archive, below C:
        bool scratch;        // it is the scratch archive
        const char* saidOf;  // the file the archiver names, below the home folder
        const char* shownAs; // what the message says instead
    } cases[] = {
        {"the scratch archive", "work/blank.zip", true, "work/.blank.zip.pellix-new", "blank.zip"},
        {"the user's archive", "zips/big.zip", false, "zips/.big.zip.pellix-journal", "C:\\zips\\big.zip"},
        {"a file being extracted", "zips/big.zip", false, "out/.notes.txt.pellix-part", "/out/notes.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        World world;
        const std::string archiver = world.sandbox.hostPath("prog/PKZIP25.EXE");
        std::filesystem::remove(archiver);
        testsupport::writeFile(archiver, "#!/bin/sh\nprintf '%s\\n' " +
                                             testsupport::shellQuoted("PKZIP25.EXE: cannot write " +
                                                                      world.sandbox.hostPath(c.saidOf) +
                                                                      ": No space left on device") +
                                             " >&2\nexit 1\n");
        std::filesystem::permissions(archiver, std::filesystem::perms::owner_all);
        testsupport::writeFile(world.sandbox.hostPath("in.txt"), "x");
        std::filesystem::create_directories(
            world.sandbox.hostPath(c.archive).substr(0, world.sandbox.hostPath(c.archive).rfind('/')));
        std::string archivePath = std::string("C:\\") + c.archive;
        std::replace(archivePath.begin(), archivePath.end(), '/', '\\');
        world.engine->state().archivePath = archivePath;
        world.engine->state().archiveFileName = archivePath.substr(archivePath.rfind('\\') + 1);
        world.engine->state().scratchArchivePath = c.scratch ? archivePath : "C:\\work\\blank.zip";
        world.engine->AddOperationItem("C:\\in.txt", 1, "");
        world.engine->RunArchiveOperation(true);
        ASSERT_FALSE(world.window.boxes().empty());
        const std::string box = world.window.boxes().front();
        EXPECT_NE(box.find(std::string(c.shownAs) + ": No space left on device"), std::string::npos) << box;
        EXPECT_EQ(box.find(world.sandbox.hostPath(c.archive)), std::string::npos) << box;
        EXPECT_EQ(box.find(".pellix-"), std::string::npos) << box;
    }
}
