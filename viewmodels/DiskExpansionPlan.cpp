// SPDX-License-Identifier: MIT
#include "DiskExpansionPlan.h"

#include "SizeText.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double gibibyte = double(SizeText::bytesPerGB);
constexpr double step = 8.0;

} // namespace

DiskExpansionPlan::DiskExpansionPlan(quint64 diskSizeBytes)
    : m_current(double(diskSizeBytes) / gibibyte)
{
}

double DiskExpansionPlan::minimumCapacityGB() const
{
    return std::max(32.0, m_current + 8.0);
}

double DiskExpansionPlan::maximumCapacityGB() const
{
    return std::min(std::max(std::max(3.0 * m_current, m_current + 128.0), 256.0), 2048.0);
}

double DiskExpansionPlan::initialRequestGB() const
{
    return std::max(48.0, m_current + 16.0);
}

double DiskExpansionPlan::normalized(double requestedGB) const
{
    const double clamped = std::min(std::max(requestedGB, minimumCapacityGB()), maximumCapacityGB());
    return std::round(clamped / step) * step;
}

double DiskExpansionPlan::typedCapacityGB(double typedGB) const
{
    const double highest = std::floor(maximumCapacityGB());
    const double lowest = std::min(std::ceil(minimumCapacityGB()), highest);
    return std::isnan(typedGB) ? lowest : std::clamp(std::round(typedGB), lowest, highest);
}

double DiskExpansionPlan::added(double requestedGB) const
{
    return std::max(0.0, normalized(requestedGB) - m_current);
}

double DiskExpansionPlan::barFraction(double valueGB) const
{
    const double minimum = minimumCapacityGB();
    const double maximum = maximumCapacityGB();
    return minimum < maximum ? (valueGB - minimum) / (maximum - minimum) : 1.0;
}

bool DiskExpansionPlan::canApply(double requestedGB) const
{
    return isAdjustable() && added(requestedGB) >= step && normalized(requestedGB) >= minimumCapacityGB();
}
