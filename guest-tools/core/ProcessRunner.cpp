// SPDX-License-Identifier: MIT
#include "ProcessRunner.h"

#include "FileDescriptor.h"
#include "ToolsError.h"
#include "UTF8.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

extern char **environ;

namespace GuestTools::ProcessRunner {

namespace {

using SteadyClock = std::chrono::steady_clock;

/// While the child's pipes are open, check this often whether it has already exited.
constexpr std::chrono::milliseconds exitCheckInterval{50};

struct Pipe {
    FileDescriptor readEnd;
    FileDescriptor writeEnd;
};

Pipe makePipe()
{
    int descriptors[2];
    if (::pipe2(descriptors, O_CLOEXEC) != 0)
        throw ToolsError::posix(errno, "Could not create a pipe");
    return Pipe{FileDescriptor(descriptors[0]), FileDescriptor(descriptors[1])};
}

void setNonBlocking(int descriptor)
{
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) | O_NONBLOCK);
}

class SpawnFileActions
{
public:
    SpawnFileActions() { ::posix_spawn_file_actions_init(&m_actions); }
    ~SpawnFileActions() { ::posix_spawn_file_actions_destroy(&m_actions); }
    SpawnFileActions(const SpawnFileActions &) = delete;
    SpawnFileActions &operator=(const SpawnFileActions &) = delete;

    void duplicate(int from, int to) { ::posix_spawn_file_actions_adddup2(&m_actions, from, to); }
    const posix_spawn_file_actions_t *get() const { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

/// The child starts with no blocked signals and SIGPIPE at its default, whatever this process has set.
class SpawnAttributes
{
public:
    SpawnAttributes()
    {
        ::posix_spawnattr_init(&m_attributes);
        sigset_t none;
        sigemptyset(&none);
        ::posix_spawnattr_setsigmask(&m_attributes, &none);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        ::posix_spawnattr_setsigdefault(&m_attributes, &defaults);
        ::posix_spawnattr_setflags(&m_attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&m_attributes); }
    SpawnAttributes(const SpawnAttributes &) = delete;
    SpawnAttributes &operator=(const SpawnAttributes &) = delete;

    const posix_spawnattr_t *get() const { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes;
};

/// Reaps the child; if it is still running when the guard goes (an error, a timeout) it is killed first.
class ChildProcess
{
public:
    explicit ChildProcess(pid_t pid)
        : m_pid(pid)
    {
    }
    ~ChildProcess()
    {
        if (!m_reaped) {
            ::kill(m_pid, SIGKILL);
            waitBlocking();
        }
    }
    ChildProcess(const ChildProcess &) = delete;
    ChildProcess &operator=(const ChildProcess &) = delete;

    bool hasExited()
    {
        if (m_reaped)
            return true;
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_status = status;
            m_reaped = true;
        }
        return m_reaped;
    }

    void kill()
    {
        ::kill(m_pid, SIGKILL);
        waitBlocking();
    }

    int status() const { return m_status; }

private:
    void waitBlocking()
    {
        int status = 0;
        while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
        }
        m_status = status;
        m_reaped = true;
    }

    pid_t m_pid;
    int m_status = 0;
    bool m_reaped = false;
};

/// Writing to a pipe whose reader is gone raises SIGPIPE; hold it back on this thread and swallow it.
ssize_t writeWithoutSigpipe(int descriptor, const char *data, size_t size)
{
    sigset_t pipeSignal;
    sigemptyset(&pipeSignal);
    sigaddset(&pipeSignal, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    const bool alreadyPending = sigismember(&pending, SIGPIPE) == 1;
    sigset_t previous;
    ::pthread_sigmask(SIG_BLOCK, &pipeSignal, &previous);
    const ssize_t count = ::write(descriptor, data, size);
    const int error = errno;
    if (count < 0 && error == EPIPE && !alreadyPending) {
        const timespec immediately{};
        while (::sigtimedwait(&pipeSignal, nullptr, &immediately) < 0 && errno == EINTR) {
        }
    }
    ::pthread_sigmask(SIG_SETMASK, &previous, nullptr);
    errno = error;
    return count;
}

struct OutputStream {
    FileDescriptor descriptor;
    std::string bytes;

    /**
     * Reads what is there now, at most a pipe's worth a few times over, so that
     * a child that never stops printing still lets the caller watch the clock.
     * Closes the stream at its end or on an error.
     */
    void drain()
    {
        char buffer[65536];
        for (int reads = 0; reads < 16 && descriptor.isOpen(); ++reads) {
            const ssize_t count = ::read(descriptor.get(), buffer, sizeof buffer);
            if (count > 0) {
                const size_t kept = std::min(size_t(count), maximumStreamSize - std::min(maximumStreamSize, bytes.size()));
                bytes.append(buffer, kept);
            } else if (count < 0 && errno == EINTR) {
                continue;
            } else if (count < 0 && errno == EAGAIN) {
                return;
            } else {
                descriptor.reset();
            }
        }
    }

    std::string text() const { return UTF8::isValid(bytes) ? bytes : std::string(); }
};

struct InputStream {
    FileDescriptor descriptor;
    std::string bytes;
    size_t written = 0;

    void feed()
    {
        while (descriptor.isOpen() && written < bytes.size()) {
            const ssize_t count = writeWithoutSigpipe(descriptor.get(), bytes.data() + written, bytes.size() - written);
            if (count > 0) {
                written += size_t(count);
            } else if (count < 0 && errno == EINTR) {
                continue;
            } else if (count < 0 && errno == EAGAIN) {
                return;
            } else {
                descriptor.reset(); // the child closed its input: it wants no more
            }
        }
        descriptor.reset();
    }
};

ToolsError timedOut(const std::chrono::milliseconds timeout)
{
    return ToolsError(ToolsError::processRunnerDomain, SIGKILL,
                      "Process did not finish within " + std::to_string(timeout.count()) + " ms.");
}

} // namespace

std::string run(const std::filesystem::path &executableURL, const std::vector<std::string> &arguments, const Options &options)
{
    Pipe output = makePipe();
    Pipe error = makePipe();
    std::optional<Pipe> input;
    if (options.standardInput)
        input = makePipe();

    SpawnFileActions actions;
    actions.duplicate(output.writeEnd.get(), STDOUT_FILENO);
    actions.duplicate(error.writeEnd.get(), STDERR_FILENO);
    if (input)
        actions.duplicate(input->readEnd.get(), STDIN_FILENO);
    const SpawnAttributes attributes;

    std::vector<std::string> argumentStrings{executableURL.string()};
    argumentStrings.insert(argumentStrings.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv;
    for (std::string &argument : argumentStrings)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    pid_t pid = 0;
    const int spawnError = ::posix_spawn(&pid, executableURL.c_str(), actions.get(), attributes.get(), argv.data(), environ);
    if (spawnError != 0)
        throw ToolsError::posix(spawnError, "Could not launch " + executableURL.string());
    ChildProcess child(pid);

    // Only the child keeps the ends it uses, so each stream ends when the child closes it.
    output.writeEnd.reset();
    error.writeEnd.reset();
    OutputStream outputStream{std::move(output.readEnd), {}};
    OutputStream errorStream{std::move(error.readEnd), {}};
    InputStream inputStream;
    if (input) {
        input->readEnd.reset();
        inputStream = InputStream{std::move(input->writeEnd), *options.standardInput, 0};
    }
    setNonBlocking(outputStream.descriptor.get());
    setNonBlocking(errorStream.descriptor.get());
    if (inputStream.descriptor.isOpen()) {
        setNonBlocking(inputStream.descriptor.get());
        inputStream.feed();
    }

    const auto deadline = SteadyClock::now() + options.timeout;
    while (outputStream.descriptor.isOpen() || errorStream.descriptor.isOpen()) {
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
        if (remaining.count() <= 0) {
            child.kill();
            throw timedOut(options.timeout);
        }
        std::vector<pollfd> watched;
        for (const OutputStream *stream : {&outputStream, &errorStream}) {
            if (stream->descriptor.isOpen())
                watched.push_back({stream->descriptor.get(), POLLIN, 0});
        }
        if (inputStream.descriptor.isOpen())
            watched.push_back({inputStream.descriptor.get(), POLLOUT, 0});
        const auto wait = std::min(remaining, exitCheckInterval);
        if (::poll(watched.data(), nfds_t(watched.size()), int(wait.count())) < 0 && errno != EINTR)
            throw ToolsError::posix(errno, "Could not read the output of " + executableURL.string());

        inputStream.feed();
        // A background process the child left behind may hold the pipes open. Once the child
        // itself is gone, everything it wrote is already in the pipes, so one more read ends the run.
        const bool exited = child.hasExited();
        outputStream.drain();
        errorStream.drain();
        if (exited)
            break;
    }
    inputStream.descriptor.reset();

    while (!child.hasExited()) {
        if (SteadyClock::now() >= deadline) {
            child.kill();
            throw timedOut(options.timeout);
        }
        ::poll(nullptr, 0, 10);
    }

    const std::string standardOutput = outputStream.text();
    const std::string text = standardOutput + errorStream.text();
    const int status = child.status();
    int code = 0;
    if (WIFEXITED(status))
        code = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        code = WTERMSIG(status);
    if (code != 0)
        throw ToolsError(ToolsError::processRunnerDomain, code, text.empty() ? "Process failed." : text);
    return options.appendStandardError ? text : standardOutput;
}

} // namespace GuestTools::ProcessRunner
