// SPDX-License-Identifier: MIT
#include "SnapshotTimelineTexts.h"

#include "BlankName.h"
#include "QtPrinters.h"
#include "SnapshotRecords.h"

#include <gtest/gtest.h>

namespace {

using SnapshotRecords::takenAt;

QStringList names(const QList<VMSnapshot> &snapshots)
{
    QStringList result;
    for (const VMSnapshot &entry : snapshots)
        result.append(entry.name);
    return result;
}

TEST(SnapshotTimelineTextsTest, CountAndProposedNameIgnoreExistingNames)
{
    const struct {
        qsizetype count;
        const char *text;
        const char *proposal;
    } cases[] = {{0, "0 snapshots", "Snapshot 1"}, {1, "1 snapshot", "Snapshot 2"}, {2, "2 snapshots", "Snapshot 3"}, {3, "3 snapshots", "Snapshot 4"}};
    for (const auto &[count, text, proposal] : cases) {
        EXPECT_EQ(SnapshotTimelineTexts::countText(count), QString::fromUtf8(text));
        EXPECT_EQ(SnapshotTimelineTexts::proposedName(count), QString::fromUtf8(proposal));
    }
}

TEST(SnapshotTimelineTextsTest, RowsAreNewestFirstWithLineageAndOneActiveRow)
{
    VMSnapshotTimeline timeline;
    const VMSnapshot ten = takenAt(QStringLiteral("ten"), 10);
    const VMSnapshot nine = takenAt(QStringLiteral("nine"), 9, ten.id); // parent is newer: lineage does not order rows
    const VMSnapshot eleven = takenAt(QStringLiteral("eleven"), 11, QUuid::createUuid());
    VMSnapshot tie = takenAt(QStringLiteral("tie"), 10);
    timeline.snapshots = {ten, nine, eleven, tie};
    EXPECT_EQ(names(SnapshotTimelineTexts::sorted(timeline)), (QStringList{QStringLiteral("eleven"), QStringLiteral("ten"), QStringLiteral("tie"), QStringLiteral("nine")}));
    EXPECT_EQ(names(timeline.snapshots), (QStringList{QStringLiteral("ten"), QStringLiteral("nine"), QStringLiteral("eleven"), QStringLiteral("tie")})) << "the stored order stays";

    EXPECT_EQ(SnapshotTimelineTexts::lineageText(timeline, nine), QStringLiteral("From: ten"));
    EXPECT_EQ(SnapshotTimelineTexts::lineageText(timeline, eleven), QStringLiteral("From: Unknown"));
    EXPECT_EQ(SnapshotTimelineTexts::lineageText(timeline, ten), std::nullopt);

    EXPECT_FALSE(SnapshotTimelineTexts::isActive(timeline, ten));
    timeline.activeSnapshotID = QUuid::createUuid(); // names no stored snapshot
    EXPECT_FALSE(SnapshotTimelineTexts::isActive(timeline, ten));
    timeline.activeSnapshotID = ten.id;
    EXPECT_TRUE(SnapshotTimelineTexts::isActive(timeline, ten));
    EXPECT_FALSE(SnapshotTimelineTexts::isActive(timeline, nine));
}

TEST(SnapshotTimelineTextsTest, TheDeleteMessageNamesTheSnapshotAndItsDescendants)
{
    VMSnapshotTimeline timeline;
    const VMSnapshot root = takenAt(QStringLiteral("Base <b>"), 1);
    const VMSnapshot child = takenAt(QStringLiteral("Child"), 2, root.id);
    const VMSnapshot grandchild = takenAt(QStringLiteral("Grandchild"), 3, child.id);
    const VMSnapshot sibling = takenAt(QStringLiteral("Sibling"), 4, root.id);
    VMSnapshot loop = takenAt(QStringLiteral("Loop"), 5);
    loop.parentSnapshotID = loop.id; // a malformed file: its own parent
    timeline.snapshots = {root, child, grandchild, sibling, loop};

    EXPECT_EQ(SnapshotTimelineTexts::descendantCount(timeline, root.id), 3);
    EXPECT_EQ(SnapshotTimelineTexts::descendantCount(timeline, child.id), 1);
    EXPECT_EQ(SnapshotTimelineTexts::descendantCount(timeline, grandchild.id), 0);
    EXPECT_EQ(SnapshotTimelineTexts::descendantCount(timeline, loop.id), 0);

    EXPECT_EQ(SnapshotTimelineTexts::deleteMessage(timeline, root),
              QStringLiteral("This will permanently remove the snapshot \u201CBase <b>\u201D and its disk image. 3 snapshots taken after it will also be removed."));
    EXPECT_TRUE(SnapshotTimelineTexts::deleteMessage(timeline, child).endsWith(QStringLiteral(" 1 snapshot taken after it will also be removed.")));
    EXPECT_TRUE(SnapshotTimelineTexts::deleteMessage(timeline, grandchild).endsWith(QStringLiteral("and its disk image.")));
    EXPECT_TRUE(SnapshotTimelineTexts::restoreMessage(child).contains(QStringLiteral("\u201CChild\u201D")));
}

TEST(SnapshotTimelineTextsTest, OnlySpaceSeparatorsAndTabsMakeANameBlank)
{
    const struct {
        const char *name;
        bool blank;
    } cases[] = {{"", true}, {"  ", true}, {"\t", true}, {"\u3000", true}, {"\u00a0 ", true}, {" a ", false}, {"\n", false}, {"x", false}};
    for (const auto &[name, blank] : cases)
        EXPECT_EQ(BlankName::isBlank(QString::fromUtf8(name)), blank) << name;
}

} // namespace
