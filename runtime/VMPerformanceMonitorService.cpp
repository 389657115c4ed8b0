// SPDX-License-Identifier: MIT
#include "VMPerformanceMonitorService.h"

#include <QDateTime>

#include <algorithm>
#include <utility>

namespace {

/// The change of a counter per second; none when it went down.
std::optional<double> rate(std::optional<quint64> before, std::optional<quint64> now, double seconds)
{
    if (!before || !now)
        return 0.0;
    if (*now < *before)
        return std::nullopt;
    return seconds > 0 ? double(*now - *before) / seconds : 0.0;
}

} // namespace

VMPerformanceMonitorService::VMPerformanceMonitorService(
    ProcessSource processOf, ProcessStatistics statistics, std::chrono::milliseconds interval, Clock clock, QObject *parent)
    : QObject(parent)
    , m_processOf(std::move(processOf))
    , m_statistics(std::move(statistics))
    , m_clock(std::move(clock))
{
    m_elapsed.start();
    if (!m_clock)
        m_clock = [this] { return m_elapsed.elapsed(); };
    m_timer.setInterval(interval);
    connect(&m_timer, &QTimer::timeout, this, &VMPerformanceMonitorService::samplePass);
}

VMPerformanceMonitorService::Lease VMPerformanceMonitorService::watch(const QUuid &bundleID, quint64 memorySizeBytes, qint64 cpuCount)
{
    startMonitoring(bundleID, memorySizeBytes, cpuCount);
    return Lease(*this, [this, bundleID] { stopMonitoring(bundleID); });
}

void VMPerformanceMonitorService::startMonitoring(const QUuid &bundleID, quint64 memorySizeBytes, qint64 cpuCount)
{
    Watched &watched = m_watched[bundleID];
    watched.memorySizeBytes = memorySizeBytes;
    watched.cpuCount = std::max<qint64>(cpuCount, 1);
    ++watched.holds;
    if (!m_histories.contains(bundleID)) {
        m_histories.insert(bundleID, VMPerformanceHistory(VMPerformanceHistory::defaultMaxSamples));
        Q_EMIT historiesChanged(m_histories);
    }
    if (!m_isMonitoring) {
        setMonitoring(true);
        m_timer.start();
    }
}

void VMPerformanceMonitorService::stopMonitoring(const QUuid &bundleID)
{
    const auto watched = m_watched.find(bundleID);
    if (watched == m_watched.end() || --watched->holds > 0)
        return;
    m_watched.erase(watched);
    m_baselines.remove(bundleID);
    if (m_watched.isEmpty() && m_isMonitoring) {
        m_timer.stop();
        m_baselines.clear();
        setMonitoring(false);
    }
}

void VMPerformanceMonitorService::samplePass()
{
    bool changed = false;
    for (auto watched = m_watched.cbegin(); watched != m_watched.cend(); ++watched) {
        const std::optional<VMPerformanceMetrics> metrics = sample(watched.key(), watched.value());
        if (!metrics)
            continue;
        auto history = m_histories.find(watched.key());
        if (history == m_histories.end())
            history = m_histories.insert(watched.key(), VMPerformanceHistory(VMPerformanceHistory::defaultMaxSamples));
        history->append(*metrics);
        changed = true;
    }
    if (changed)
        Q_EMIT historiesChanged(m_histories);
}

std::optional<VMPerformanceMetrics> VMPerformanceMonitorService::sample(const QUuid &bundleID, const Watched &watched)
{
    const std::optional<qint64> pid = m_processOf ? m_processOf(bundleID) : std::nullopt;
    const std::optional<ProcessStatistics::Reading> reading = pid ? m_statistics.read(*pid) : std::nullopt;
    if (!reading) {
        m_baselines.remove(bundleID); // not running: no sample, and a fresh start when it runs again
        return std::nullopt;
    }
    const qint64 now = m_clock();

    VMPerformanceMetrics metrics;
    metrics.timestamp = QDateTime::currentDateTimeUtc();
    metrics.memoryTotalBytes = watched.memorySizeBytes;
    metrics.memoryUsedBytes = std::min(reading->residentBytes, watched.memorySizeBytes);

    const auto baseline = m_baselines.constFind(bundleID);
    if (baseline != m_baselines.cend() && baseline->pid == *pid && now > baseline->takenAtMilliseconds) {
        const double seconds = double(now - baseline->takenAtMilliseconds) / 1000.0;
        const ProcessStatistics::Reading &before = baseline->reading;
        const auto cpu = rate(before.cpuTicks, reading->cpuTicks, seconds);
        const auto read = rate(before.storageReadBytes, reading->storageReadBytes, seconds);
        const auto written = rate(before.storageWriteBytes, reading->storageWriteBytes, seconds);
        if (cpu && read && written) {
            const double busy = *cpu / double(ProcessStatistics::ticksPerSecond() * watched.cpuCount) * 100.0;
            metrics.cpuUsagePercent = std::clamp(busy, 0.0, 100.0);
            metrics.diskReadBytesPerSecond = *read;
            metrics.diskWriteBytesPerSecond = *written;
        }
        // A counter that went down starts a new baseline: this pass shows 0 rather than a wrapped figure.
    }
    m_baselines.insert(bundleID, Baseline { *pid, now, *reading });
    return metrics;
}

void VMPerformanceMonitorService::setMonitoring(bool monitoring)
{
    m_isMonitoring = monitoring;
    Q_EMIT isMonitoringChanged(m_isMonitoring);
}
