// SPDX-License-Identifier: MIT
#include "LibraryChangeJournal.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace {

VMBundle bundleNamed(const QString &name, const QUuid &id = QUuid::createUuid())
{
    VMBundle bundle;
    bundle.bundleURL = QStringLiteral("/library/") + name + QStringLiteral(".vm");
    bundle.metadata.id = id;
    bundle.metadata.name = name;
    return bundle;
}

QStringList names(const QList<VMBundle> &bundles)
{
    QStringList list;
    for (const VMBundle &bundle : bundles)
        list << bundle.metadata.name;
    return list;
}

} // namespace

TEST(LibraryChangeJournalTest, EachReloadGetsTheChangesMadeSinceItBeganAlsoWhenReloadsOverlap)
{
    LibraryChangeJournal journal;
    const VMBundle kept = bundleNamed(QStringLiteral("Kept"));
    const VMBundle renamed = bundleNamed(QStringLiteral("Before"));
    const VMBundle deleted = bundleNamed(QStringLiteral("Deleted"));
    const QList<VMBundle> read{kept, renamed, deleted};

    journal.recordDeleted(kept.id()); // no reload runs: nothing to keep
    const auto first = journal.begin();
    journal.recordSaved(bundleNamed(QStringLiteral("After"), renamed.id()));
    const auto second = journal.begin();
    journal.recordDeleted(deleted.id());
    journal.recordSaved(bundleNamed(QStringLiteral("New")));

    EXPECT_EQ(names(journal.appliedSince(first, read)), (QStringList{QStringLiteral("New"), QStringLiteral("Kept"), QStringLiteral("After")}));
    EXPECT_EQ(journal.changedSince(first).size(), 3);
    journal.end();

    // The first reload's end keeps what the second still needs.
    journal.recordSaved(bundleNamed(QStringLiteral("Again"), deleted.id())); // a deleted VM registered again
    EXPECT_EQ(names(journal.appliedSince(second, read)),
              (QStringList{QStringLiteral("Again"), QStringLiteral("New"), QStringLiteral("Kept"), QStringLiteral("Before")}));
    EXPECT_FALSE(journal.changedSince(second).contains(renamed.id()));
    journal.end();

    // With no reload running the journal is empty, and a new reload starts from nothing.
    const auto third = journal.begin();
    EXPECT_EQ(names(journal.appliedSince(third, read)), names(read));
    EXPECT_TRUE(journal.changedSince(third).isEmpty());
    journal.end();
}
