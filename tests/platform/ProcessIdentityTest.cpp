// SPDX-License-Identifier: MIT
#include "ProcessIdentity.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>

#include <sys/wait.h>
#include <unistd.h>

namespace {

/// A child process that tells its own identity and then waits until it is killed.
class Child
{
public:
    Child()
    {
        int channel[2];
        if (::pipe(channel) != 0)
            return;
        std::fflush(stdout);
        m_pid = ::fork();
        if (m_pid == 0) {
            const quint64 ticks = ProcessIdentity::current().startTicks;
            if (::write(channel[1], &ticks, sizeof ticks) != sizeof ticks)
                ::_exit(1);
            for (;;)
                ::pause();
        }
        ::close(channel[1]);
        quint64 ticks = 0;
        if (m_pid > 0 && ::read(channel[0], &ticks, sizeof ticks) == sizeof ticks) {
            m_identity = ProcessIdentity::current();
            m_identity.processID = m_pid;
            m_identity.startTicks = ticks;
        }
        ::close(channel[0]);
    }
    ~Child()
    {
        end();
        reap();
    }
    Child(const Child &) = delete;
    Child &operator=(const Child &) = delete;

    const ProcessIdentity &identity() const { return m_identity; }

    /// Kills it and waits until it has ended, leaving it a zombie until reap().
    void end() const
    {
        if (m_pid <= 0)
            return;
        ::kill(m_pid, SIGKILL);
        siginfo_t info{};
        ::waitid(P_PID, id_t(m_pid), &info, WEXITED | WNOWAIT);
    }
    void reap()
    {
        if (m_pid > 0)
            ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }

private:
    pid_t m_pid = -1;
    ProcessIdentity m_identity;
};

} // namespace

TEST(ProcessIdentityTest, ThisProcessRunsAndChangedIdentitiesDoNot)
{
    const ProcessIdentity self = ProcessIdentity::current();
    ASSERT_FALSE(self.bootID.isEmpty());
    ASSERT_FALSE(self.machineID.isEmpty());
    EXPECT_EQ(self.processID, qint64(::getpid()));
    EXPECT_GT(self.startTicks, 0u);
    EXPECT_TRUE(self.isRunning());

    const struct {
        const char *change;
        ProcessIdentity identity;
        bool running;
    } cases[] = {
        {"a process ID reused by a later process", {self.hostName, self.bootID, self.processID, self.startTicks + 1, self.machineID}, false},
        {"an earlier boot", {self.hostName, QStringLiteral("00000000-0000-0000-0000-000000000000"), self.processID, self.startTicks, self.machineID}, false},
        {"another host, which cannot be asked", {self.hostName + QStringLiteral("-elsewhere"), QStringLiteral("other"), 1, 1, self.machineID}, true},
        {"another machine that shares the host name", {self.hostName, QStringLiteral("other"), 1, 1, QStringLiteral("0123456789abcdef0123456789abcdef")},
         true},
        {"this machine, recorded without its machine ID", {self.hostName, self.bootID, self.processID, self.startTicks, QString()}, true},
    };
    for (const auto &entry : cases)
        EXPECT_EQ(entry.identity.isRunning(), entry.running) << entry.change;
}

TEST(ProcessIdentityTest, AnotherProcessRunsUntilItHasEnded)
{
    Child child;
    ASSERT_GT(child.identity().processID, 0);
    EXPECT_TRUE(child.identity().isRunning());

    // Ended but not yet reaped, it is a zombie: its work is over all the same.
    child.end();
    EXPECT_FALSE(child.identity().isRunning());
    child.reap();
    EXPECT_FALSE(child.identity().isRunning());
}
