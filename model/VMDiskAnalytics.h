// SPDX-License-Identifier: MIT
#pragma once

#include "ReclaimRecommendation.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>

/**
 * Where the host space of one VM bundle goes, at one moment. Every figure
 * but the virtual capacity is allocated bytes, hidden items left out.
 * Computed on demand by the disk analytics service and never stored.
 *
 * @code
 * for (const VMDiskAnalytics::BreakdownRow &row : analytics.breakdown())
 *     chart->addSlice(row.label, row.bytes, namedColor(row.color));
 * @endcode
 */
struct VMDiskAnalytics {
    /// One slice of the bundle's space; `color` names a colour of the palette ("blue", ..., "secondary").
    struct BreakdownRow {
        QString label;
        quint64 bytes = 0;
        QString color;

        bool operator==(const BreakdownRow &) const = default;
    };

    /// The length of Disk.img: the capacity the guest sees.
    quint64 virtualCapacityBytes = 0;
    /// What the host has allocated to Disk.img.
    quint64 hostAllocatedBytes = 0;
    quint64 snapshotUsageBytes = 0;
    quint64 savedStateBytes = 0;
    quint64 automationBytes = 0;
    quint64 restoreImageBytes = 0;
    quint64 logBytes = 0;
    /// Everything in the bundle outside Disk.img and the folders above.
    quint64 otherBytes = 0;
    QDateTime analyzedAt;

    /**
     * The non-empty slices in a fixed order: VM Disk, Snapshots, Saved
     * State, Restore Images, Automation, Logs, Other. The virtual capacity
     * is never a slice.
     */
    QList<BreakdownRow> breakdown() const;

    /**
     * The clean-ups worth offering for these figures, largest first (equal
     * sizes in the order snapshots, restore images, logs): any snapshots,
     * any restore images, and logs only above 1 MiB.
     */
    QList<ReclaimRecommendation> recommendations() const;

    bool operator==(const VMDiskAnalytics &) const = default;
};
