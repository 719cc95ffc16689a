// The program on a real X server (Xvfb), driven by real X input from xdotool: what only a real
// window system shows, such as the end of the process when its main window closes.
#include "programcopy.h"
#include "xserver.h"

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
