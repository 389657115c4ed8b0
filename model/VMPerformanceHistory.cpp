// SPDX-License-Identifier: MIT
#include "VMPerformanceHistory.h"

#include <algorithm>

VMPerformanceHistory::VMPerformanceHistory(qint64 maxSamples)
    : m_maxSamples(std::max<qint64>(maxSamples, 0))
{
}

void VMPerformanceHistory::append(const VMPerformanceMetrics &sample)
{
    m_samples.append(sample);
    if (m_samples.size() > m_maxSamples)
        m_samples.remove(0, m_samples.size() - m_maxSamples);
}

const VMPerformanceMetrics &VMPerformanceHistory::latest() const
{
    return m_samples.isEmpty() ? VMPerformanceMetrics::zero() : m_samples.constLast();
}

double VMPerformanceHistory::averageCPUUsage() const
{
    if (m_samples.isEmpty())
        return 0.0;
    double sum = 0.0;
    for (const VMPerformanceMetrics &sample : m_samples)
        sum += sample.cpuUsagePercent;
    return sum / double(m_samples.size());
}

double VMPerformanceHistory::peakCPUUsage() const
{
    if (m_samples.isEmpty())
        return 0.0;
    double peak = m_samples.constFirst().cpuUsagePercent;
    for (const VMPerformanceMetrics &sample : m_samples)
        peak = std::max(peak, sample.cpuUsagePercent);
    return peak;
}
