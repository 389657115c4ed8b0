// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"
#include "VMSnapshot.h"

#include <QList>
#include <QUuid>

#include <optional>

/**
 * The snapshots of one bundle, stored as Snapshots/Timeline.json. They form
 * a tree: each snapshot names the one that was active when it was taken, and
 * the active snapshot is the parent of the next one, so restoring an older
 * snapshot and taking a new one starts a branch.
 *
 * Kept true by removeSnapshot() and the snapshot service: identifiers are
 * unique, no snapshot outlives its parent, and `activeSnapshotID`, when
 * present, names a snapshot in the list. Nothing here touches files.
 */
struct VMSnapshotTimeline {
    /// In the order they were added; never re-sorted.
    QList<VMSnapshot> snapshots;
    /// The snapshot created or restored last; absent when none is, or when it was removed.
    std::optional<QUuid> activeSnapshotID;

    /// The snapshots whose parent is `parentID`, oldest first; equal times keep their list order.
    QList<VMSnapshot> children(const QUuid &parentID) const;

    /// Removes the snapshot and its whole subtree, clearing the active snapshot when it was among them. An unknown identifier changes nothing.
    void removeSnapshot(const QUuid &id);

    bool operator==(const VMSnapshotTimeline &) const = default;
};

void to_json(Json &json, const VMSnapshotTimeline &timeline);
void from_json(const Json &json, VMSnapshotTimeline &timeline);
