// SPDX-License-Identifier: MIT
#include "DiskAnalyticsPresentation.h"

#include "DisplayFormatters.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <limits>

namespace {

VMDiskAnalytics analytics(quint64 capacity, quint64 allocated)
{
    VMDiskAnalytics figures;
    figures.virtualCapacityBytes = capacity;
    figures.hostAllocatedBytes = allocated;
    return figures;
}

TEST(DiskAnalyticsPresentationTest, EfficiencyAndSavingsFollowTheirThresholds)
{
    const struct {
        quint64 capacity;
        quint64 allocated;
        const char *text;
        PanelTint tint;
        quint64 savings;
    } cases[] = {
        {0, 0, "0.0%", PanelTint::teal, 0},
        {0, 500, "0.0%", PanelTint::teal, 0},
        {1000, 1250, "125.0%", PanelTint::red, 0},
        {1000, 800, "80.0%", PanelTint::orange, 200},
        {1000, 801, "80.1%", PanelTint::red, 199},
        {1000, 500, "50.0%", PanelTint::teal, 500},
        {1000, 501, "50.1%", PanelTint::orange, 499},
    };
    for (const auto &[capacity, allocated, text, tint, savings] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(DiskAnalyticsPresentation::efficiencyText(analytics(capacity, allocated)), QString::fromUtf8(text));
        EXPECT_EQ(DiskAnalyticsPresentation::efficiencyTint(analytics(capacity, allocated)), tint);
        EXPECT_EQ(DiskAnalyticsPresentation::sparseSavingsBytes(analytics(capacity, allocated)), savings);
    }
}

TEST(DiskAnalyticsPresentationTest, SegmentsShareTheBarAndNoPartDisappears)
{
    VMDiskAnalytics figures = analytics(64'000'000'000, 10'000'000'000);
    figures.logBytes = 4'000;
    const QList<VMDiskAnalytics::BreakdownRow> rows = figures.breakdown();
    const QList<double> widths = DiskAnalyticsPresentation::segmentWidths(rows, DiskAnalyticsPresentation::breakdownTotal(figures), 300);
    ASSERT_EQ(widths.size(), 2);
    EXPECT_NEAR(widths[0], 300, 0.001);
    EXPECT_EQ(widths[1], 2) << "a few kilobytes still show";

    const VMDiskAnalytics empty;
    EXPECT_EQ(DiskAnalyticsPresentation::breakdownTotal(empty), 1);
    EXPECT_TRUE(DiskAnalyticsPresentation::segmentWidths(empty.breakdown(), 1, 300).isEmpty());

    const QList<VMDiskAnalytics::BreakdownRow> one{{QStringLiteral("VM Disk"), 5, QStringLiteral("blue")}};
    EXPECT_EQ(DiskAnalyticsPresentation::segmentWidths(one, 5, 240), QList<double>{240});
}

TEST(DiskAnalyticsPresentationTest, BreakdownColoursAreMatchedExactly)
{
    const struct {
        const char *name;
        PanelTint tint;
    } cases[] = {{"blue", PanelTint::accent}, {"purple", PanelTint::purple}, {"orange", PanelTint::orange}, {"green", PanelTint::green},
                 {"cyan", PanelTint::teal},   {"gray", PanelTint::gray},     {"secondary", PanelTint::secondary}, {"Blue", PanelTint::secondary}};
    for (const auto &[name, tint] : cases)
        EXPECT_EQ(DiskAnalyticsPresentation::breakdownTint(QString::fromUtf8(name)), tint) << name;
}

TEST(DiskAnalyticsPresentationTest, DaysUntilFullAndTheReclaimableTotal)
{
    const struct {
        double days;
        const char *text;
        PanelTint tint;
    } cases[] = {{365.0, "365 days", PanelTint::primary}, {365.5, "> 1 year", PanelTint::primary}, {0.4, "0 days", PanelTint::red},
                 {29.9, "29 days", PanelTint::red},       {30.0, "30 days", PanelTint::primary}, {1.5, "1 days", PanelTint::red}};
    for (const auto &[days, text, tint] : cases) {
        EXPECT_EQ(DiskAnalyticsPresentation::daysUntilFullText(days), QString::fromUtf8(text)) << days;
        EXPECT_EQ(DiskAnalyticsPresentation::daysUntilFullTint(days), tint) << days;
    }

    const QList<ReclaimRecommendation> items{{QStringLiteral("Snapshot history"), 2'000'000, ReclaimAction::deleteSnapshots},
                                             {QStringLiteral("Log files"), 3'000'000, ReclaimAction::clearLogs}};
    EXPECT_EQ(DiskAnalyticsPresentation::reclaimableText(items), DisplayFormatters::byteCountText(qint64(5'000'000)) + QStringLiteral(" reclaimable"));
    const QList<ReclaimRecommendation> huge{{QString(), std::numeric_limits<quint64>::max(), ReclaimAction::clearLogs}, {QString(), 5, ReclaimAction::clearLogs}};
    EXPECT_EQ(DiskAnalyticsPresentation::reclaimableTotal(huge), std::numeric_limits<quint64>::max());
    const QString snapshots = DiskAnalyticsPresentation::reclaimConfirmation(items[0]);
    EXPECT_TRUE(snapshots.contains(DisplayFormatters::byteCountText(qint64(2'000'000))));
    EXPECT_TRUE(snapshots.contains(QStringLiteral("can no longer be restored")));
}

} // namespace
