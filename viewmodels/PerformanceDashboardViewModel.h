// SPDX-License-Identifier: MIT
#pragma once

#include "VMPerformanceHistory.h"
#include "VMPerformanceMonitorService.h"
#include "VMRuntimeState.h"

#include <QObject>
#include <QString>

#include <optional>

class VMDetailsViewModel;

/**
 * The state behind the details pane's performance panel: the VM's name and
 * its performance history as the monitor keeps it. From construction it
 * holds a watch on the VM while the pane's VM runs: at once when it runs
 * already, again each time it starts; the hold ends as the VM leaves running
 * or paused (to stop, save or fail), and when this view model is destroyed. Another pane of the same VM
 * keeps its own hold. GUI thread only.
 *
 * @code
 * PerformanceDashboardViewModel performance(details, monitor);
 * panel.setHistory(performance.history());
 * @endcode
 */
class PerformanceDashboardViewModel final : public QObject
{
    Q_OBJECT

public:
    PerformanceDashboardViewModel(const VMDetailsViewModel &pane, VMPerformanceMonitorService &monitor, QObject *parent = nullptr);

    QString vmName() const;
    VMPerformanceHistory history() const;
    bool isMonitoring() const { return m_monitoring.isHeld(); }
    /**
     * While the history holds samples that are not coming in now (the VM is
     * stopped, or was not watched since this pane opened), the sentence that
     * says they are from its last run; none while they are live or there are
     * none.
     */
    std::optional<QString> lastRunNote() const;

    /// Takes this pane's hold on monitoring the VM, unless it has it already.
    void startMonitoring();
    /// Gives this pane's hold back.
    void stopMonitoring();

Q_SIGNALS:
    /// The monitor added a sample to some VM's history (this one's included).
    void historyChanged();
    void vmNameChanged();
    /// Monitoring started or ended: lastRunNote() may answer otherwise.
    void isMonitoringChanged();

private:
    void followRunState();

    const VMDetailsViewModel &m_pane;
    VMPerformanceMonitorService &m_monitor;
    std::optional<VMRuntimeState> m_followedRunState;
    VMPerformanceMonitorService::Lease m_monitoring;
};
