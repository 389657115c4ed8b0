// SPDX-License-Identifier: MIT
#include "VMCIRunStatus.h"

#include "QtPrinters.h"
#include "RecordTestSupport.h"

using namespace RecordTestSupport;
using Status = VMCIRunStatus;

TEST(VMCIRunStatusTest, RawValuesEqualTheCaseNames)
{
    expectRawValues<Status>({{Status::idle, "idle"},
                             {Status::preparing, "preparing"},
                             {Status::snapshotting, "snapshotting"},
                             {Status::running, "running"},
                             {Status::capturing, "capturing"},
                             {Status::restoring, "restoring"},
                             {Status::completed, "completed"},
                             {Status::failed, "failed"},
                             {Status::timedOut, "timedOut"}});
    EXPECT_EQ(fromRaw<Status>(u"timedout"), std::nullopt);
}

TEST(VMCIRunStatusTest, TextSymbolAndColour)
{
    const struct {
        Status status;
        const char *text;
        const char *symbol;
        VMCIRunColor color;
    } table[] = {
        {Status::idle, "Idle", "circle", VMCIRunColor::secondary},
        {Status::preparing, "Preparing", "circle", VMCIRunColor::secondary},
        {Status::snapshotting, "Taking Snapshot", "circle", VMCIRunColor::secondary},
        {Status::running, "Running", "circle.dotted", VMCIRunColor::accent},
        {Status::capturing, "Capturing Output", "circle", VMCIRunColor::secondary},
        {Status::restoring, "Restoring", "circle", VMCIRunColor::secondary},
        {Status::completed, "Completed", "checkmark.circle.fill", VMCIRunColor::green},
        {Status::failed, "Failed", "xmark.circle.fill", VMCIRunColor::red},
        {Status::timedOut, "Timed Out", "clock.badge.xmark", VMCIRunColor::red},
    };
    for (const auto &row : table) {
        EXPECT_EQ(displayName(row.status), QString::fromUtf8(row.text));
        EXPECT_EQ(symbolName(row.status, 0), QString::fromUtf8(row.symbol)) << row.text;
        EXPECT_EQ(symbolColor(row.status), row.color) << row.text;
    }
}

TEST(VMCIRunStatusTest, ACompletedRunShowsTheCheckMarkOnlyForExitCodeZero)
{
    EXPECT_EQ(symbolName(Status::completed, 0), QStringLiteral("checkmark.circle.fill"));
    EXPECT_EQ(symbolName(Status::completed, 3), QStringLiteral("xmark.circle.fill"));
    EXPECT_EQ(symbolName(Status::completed, std::nullopt), QStringLiteral("xmark.circle.fill"));
    EXPECT_EQ(symbolName(Status::failed, 0), QStringLiteral("xmark.circle.fill"));
}
