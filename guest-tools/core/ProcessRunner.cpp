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
    explicit SpawnAttributes(bool ownProcessGroup)
    {
        ::posix_spawnattr_init(&m_attributes);
        short flags = POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF;
        if (ownProcessGroup) {
            ::posix_spawnattr_setpgroup(&m_attributes, 0);
            flags |= POSIX_SPAWN_SETPGROUP;
        }
        sigset_t none;
        sigemptyset(&none);
        ::posix_spawnattr_setsigmask(&m_attributes, &none);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGPIPE);
        ::posix_spawnattr_setsigdefault(&m_attributes, &defaults);
        ::posix_spawnattr_setflags(&m_attributes, flags);
    }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&m_attributes); }
    SpawnAttributes(const SpawnAttributes &) = delete;
    SpawnAttributes &operator=(const SpawnAttributes &) = delete;

    const posix_spawnattr_t *get() const { return &m_attributes; }

private:
    posix_spawnattr_t m_attributes;
};

/**
 * Reaps the child; if it is still running when the guard goes (an error, a
 * timeout) it is killed first, with its whole process group when it leads one.
 */
class ChildProcess
{
public:
    ChildProcess(pid_t pid, bool leadsGroup)
        : m_pid(pid)
        , m_leadsGroup(leadsGroup)
    {
    }
    ~ChildProcess()
    {
        if (!m_reaped)
            kill();
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
        if (m_leadsGroup)
            ::kill(-m_pid, SIGKILL);
        ::kill(m_pid, SIGKILL);
        if (!m_reaped)
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
    bool m_leadsGroup;
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

/// This process's environment with `added` laid over it.
std::vector<std::string> environmentWith(const std::vector<std::string> &added)
{
    std::vector<std::string> entries;
    const auto nameOf = [](const std::string &entry) { return entry.substr(0, entry.find('=')); };
    for (char **entry = environ; *entry; ++entry) {
        const std::string text(*entry);
        const bool replaced = std::any_of(added.begin(), added.end(),
                                          [&](const std::string &addition) { return nameOf(addition) == nameOf(text); });
        if (!replaced)
            entries.push_back(text);
    }
    entries.insert(entries.end(), added.begin(), added.end());
    return entries;
}

std::vector<char *> pointersTo(std::vector<std::string> &strings)
{
    std::vector<char *> pointers;
    for (std::string &text : strings)
        pointers.push_back(text.data());
    pointers.push_back(nullptr);
    return pointers;
}

/// This process's ends of the child's standard streams.
struct ChildStreams {
    OutputStream output;
    OutputStream error;
    InputStream input;
};

/// Launches the child with its streams on pipes (error on the output's one when merged) and hands this process's ends to `streams`.
pid_t spawnChild(const std::filesystem::path &executableURL, const std::vector<std::string> &arguments, const Options &options,
                 ChildStreams &streams)
{
    Pipe output = makePipe();
    std::optional<Pipe> error;
    if (!options.mergeStandardError)
        error = makePipe();
    std::optional<Pipe> input;
    if (options.standardInput)
        input = makePipe();

    SpawnFileActions actions;
    actions.duplicate(output.writeEnd.get(), STDOUT_FILENO);
    actions.duplicate(error ? error->writeEnd.get() : output.writeEnd.get(), STDERR_FILENO);
    if (input)
        actions.duplicate(input->readEnd.get(), STDIN_FILENO);
    const SpawnAttributes attributes(options.ownProcessGroup);

    std::vector<std::string> argumentStrings{executableURL.string()};
    argumentStrings.insert(argumentStrings.end(), arguments.begin(), arguments.end());
    std::vector<char *> argv = pointersTo(argumentStrings);
    std::vector<std::string> environmentStrings;
    std::vector<char *> environment;
    if (!options.addedEnvironment.empty()) {
        environmentStrings = environmentWith(options.addedEnvironment);
        environment = pointersTo(environmentStrings);
    }

    pid_t pid = 0;
    const int spawnError = ::posix_spawn(&pid, executableURL.c_str(), actions.get(), attributes.get(), argv.data(),
                                         environment.empty() ? environ : environment.data());
    if (spawnError != 0)
        throw ToolsError::posix(spawnError, "Could not launch " + executableURL.string());

    // Only the child keeps the ends it uses, so each stream ends when the child closes it.
    output.writeEnd.reset();
    streams.output = OutputStream{std::move(output.readEnd), {}};
    if (error) {
        error->writeEnd.reset();
        streams.error.descriptor = std::move(error->readEnd);
        setNonBlocking(streams.error.descriptor.get());
    }
    if (input) {
        input->readEnd.reset();
        streams.input = InputStream{std::move(input->writeEnd), *options.standardInput, 0};
    }
    setNonBlocking(streams.output.descriptor.get());
    if (streams.input.descriptor.isOpen())
        setNonBlocking(streams.input.descriptor.get());
    return pid;
}

/**
 * Feeds the child's input and reads its output until both output streams
 * end or the child exits; false when the deadline comes first. Closes the
 * child's input at the end.
 */
bool pumpStreams(ChildProcess &child, ChildStreams &streams, SteadyClock::time_point deadline, const std::filesystem::path &executableURL)
{
    if (streams.input.descriptor.isOpen())
        streams.input.feed();
    while (streams.output.descriptor.isOpen() || streams.error.descriptor.isOpen()) {
        const auto remaining = std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
        if (remaining.count() <= 0)
            return false;
        std::vector<pollfd> watched;
        for (const OutputStream *stream : {&streams.output, &streams.error}) {
            if (stream->descriptor.isOpen())
                watched.push_back({stream->descriptor.get(), POLLIN, 0});
        }
        if (streams.input.descriptor.isOpen())
            watched.push_back({streams.input.descriptor.get(), POLLOUT, 0});
        const auto wait = std::min(remaining, exitCheckInterval);
        if (::poll(watched.data(), nfds_t(watched.size()), int(wait.count())) < 0 && errno != EINTR)
            throw ToolsError::posix(errno, "Could not read the output of " + executableURL.string());

        streams.input.feed();
        // A background process the child left behind may hold the pipes open. Once the child
        // itself is gone, everything it wrote is already in the pipes, so one more read ends the run.
        const bool exited = child.hasExited();
        streams.output.drain();
        streams.error.drain();
        if (exited)
            break;
    }
    streams.input.descriptor.reset();
    return true;
}

/// Waits for the child to exit; false when the deadline comes first.
bool awaitExit(ChildProcess &child, SteadyClock::time_point deadline)
{
    while (!child.hasExited()) {
        if (SteadyClock::now() >= deadline)
            return false;
        ::poll(nullptr, 0, 10);
    }
    return true;
}

} // namespace

Outcome execute(const std::filesystem::path &executableURL, const std::vector<std::string> &arguments, const Options &options)
{
    ChildStreams streams;
    ChildProcess child(spawnChild(executableURL, arguments, options, streams), options.ownProcessGroup);
    const auto deadline = SteadyClock::now() + options.timeout;

    Outcome outcome;
    if (!pumpStreams(child, streams, deadline, executableURL) || !awaitExit(child, deadline)) {
        child.kill();
        outcome.timedOut = true;
    } else if (const int status = child.status(); WIFEXITED(status)) {
        outcome.code = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        outcome.code = WTERMSIG(status);
        outcome.signalled = true;
    }
    outcome.standardOutput = std::move(streams.output.bytes);
    outcome.standardError = std::move(streams.error.bytes);
    return outcome;
}

std::string run(const std::filesystem::path &executableURL, const std::vector<std::string> &arguments, const Options &options)
{
    const Outcome outcome = execute(executableURL, arguments, options);
    if (outcome.timedOut)
        throw ToolsError(ToolsError::processRunnerDomain, SIGKILL,
                         "Process did not finish within " + std::to_string(options.timeout.count()) + " ms.");
    const auto text = [](const std::string &bytes) { return UTF8::isValid(bytes) ? bytes : std::string(); };
    const std::string standardOutput = text(outcome.standardOutput);
    const std::string combined = standardOutput + text(outcome.standardError);
    if (outcome.code != 0)
        throw ToolsError(ToolsError::processRunnerDomain, outcome.code, combined.empty() ? "Process failed." : combined);
    return options.appendStandardError ? combined : standardOutput;
}

} // namespace GuestTools::ProcessRunner
