// SPDX-License-Identifier: MIT
#include "PerformanceDashboardPresentation.h"

#include "SizeText.h"

#include <cmath>
#include <limits>

namespace {

const QString notAvailable = QStringLiteral("not available");

/// The shared formatter takes finite rates below 2^63 bytes per second; anything else reads as zero or the largest count.
QString rateText(double bytesPerSecond)
{
    if (std::isnan(bytesPerSecond))
        return SizeText::rate(0);
    return SizeText::rate(std::min(bytesPerSecond, 9.2e18));
}

} // namespace

QString PerformanceDashboardPresentation::percentText(double percent)
{
    return QString::asprintf("%.1f%%", percent);
}

QString PerformanceDashboardPresentation::sampleCountText(qsizetype count)
{
    return QString::asprintf("Last %lld samples", static_cast<long long>(count));
}

PanelTint PerformanceDashboardPresentation::cpuTint(double cpuPercent)
{
    if (cpuPercent > 80)
        return PanelTint::red;
    if (cpuPercent > 50)
        return PanelTint::orange;
    return PanelTint::teal;
}

double PerformanceDashboardPresentation::memoryPercent(const VMPerformanceMetrics &sample)
{
    if (sample.memoryTotalBytes == 0)
        return 0;
    return double(sample.memoryUsedBytes) / double(sample.memoryTotalBytes) * 100.0;
}

PanelTint PerformanceDashboardPresentation::memoryTint(const VMPerformanceMetrics &sample)
{
    if (sample.memoryTotalBytes == 0)
        return PanelTint::accent;
    const double percent = memoryPercent(sample);
    if (percent > 85)
        return PanelTint::red;
    if (percent > 60)
        return PanelTint::orange;
    return PanelTint::accent;
}

double PerformanceDashboardPresentation::clampedFraction(double fraction)
{
    if (!(fraction > 0))
        return 0;
    return std::min(fraction, 1.0);
}

QString PerformanceDashboardPresentation::cpuDetail(const VMPerformanceHistory &history)
{
    return QStringLiteral("Avg: ") + percentText(history.averageCPUUsage()) + QStringLiteral(" \u2022 Peak: ")
        + percentText(history.peakCPUUsage());
}

QString PerformanceDashboardPresentation::memoryDetail(const VMPerformanceMetrics &sample)
{
    return SizeText::bytes(sample.memoryUsedBytes) + QStringLiteral(" of ") + SizeText::bytes(sample.memoryTotalBytes);
}

QString PerformanceDashboardPresentation::diskReadText(const VMPerformanceMetrics &sample)
{
    return QStringLiteral("R: ") + rateText(sample.diskReadBytesPerSecond);
}

QString PerformanceDashboardPresentation::diskWriteText(const VMPerformanceMetrics &sample)
{
    return QStringLiteral("W: ") + rateText(sample.diskWriteBytesPerSecond);
}

QString PerformanceDashboardPresentation::networkSentText(const VMPerformanceMetrics &sample)
{
    return QStringLiteral("TX: ") + (sample.networkRatesAvailable ? rateText(sample.networkSentBytesPerSecond) : notAvailable);
}

QString PerformanceDashboardPresentation::networkReceivedText(const VMPerformanceMetrics &sample)
{
    return QStringLiteral("RX: ") + (sample.networkRatesAvailable ? rateText(sample.networkReceivedBytesPerSecond) : notAvailable);
}

QList<QPointF> PerformanceDashboardPresentation::cpuChartPoints(const VMPerformanceHistory &history, double width, double height)
{
    const QList<VMPerformanceMetrics> &samples = history.samples();
    const qsizetype first = std::max<qsizetype>(0, samples.size() - chartWindow);
    const qsizetype count = samples.size() - first;
    QList<QPointF> points;
    if (count < 2)
        return points;
    points.reserve(count);
    for (qsizetype index = 0; index < count; ++index)
        points.append(QPointF(double(index) * width / double(count - 1), height - height * samples[first + index].cpuUsagePercent / 100.0));
    return points;
}
