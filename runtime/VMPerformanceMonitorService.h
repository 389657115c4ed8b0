// SPDX-License-Identifier: MIT
#pragma once

#include "ProcessStatistics.h"
#include "VMLease.h"
#include "VMPerformanceHistory.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMap>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QUuid>

#include <chrono>
#include <functional>
#include <optional>

/**
 * The live figures of the performance dashboard. Once a second, for every VM
 * being watched, it measures that VM's own QEMU process and appends one
 * sample to the VM's history (at most 120 samples, two minutes):
 *
 *  - CPU: the process's CPU time over the wall time since the last pass,
 *    divided by the VM's vCPU count, as 0-100 %;
 *  - memory: its resident set, capped at the VM's configured memory size;
 *  - disk: the bytes per second it read from and wrote to storage;
 *  - network: 0, since QEMU's user-mode network keeps no counter.
 *
 * Each VM keeps its own baseline; the first sample after a (re)start, and a
 * pass in which a counter went down (another process behind the id), shows 0
 * rates and starts a new baseline. A watched VM without a running process
 * gets no sample, nor does one whose process is exiting: a history's last
 * sample is one taken while the machine ran. Sampling runs while at least one VM is watched; a history
 * stays after its VM is no longer watched and continues when it is watched
 * again. GUI thread; historiesChanged() and isMonitoringChanged() are
 * emitted on every assignment.
 *
 * Several screens may watch one VM at once (two windows on the same VM), so
 * watching is counted: a VM stays watched until every start has had its
 * stop. Screens hold a Lease, which gives its hold back when it goes.
 *
 * @code
 * VMPerformanceMonitorService monitor([&](const QUuid &id) { return qemuProcessOf(id); });
 * VMPerformanceMonitorService::Lease lease = monitor.watch(bundle.metadata.id, bundle.metadata.memorySizeBytes, bundle.metadata.cpuCount);
 * @endcode
 */
class VMPerformanceMonitorService : public QObject
{
    Q_OBJECT

public:
    /// The running QEMU process of a VM, or none.
    using ProcessSource = std::function<std::optional<qint64>(const QUuid &bundleID)>;
    /// A steady clock in milliseconds, for the wall time between passes.
    using Clock = std::function<qint64()>;

    /// One hold on the watching of a VM, given back when destroyed. Move-only; a default-made or moved-from lease holds nothing.
    using Lease = VMLease;

    explicit VMPerformanceMonitorService(ProcessSource processOf, ProcessStatistics statistics = ProcessStatistics(),
        std::chrono::milliseconds interval = std::chrono::seconds(1), Clock clock = {}, QObject *parent = nullptr);

    const QMap<QUuid, VMPerformanceHistory> &histories() const { return m_histories; }
    bool isMonitoring() const { return m_isMonitoring; }

    /// Watches the VM until the lease goes; as startMonitoring().
    [[nodiscard]] Lease watch(const QUuid &bundleID, quint64 memorySizeBytes, qint64 cpuCount = 1);
    /// Adds one hold on watching the VM; its memory size caps the memory figure and its vCPU count scales the CPU figure (at least 1).
    void startMonitoring(const QUuid &bundleID, quint64 memorySizeBytes, qint64 cpuCount = 1);
    /// Gives back one hold; the VM is no longer watched when none is left, and sampling ends with the last VM. Its history stays.
    void stopMonitoring(const QUuid &bundleID);

    /// One pass over the watched VMs; the timer calls it every interval.
    void samplePass();

Q_SIGNALS:
    void historiesChanged(const QMap<QUuid, VMPerformanceHistory> &histories);
    void isMonitoringChanged(bool isMonitoring);

private:
    struct Watched {
        quint64 memorySizeBytes = 0;
        qint64 cpuCount = 1;
        /// Starts not yet stopped.
        int holds = 0;
    };
    struct Baseline {
        qint64 pid = 0;
        qint64 takenAtMilliseconds = 0;
        ProcessStatistics::Reading reading;
    };

    std::optional<VMPerformanceMetrics> sample(const QUuid &bundleID, const Watched &watched);
    void setMonitoring(bool monitoring);

    ProcessSource m_processOf;
    ProcessStatistics m_statistics;
    Clock m_clock;
    QElapsedTimer m_elapsed;
    QTimer m_timer;
    QMap<QUuid, VMPerformanceHistory> m_histories;
    bool m_isMonitoring = false;
    QMap<QUuid, Watched> m_watched;
    QHash<QUuid, Baseline> m_baselines;
};
