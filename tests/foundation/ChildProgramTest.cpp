// Child processes: started with the streams they are given, their output read, their end
// awaited, and a helper program run within a limit.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <string>
#include <vector>

#include "foundation/ChildProgram.h"

namespace {

TEST(ChildProgramTest, TheChildsEndItsOutputAndAnEndlessChildAreTold) {
    using std::chrono::seconds;
    const struct {
        std::vector<std::string> arguments;
        std::chrono::milliseconds limit;
        bool started, timedOut;
        int exitCode;  // -1: killed by a signal
        std::string output;
    } cases[] = {
        {{"/bin/sh", "-c", "echo ready; exit 3"}, seconds(60), true, false, 3, "ready\n"},
        {{"/bin/sh", "-c", "echo gone >&2; kill -SEGV $$"}, seconds(60), true, false, -1, ""},
        // Endless, with its output closed or open: killed once the limit is over.
        {{"/bin/sh", "-c", "exec >&-; sleep 600"}, std::chrono::milliseconds(200), true, true, -1, ""},
        {{"/bin/sh", "-c", "sleep 600"}, std::chrono::milliseconds(200), true, true, -1, ""},
        {{"/nonexistent/program"}, seconds(60), false, false, 0, ""},
        // A name without '/' is looked up in PATH.
        {{"sh", "-c", "echo found"}, seconds(60), true, false, 0, "found\n"},
        // Only the start of a long output is kept, and the child is not stopped by it.
        {{"/bin/sh", "-c", "head -c 100000 /dev/zero | tr '\\0' x; exit 4"},
         seconds(60),
         true,
         false,
         4,
         std::string(4096, 'x')},
    };
    for (const auto& c : cases) {
        const os::ChildRun run = os::runChildProgram(c.arguments, c.limit);
        const std::string context = c.arguments.back();
        EXPECT_EQ(run.started, c.started) << context;
        if (!c.started) {
            EXPECT_EQ(run.startError, ENOENT) << context;
            continue;
        }
        EXPECT_EQ(run.timedOut, c.timedOut) << context;
        if (c.exitCode >= 0)
            EXPECT_TRUE(WIFEXITED(run.status) && WEXITSTATUS(run.status) == c.exitCode) << context;
        else
            EXPECT_TRUE(WIFSIGNALED(run.status)) << context;
        EXPECT_EQ(run.output, c.output) << context;
    }
}

TEST(ChildProgramTest, AStartedChildHasTheGivenStreamsAndIsAwaitedAndKilled) {
    int input[2], output[2];
    ASSERT_EQ(::pipe2(input, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(output, O_CLOEXEC), 0);
    pid_t child = -1;
    // Its errors go where its output goes; it ends at the end of its input.
    ASSERT_EQ(os::startChildProgram(
                  {"/bin/sh", "-c", "read line; echo \"got $line\"; echo oops >&2; cat >/dev/null"},
                  {input[0], output[1], output[1]}, child),
              0);
    ::close(input[0]);
    ::close(output[1]);
    ASSERT_EQ(::write(input[1], "word\n", 5), 5);

    std::string text;
    std::chrono::milliseconds silence = std::chrono::seconds(60);
    os::readChildOutput(output[0], text, 64, silence,
                        [](const std::string& read) { return read.find("oops\n") != std::string::npos; });
    EXPECT_EQ(text, "got word\noops\n");
    EXPECT_GT(silence.count(), 0);
    // Still waiting for the rest of its input.
    EXPECT_FALSE(os::awaitChildEnd(child, std::chrono::milliseconds(100)));

    ::close(input[1]);
    int status = -1;
    EXPECT_TRUE(os::awaitChildEnd(child, std::chrono::seconds(60), &status));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    ::close(output[0]);

    // A child that is not given its streams has /dev/null for them; one that is killed is collected.
    ASSERT_EQ(os::startChildProgram({"sleep", "600"}, {}, child), 0);
    status = -1;
    os::killChild(child, &status);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(os::startChildProgram({}, {}, child), EINVAL);
}

}  // namespace
