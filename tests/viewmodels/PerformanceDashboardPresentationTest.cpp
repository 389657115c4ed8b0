// SPDX-License-Identifier: MIT
#include "PerformanceDashboardPresentation.h"

#include "DisplayFormatters.h"
#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

VMPerformanceMetrics cpuSample(double cpu)
{
    VMPerformanceMetrics sample;
    sample.timestamp = QDateTime::currentDateTimeUtc();
    sample.cpuUsagePercent = cpu;
    return sample;
}

VMPerformanceMetrics memorySample(quint64 used, quint64 total)
{
    VMPerformanceMetrics sample = cpuSample(0);
    sample.memoryUsedBytes = used;
    sample.memoryTotalBytes = total;
    return sample;
}

TEST(PerformanceDashboardPresentationTest, TintsAreStrictAtTheirThresholds)
{
    const struct {
        double cpu;
        PanelTint tint;
    } cpu[] = {{80.0, PanelTint::orange}, {80.1, PanelTint::red}, {50.0, PanelTint::teal}, {50.1, PanelTint::orange}, {0, PanelTint::teal}};
    for (const auto &[percent, tint] : cpu)
        EXPECT_EQ(PerformanceDashboardPresentation::cpuTint(percent), tint) << percent;

    const struct {
        quint64 used;
        quint64 total;
        PanelTint tint;
        const char *text;
    } memory[] = {{85, 100, PanelTint::orange, "85.0%"}, {86, 100, PanelTint::red, "86.0%"}, {60, 100, PanelTint::accent, "60.0%"},
                  {61, 100, PanelTint::orange, "61.0%"}, {5, 0, PanelTint::accent, "0.0%"}};
    for (const auto &[used, total, tint, text] : memory) {
        EXPECT_EQ(PerformanceDashboardPresentation::memoryTint(memorySample(used, total)), tint) << used << "/" << total;
        EXPECT_EQ(PerformanceDashboardPresentation::percentText(PerformanceDashboardPresentation::memoryPercent(memorySample(used, total))), QString::fromUtf8(text));
    }

    const struct {
        double fraction;
        double clamped;
    } fractions[] = {{0.42, 0.42}, {1.3, 1}, {0, 0}, {-0.2, 0}, {std::nan(""), 0}};
    for (const auto &[fraction, clamped] : fractions)
        EXPECT_EQ(PerformanceDashboardPresentation::clampedFraction(fraction), clamped) << fraction;
}

TEST(PerformanceDashboardPresentationTest, RatesReadAsZeroOrNotAvailableNeverAsAFalseFigure)
{
    VMPerformanceMetrics sample = cpuSample(0);
    sample.diskReadBytesPerSecond = -5;
    sample.diskWriteBytesPerSecond = std::nan("");
    EXPECT_EQ(PerformanceDashboardPresentation::diskReadText(sample), QStringLiteral("R: ") + formatByteRate(0));
    EXPECT_EQ(PerformanceDashboardPresentation::diskWriteText(sample), QStringLiteral("W: ") + formatByteRate(0));
    EXPECT_EQ(PerformanceDashboardPresentation::networkSentText(sample), QStringLiteral("TX: not available"));
    EXPECT_EQ(PerformanceDashboardPresentation::networkReceivedText(sample), QStringLiteral("RX: not available"));
    sample.networkRatesAvailable = true;
    sample.networkSentBytesPerSecond = 2'000'000;
    EXPECT_EQ(PerformanceDashboardPresentation::networkSentText(sample), QStringLiteral("TX: ") + formatByteRate(2'000'000));
    EXPECT_EQ(PerformanceDashboardPresentation::networkReceivedText(sample), QStringLiteral("RX: ") + formatByteRate(0));
}

TEST(PerformanceDashboardPresentationTest, TheChartSpansTheNewestSixtySamplesOverTheWidth)
{
    VMPerformanceHistory history;
    EXPECT_TRUE(PerformanceDashboardPresentation::cpuChartPoints(history, 300, 80).isEmpty());
    history.append(cpuSample(42));
    EXPECT_TRUE(PerformanceDashboardPresentation::cpuChartPoints(history, 300, 80).isEmpty()) << "one sample draws nothing";
    EXPECT_EQ(PerformanceDashboardPresentation::cpuDetail(history), QStringLiteral("Avg: 42.0% \u2022 Peak: 42.0%"));

    VMPerformanceHistory full;
    for (int index = 1; index <= 120; ++index)
        full.append(cpuSample(index == 120 ? 130 : index % 100));
    const QList<QPointF> points = PerformanceDashboardPresentation::cpuChartPoints(full, 590, 80);
    ASSERT_EQ(points.size(), 60);
    EXPECT_EQ(points.first(), QPointF(0, 80 - 80 * 61 / 100.0)) << "sample 61 is the oldest shown";
    EXPECT_EQ(points[1].x(), 10);
    EXPECT_EQ(points.last(), QPointF(590, 80 - 80 * 1.3)) << "130 % lies above the top edge";
    EXPECT_LT(points.last().y(), 0);
    EXPECT_EQ(PerformanceDashboardPresentation::sampleCountText(full.samples().size()), QStringLiteral("Last 120 samples"));
}

} // namespace
