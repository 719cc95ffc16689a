// The program on a real X server (Xvfb), driven by real X input from xdotool: what only a real
// window system shows, such as the end of the process when its main window closes, or a drag out
// of the window onto another program.
#include "programcopy.h"
#include "xserver.h"

#include <cstdio>
#include <filesystem>
#include <gtest/gtest.h>
#include <optional>
#include <set>
#include <sstream>
#include <thread>
#include <vector>

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

namespace {

// Another program's drop target: a small GTK 3 window (tests/app/x11/droptarget.py) that logs the
// drops it receives, with the files their URIs name.
class DropTarget {
public:
    // Why no drop target can be shown here; "" when one can.
    static std::string whyNot() {
        if (testsupport::runShell("/usr/bin/python3 -c \"import gi; gi.require_version('Gtk', '3.0'); "
                                  "from gi.repository import Gtk\" 2>/dev/null") != 0) {
            return "GTK 3 for Python (python3-gi, gir1.2-gtk-3.0) is not installed; scripts/setup.sh "
                   "installs both";
        }
        return {};
    }

    DropTarget(const testsupport::XServer& x, const std::string& log)
        : m_log(log), m_run("DISPLAY=" + x.display() + " exec /usr/bin/python3 '" +
                                testsupport::testSourcePath("app/x11/droptarget.py") + "' '" + log + "'",
                            log + ".err") {}

    bool waitUntilShown() {
        const auto deadline = std::chrono::steady_clock::now() + 15s;
        while (std::chrono::steady_clock::now() < deadline) {
            if (contains(log(), "ready")) {
                return true;
            }
            std::this_thread::sleep_for(50ms);
        }
        return false;
    }
    std::string log() const { return testsupport::fileExists(m_log) ? testsupport::readFile(m_log) : ""; }
    // The URIs of the nth drop whose data arrived (from 1), waiting up to timeout for it.
    std::vector<std::string> received(size_t nth, std::chrono::milliseconds timeout) const {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;) {
            std::istringstream lines(log());
            size_t seen = 0;
            for (std::string line; std::getline(lines, line);) {
                if (line.rfind("received", 0) == 0 && ++seen == nth) {
                    std::istringstream words(line.substr(8));
                    std::vector<std::string> uris;
                    for (std::string uri; words >> uri;) {
                        uris.push_back(uri);
                    }
                    return uris;
                }
            }
            if (std::chrono::steady_clock::now() >= deadline) {
                return {};
            }
            std::this_thread::sleep_for(50ms);
        }
    }

private:
    std::string m_log;
    testsupport::BackgroundRun m_run;
};

// The screen point of a "where: X Y" line of the script's output, the nth (from 1).
std::optional<std::pair<int, int>> wherePoint(const std::string& output, int nth) {
    std::istringstream lines(output);
    int seen = 0;
    for (std::string line; std::getline(lines, line);) {
        int x = 0;
        int y = 0;
        if (std::sscanf(line.c_str(), "where: %d %d", &x, &y) == 2 && ++seen == nth) {
            return std::make_pair(x, y);
        }
    }
    return std::nullopt;
}

std::string hostPathOfUri(const std::string& uri) {
    const std::string prefix = "file://";
    return uri.rfind(prefix, 0) == 0 ? uri.substr(prefix.size()) : std::string();
}

} // namespace

// A real drag with real X input, out of the window onto another program's drop target: a local
// row hands over the file itself, a member and an archive folder hand over copies extracted
// first, and the same member dragged again uses its copy again instead of piling up copies.
TEST(DesktopX11Test, DragsOutOfTheWindowDeliverFilesToAnotherProgram) {
    testsupport::XServer x;
    if (!x.isRunning() || !x.startWindowManager()) {
        GTEST_SKIP() << x.whyNot();
    }
    if (const std::string why = DropTarget::whyNot(); !why.empty()) {
        GTEST_SKIP() << why;
    }
    testsupport::ProgramCopy program;
    const testsupport::Sandbox& box = program.sandbox;
    testsupport::writeFile(box.hostPath("Data/readme.txt"), "a local file\n");
    testsupport::writeFile(box.hostPath("zipsrc/notes.txt"), "the member's own bytes\n");
    testsupport::writeFile(box.hostPath("zipsrc/docs/x.txt"), "in the archive's folder\n");
    ASSERT_EQ(testsupport::runShell("cd '" + box.hostPath("zipsrc") + "' && zip -q -r '" +
                                    box.hostPath("a.zip") + "' notes.txt docs"),
              0);
    testsupport::writeFile(box.root() + "/script.txt", "select local-tree C:\\Data\\\n"
                                                       "where local-list readme.txt\n"
                                                       "where archive-list notes.txt\n"
                                                       "where archive-tree C:\\a.zip/docs/\n"
                                                       "idle 120000\n");
    testsupport::BackgroundRun run("cd '" + box.home() + "' && DISPLAY=" + x.display() +
                                       " QT_QPA_PLATFORM=xcb TZ=UTC exec '" + program.dir +
                                       "/pellix' --script '" + box.root() + "/script.txt' C:\\\\a.zip",
                                   box.root() + "/out.txt");
    ASSERT_TRUE(run.waitForOutput("> idle", 30s)) << run.output();
    DropTarget target(x, box.root() + "/drops.log");
    ASSERT_TRUE(target.waitUntilShown()) << target.log();
    std::string geometry;
    ASSERT_EQ(
        x.xdotool("search --sync --limit 1 --name '^Drop Target$' getwindowgeometry --shell", &geometry), 0);
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    ASSERT_EQ(std::sscanf(geometry.c_str() + geometry.find("X="), "X=%d\nY=%d\nWIDTH=%d\nHEIGHT=%d", &left,
                          &top, &width, &height),
              4)
        << geometry;
    const std::string onTarget = std::to_string(left + width / 2) + " " + std::to_string(top + height / 2);

    struct Drag {
        const char* what;
        int where;       // which "where:" line names its row or item
        bool clickFirst; // a list row is clicked first, so that it alone is selected
        std::string expectedName;
        std::string expectedBytes; // of the file, or of x.txt in the folder
    };
    const std::vector<Drag> drags = {
        {"a local row", 1, true, "readme.txt", "a local file\n"},
        {"a member", 2, true, "notes.txt", "the member's own bytes\n"},
        {"the same member again", 2, true, "notes.txt", "the member's own bytes\n"},
        // Last: pressing on a folder of the archive's tree shows that folder in the list.
        {"an archive folder", 3, false, "docs", "in the archive's folder\n"},
    };
    std::set<std::string> copiesFolders;
    for (size_t i = 0; i < drags.size(); ++i) {
        const Drag& drag = drags[i];
        SCOPED_TRACE(drag.what);
        const std::optional<std::pair<int, int>> at = wherePoint(run.output(), drag.where);
        ASSERT_TRUE(at) << run.output();
        const std::string from = std::to_string(at->first) + " " + std::to_string(at->second);
        const std::string along = std::to_string(at->first + 30) + " " + std::to_string(at->second);
        // Pressed on the row, moved along it far enough to start the drag, up out of the window and
        // over to the target, where the button comes up.
        ASSERT_EQ(x.xdotool(std::string("mousemove ") + from + (drag.clickFirst ? " click 1 sleep 0.8" : "") +
                            " mousedown 1 sleep 0.2 mousemove " + along + " sleep 0.2 mousemove " +
                            std::to_string(at->first + 30) + " 2 sleep 1.5 mousemove " + onTarget +
                            " sleep 0.5 mousemove_relative 5 5 sleep 0.5 mouseup 1"),
                  0);
        const std::vector<std::string> uris = target.received(i + 1, 8s);
        ASSERT_EQ(uris.size(), 1u) << "the drop target got no file; it logged:\n"
                                   << target.log() << "\nthe program printed:\n"
                                   << run.output();
        const std::filesystem::path delivered(hostPathOfUri(uris.front()));
        EXPECT_EQ(delivered.filename().string(), drag.expectedName);
        const std::filesystem::path file =
            std::filesystem::is_directory(delivered) ? delivered / "x.txt" : delivered;
        ASSERT_TRUE(testsupport::fileExists(file.string())) << file;
        EXPECT_EQ(testsupport::readFile(file.string()), drag.expectedBytes);
        if (i > 0) {
            copiesFolders.insert(delivered.parent_path().parent_path().string());
        }
    }
    std::printf("The drop target's log:\n%s", target.log().c_str());
    // The members' copies, all of one archive, share one folder, used again by every drag.
    ASSERT_EQ(copiesFolders.size(), 1u);
    size_t copies = 0;
    for (const auto& entry : std::filesystem::directory_iterator(*copiesFolders.begin())) {
        (void)entry;
        ++copies;
    }
    EXPECT_EQ(copies, 1u) << "folders of copies after three drags of members";

    const std::string main = windowNamed(x, "^Pellix - a.zip$");
    ASSERT_FALSE(main.empty());
    ASSERT_EQ(x.xdotool("windowfocus --sync " + main + " key ctrl+x"), 0);
    EXPECT_TRUE(run.waitForEnd(15s)) << run.output();
}
