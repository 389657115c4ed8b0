// SPDX-License-Identifier: MIT
#include "DisplayFormatters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using DisplayFormatters::byteCountText;
using DisplayFormatters::durationText;

TEST(DisplayFormattersTest, ByteCountsUseDecimalUnitsWithAdaptivePrecision)
{
    const struct {
        qint64 bytes;
        const char *text;
    } table[] = {
        {0, "Zero KB"},
        {1, "1 KB"},
        {999, "1 KB"},
        {1000, "1 KB"},
        {1499, "1 KB"},
        {512'000, "512 KB"},
        {999'499, "999 KB"},
        {999'500, "1 MB"},
        {1'500'000, "1.5 MB"},
        {12'345'678, "12.3 MB"},
        {64'000'000'000, "64 GB"},
        {1'234'567'890, "1.23 GB"},
        {68'719'476'736, "68.72 GB"},
        {2'250'000'000'000, "2.25 TB"},
        {5'000'000'000'000'000, "5000 TB"},
        {-1'500'000, "-1.5 MB"},
    };
    for (const auto &row : table)
        EXPECT_EQ(byteCountText(row.bytes), QString::fromUtf8(row.text)) << row.bytes;
    EXPECT_EQ(byteCountText(std::numeric_limits<quint64>::max()), byteCountText(std::numeric_limits<qint64>::max()));
}

TEST(DisplayFormattersTest, DurationsShowAtMostTwoUnits)
{
    const struct {
        double seconds;
        const char *text;
    } table[] = {
        {0, "0s"}, {-3, "0s"}, {42, "42s"}, {59.6, "1m"}, {65, "1m 5s"}, {3600, "1h"}, {3725, "1h 2m"}, {3605, "1h"}, {90000, "25h"},
    };
    for (const auto &row : table)
        EXPECT_EQ(durationText(row.seconds), QString::fromUtf8(row.text)) << row.seconds;
    EXPECT_EQ(durationText(std::nan("")), QStringLiteral("Calculating…"));
}

TEST(DisplayFormattersTest, RatesRoundHalvesAwayAndClampBadValues)
{
    EXPECT_EQ(formatByteRate(-5.0), QStringLiteral("Zero KB/s"));
    EXPECT_EQ(formatByteRate(std::nan("")), QStringLiteral("Zero KB/s"));
    EXPECT_EQ(formatByteRate(999.5), byteCountText(qint64(1000)) + QStringLiteral("/s"));
    EXPECT_EQ(formatByteRate(12'400'000.0), QStringLiteral("12.4 MB/s"));
    EXPECT_EQ(formatByteRate(std::numeric_limits<double>::infinity()), byteCountText(std::numeric_limits<qint64>::max()) + QStringLiteral("/s"));
}
