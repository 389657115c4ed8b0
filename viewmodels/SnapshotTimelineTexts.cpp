// SPDX-License-Identifier: MIT
#include "SnapshotTimelineTexts.h"

#include <QLocale>
#include <QSet>

#include <algorithm>

QString SnapshotTimelineTexts::countText(qsizetype count)
{
    return QString::number(count) + (count == 1 ? QStringLiteral(" snapshot") : QStringLiteral(" snapshots"));
}

QString SnapshotTimelineTexts::proposedName(qsizetype count)
{
    return QStringLiteral("Snapshot ") + QString::number(count + 1);
}

QList<VMSnapshot> SnapshotTimelineTexts::sorted(const VMSnapshotTimeline &timeline)
{
    QList<VMSnapshot> snapshots = timeline.snapshots;
    std::stable_sort(snapshots.begin(), snapshots.end(),
        [](const VMSnapshot &left, const VMSnapshot &right) { return left.createdAt > right.createdAt; });
    return snapshots;
}

bool SnapshotTimelineTexts::isActive(const VMSnapshotTimeline &timeline, const VMSnapshot &snapshot)
{
    return timeline.activeSnapshotID && *timeline.activeSnapshotID == snapshot.id;
}

std::optional<QString> SnapshotTimelineTexts::lineageText(const VMSnapshotTimeline &timeline, const VMSnapshot &snapshot)
{
    if (!snapshot.parentSnapshotID)
        return std::nullopt;
    const auto parent = std::find_if(timeline.snapshots.cbegin(), timeline.snapshots.cend(),
        [&](const VMSnapshot &entry) { return entry.id == *snapshot.parentSnapshotID; });
    return QStringLiteral("From: ") + (parent == timeline.snapshots.cend() ? QStringLiteral("Unknown") : parent->name);
}

QString SnapshotTimelineTexts::dateText(const QDateTime &createdAt)
{
    const QDateTime local = createdAt.toLocalTime();
    const QLocale locale;
    return locale.toString(local.date(), QLocale::ShortFormat) + QStringLiteral(", ") + locale.toString(local.time(), QLocale::ShortFormat);
}

qsizetype SnapshotTimelineTexts::descendantCount(const VMSnapshotTimeline &timeline, const QUuid &snapshotID)
{
    // Breadth first over the parent links; the seen set keeps a malformed file with a cycle finite.
    QSet<QUuid> seen {snapshotID};
    QList<QUuid> pending {snapshotID};
    qsizetype count = 0;
    while (!pending.isEmpty()) {
        const QUuid parent = pending.takeFirst();
        for (const VMSnapshot &snapshot : timeline.snapshots) {
            if (snapshot.parentSnapshotID == parent && !seen.contains(snapshot.id)) {
                seen.insert(snapshot.id);
                pending.append(snapshot.id);
                ++count;
            }
        }
    }
    return count;
}

QString SnapshotTimelineTexts::deleteMessage(const VMSnapshotTimeline &timeline, const VMSnapshot &snapshot)
{
    const qsizetype descendants = descendantCount(timeline, snapshot.id);
    QString text
        = QStringLiteral("This will permanently remove the snapshot \u201C") + snapshot.name + QStringLiteral("\u201D and its disk image.");
    if (descendants == 1)
        text += QStringLiteral(" 1 snapshot taken after it will also be removed.");
    else if (descendants > 1)
        text += QStringLiteral(" ") + QString::number(descendants) + QStringLiteral(" snapshots taken after it will also be removed.");
    return text;
}

QString SnapshotTimelineTexts::restoreMessage(const VMSnapshot &snapshot)
{
    return QStringLiteral("The VM's disk and saved state will be replaced by those of \u201C") + snapshot.name
        + QStringLiteral("\u201D. Changes made since then are lost for good unless you take a snapshot first.");
}
