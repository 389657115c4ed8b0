// SPDX-License-Identifier: MIT
#pragma once

#include <QtGlobal>

/**
 * The figures of the disk-expansion sheet for a disk of a given capacity, in
 * GB of 2^30 bytes: the range a new capacity may take (at least 8 GB above
 * the current one, at most 2048 GB) and what a requested value becomes,
 * clamped into the range and rounded to a multiple of 8. A disk so large
 * that the range is empty cannot be grown here: isAdjustable() is false.
 */
class DiskExpansionPlan
{
public:
    /// The plan for a disk of `diskSizeBytes`; 0 stands for a VM without a bundle.
    explicit DiskExpansionPlan(quint64 diskSizeBytes);

    double currentCapacityGB() const { return m_current; }
    double minimumCapacityGB() const;
    double maximumCapacityGB() const;
    /// The capacity the sheet starts at: 16 GB above the current one, at least 48.
    double initialRequestGB() const;
    /// Whether any capacity lies in the range.
    bool isAdjustable() const { return minimumCapacityGB() <= maximumCapacityGB(); }
    double normalized(double requestedGB) const;
    /// What a figure typed into the sheet's field becomes once typed: the nearest whole GB within the range (the maximum when it is empty).
    double typedCapacityGB(double typedGB) const;
    double added(double requestedGB) const;
    /// Where `valueGB` lies between the minimum and the maximum, not clamped; 1 when the range is empty.
    double barFraction(double valueGB) const;
    /// Whether "Increase Disk" may apply `requestedGB`: at least 8 GB more, and not below the minimum.
    bool canApply(double requestedGB) const;

private:
    double m_current;
};
