#include "instancefolder.h"
#include "sandbox.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::InstanceFolder;
using testsupport::Sandbox;
namespace fs = std::filesystem;

namespace {

// A program in another process that makes its folder in parent and reports its path; with
// crash set it then ends at once without removing anything, else it runs until it is killed.
struct OtherProgram {
    pid_t pid = -1;
    std::string folder;

    OtherProgram(const std::string& parent, bool crash) {
        int report[2];
        if (::pipe(report) != 0) {
            return;
        }
        pid = ::fork();
        if (pid == 0) {
            ::close(report[0]);
            platform::Result<InstanceFolder> made = InstanceFolder::create(parent);
            const std::string path = made.ok() ? made->hostPath() : "";
            (void)!::write(report[1], path.data(), path.size());
            ::close(report[1]);
            if (!crash) {
                ::pause();
            }
            ::_exit(0); // no destructor runs: the folder stays as a crash leaves it
        }
        ::close(report[1]);
        char buffer[4096];
        ssize_t n = 0;
        while ((n = ::read(report[0], buffer, sizeof buffer)) > 0) {
            folder.append(buffer, static_cast<size_t>(n));
        }
        ::close(report[0]);
        if (crash) {
            ::waitpid(pid, nullptr, 0);
        }
    }
    void kill() {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
    }
};

mode_t modeOf(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 ? (info.st_mode & 07777) : 0;
}

} // namespace

TEST(InstanceFolderTest, EndedProgramsFoldersGoAtTheNextStartWhileRunningOnesStay) {
    Sandbox sandbox;
    const std::string parent = sandbox.instanceParent();
    OtherProgram running(parent, false);
    OtherProgram crashed(parent, true);
    ASSERT_FALSE(running.folder.empty());
    ASSERT_FALSE(crashed.folder.empty());
    testsupport::writeFile(crashed.folder + "/blank.zip", "the crashed program's scratch archive");
    // Folders as a crash leaves them, or that are not a program's at all.
    const struct {
        std::string name;
        bool withLock;
        bool kept;
    } others[] = {
        {"123-0000000a", false, false},                          // died before it had its lock
        {std::to_string(::getpid()) + "-0000000b", true, false}, // its process id is in use again
        {"123-ABCDEF01", true, true},                            // not a name of ours
        {"notes", false, true},
    };
    for (const auto& other : others) {
        fs::create_directories(parent + "/" + other.name);
        if (other.withLock) {
            testsupport::writeFile(parent + "/" + other.name + "/lock", "");
        }
    }

    platform::Result<InstanceFolder> mine = InstanceFolder::create(parent);
    ASSERT_TRUE(mine.ok()) << mine.error().message;
    EXPECT_TRUE(fs::is_directory(running.folder)) << "a running program's folder stays";
    EXPECT_FALSE(testsupport::fileExists(crashed.folder)) << "a crashed program's folder goes";
    for (const auto& other : others) {
        EXPECT_EQ(fs::exists(parent + "/" + other.name), other.kept) << other.name;
    }
    EXPECT_EQ(modeOf(parent), 0700u);
    EXPECT_EQ(modeOf(mine->hostPath()), 0700u);
    EXPECT_NE(mine->hostPath(), running.folder);

    // Killed while it ran: its folder goes at the next start, and the living keep theirs.
    running.kill();
    {
        platform::Result<InstanceFolder> another = InstanceFolder::create(parent);
        ASSERT_TRUE(another.ok());
        EXPECT_FALSE(testsupport::fileExists(running.folder));
        EXPECT_TRUE(fs::is_directory(mine->hostPath()));
        EXPECT_TRUE(fs::is_directory(another->hostPath()));
    }
    std::vector<std::string> left = {"123-ABCDEF01", "notes", fs::path(mine->hostPath()).filename()};
    std::sort(left.begin(), left.end());
    EXPECT_EQ(sandbox.instanceFolders(), left) << "a program's folder goes with it";
}

TEST(InstanceFolderTest, AParentThatIsNotAPrivateFolderOfTheUsersIsNotUsed) {
    Sandbox sandbox;
    const std::string real = sandbox.root() + "/real";
    fs::create_directories(real);
    fs::create_directory_symlink(real, sandbox.root() + "/link");
    testsupport::writeFile(sandbox.root() + "/file", "");
    for (const std::string& parent : {sandbox.root() + "/link", sandbox.root() + "/file"}) {
        EXPECT_FALSE(InstanceFolder::create(parent).ok()) << parent;
    }
    EXPECT_TRUE(fs::is_empty(real));

    // One that others could read is made private before it is used.
    const std::string open = sandbox.root() + "/open";
    fs::create_directories(open);
    ::chmod(open.c_str(), 0755);
    EXPECT_TRUE(InstanceFolder::create(open).ok());
    EXPECT_EQ(modeOf(open), 0700u);
}
