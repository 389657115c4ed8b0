// SPDX-License-Identifier: MIT
#pragma once

#include "VMSnapshotTimeline.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

/**
 * What the snapshot timeline panel shows of a timeline, and the texts of
 * its confirmations. Names and notes are returned as stored: the panel shows
 * them as plain text.
 */
class SnapshotTimelineTexts
{
public:
    /// "0 snapshots", "1 snapshot", "2 snapshots".
    static QString countText(qsizetype count);
    /// "Snapshot <count + 1>", whatever names exist already.
    static QString proposedName(qsizetype count);
    /// Newest first by creation time; equal times keep their stored order.
    static QList<VMSnapshot> sorted(const VMSnapshotTimeline &timeline);
    static bool isActive(const VMSnapshotTimeline &timeline, const VMSnapshot &snapshot);
    /// "From: <parent name>", "From: Unknown" for a parent not in the timeline, none for a root snapshot.
    static std::optional<QString> lineageText(const VMSnapshotTimeline &timeline, const VMSnapshot &snapshot);
    /// The creation time in the user's locale and time zone.
    static QString dateText(const QDateTime &createdAt);
    /// How many snapshots descend from the one with this id (children, their children, ...).
    static qsizetype descendantCount(const VMSnapshotTimeline &timeline, const QUuid &snapshotID);

    /// The delete confirmation's message: the snapshot by name, and the descendants that go with it.
    static QString deleteMessage(const VMSnapshotTimeline &timeline, const VMSnapshot &snapshot);
    /// The restore confirmation's message: what is put back and what is lost.
    static QString restoreMessage(const VMSnapshot &snapshot);
};
