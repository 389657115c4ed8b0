// SPDX-License-Identifier: MIT
#pragma once

#include "VMPerformanceMetrics.h"

#include <QList>
#include <QtGlobal>

/**
 * The rolling history of one VM's samples, oldest first, holding at most
 * maxSamples() of them: each append beyond the bound drops the oldest.
 * Lives only in memory.
 *
 * @code
 * VMPerformanceHistory history;          // two minutes at one sample a second
 * history.append(sample);
 * const double peak = history.peakCPUUsage();
 * @endcode
 */
class VMPerformanceHistory
{
public:
    /// The bound the performance monitor uses: 120 samples.
    static constexpr qint64 defaultMaxSamples = 120;

    /// A negative bound is taken as 0.
    explicit VMPerformanceHistory(qint64 maxSamples = defaultMaxSamples);

    const QList<VMPerformanceMetrics> &samples() const { return m_samples; }
    qint64 maxSamples() const { return m_maxSamples; }

    /// Adds the sample last, then drops the oldest samples beyond the bound.
    void append(const VMPerformanceMetrics &sample);

    /// The newest sample; VMPerformanceMetrics::zero() while there is none.
    const VMPerformanceMetrics &latest() const;
    /// The mean CPU use over the samples; 0 while there is none.
    double averageCPUUsage() const;
    /// The largest CPU use among the samples (also when all are negative); 0 while there is none.
    double peakCPUUsage() const;

private:
    QList<VMPerformanceMetrics> m_samples;
    qint64 m_maxSamples;
};
