// SPDX-License-Identifier: MIT
#include "DiskAnalyticsPresentation.h"

#include "SizeText.h"

#include <algorithm>
#include <cmath>
#include <limits>

quint64 DiskAnalyticsPresentation::hostSpaceUsedBytes(const VMDiskAnalytics &analytics)
{
    quint64 total = 0;
    for (const quint64 part : {analytics.hostAllocatedBytes, analytics.snapshotUsageBytes, analytics.savedStateBytes,
             analytics.automationBytes, analytics.restoreImageBytes, analytics.logBytes, analytics.otherBytes})
        total = part > std::numeric_limits<quint64>::max() - total ? std::numeric_limits<quint64>::max() : total + part;
    return total;
}

quint64 DiskAnalyticsPresentation::sparseSavingsBytes(const VMDiskAnalytics &analytics)
{
    return analytics.virtualCapacityBytes >= analytics.hostAllocatedBytes ? analytics.virtualCapacityBytes - analytics.hostAllocatedBytes
                                                                          : 0;
}

double DiskAnalyticsPresentation::efficiencyPercent(const VMDiskAnalytics &analytics)
{
    if (analytics.virtualCapacityBytes == 0)
        return 0;
    return double(analytics.hostAllocatedBytes) / double(analytics.virtualCapacityBytes) * 100.0;
}

QString DiskAnalyticsPresentation::efficiencyText(const VMDiskAnalytics &analytics)
{
    return QString::asprintf("%.1f%%", efficiencyPercent(analytics));
}

PanelTint DiskAnalyticsPresentation::efficiencyTint(const VMDiskAnalytics &analytics)
{
    const double percent = efficiencyPercent(analytics);
    if (analytics.virtualCapacityBytes != 0 && percent > 80)
        return PanelTint::red;
    if (analytics.virtualCapacityBytes != 0 && percent > 50)
        return PanelTint::orange;
    return PanelTint::teal;
}

PanelTint DiskAnalyticsPresentation::breakdownTint(const QString &colorName)
{
    if (colorName == u"blue")
        return PanelTint::accent;
    if (colorName == u"purple")
        return PanelTint::purple;
    if (colorName == u"orange")
        return PanelTint::orange;
    if (colorName == u"green")
        return PanelTint::green;
    if (colorName == u"cyan")
        return PanelTint::teal;
    if (colorName == u"gray")
        return PanelTint::gray;
    return PanelTint::secondary;
}

double DiskAnalyticsPresentation::breakdownTotal(const VMDiskAnalytics &analytics)
{
    // Summed as doubles: no 64-bit overflow, and the share is a double anyway.
    const double sum = double(analytics.hostAllocatedBytes) + double(analytics.snapshotUsageBytes) + double(analytics.savedStateBytes)
        + double(analytics.automationBytes) + double(analytics.restoreImageBytes) + double(analytics.logBytes)
        + double(analytics.otherBytes);
    return sum == 0 ? 1 : sum;
}

QList<double> DiskAnalyticsPresentation::segmentWidths(const QList<VMDiskAnalytics::BreakdownRow> &rows, double total, double width)
{
    QList<double> widths;
    widths.reserve(rows.size());
    for (const VMDiskAnalytics::BreakdownRow &row : rows)
        widths.append(std::max(double(row.bytes) / std::max(total, 1.0) * width, 2.0));
    return widths;
}

quint64 DiskAnalyticsPresentation::reclaimableTotal(const QList<ReclaimRecommendation> &items)
{
    quint64 total = 0;
    for (const ReclaimRecommendation &item : items)
        total = item.bytes > std::numeric_limits<quint64>::max() - total ? std::numeric_limits<quint64>::max() : total + item.bytes;
    return total;
}

QString DiskAnalyticsPresentation::reclaimableText(const QList<ReclaimRecommendation> &items)
{
    return SizeText::bytes(reclaimableTotal(items)) + QStringLiteral(" reclaimable");
}

QString DiskAnalyticsPresentation::reclaimConfirmation(const ReclaimRecommendation &item)
{
    const QString size = SizeText::bytes(item.bytes);
    switch (item.action) {
    case ReclaimAction::deleteSnapshots:
        return QStringLiteral("This frees about ") + size
            + QStringLiteral(" by deleting every snapshot of this VM, with its timeline and the safety snapshots taken before updates. The "
                             "VM can no longer be restored to any of them.");
    case ReclaimAction::deleteRestoreImages:
        return QStringLiteral("This frees about ") + size
            + QStringLiteral(" by deleting the cached restore images. They are downloaded again when an install needs them.");
    case ReclaimAction::clearLogs:
        return QStringLiteral("This frees about ") + size + QStringLiteral(" by deleting the VM's log files. Their history is lost.");
    }
    return {};
}

QString DiskAnalyticsPresentation::averageDailyGrowthText(double bytesPerDay)
{
    return SizeText::bytes(bytesPerDay);
}

QString DiskAnalyticsPresentation::daysUntilFullText(double days)
{
    if (days > 365)
        return QStringLiteral("> 1 year");
    return QString::asprintf("%lld", static_cast<long long>(std::trunc(days))) + QStringLiteral(" days");
}

PanelTint DiskAnalyticsPresentation::daysUntilFullTint(double days)
{
    return days < 30 ? PanelTint::red : PanelTint::primary;
}
