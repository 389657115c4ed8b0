// SPDX-License-Identifier: MIT
#pragma once

#include "VMSnapshot.h"

#include <optional>

/// Test records of snapshots.
namespace SnapshotRecords {

/// A snapshot named `name`, taken on 5 January 2026 at `hour`:00 UTC, with a 2-CPU hardware summary.
inline VMSnapshot takenAt(const QString &name, int hour, std::optional<QUuid> parent = std::nullopt)
{
    VMSnapshot entry;
    entry.id = QUuid::createUuid();
    entry.name = name;
    entry.createdAt = QDateTime(QDate(2026, 1, 5), QTime(hour, 0), Qt::UTC);
    entry.parentSnapshotID = parent;
    entry.cpuCount = 2;
    return entry;
}

} // namespace SnapshotRecords
