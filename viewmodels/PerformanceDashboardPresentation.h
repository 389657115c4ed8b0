// SPDX-License-Identifier: MIT
#pragma once

#include "PanelTint.h"
#include "VMPerformanceHistory.h"

#include <QList>
#include <QPointF>
#include <QString>

/**
 * The texts, tints, bar fractions and chart points of the performance
 * dashboard, worked out from a VM's performance history.
 */
class PerformanceDashboardPresentation
{
public:
    /// How many of the newest samples the CPU chart shows.
    static constexpr qsizetype chartWindow = 60;

    /// "%.1f%%", locale-free.
    static QString percentText(double percent);
    /// "Last <n> samples".
    static QString sampleCountText(qsizetype count);
    /// Red above 80 %, orange above 50 %, else teal.
    static PanelTint cpuTint(double cpuPercent);
    /// Used over total memory in percent; 0 when the total is 0.
    static double memoryPercent(const VMPerformanceMetrics &sample);
    /// Accent without a total; else red above 85 %, orange above 60 %, else accent.
    static PanelTint memoryTint(const VMPerformanceMetrics &sample);
    /// A bar fraction clamped to 0...1; NaN gives 0.
    static double clampedFraction(double fraction);

    static QString cpuDetail(const VMPerformanceHistory &history);
    static QString memoryDetail(const VMPerformanceMetrics &sample);
    static QString diskReadText(const VMPerformanceMetrics &sample);
    static QString diskWriteText(const VMPerformanceMetrics &sample);
    /// "TX: <rate>", or "TX: not available" when the network rates were not measured.
    static QString networkSentText(const VMPerformanceMetrics &sample);
    static QString networkReceivedText(const VMPerformanceMetrics &sample);

    /// The points of the CPU line over the newest samples in a chart `width` × `height`: none for fewer than 2.
    static QList<QPointF> cpuChartPoints(const VMPerformanceHistory &history, double width, double height);
};
