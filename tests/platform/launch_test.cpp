#include "launch.h"
#include "sandbox.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace platform;

TEST(LaunchTest, StartsHiddenInItsOwnSessionWithNoInput) {
    testsupport::Sandbox sandbox;
    const std::string script = sandbox.hostPath("probe.sh");
    const std::string out = sandbox.hostPath("probe.out");
    testsupport::writeFile(script, "readlink /proc/self/fd/0 > '" + out +
                                       "'\n"
                                       "ps -o sid= -p $$ | tr -d ' ' >> '" +
                                       out +
                                       "'\n"
                                       "echo $$ >> '" +
                                       out +
                                       "'\n"
                                       "echo to-nowhere\n");
    const LaunchResult launched = launchHidden("/bin/sh", script);
    ASSERT_TRUE(launched.started());
    EXPECT_GT(launched.code, 32);
    EXPECT_EQ(waitForProcessEnd(launched.process), ProcessEnd::Exited);
    const std::string text = testsupport::readFile(out);
    const size_t first = text.find('\n');
    const size_t second = text.find('\n', first + 1);
    EXPECT_EQ(text.substr(0, first), "/dev/null");
    EXPECT_EQ(text.substr(first + 1, second - first - 1), text.substr(second + 1, text.size() - second - 2))
        << "the job leads a session of its own, with no terminal: " << text;
}

TEST(LaunchTest, FailuresReportCodesOfThirtyTwoOrLess) {
    testsupport::Sandbox sandbox;
    EXPECT_EQ(launchHidden(sandbox.hostPath("missing"), "x").code, kLaunchFileNotFound);
    testsupport::writeFile(sandbox.hostPath("not-executable"), "#!/bin/sh\n");
    chmod(sandbox.hostPath("not-executable").c_str(), 0644);
    EXPECT_EQ(launchHidden(sandbox.hostPath("not-executable"), "x").code, kLaunchAccessDenied);
    testsupport::writeFile(sandbox.hostPath("garbage"), "\x7f"
                                                        "ELF nonsense");
    chmod(sandbox.hostPath("garbage").c_str(), 0755);
    const LaunchResult garbage = launchHidden(sandbox.hostPath("garbage"), "x");
    EXPECT_FALSE(garbage.started());
    EXPECT_LE(garbage.code, 32);
}
