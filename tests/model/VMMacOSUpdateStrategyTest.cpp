// SPDX-License-Identifier: MIT
#include "VMMacOSUpdateStrategy.h"

#include "QtPrinters.h"
#include "RecordTestSupport.h"

using namespace RecordTestSupport;
using Strategy = VMMacOSUpdateStrategy;

TEST(VMMacOSUpdateStrategyTest, RawValuesTitlesAndDescriptions)
{
    expectRawValues<Strategy>({{Strategy::manual, "manual"},
                               {Strategy::snapshotThenUpdate, "snapshotThenUpdate"},
                               {Strategy::snapshotUpdateVerifyRollback, "snapshotUpdateVerifyRollback"}});

    EXPECT_EQ(title(Strategy::manual), QStringLiteral("Manual"));
    EXPECT_EQ(title(Strategy::snapshotThenUpdate), QStringLiteral("Snapshot + Update"));
    EXPECT_EQ(title(Strategy::snapshotUpdateVerifyRollback),
              QString::fromUtf8("Full Safety (Snapshot \xE2\x86\x92 Update \xE2\x86\x92 Verify \xE2\x86\x92 Rollback if failed)"));
    EXPECT_EQ(title(Strategy::snapshotUpdateVerifyRollback).count(QChar(0x2192)), 3);

    EXPECT_EQ(description(Strategy::manual), QStringLiteral("Just check for updates. Apply manually inside the guest."));
    EXPECT_EQ(description(Strategy::snapshotThenUpdate),
              QStringLiteral("Take a snapshot, then launch the guest for update. Rollback available."));
    EXPECT_EQ(description(Strategy::snapshotUpdateVerifyRollback),
              QStringLiteral("Full safety: snapshot, update, verify boot, auto-rollback on failure."));
}
