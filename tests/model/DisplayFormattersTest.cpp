// SPDX-License-Identifier: MIT
#include "DisplayFormatters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using DisplayFormatters::byteCountText;
using DisplayFormatters::durationText;

TEST(DisplayFormattersTest, ByteCountsUseBinaryUnitsWithAdaptivePrecision)
{
    const struct {
        qint64 bytes;
        const char *text;
    } table[] = {
        {0, "0 bytes"},
        {1, "1 KB"},
        {999, "1 KB"},
        {1024, "1 KB"},
        {1535, "1 KB"},
        {512 * 1024, "512 KB"},
        {1'048'575, "1 MB"},
        {1'572'864, "1.5 MB"},
        {12'345'678, "11.8 MB"},
        // Whole GB as typed on the screens read back unchanged.
        {6'442'450'944, "6 GB"},
        {68'719'476'736, "64 GB"},
        {274'877'906'944, "256 GB"},
        {1'234'567'890, "1.15 GB"},
        {64'000'000'000, "59.6 GB"},
        {2'473'901'162'496, "2.25 TB"},
        {5'497'558'138'880'000, "5000 TB"},
        {-1'572'864, "-1.5 MB"},
    };
    for (const auto &row : table)
        EXPECT_EQ(byteCountText(row.bytes), QString::fromUtf8(row.text)) << row.bytes;
    EXPECT_EQ(byteCountText(std::numeric_limits<quint64>::max()), byteCountText(std::numeric_limits<qint64>::max()));
    EXPECT_EQ(byteCountText(std::numeric_limits<qint64>::min()), QStringLiteral("-8388608 TB"));
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
    EXPECT_EQ(formatByteRate(-5.0), QStringLiteral("0 bytes/s"));
    EXPECT_EQ(formatByteRate(std::nan("")), QStringLiteral("0 bytes/s"));
    EXPECT_EQ(formatByteRate(999.5), byteCountText(qint64(1000)) + QStringLiteral("/s"));
    EXPECT_EQ(formatByteRate(13'002'342.0), QStringLiteral("12.4 MB/s"));
    EXPECT_EQ(formatByteRate(std::numeric_limits<double>::infinity()), byteCountText(std::numeric_limits<qint64>::max()) + QStringLiteral("/s"));
}
