// SPDX-License-Identifier: MIT
#pragma once

#include "WriteSteps.h"

#include <cstdio>
#include <exception>
#include <functional>

#include <sys/wait.h>
#include <unistd.h>

/**
 * Runs a write in a child process that dies, as on a crash of the host, just
 * before the file helpers take their step number `step` (counted from 1), so
 * a test can look at what the disk holds at every point of the write.
 *
 * @code
 * for (int step = 1; !InterruptedWrite::completesBefore(step, write); ++step)
 *     expectConsistent();
 * @endcode
 */
namespace InterruptedWrite {

enum class Outcome { stopped, completed, failed };

inline Outcome runUntil(int step, const std::function<void()> &write)
{
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child == 0) {
        int reached = 0;
        WriteSteps::setHook([&](WriteSteps::Step, const QString &) {
            if (++reached == step)
                ::_exit(int(Outcome::stopped));
        });
        try {
            write();
        } catch (const std::exception &error) {
            std::fprintf(stderr, "the interrupted write failed: %s\n", error.what());
            ::_exit(int(Outcome::failed));
        } catch (...) {
            ::_exit(int(Outcome::failed));
        }
        ::_exit(int(Outcome::completed));
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return Outcome::failed;
    return Outcome(WEXITSTATUS(status));
}

} // namespace InterruptedWrite
