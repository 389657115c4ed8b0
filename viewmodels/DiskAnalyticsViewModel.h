// SPDX-License-Identifier: MIT
#pragma once

#include "ActionsInFlight.h"
#include "ReclaimAction.h"
#include "ReclaimRecommendation.h"
#include "VMDiskAnalytics.h"
#include "VMDiskGrowthHistory.h"

#include <QCoroTask>
#include <QList>
#include <QObject>

#include <optional>

class LoggingService;
class SnapshotTimelineViewModel;
class VMBundleOperations;
class VMDetailsViewModel;
class VMDiskAnalyticsService;

/**
 * The state and actions behind the details pane's disk panel: where the
 * pane's VM keeps its bytes, how its disk grew, the clean-ups worth
 * offering and when the host's volume fills at this pace. The figures are
 * measured at construction, after the pane's Refresh and after a reclaim,
 * each of which records a growth sample; they are measured again, without
 * a sample, whenever the pane's bundle or the snapshot timeline changes,
 * and published only when they differ. A reclaim runs in the pane's busy
 * frame, one at a time; its failure is logged ("Details") and emitted
 * through failed() for the pane's banner. Reclaiming the snapshot history
 * has the timeline read again. GUI thread only.
 *
 * @code
 * DiskAnalyticsViewModel disk(details, timeline, analytics, operations);
 * co_await disk.reclaim(ReclaimAction::clearLogs);
 * @endcode
 */
class DiskAnalyticsViewModel final : public QObject
{
    Q_OBJECT

public:
    DiskAnalyticsViewModel(VMDetailsViewModel &pane, SnapshotTimelineViewModel &timeline, const VMDiskAnalyticsService &analytics,
        VMBundleOperations &operations, const LoggingService &logging, QObject *parent = nullptr);

    const std::optional<VMDiskAnalytics> &analytics() const { return m_analytics; }
    const VMDiskGrowthHistory &growthHistory() const { return m_growthHistory; }
    QList<ReclaimRecommendation> recommendations() const;
    /// Days until the growth seen so far fills the volume that holds the VM; none without growth or a readable volume.
    std::optional<double> estimatedDaysUntilHostFull() const;
    /// Disk space of this VM is being reclaimed.
    bool isReclaiming() const { return m_reclaims > 0; }

    /// Measures the VM's bundle again and records a growth sample.
    void refresh();
    QCoro::Task<> reclaim(ReclaimAction action);

Q_SIGNALS:
    void analyticsChanged();
    void growthHistoryChanged();
    void isReclaimingChanged();
    /// A reclaim failed; `message` is the banner's text.
    void failed(const QString &message);

private:
    void setReclaims(int count);
    /// Measures the bundle again and publishes the figures when they changed.
    void remeasure();

    VMDetailsViewModel &m_pane;
    SnapshotTimelineViewModel &m_timeline;
    const VMDiskAnalyticsService &m_service;
    VMBundleOperations &m_operations;
    const LoggingService &m_logging;
    std::optional<VMDiskAnalytics> m_analytics;
    VMDiskGrowthHistory m_growthHistory;
    int m_reclaims = 0;
    ActionsInFlight m_inFlight;
};
