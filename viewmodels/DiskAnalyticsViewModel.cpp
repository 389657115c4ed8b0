// SPDX-License-Identifier: MIT
#include "DiskAnalyticsViewModel.h"

#include "CountedOperation.h"
#include "LoggingService.h"
#include "SnapshotTimelineViewModel.h"
#include "VMBundleOperations.h"
#include "VMDetailsViewModel.h"
#include "VMDiskAnalyticsService.h"

namespace {

/// The same figures, whenever each was measured.
bool sameFigures(VMDiskAnalytics measured, const VMDiskAnalytics &shown)
{
    measured.analyzedAt = shown.analyzedAt;
    return measured == shown;
}

} // namespace

DiskAnalyticsViewModel::DiskAnalyticsViewModel(VMDetailsViewModel &pane, SnapshotTimelineViewModel &timeline,
    const VMDiskAnalyticsService &analytics, VMBundleOperations &operations, const LoggingService &logging, QObject *parent)
    : QObject(parent)
    , m_pane(pane)
    , m_timeline(timeline)
    , m_service(analytics)
    , m_operations(operations)
    , m_logging(logging)
{
    connect(&m_pane, &VMDetailsViewModel::reloaded, this, &DiskAnalyticsViewModel::refresh);
    // A bundle still being made gains its installer image and firmware files after the pane opened.
    connect(&m_pane, &VMDetailsViewModel::bundleChanged, this, &DiskAnalyticsViewModel::remeasure);
    connect(&m_timeline, &SnapshotTimelineViewModel::timelineChanged, this, &DiskAnalyticsViewModel::remeasure);
    refresh();
}

void DiskAnalyticsViewModel::setReclaims(int count)
{
    m_reclaims = count;
    Q_EMIT isReclaimingChanged();
}

void DiskAnalyticsViewModel::refresh()
{
    const std::optional<VMBundle> &bundle = m_pane.bundle();
    if (!bundle) {
        m_analytics.reset();
        Q_EMIT analyticsChanged();
        return;
    }
    m_analytics = m_service.breakdown(*bundle);
    Q_EMIT analyticsChanged();
    // A checked read: the file lies in a bundle that may come from anywhere.
    m_growthHistory = m_service.growthHistory(bundle->bundleURL);
    Q_EMIT growthHistoryChanged();
    m_service.recordGrowth(bundle->bundleURL);
}

void DiskAnalyticsViewModel::remeasure()
{
    const std::optional<VMBundle> &bundle = m_pane.bundle();
    const std::optional<VMDiskAnalytics> measured = bundle ? std::optional(m_service.breakdown(*bundle)) : std::nullopt;
    const bool same = measured && m_analytics ? sameFigures(*measured, *m_analytics) : measured.has_value() == m_analytics.has_value();
    if (same)
        return;
    m_analytics = measured;
    Q_EMIT analyticsChanged();
}

QList<ReclaimRecommendation> DiskAnalyticsViewModel::recommendations() const
{
    return m_pane.bundle() ? m_service.recommendations(m_pane.bundle()->bundleURL) : QList<ReclaimRecommendation>();
}

std::optional<double> DiskAnalyticsViewModel::estimatedDaysUntilHostFull() const
{
    // From the published history, so the estimate agrees with the growth shown beside it.
    return m_pane.bundle() ? m_growthHistory.estimatedDaysUntilHostFull(m_service.hostAvailableCapacityBytes(m_pane.bundle()->bundleURL))
                           : std::nullopt;
}

QCoro::Task<> DiskAnalyticsViewModel::reclaim(ReclaimAction action)
{
    const std::optional<ActionsInFlight::Ticket> ticket = m_inFlight.begin(m_pane.bundleID(), u"reclaim");
    if (!ticket)
        co_return;
    const CountedOperation reclaiming(*this, &DiskAnalyticsViewModel::m_reclaims, &DiskAnalyticsViewModel::setReclaims);
    const VMDetailsViewModel::BusyFrame frame(m_pane);
    if (!m_pane.bundle())
        co_return;
    try {
        m_operations.reclaim(m_pane.bundleID(), action);
        refresh();
        m_pane.refreshDiskUsage();
        // Reclaiming the snapshot history removes the timeline with it.
        m_timeline.refresh();
    } catch (const std::exception &error) {
        const QString text = QString::fromUtf8(error.what());
        m_logging.log(text, QStringLiteral("Details"));
        Q_EMIT failed(text);
    }
}
