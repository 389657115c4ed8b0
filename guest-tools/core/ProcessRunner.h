// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

/**
 * Runs a child process to its end and returns what it printed. Standard
 * output and standard error are read while the child runs, so a child that
 * prints more than a pipe holds never blocks; a child that outlives its
 * timeout is killed. Environment and working folder are inherited.
 *
 * @code
 * const std::string name = ProcessRunner::run("/usr/sbin/scutil", {"--get", "ComputerName"});
 * @endcode
 */
namespace GuestTools::ProcessRunner {

struct Options {
    /// How long the child may run before it is killed and the run fails.
    std::chrono::milliseconds timeout = std::chrono::seconds(60);
    /// Bytes given to the child's standard input; without them the child inherits ours.
    std::optional<std::string> standardInput;
    /// Whether the standard-error text follows the standard-output text in the result.
    bool appendStandardError = true;
    /// "NAME=value" entries added to the inherited environment (a name given here replaces the inherited one).
    std::vector<std::string> addedEnvironment{};
    /// Whether the child leads a process group of its own, so that a timeout kills whatever it started too.
    bool ownProcessGroup{false};
    /// Whether standard error goes into the same stream as standard output, interleaved as written.
    bool mergeStandardError{false};
};

/// How a child ended, with what it printed; see execute().
struct Outcome {
    /// The exit status, or the number of the signal that ended the child.
    int code = 0;
    bool signalled = false;
    /// Killed at the timeout.
    bool timedOut = false;
    /// Raw bytes, up to maximumStreamSize each; with mergeStandardError everything is here.
    std::string standardOutput;
    std::string standardError;
};

/// Bytes kept of each stream; more is read and dropped so that the child can go on.
inline constexpr std::size_t maximumStreamSize = 16 * 1024 * 1024;

/**
 * Runs the child to its end or its timeout and reports how it ended; only a
 * failure to launch or to read throws (a ToolsError in the POSIX domain).
 */
Outcome execute(const std::filesystem::path &executableURL, const std::vector<std::string> &arguments,
                const Options &options = {});

/**
 * The standard-output text immediately followed by the standard-error text
 * (unless the options leave the latter out); a stream that is not UTF-8
 * counts as empty. Throws a ToolsError: in the
 * POSIX domain when the child cannot be launched; in the process-runner
 * domain when it exits with a non-zero status (the code; the description is
 * the output, or "Process failed." when there is none), is ended by a signal
 * (the signal number) or times out (SIGKILL's number).
 */
std::string run(const std::filesystem::path &executableURL, const std::vector<std::string> &arguments,
                const Options &options = {});

} // namespace GuestTools::ProcessRunner
