// SPDX-License-Identifier: MIT
#include "VMDiskGrowthHistory.h"

#include "RecordTestSupport.h"

#include <QTimeZone>

#include <optional>

using namespace RecordTestSupport;

namespace {

const QDateTime start(QDate(2026, 3, 1), QTime(12, 0), QTimeZone::utc());
constexpr qint64 hour = 3600;
constexpr qint64 day = 86'400;
constexpr quint64 MB = 1'000'000ULL;
constexpr quint64 GB = 1'000'000'000ULL;

/// Samples at the given offsets in seconds from `start`, with the given allocated bytes.
VMDiskGrowthHistory history(std::initializer_list<std::pair<qint64, quint64>> samples)
{
    VMDiskGrowthHistory made;
    for (const auto &[offset, bytes] : samples)
        made.samples.append({start.addSecs(offset), bytes});
    return made;
}

QList<quint64> sizes(const VMDiskGrowthHistory &history)
{
    QList<quint64> figures;
    for (const VMDiskGrowthSample &sample : history.samples)
        figures << sample.allocatedBytes;
    return figures;
}

} // namespace

TEST(VMDiskGrowthHistoryTest, CodesAsOneSamplesArray)
{
    EXPECT_EQ(compactJSON(VMDiskGrowthHistory{}), R"({"samples":[]})");
    const VMDiskGrowthHistory two = history({{0, 5}, {day, 18'446'744'073'709'551'615ULL}});
    EXPECT_EQ(compactJSON(two), R"({"samples":[{"allocatedBytes":5,"date":"2026-03-01T12:00:00Z"},)"
                                R"({"allocatedBytes":18446744073709551615,"date":"2026-03-02T12:00:00Z"}]})");
    EXPECT_EQ(roundTripped(two), two);
    EXPECT_EQ(decoded<VMDiskGrowthHistory>(R"({"samples":[],"extra":1})"), VMDiskGrowthHistory{});

    using Kind = JSONDecodingError::Kind;
    expectDecodingFails<VMDiskGrowthHistory>("{}", Kind::keyNotFound);
    expectDecodingFails<VMDiskGrowthHistory>(R"({"samples":[{"allocatedBytes":5}]})", Kind::keyNotFound);
    expectDecodingFails<VMDiskGrowthHistory>(R"({"samples":[{"date":"2026-03-01T12:00:00Z"}]})", Kind::keyNotFound);
    expectDecodingFails<VMDiskGrowthHistory>(R"({"samples":[{"allocatedBytes":-1,"date":"2026-03-01T12:00:00Z"}]})", Kind::dataCorrupted);
    expectDecodingFails<VMDiskGrowthHistory>(R"({"samples":[{"allocatedBytes":"5","date":"2026-03-01T12:00:00Z"}]})", Kind::typeMismatch);
    expectDecodingFails<VMDiskGrowthHistory>(R"({"samples":{}})", Kind::typeMismatch);
}

TEST(VMDiskGrowthHistoryTest, RecordingKeepsTheNewest365Days)
{
    VMDiskGrowthHistory growing;
    for (quint64 bytes = 0; bytes < 366; ++bytes)
        growing.record(bytes, start.addDays(qint64(bytes)));
    ASSERT_EQ(growing.samples.size(), 365);
    EXPECT_EQ(growing.samples.constFirst(), (VMDiskGrowthSample{start.addDays(1), 1}));
    EXPECT_EQ(growing.samples.constLast(), (VMDiskGrowthSample{start.addDays(365), 365}));

    growing.record(366);
    EXPECT_EQ(growing.samples.size(), 365);
    EXPECT_EQ(growing.samples.constFirst().allocatedBytes, 2U);
    EXPECT_EQ(growing.samples.constLast().allocatedBytes, 366U);
    EXPECT_LE(qAbs(growing.samples.constLast().date.secsTo(QDateTime::currentDateTimeUtc())), 5);

    // A file that already held more than the bound is cut back to it by one recording.
    VMDiskGrowthHistory overfull;
    for (quint64 bytes = 0; bytes < 400; ++bytes)
        overfull.samples.append({start.addDays(qint64(bytes) - 400), bytes});
    overfull.record(400, start);
    EXPECT_EQ(overfull.samples.size(), 365);
    EXPECT_EQ(sizes(overfull).constFirst(), 36U);
    EXPECT_EQ(sizes(overfull).constLast(), 400U);
}

TEST(VMDiskGrowthHistoryTest, ADayKeepsOneSampleSoFrequentMeasuringKeepsTheSpan)
{
    VMDiskGrowthHistory year;
    for (qint64 offset = -364; offset <= 0; ++offset)
        year.samples.append({start.addDays(offset), quint64(offset + 364) * GB});
    const VMDiskGrowthSample yearAgo = year.samples.constFirst();

    // Many measurements on one day, later that day than the newest sample.
    for (int minutes = 1; minutes <= 1000; ++minutes)
        year.record(400 * GB + quint64(minutes), start.addSecs(minutes * 30));
    ASSERT_EQ(year.samples.size(), 365);
    EXPECT_EQ(year.samples.constFirst(), yearAgo);
    EXPECT_EQ(year.samples.constLast(), (VMDiskGrowthSample{start.addSecs(1000 * 30), 400 * GB + 1000})) << "the day's newest measurement";
    EXPECT_GT(year.averageDailyGrowthBytes(), 1.0 * GB);

    // The next day adds a sample again; days are counted in UTC.
    const QDateTime nextDay(start.date().addDays(1), QTime(0, 0), QTimeZone::utc());
    year.record(401 * GB, nextDay);
    ASSERT_EQ(year.samples.size(), 365);
    EXPECT_EQ(year.samples.constFirst().date, yearAgo.date.addDays(1));
    EXPECT_EQ(year.samples.at(363).date, start.addSecs(1000 * 30));
    EXPECT_EQ(year.samples.constLast(), (VMDiskGrowthSample{nextDay, 401 * GB}));

    // A clock that went back does not overwrite the day it went back from.
    VMDiskGrowthHistory twoDays = history({{0, 1}, {day, 2}});
    twoDays.record(3, start.addSecs(-hour));
    EXPECT_EQ(sizes(twoDays), (QList<quint64>{1, 2, 3}));
}

TEST(VMDiskGrowthHistoryTest, GrowthRateAndDaysUntilFull)
{
    const struct {
        const char *name;
        VMDiskGrowthHistory history;
        quint64 available;
        double growthPerDay;
        std::optional<double> days;
    } table[] = {
        {"no samples", {}, 500 * GB, 0.0, std::nullopt},
        {"one sample", history({{0, 10 * GB}}), 500 * GB, 0.0, std::nullopt},
        {"an hour counts as a day", history({{0, 1 * GB}, {hour, 1 * GB + 10 * MB}}), 500 * GB, 10.0 * MB, 50'000.0},
        {"shrinking", history({{0, 2 * GB}, {10 * day, 1 * GB}}), 500 * GB, 0.0, std::nullopt},
        {"unchanged", history({{0, 2 * GB}, {10 * day, 2 * GB}}), 500 * GB, 0.0, std::nullopt},
        {"clock went back", history({{0, 0}, {-10 * day, 10 * MB}}), 500 * GB, 10.0 * MB, 50'000.0},
        {"ten days", history({{0, 0}, {10 * day, 50 * GB}}), 500 * GB, 5.0 * GB, 100.0},
        {"a day and a half", history({{0, 0}, {36 * hour, 3 * MB}}), 3 * MB, 2.0 * MB, 1.5},
        {"middle samples ignored", history({{0, 0}, {day, 900 * GB}, {2 * day, 2 * MB}}), 1 * MB, 1.0 * MB, 1.0},
        {"free space unknown", history({{0, 0}, {10 * day, 50 * GB}}), 0, 5.0 * GB, std::nullopt},
    };
    for (const auto &row : table) {
        EXPECT_DOUBLE_EQ(row.history.averageDailyGrowthBytes(), row.growthPerDay) << row.name;
        EXPECT_EQ(row.history.estimatedDaysUntilHostFull(row.available), row.days) << row.name;
    }
}
