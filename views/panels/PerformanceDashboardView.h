// SPDX-License-Identifier: MIT
#pragma once

#include "LabPanel.h"
#include "VMPerformanceHistory.h"

#include <optional>

class CPUHistoryChart;
class MetricCard;
class QLabel;
class QStackedWidget;

/**
 * The live "Performance" panel: CPU, memory, disk I/O and network cards
 * for the newest sample, the average and peak CPU over the history, and the
 * CPU chart of the newest 60 samples; an invitation to start the VM while
 * the history is empty. setHistory() updates the labels in place (the
 * monitor samples once a second), never rebuilding them. Figures that are
 * not live carry a note saying they are from the last run. The VM's name is
 * kept but not shown. Children: "performance.sampleCount",
 * "performance.lastRun", "performance.empty", "performance.cpu", "performance.memory",
 * "performance.disk", "performance.network", "performance.chart".
 */
class PerformanceDashboardView final : public LabPanel
{
    Q_OBJECT

public:
    explicit PerformanceDashboardView(QWidget *parent = nullptr);

    void setHistory(const VMPerformanceHistory &history);
    /// Shows that the figures are from the VM's last run, in these words; none while they are live.
    void setLastRunNote(const std::optional<QString> &note);
    void setVMName(const QString &name) { m_vmName = name; }
    const QString &vmName() const { return m_vmName; }

private:
    QString m_vmName;
    QLabel *m_sampleCount;
    QLabel *m_lastRun;
    QStackedWidget *m_body;
    MetricCard *m_cpu;
    MetricCard *m_memory;
    MetricCard *m_disk;
    MetricCard *m_network;
    CPUHistoryChart *m_chart;
};
