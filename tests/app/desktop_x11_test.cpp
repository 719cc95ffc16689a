// The program on a real X server (Xvfb), driven by real X input from xdotool: what only a real
// window system shows, such as the end of the process when its main window closes.
#include "programcopy.h"
#include "xserver.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace std::chrono_literals;
using testsupport::contains;

namespace {

// The program started on the test's X server as a user starts it, from its home folder.
std::string startCommand(const testsupport::ProgramCopy& program, const testsupport::XServer& x,
                         const std::string& arguments = "") {
    return "cd '" + program.sandbox.home() + "' && DISPLAY=" + x.display() +
           " QT_QPA_PLATFORM=xcb TZ=UTC exec '" + program.dir + "/pellix' " + arguments;
}

// The id of the first window whose title matches the pattern, waiting for it to appear.
std::string windowNamed(const testsupport::XServer& x, const std::string& pattern) {
    std::string id;
    if (x.xdotool("search --sync --limit 1 --name '" + pattern + "'", &id) != 0) {
        return {};
    }
    return id.substr(0, id.find('\n'));
}

} // namespace

TEST(DesktopX11Test, ClosingTheMainWindowEndsTheProgramAndHelpGoesWithIt) {
    testsupport::XServer x;
    if (!x.isRunning()) {
        GTEST_SKIP() << x.whyNot();
    }
    testsupport::ProgramCopy program;
    testsupport::BackgroundRun run(startCommand(program, x), program.sandbox.root() + "/out.txt");
    const std::string main = windowNamed(x, "^Pellix - blank.zip$");
    ASSERT_FALSE(main.empty()) << run.output();
    ASSERT_EQ(x.xdotool("windowfocus --sync " + main), 0);
    // A setting changed, so that its saving at the end shows; then Help.
    ASSERT_EQ(x.xdotool("key ctrl+i F1"), 0);
    const std::string help = windowNamed(x, "^Pellix Help$");
    ASSERT_FALSE(help.empty()) << "F1 opens the help window";

    ASSERT_EQ(x.xdotool("windowfocus --sync " + main), 0);
    ASSERT_EQ(x.xdotool("key ctrl+x"), 0);
    EXPECT_TRUE(run.waitForEnd(10s)) << "the program still runs with only its help window open";
    EXPECT_EQ(run.exitStatus(), 0) << run.output();
    EXPECT_TRUE(contains(program.registryText(), "\"IncludePathInfo\"=dword:00000001"))
        << program.registryText();
}

TEST(DesktopX11Test, KeysAloneGoIntoAnArchiveFolderAndDeleteAMemberThere) {
    testsupport::XServer x;
    if (!x.isRunning()) {
        GTEST_SKIP() << x.whyNot();
    }
    testsupport::ProgramCopy program;
    const testsupport::Sandbox& box = program.sandbox;
    for (const char* name : {"docs/b.txt", "docs/c.txt", "top.txt"}) {
        testsupport::writeFile(box.hostPath(std::string("zipsrc/") + name), name);
    }
    std::filesystem::create_directories(box.hostPath("zips"));
    const std::string archive = box.hostPath("zips/a.zip");
    ASSERT_EQ(testsupport::runShell("cd '" + box.hostPath("zipsrc") + "' && zip -q -r -D '" + archive +
                                    "' docs top.txt"),
              0);
    testsupport::BackgroundRun run(startCommand(program, x, "'" + archive + "'"), box.root() + "/out.txt");
    const std::string main = windowNamed(x, "^Pellix - a.zip$");
    ASSERT_FALSE(main.empty()) << run.output();
    ASSERT_EQ(x.xdotool("windowfocus --sync " + main), 0);
    // Tab goes round the panes to the archive's members; a letter picks a row, Enter on a folder
    // row goes into it, and Delete there deletes the member picked inside it.
    // (Letters typed within a moment of each other make one name to look for.)
    ASSERT_EQ(x.xdotool("key --delay 50 Tab Tab Tab d Return sleep 0.6 key b Delete"), 0);
    ASSERT_FALSE(windowNamed(x, "^Confirm File Delete$").empty()) << run.output();
    ASSERT_EQ(x.xdotool("key Return"), 0);
    ASSERT_FALSE(windowNamed(x, "^Delete Completed$").empty()) << run.output();
    ASSERT_EQ(x.xdotool("key Return"), 0);
    ASSERT_EQ(x.xdotool("windowfocus --sync " + main), 0);
    ASSERT_EQ(x.xdotool("key ctrl+x"), 0);
    EXPECT_TRUE(run.waitForEnd(10s)) << run.output();

    std::string listed;
    ASSERT_EQ(testsupport::runShell("unzip -Z1 '" + archive + "' | sort", &listed), 0);
    EXPECT_EQ(listed, "docs/c.txt\ntop.txt\n");
}
