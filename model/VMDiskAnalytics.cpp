// SPDX-License-Identifier: MIT
#include "VMDiskAnalytics.h"

#include "DisplayFormatters.h"

#include <algorithm>

namespace {

/// Logs smaller than this are not worth a clean-up of their own.
constexpr quint64 logRecommendationThresholdBytes = 1'048'576;

} // namespace

QList<VMDiskAnalytics::BreakdownRow> VMDiskAnalytics::breakdown() const
{
    const QList<BreakdownRow> candidates{
        {QStringLiteral("VM Disk"), hostAllocatedBytes, QStringLiteral("blue")},
        {QStringLiteral("Snapshots"), snapshotUsageBytes, QStringLiteral("purple")},
        {QStringLiteral("Saved State"), savedStateBytes, QStringLiteral("orange")},
        {QStringLiteral("Restore Images"), restoreImageBytes, QStringLiteral("green")},
        {QStringLiteral("Automation"), automationBytes, QStringLiteral("cyan")},
        {QStringLiteral("Logs"), logBytes, QStringLiteral("gray")},
        {QStringLiteral("Other"), otherBytes, QStringLiteral("secondary")},
    };
    QList<BreakdownRow> rows;
    std::copy_if(candidates.cbegin(), candidates.cend(), std::back_inserter(rows), [](const BreakdownRow &row) { return row.bytes != 0; });
    return rows;
}

QList<ReclaimRecommendation> VMDiskAnalytics::recommendations() const
{
    const auto described = [](const QString &what, quint64 bytes) {
        return what + QStringLiteral(" (") + DisplayFormatters::byteCountText(bytes) + QLatin1Char(')');
    };
    QList<ReclaimRecommendation> found;
    if (snapshotUsageBytes > 0)
        found.append({described(QStringLiteral("Snapshot history"), snapshotUsageBytes), snapshotUsageBytes, ReclaimAction::deleteSnapshots});
    if (restoreImageBytes > 0)
        found.append({described(QStringLiteral("Cached restore images"), restoreImageBytes), restoreImageBytes, ReclaimAction::deleteRestoreImages});
    if (logBytes > logRecommendationThresholdBytes)
        found.append({described(QStringLiteral("Log files"), logBytes), logBytes, ReclaimAction::clearLogs});
    std::stable_sort(found.begin(), found.end(), [](const ReclaimRecommendation &a, const ReclaimRecommendation &b) { return a.bytes > b.bytes; });
    return found;
}
