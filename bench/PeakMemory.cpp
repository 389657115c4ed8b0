// SPDX-License-Identifier: MIT
// Runs a program and writes its exit status and peak resident memory (KiB)
// to a file. A small process of its own, so that the figure is the program's
// alone: Linux counts into a child's peak the memory of the process it was
// started from, which for the restore-image bench is a Qt application.
//
// Usage: peak_memory <result file> <program> [arguments...]

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc < 3)
        return 2;
    const pid_t child = ::fork();
    if (child == 0) {
        ::execvp(argv[2], argv + 2);
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    if (child < 0 || ::wait4(child, &status, 0, &usage) != child)
        return 1;
    std::FILE *result = std::fopen(argv[1], "w");
    if (!result)
        return 1;
    std::fprintf(result, "%d %ld\n", WIFEXITED(status) ? WEXITSTATUS(status) : 128, usage.ru_maxrss);
    return std::fclose(result) == 0 ? 0 : 1;
}
