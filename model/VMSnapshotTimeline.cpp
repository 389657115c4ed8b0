// SPDX-License-Identifier: MIT
#include "VMSnapshotTimeline.h"

#include <QSet>

#include <algorithm>
#include <utility>

QList<VMSnapshot> VMSnapshotTimeline::children(const QUuid &parentID) const
{
    QList<VMSnapshot> found;
    std::copy_if(snapshots.cbegin(), snapshots.cend(), std::back_inserter(found),
                 [&](const VMSnapshot &snapshot) { return snapshot.parentSnapshotID == parentID; });
    std::stable_sort(found.begin(), found.end(), [](const VMSnapshot &left, const VMSnapshot &right) { return left.createdAt < right.createdAt; });
    return found;
}

void VMSnapshotTimeline::removeSnapshot(const QUuid &id)
{
    // The subtree is gathered before anything is removed, visiting each identifier once: a timeline read
    // from a bundle may name a snapshot as its own ancestor, and following that would never end.
    QSet<QUuid> doomed{id};
    QList<QUuid> pending{id};
    while (!pending.isEmpty()) {
        const QUuid parent = pending.takeLast();
        for (const VMSnapshot &snapshot : std::as_const(snapshots)) {
            if (snapshot.parentSnapshotID == parent && !doomed.contains(snapshot.id)) {
                doomed.insert(snapshot.id);
                pending.append(snapshot.id);
            }
        }
    }
    snapshots.removeIf([&](const VMSnapshot &snapshot) { return doomed.contains(snapshot.id); });
    if (activeSnapshotID && doomed.contains(*activeSnapshotID))
        activeSnapshotID.reset();
}

void to_json(Json &json, const VMSnapshotTimeline &timeline)
{
    JSONObjectWriter writer;
    writer.set("snapshots", timeline.snapshots);
    writer.set("activeSnapshotID", timeline.activeSnapshotID);
    json = writer.take();
}

void from_json(const Json &json, VMSnapshotTimeline &timeline)
{
    const JSONObjectReader reader(json);
    timeline.snapshots = reader.required<QList<VMSnapshot>>("snapshots");
    timeline.activeSnapshotID = reader.optional<QUuid>("activeSnapshotID");
}
