// SPDX-License-Identifier: MIT
#include "PerformanceDashboardViewModel.h"

#include "VMDetailsViewModel.h"

PerformanceDashboardViewModel::PerformanceDashboardViewModel(
    const VMDetailsViewModel &pane, VMPerformanceMonitorService &monitor, QObject *parent)
    : QObject(parent)
    , m_pane(pane)
    , m_monitor(monitor)
{
    connect(&m_monitor, &VMPerformanceMonitorService::historiesChanged, this, &PerformanceDashboardViewModel::historyChanged);
    connect(&m_pane, &VMDetailsViewModel::bundleChanged, this, &PerformanceDashboardViewModel::vmNameChanged);
    connect(&m_pane, &VMDetailsViewModel::bundleChanged, this, &PerformanceDashboardViewModel::followRunState);
    m_followedRunState = m_pane.bundle() ? std::optional(m_pane.bundle()->metadata.runtimeState) : std::nullopt;
    if (m_pane.isRunning())
        startMonitoring();
}

QString PerformanceDashboardViewModel::vmName() const
{
    return m_pane.displayTitle();
}

VMPerformanceHistory PerformanceDashboardViewModel::history() const
{
    return m_monitor.histories().value(m_pane.bundleID());
}

std::optional<QString> PerformanceDashboardViewModel::lastRunNote() const
{
    if (isMonitoring() || history().samples().isEmpty())
        return std::nullopt;
    return m_pane.runtimeStateText() + QStringLiteral(": these figures are from the VM's last run.");
}

void PerformanceDashboardViewModel::startMonitoring()
{
    const std::optional<VMBundle> &bundle = m_pane.bundle();
    if (!bundle || m_monitoring.isHeld())
        return;
    m_monitoring = m_monitor.watch(m_pane.bundleID(), bundle->metadata.memorySizeBytes, bundle->metadata.cpuCount);
    Q_EMIT isMonitoringChanged();
}

void PerformanceDashboardViewModel::stopMonitoring()
{
    if (!m_monitoring.isHeld())
        return;
    m_monitoring = {};
    Q_EMIT isMonitoringChanged();
}

void PerformanceDashboardViewModel::followRunState()
{
    const std::optional<VMBundle> &bundle = m_pane.bundle();
    const std::optional<VMRuntimeState> state = bundle ? std::optional(bundle->metadata.runtimeState) : std::nullopt;
    if (state == m_followedRunState)
        return;
    m_followedRunState = state;
    if (state == VMRuntimeState::running)
        startMonitoring();
    else if (state != VMRuntimeState::paused)
        stopMonitoring(); // the figures of a machine on its way out (stopping, saving) are not those of its run
}
