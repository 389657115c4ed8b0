// SPDX-License-Identifier: MIT
#include "core/ProcessRunner.h"
#include "core/ToolsError.h"

#include "GuestTestSupport.h"

#include <csignal>

using namespace GuestTools;
using namespace GuestTestSupport;
using namespace std::chrono_literals;

class ProcessRunnerTest : public ::testing::Test
{
protected:
    /// Runs a script with that body and two arguments.
    std::string run(const std::string &body, ProcessRunner::Options options = {})
    {
        writeScript(script, body);
        return ProcessRunner::run(script, {"first argument", "second"}, options);
    }

    /// The error of a run that must fail.
    ToolsError failure(const std::string &body, ProcessRunner::Options options = {})
    {
        try {
            run(body, std::move(options));
        } catch (const ToolsError &error) {
            return error;
        }
        ADD_FAILURE() << "the run succeeded";
        return ToolsError("none", 0, "");
    }

    TemporaryDirectory directory;
    const fs::path script = directory.path() / "tool";
};

TEST_F(ProcessRunnerTest, ReturnsStandardOutputThenStandardError)
{
    EXPECT_EQ(run("echo out; echo err >&2; echo \"$1|$2\""), "out\nfirst argument|second\nerr\n");
    EXPECT_EQ(run("echo only-error >&2"), "only-error\n");
    EXPECT_EQ(run("printf 'out'; printf 'err' >&2", {60s, std::nullopt, false}), "out");
}

TEST_F(ProcessRunnerTest, FailuresCarryTheStatusAndTheOutput)
{
    const ToolsError silent = failure("exit 1");
    EXPECT_EQ(silent.domain(), ToolsError::processRunnerDomain);
    EXPECT_EQ(silent.code(), 1);
    EXPECT_EQ(silent.description(), "Process failed.");

    const ToolsError chatty = failure("echo 'Error: disk not found'; echo 'details' >&2; exit 3");
    EXPECT_EQ(chatty.code(), 3);
    EXPECT_EQ(chatty.description(), "Error: disk not found\ndetails\n");

    const ToolsError killed = failure("kill -TERM $$");
    EXPECT_EQ(killed.code(), SIGTERM);
}

TEST_F(ProcessRunnerTest, ALaunchFailureIsThePlatformError)
{
    try {
        ProcessRunner::run(directory.path() / "missing", {});
        ADD_FAILURE() << "launched a missing program";
    } catch (const ToolsError &error) {
        EXPECT_EQ(error.domain(), ToolsError::posixDomain);
        EXPECT_EQ(error.code(), ENOENT);
    }
}

TEST_F(ProcessRunnerTest, DrainsLargeOutputOnBothStreams)
{
    // Far more than a pipe holds, on both streams at once, interleaved.
    const std::string output = run("i=0; while [ $i -lt 3000 ]; do "
                                   "echo 'out 0123456789012345678901234567890123456789012345678901234567890123456789'; "
                                   "echo 'err 0123456789012345678901234567890123456789012345678901234567890123456789' >&2; "
                                   "i=$((i+1)); done");
    EXPECT_EQ(output.size(), 2u * 3000u * 75u);
    EXPECT_EQ(output.substr(0, 4), "out ");
    EXPECT_EQ(output.substr(3000 * 75, 4), "err ");
}

TEST_F(ProcessRunnerTest, StreamsThatAreNotUTF8CountAsEmpty)
{
    EXPECT_EQ(run("printf '\\377\\376'; echo fine >&2"), "fine\n");
}

TEST_F(ProcessRunnerTest, FeedsStandardInputWhenGiven)
{
    const std::string text = std::string(200000, 'x') + "\nlast line ünïcode";
    EXPECT_EQ(run("cat", {60s, text, true}), text);
    // A child that reads nothing does not stall or kill the runner.
    EXPECT_EQ(run("exec 0<&-; echo done", {60s, text, true}), "done\n");
}

TEST_F(ProcessRunnerTest, KillsAChildThatOutlivesItsTimeout)
{
    const auto start = std::chrono::steady_clock::now();
    const ToolsError error = failure("echo started; exec sleep 30", {300ms, std::nullopt, true});
    EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
    EXPECT_EQ(error.domain(), ToolsError::processRunnerDomain);
    EXPECT_EQ(error.code(), SIGKILL);

    // Endless output must not keep the runner from watching the clock.
    const auto endless = std::chrono::steady_clock::now();
    EXPECT_EQ(failure("exec yes 'endless output'", {300ms, std::nullopt, true}).code(), SIGKILL);
    EXPECT_LT(std::chrono::steady_clock::now() - endless, 5s);
}

TEST_F(ProcessRunnerTest, ABackgroundProcessHoldingThePipesDoesNotHoldTheRun)
{
    // Clipboard tools fork a server that keeps the inherited pipes open.
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(run("sleep 4 & echo parent done"), "parent done\n");
    EXPECT_LT(std::chrono::steady_clock::now() - start, 3s);
}
