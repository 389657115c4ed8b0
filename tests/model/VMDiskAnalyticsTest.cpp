// SPDX-License-Identifier: MIT
#include "VMDiskAnalytics.h"

#include "QtPrinters.h"
#include "RecordTestSupport.h"

#include <string>

using namespace RecordTestSupport;

namespace {

using Row = VMDiskAnalytics::BreakdownRow;

constexpr quint64 GB = 1'000'000'000ULL;
constexpr quint64 MiB = 1'048'576ULL;

std::string rowsText(const QList<Row> &rows)
{
    std::string text;
    for (const Row &row : rows)
        text += row.label.toStdString() + ':' + std::to_string(row.bytes) + ':' + row.color.toStdString() + ' ';
    return text;
}

std::string offersText(const QList<ReclaimRecommendation> &offers)
{
    std::string text;
    for (const ReclaimRecommendation &offer : offers)
        text += toRaw(offer.action).toStdString() + ':' + std::to_string(offer.bytes) + ' ';
    return text;
}

} // namespace

TEST(VMDiskAnalyticsTest, BreakdownKeepsTheNonEmptySlicesInTheirFixedOrder)
{
    EXPECT_TRUE(VMDiskAnalytics{}.breakdown().isEmpty());

    VMDiskAnalytics onlyOther;
    onlyOther.virtualCapacityBytes = 64 * GB;
    onlyOther.otherBytes = 4096;
    onlyOther.analyzedAt = QDateTime::currentDateTimeUtc();
    EXPECT_EQ(onlyOther.breakdown(), (QList<Row>{{QStringLiteral("Other"), 4096, QStringLiteral("secondary")}}));

    // Later slices hold more bytes than earlier ones, and restore images come before automation.
    const VMDiskAnalytics all{64 * GB, 1, 2, 3, 4, 5, 6, 7, QDateTime::currentDateTimeUtc()};
    EXPECT_EQ(rowsText(all.breakdown()),
              "VM Disk:1:blue Snapshots:2:purple Saved State:3:orange Restore Images:5:green Automation:4:cyan Logs:6:gray Other:7:secondary ");

    VMDiskAnalytics gaps;
    gaps.hostAllocatedBytes = 10;
    gaps.automationBytes = 20;
    gaps.logBytes = 30;
    EXPECT_EQ(rowsText(gaps.breakdown()), "VM Disk:10:blue Automation:20:cyan Logs:30:gray ");
}

TEST(VMDiskAnalyticsTest, RecommendationsOfferWhatIsWorthRemovingLargestFirst)
{
    const struct {
        quint64 snapshots;
        quint64 restoreImages;
        quint64 logs;
        const char *expected;
    } table[] = {
        {0, 0, 0, ""},
        {0, 0, MiB, ""},
        {0, 0, MiB + 1, "clearLogs:1048577 "},
        {3 * GB, 3 * GB, 0, "deleteSnapshots:3000000000 deleteRestoreImages:3000000000 "},
        {1, 2 * GB, 5 * GB, "clearLogs:5000000000 deleteRestoreImages:2000000000 deleteSnapshots:1 "},
        {2 * MiB, 0, 2 * MiB, "deleteSnapshots:2097152 clearLogs:2097152 "},
    };
    for (const auto &row : table) {
        VMDiskAnalytics figures;
        figures.snapshotUsageBytes = row.snapshots;
        figures.restoreImageBytes = row.restoreImages;
        figures.logBytes = row.logs;
        figures.hostAllocatedBytes = 100 * GB; // never offered
        figures.otherBytes = 100 * GB;
        EXPECT_EQ(offersText(figures.recommendations()), row.expected) << row.snapshots << ' ' << row.restoreImages << ' ' << row.logs;
    }
}

TEST(VMDiskAnalyticsTest, RecommendationsDescribeTheirSize)
{
    VMDiskAnalytics figures;
    figures.snapshotUsageBytes = 2'100'000'000ULL;
    figures.restoreImageBytes = 512'000;
    figures.logBytes = 1'500'000;
    const QList<ReclaimRecommendation> offers = figures.recommendations();
    ASSERT_EQ(offers.size(), 3);
    EXPECT_EQ(offers[0].description, QStringLiteral("Snapshot history (1.96 GB)"));
    EXPECT_EQ(offers[1].description, QStringLiteral("Log files (1.4 MB)"));
    EXPECT_EQ(offers[2].description, QStringLiteral("Cached restore images (500 KB)"));
}

TEST(VMDiskAnalyticsTest, ReclaimActionRawValues)
{
    expectRawValues<ReclaimAction>({
        {ReclaimAction::deleteSnapshots, "deleteSnapshots"},
        {ReclaimAction::deleteRestoreImages, "deleteRestoreImages"},
        {ReclaimAction::clearLogs, "clearLogs"},
    });
}
