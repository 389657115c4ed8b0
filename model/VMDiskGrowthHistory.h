// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"
#include "VMDiskGrowthSample.h"

#include <QDateTime>
#include <QList>
#include <QtGlobal>

#include <optional>

/**
 * How a bundle's Disk.img has grown: its measurements, oldest first, kept
 * in the bundle as DiskGrowthHistory.json. Only the oldest and the newest
 * sample enter the growth rate. Plain computation: the free space the
 * estimate needs is given by the caller, who knows which volume holds the
 * bundle.
 *
 * @code
 * history.record(usage.allocatedSizeBytes.value_or(0));
 * const auto days = history.estimatedDaysUntilHostFull(availableBytesOnTheBundlesVolume);
 * @endcode
 */
struct VMDiskGrowthHistory {
    /// A year of daily samples.
    static constexpr qsizetype maximumSampleCount = 365;

    QList<VMDiskGrowthSample> samples;

    /// Records a sample dated now; see below.
    void record(quint64 allocatedBytes);
    /**
     * Records a sample with the given date: it replaces the newest sample when
     * that one was taken the same day (in UTC), and is appended otherwise; then
     * only the newest maximumSampleCount samples are kept. So a day holds one
     * sample, its latest, and the history spans up to a year however often
     * the disk is measured.
     */
    void record(quint64 allocatedBytes, const QDateTime &date);

    /**
     * Bytes per day between the oldest and the newest sample, never
     * negative: 0 with fewer than two samples or when the image shrank. A
     * span shorter than a day (or a clock that went back) counts as one day,
     * so an hour's growth is not blown up to a daily rate.
     */
    double averageDailyGrowthBytes() const;

    /**
     * The days until the growth seen so far would fill `availableCapacityBytes`;
     * absent without growth or without a figure for the free space (0).
     */
    std::optional<double> estimatedDaysUntilHostFull(quint64 availableCapacityBytes) const;

    bool operator==(const VMDiskGrowthHistory &) const = default;
};

void to_json(Json &json, const VMDiskGrowthHistory &history);
void from_json(const Json &json, VMDiskGrowthHistory &history);
