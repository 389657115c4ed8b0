// SPDX-License-Identifier: MIT
#pragma once

#include "PanelTint.h"
#include "ReclaimRecommendation.h"
#include "VMDiskAnalytics.h"

#include <QList>
#include <QString>

#include <optional>

/**
 * The figures, texts, colours and bar geometry of the disk analytics panel,
 * worked out from the analytics it is given.
 */
class DiskAnalyticsPresentation
{
public:
    /// What the whole bundle takes on the host: the disk image and every other part (saturating).
    static quint64 hostSpaceUsedBytes(const VMDiskAnalytics &analytics);
    /// Capacity minus allocation; 0 when the allocation is larger.
    static quint64 sparseSavingsBytes(const VMDiskAnalytics &analytics);
    /// Allocation over capacity in percent; 0 for a capacity of 0.
    static double efficiencyPercent(const VMDiskAnalytics &analytics);
    /// "%.1f%%", locale-free.
    static QString efficiencyText(const VMDiskAnalytics &analytics);
    /// Red above 80 %, orange above 50 %, else teal (also for a capacity of 0).
    static PanelTint efficiencyTint(const VMDiskAnalytics &analytics);

    /// The colour of a breakdown row by its colour name; unknown names are secondary.
    static PanelTint breakdownTint(const QString &colorName);
    /// The sum of the breakdown rows, at least 1.
    static double breakdownTotal(const VMDiskAnalytics &analytics);
    /// The segment width of each row of a bar `width` wide: its share of the total, at least 2.
    static QList<double> segmentWidths(const QList<VMDiskAnalytics::BreakdownRow> &rows, double total, double width);

    /// The sum of the items' sizes (saturating).
    static quint64 reclaimableTotal(const QList<ReclaimRecommendation> &items);
    /// "<bytes> reclaimable".
    static QString reclaimableText(const QList<ReclaimRecommendation> &items);
    /// The reclaim confirmation: the size and what is lost for good.
    static QString reclaimConfirmation(const ReclaimRecommendation &item);

    /// The average daily growth as a byte text.
    static QString averageDailyGrowthText(double bytesPerDay);
    /// "> 1 year" above 365 days, else the whole days followed by " days".
    static QString daysUntilFullText(double days);
    /// Red below 30 days, else the primary text colour.
    static PanelTint daysUntilFullTint(double days);
};
