// SPDX-License-Identifier: MIT
#include "VMPerformanceHistory.h"

#include <QThread>

#include <gtest/gtest.h>

namespace {

VMPerformanceMetrics sample(double cpu)
{
    VMPerformanceMetrics metrics;
    metrics.timestamp = QDateTime::currentDateTimeUtc();
    metrics.cpuUsagePercent = cpu;
    return metrics;
}

QList<double> cpuFigures(const VMPerformanceHistory &history)
{
    QList<double> figures;
    for (const VMPerformanceMetrics &metrics : history.samples())
        figures << metrics.cpuUsagePercent;
    return figures;
}

} // namespace

TEST(VMPerformanceHistoryTest, KeepsTheNewestSamplesUpToItsBound)
{
    VMPerformanceHistory monitor;
    EXPECT_EQ(monitor.maxSamples(), 120);
    for (int index = 0; index < 121; ++index)
        monitor.append(sample(index));
    EXPECT_EQ(monitor.samples().size(), 120);
    EXPECT_EQ(monitor.samples().first().cpuUsagePercent, 1);
    EXPECT_EQ(monitor.latest().cpuUsagePercent, 120);

    VMPerformanceHistory two(2);
    for (double cpu : {1, 2, 3, 4, 5})
        two.append(sample(cpu));
    EXPECT_EQ(cpuFigures(two), (QList<double>{4, 5}));

    for (qint64 bound : {0, -3}) {
        VMPerformanceHistory none(bound);
        EXPECT_EQ(none.maxSamples(), 0);
        none.append(sample(7));
        EXPECT_TRUE(none.samples().isEmpty());
        EXPECT_EQ(none.peakCPUUsage(), 0.0);
    }
}

TEST(VMPerformanceHistoryTest, AnEmptyHistoryReportsTheOneEmptySample)
{
    const VMPerformanceHistory empty;
    const VMPerformanceMetrics &latest = empty.latest();
    EXPECT_EQ(latest.cpuUsagePercent, 0);
    EXPECT_EQ(latest.memoryUsedBytes, 0U);
    EXPECT_EQ(latest.memoryTotalBytes, 0U);
    EXPECT_EQ(latest.diskReadBytesPerSecond, 0);
    EXPECT_EQ(latest.networkReceivedBytesPerSecond, 0);
    EXPECT_TRUE(latest.timestamp.isValid());
    EXPECT_EQ(empty.averageCPUUsage(), 0.0);
    EXPECT_EQ(empty.peakCPUUsage(), 0.0);

    QThread::msleep(20);
    EXPECT_EQ(VMPerformanceHistory(5).latest().timestamp, latest.timestamp);
}

TEST(VMPerformanceHistoryTest, AverageAndPeak)
{
    const struct {
        QList<double> figures;
        double average;
        double peak;
    } table[] = {
        {{10, 30, 20}, 20.0, 30.0},
        {{-5}, -5.0, -5.0},
        {{-5, -1, -9}, -5.0, -1.0},
    };
    for (const auto &row : table) {
        VMPerformanceHistory history;
        for (double figure : row.figures)
            history.append(sample(figure));
        EXPECT_DOUBLE_EQ(history.averageCPUUsage(), row.average);
        EXPECT_EQ(history.peakCPUUsage(), row.peak);
    }
}
