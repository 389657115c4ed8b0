// SPDX-License-Identifier: MIT
#include "VMSnapshotTimeline.h"

#include "RecordTestSupport.h"

#include <QStringList>
#include <QTimeZone>

using namespace RecordTestSupport;

namespace {

const QDateTime start(QDate(2024, 5, 1), QTime(8, 0), QTimeZone::utc());

VMSnapshot snapshot(const QString &name, std::optional<QUuid> parent, int minute)
{
    VMSnapshot made;
    made.id = QUuid::createUuid();
    made.name = name;
    made.createdAt = start.addSecs(60 * minute);
    made.parentSnapshotID = parent;
    made.diskRelativePath = QStringLiteral("Snapshots/") + made.id.toString(QUuid::WithoutBraces).toUpper() + QStringLiteral("/Disk.img");
    return made;
}

QStringList names(const QList<VMSnapshot> &snapshots)
{
    QStringList list;
    for (const VMSnapshot &entry : snapshots)
        list << entry.name;
    return list;
}

/// A (root), B (child of A), C (child of B), D (child of A), added in that order.
class VMSnapshotTimelineTest : public ::testing::Test
{
protected:
    VMSnapshotTimelineTest()
    {
        a = snapshot(QStringLiteral("A"), std::nullopt, 0);
        b = snapshot(QStringLiteral("B"), a.id, 1);
        c = snapshot(QStringLiteral("C"), b.id, 2);
        d = snapshot(QStringLiteral("D"), a.id, 3);
        timeline.snapshots = {a, b, c, d};
    }

    VMSnapshot a, b, c, d;
    VMSnapshotTimeline timeline;
};

} // namespace

TEST_F(VMSnapshotTimelineTest, RemovingASnapshotTakesItsSubtreeAndMaybeTheActiveOne)
{
    const struct {
        const char *removed;
        const char *active;
        QStringList remaining;
        bool activeKept;
    } table[] = {
        {"B", "C", {QStringLiteral("A"), QStringLiteral("D")}, false},
        {"B", "D", {QStringLiteral("A"), QStringLiteral("D")}, true},
        {"B", "B", {QStringLiteral("A"), QStringLiteral("D")}, false},
        {"A", "D", {}, false},
        {"C", "A", {QStringLiteral("A"), QStringLiteral("B"), QStringLiteral("D")}, true},
    };
    const auto idOf = [this](const char *name) {
        for (const VMSnapshot &entry : timeline.snapshots)
            if (entry.name == QLatin1String(name))
                return entry.id;
        return QUuid();
    };
    for (const auto &row : table) {
        VMSnapshotTimeline changed = timeline;
        changed.activeSnapshotID = idOf(row.active);
        changed.removeSnapshot(idOf(row.removed));
        EXPECT_EQ(names(changed.snapshots), row.remaining) << row.removed;
        EXPECT_EQ(changed.activeSnapshotID, row.activeKept ? std::optional(idOf(row.active)) : std::nullopt) << row.removed << row.active;
    }

    VMSnapshotTimeline unchanged = timeline;
    unchanged.activeSnapshotID = d.id;
    unchanged.removeSnapshot(QUuid::createUuid());
    EXPECT_EQ(unchanged.snapshots, timeline.snapshots);
    EXPECT_EQ(unchanged.activeSnapshotID, d.id);
}

TEST_F(VMSnapshotTimelineTest, ChildrenAreSortedOldestFirstWithTiesInListOrder)
{
    EXPECT_EQ(names(timeline.children(a.id)), (QStringList{QStringLiteral("B"), QStringLiteral("D")}));
    EXPECT_TRUE(timeline.children(c.id).isEmpty());
    EXPECT_TRUE(timeline.children(QUuid::createUuid()).isEmpty());

    timeline.snapshots[3].createdAt = start.addSecs(-60); // D now older than B
    EXPECT_EQ(names(timeline.children(a.id)), (QStringList{QStringLiteral("D"), QStringLiteral("B")}));
    timeline.snapshots[3].createdAt = b.createdAt;
    EXPECT_EQ(names(timeline.children(a.id)), (QStringList{QStringLiteral("B"), QStringLiteral("D")}));
}

TEST_F(VMSnapshotTimelineTest, ASnapshotThatIsItsOwnAncestorCanStillBeRemoved)
{
    // Only a hand-edited or damaged file can say this; removing must still end.
    timeline.snapshots[0].parentSnapshotID = c.id;
    timeline.removeSnapshot(b.id);
    EXPECT_EQ(names(timeline.snapshots), QStringList{});

    VMSnapshot self = snapshot(QStringLiteral("Self"), std::nullopt, 9);
    self.parentSnapshotID = self.id;
    VMSnapshotTimeline selfish{{self}, self.id};
    selfish.removeSnapshot(self.id);
    EXPECT_TRUE(selfish.snapshots.isEmpty());
    EXPECT_FALSE(selfish.activeSnapshotID.has_value());
}

TEST_F(VMSnapshotTimelineTest, StoredFormKeepsOrderAndOmitsAnAbsentActiveSnapshot)
{
    const std::string withoutActive = compactJSON(timeline);
    EXPECT_EQ(withoutActive.find("activeSnapshotID"), std::string::npos);
    EXPECT_EQ(roundTripped(timeline), timeline);

    timeline.activeSnapshotID = c.id;
    EXPECT_EQ(roundTripped(timeline), timeline);

    Json json = JSONCodec<VMSnapshotTimeline>::encode(timeline);
    json["snapshots"][2].erase("isAutoSnapshot");
    expectDecodingFails<VMSnapshotTimeline>(json.dump(), JSONDecodingError::Kind::keyNotFound);
    expectDecodingFails<VMSnapshotTimeline>(R"({"activeSnapshotID":"6F1C2A4E-0B7D-4C1E-9A55-3D2B1C0E9F88"})", JSONDecodingError::Kind::keyNotFound);
}
