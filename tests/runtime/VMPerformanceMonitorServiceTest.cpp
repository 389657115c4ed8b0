// SPDX-License-Identifier: MIT
#include "VMPerformanceMonitorService.h"

#include "TestFiles.h"

#include <QDir>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

constexpr quint64 GiB = 1024ull * 1024 * 1024;

/// A tree of files standing in for /proc, one process at a time.
class FakeProc
{
public:
    QString root() const { return m_folder.path(); }

    void set(qint64 pid, quint64 userTicks, quint64 systemTicks, quint64 residentKilobytes, quint64 readBytes, quint64 writeBytes)
    {
        const QString folder = root() + QLatin1Char('/') + QString::number(pid);
        QDir().mkpath(folder);
        // A command name with blanks and ")" must not shift the fields.
        TestFiles::write(folder + QStringLiteral("/stat"),
            QStringLiteral("%1 (qemu ) x (y) S 1 2 3 0 -1 4194560 100 0 0 0 %2 %3 0 0 20 0 5 0 100 2000000 300\n")
                .arg(pid)
                .arg(userTicks)
                .arg(systemTicks)
                .toUtf8());
        TestFiles::write(folder + QStringLiteral("/status"), QStringLiteral("Name:\tqemu\nVmRSS:\t %1 kB\nThreads:\t5\n").arg(residentKilobytes).toUtf8());
        TestFiles::write(folder + QStringLiteral("/io"),
            QStringLiteral("rchar: 1\nwchar: 2\nread_bytes: %1\nwrite_bytes: %2\ncancelled_write_bytes: 0\n").arg(readBytes).arg(writeBytes).toUtf8());
    }

    /// The process as the kernel shows it once it ends: in `state` (Z for a zombie), and without a resident set while exiting.
    void setExiting(qint64 pid, char state)
    {
        const QString folder = root() + QLatin1Char('/') + QString::number(pid);
        TestFiles::write(folder + QStringLiteral("/stat"),
            QStringLiteral("%1 (qemu) %2 1 2 3 0 -1 4194560 100 0 0 0 900 100 0 0 20 0 5 0 100 0 0\n").arg(pid).arg(QLatin1Char(state)).toUtf8());
        TestFiles::write(folder + QStringLiteral("/status"), QStringLiteral("Name:\tqemu\nState:\t%1\nThreads:\t1\n").arg(QLatin1Char(state)).toUtf8());
    }

private:
    QTemporaryDir m_folder;
};

class VMPerformanceMonitorServiceTest : public ::testing::Test
{
protected:
    qint64 ticks(double seconds) const { return qint64(seconds * double(ProcessStatistics::ticksPerSecond())); }
    const VMPerformanceHistory &history(const QUuid &id) const { return m_monitor.histories().find(id).value(); }
    void pass(qint64 milliseconds = 1000)
    {
        m_now += milliseconds;
        m_monitor.samplePass();
    }

    FakeProc m_proc;
    QMap<QUuid, qint64> m_processes;
    qint64 m_now = 50'000;
    VMPerformanceMonitorService m_monitor { [this](const QUuid &id) -> std::optional<qint64> {
                                               if (!m_processes.contains(id))
                                                   return std::nullopt;
                                               return m_processes.value(id);
                                           },
        ProcessStatistics(m_proc.root()), std::chrono::hours(1), [this] { return m_now; } };
    const QUuid m_first = QUuid::createUuid();
    const QUuid m_second = QUuid::createUuid();
};

TEST_F(VMPerformanceMonitorServiceTest, EachVMIsMeasuredFromItsOwnProcess)
{
    m_processes = { { m_first, 101 }, { m_second, 202 } };
    m_proc.set(101, ticks(10), ticks(5), 3 * 1024 * 1024, 1000, 2000);
    m_proc.set(202, ticks(1), ticks(1), 1024, 0, 0);
    m_monitor.startMonitoring(m_first, 4 * GiB, 2);
    m_monitor.startMonitoring(m_second, 2 * GiB, 1);

    pass();
    for (const QUuid &id : { m_first, m_second }) {
        ASSERT_EQ(history(id).samples().size(), 1);
        EXPECT_EQ(history(id).latest().cpuUsagePercent, 0); // no baseline yet
        EXPECT_EQ(history(id).latest().diskWriteBytesPerSecond, 0);
    }

    // Over two seconds the first used 2 s of CPU on 2 vCPUs and wrote 8000 bytes; the second stayed idle.
    m_proc.set(101, ticks(11.5), ticks(5.5), 5 * 1024 * 1024, 1000 + 4000, 2000 + 8000);
    pass(2000);
    const VMPerformanceMetrics busy = history(m_first).latest();
    EXPECT_DOUBLE_EQ(busy.cpuUsagePercent, 50);
    EXPECT_EQ(busy.memoryUsedBytes, 4 * GiB); // 5 GiB resident, capped at the configured 4 GiB
    EXPECT_EQ(busy.memoryTotalBytes, 4 * GiB);
    EXPECT_DOUBLE_EQ(busy.diskReadBytesPerSecond, 2000);
    EXPECT_DOUBLE_EQ(busy.diskWriteBytesPerSecond, 4000);
    EXPECT_EQ(busy.networkSentBytesPerSecond, 0);
    const VMPerformanceMetrics idle = history(m_second).latest();
    EXPECT_EQ(idle.cpuUsagePercent, 0);
    EXPECT_EQ(idle.memoryUsedBytes, 1024u * 1024u);
}

TEST_F(VMPerformanceMonitorServiceTest, AProcessThatIsExitingGivesNoSampleAndTheLastRunningOneStays)
{
    m_processes = { { m_first, 101 } };
    m_proc.set(101, ticks(10), 0, 1024 * 1024, 0, 0);
    m_monitor.startMonitoring(m_first, 2 * GiB);
    pass();
    m_proc.set(101, ticks(10.5), 0, 1024 * 1024, 4000, 0);
    pass();
    const VMPerformanceMetrics running = history(m_first).latest();
    ASSERT_EQ(running.memoryUsedBytes, GiB);

    for (const char state : { 'S', 'Z', 'X' }) {
        SCOPED_TRACE(state);
        m_proc.setExiting(101, state);
        pass();
        EXPECT_EQ(history(m_first).samples().size(), 2);
        EXPECT_EQ(history(m_first).latest().timestamp, running.timestamp);
        EXPECT_EQ(history(m_first).latest().memoryUsedBytes, GiB);
    }
}

TEST_F(VMPerformanceMonitorServiceTest, FallingCountersAndNewProcessesStartANewBaselineAndAVMWithoutAProcessGetsNoSample)
{
    m_processes = { { m_first, 101 } };
    m_proc.set(101, ticks(100), 0, 1024, 5000, 5000);
    m_monitor.startMonitoring(m_first, 4 * GiB);
    pass();

    m_proc.set(101, ticks(50), 0, 1024, 9000, 9000); // the CPU counter went down
    pass();
    EXPECT_EQ(history(m_first).latest().cpuUsagePercent, 0);
    EXPECT_EQ(history(m_first).latest().diskReadBytesPerSecond, 0);
    m_proc.set(101, ticks(50.5), 0, 1024, 9000, 9000);
    pass();
    EXPECT_DOUBLE_EQ(history(m_first).latest().cpuUsagePercent, 50);

    m_processes = { { m_first, 303 } }; // restarted: counts start again from the new process
    m_proc.set(303, ticks(1), 0, 1024, 0, 0);
    pass();
    EXPECT_EQ(history(m_first).latest().cpuUsagePercent, 0);

    m_processes.clear();
    pass();
    EXPECT_EQ(history(m_first).samples().size(), 4);
}

TEST_F(VMPerformanceMonitorServiceTest, HistoriesKeepTheNewest120SamplesAndOutliveTheirMonitoring)
{
    m_processes = { { m_first, 101 }, { m_second, 202 } };
    m_proc.set(101, 0, 0, 1, 0, 0);
    m_proc.set(202, 0, 0, 1, 0, 0);
    QSignalSpy monitoring(&m_monitor, &VMPerformanceMonitorService::isMonitoringChanged);
    m_monitor.startMonitoring(m_first, GiB);
    m_monitor.startMonitoring(m_second, GiB);
    EXPECT_EQ(monitoring.count(), 1);
    for (int round = 0; round < 121; ++round)
        pass();
    EXPECT_EQ(history(m_first).samples().size(), 120);

    m_monitor.stopMonitoring(m_first);
    EXPECT_TRUE(m_monitor.isMonitoring());
    pass();
    EXPECT_EQ(history(m_first).samples().size(), 120);
    m_monitor.stopMonitoring(m_second);
    EXPECT_FALSE(m_monitor.isMonitoring());
    EXPECT_EQ(monitoring.count(), 2);
    EXPECT_EQ(history(m_second).samples().size(), 120);

    // Watched again: the old history continues, starting from a fresh baseline.
    m_proc.set(101, ticks(1000), 0, 1, 0, 0);
    m_monitor.startMonitoring(m_first, GiB);
    pass();
    EXPECT_EQ(history(m_first).samples().size(), 120);
    EXPECT_EQ(history(m_first).latest().cpuUsagePercent, 0);
}

TEST_F(VMPerformanceMonitorServiceTest, AVMStaysWatchedWhileAnyLeaseOnItLives)
{
    m_processes = { { m_first, 101 } };
    m_proc.set(101, 0, 0, 1, 0, 0);
    VMPerformanceMonitorService::Lease held = m_monitor.watch(m_first, GiB);
    {
        VMPerformanceMonitorService::Lease other = m_monitor.watch(m_first, GiB);
        VMPerformanceMonitorService::Lease moved = std::move(other);
        EXPECT_FALSE(other.isHeld());
        EXPECT_TRUE(moved.isHeld());
    }
    EXPECT_TRUE(m_monitor.isMonitoring()) << "one holder went, one is left";
    pass();
    EXPECT_EQ(history(m_first).samples().size(), 1);

    held = VMPerformanceMonitorService::Lease();
    EXPECT_FALSE(m_monitor.isMonitoring());
    held = VMPerformanceMonitorService::Lease(); // nothing more to give back
    EXPECT_FALSE(m_monitor.isMonitoring());

    // A lease that outlives its monitor gives nothing back to it.
    auto monitor = std::make_unique<VMPerformanceMonitorService>([](const QUuid &) { return std::optional<qint64>(); });
    const VMPerformanceMonitorService::Lease orphan = monitor->watch(m_first, GiB);
    monitor.reset();
    EXPECT_FALSE(orphan.isHeld());
}

TEST(VMPerformanceMonitorServiceOnARealProcessTest, ABusyStandInProcessReadsAsBusyAndTheTimerSamplesIt)
{
    QProcess busy;
    busy.start(QStringLiteral("/bin/sh"), { QStringLiteral("-c"), QStringLiteral("while :; do :; done") });
    ASSERT_TRUE(busy.waitForStarted());
    QProcess idle;
    idle.start(QStringLiteral("/bin/sleep"), { QStringLiteral("1000") });
    ASSERT_TRUE(idle.waitForStarted());
    const QUuid id = QUuid::createUuid();
    const QUuid idleID = QUuid::createUuid();
    VMPerformanceMonitorService monitor(
        [&](const QUuid &vm) { return std::optional<qint64>(vm == id ? busy.processId() : idle.processId()); }, ProcessStatistics(),
        std::chrono::milliseconds(300));
    monitor.startMonitoring(id, 64 * GiB, 1);
    monitor.startMonitoring(idleID, 64 * GiB, 1);

    // A loaded machine may lend the busy stand-in only a sliver of a CPU, so no share of it is certain in any one
    // pass; but it keeps running, and some pass sees its CPU time rise while the sleeper's stays put.
    // The pass count only stops a broken reader.
    QSignalSpy sampled(&monitor, &VMPerformanceMonitorService::historiesChanged);
    const auto latestCPU = [&](const QUuid &vm) { return monitor.histories().value(vm).latest().cpuUsagePercent; };
    const auto sampledThrice = [&](const QUuid &vm) { return monitor.histories().value(vm).samples().size() >= 3; };
    const auto settled = [&] { return sampledThrice(id) && sampledThrice(idleID) && latestCPU(id) > 0 && latestCPU(idleID) == 0; };
    for (int passes = 0; !settled() && passes < 200 && sampled.wait(10'000); ++passes) {
    }
    busy.kill();
    busy.waitForFinished();
    idle.kill();
    idle.waitForFinished();

    const VMPerformanceHistory history = monitor.histories().value(id);
    ASSERT_GE(history.samples().size(), 3);
    EXPECT_GT(history.latest().cpuUsagePercent, 0);
    EXPECT_LE(history.latest().cpuUsagePercent, 100);
    ASSERT_TRUE(sampledThrice(idleID));
    EXPECT_EQ(latestCPU(idleID), 0) << "a sleeping process reads as idle";
    EXPECT_GT(history.latest().memoryUsedBytes, 0u);
    EXPECT_LT(history.latest().memoryUsedBytes, 64 * GiB);
}

} // namespace
