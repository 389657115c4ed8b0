// SPDX-License-Identifier: MIT
#include "SizeText.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr quint64 gibibyte = quint64(1) << 30;

TEST(SizeTextTest, WholeGBAsTypedReadBackUnchanged)
{
    for (const quint64 typed : {1ULL, 6ULL, 8ULL, 16ULL, 40ULL, 64ULL, 104ULL, 256ULL, 1000ULL}) {
        EXPECT_EQ(SizeText::bytes(typed * gibibyte), SizeText::wholeGB(double(typed))) << typed;
        EXPECT_EQ(SizeText::gigabytes(typed * gibibyte), double(typed)) << typed;
    }
    EXPECT_EQ(SizeText::bytes(quint64(0)), QStringLiteral("0 bytes"));
    EXPECT_EQ(SizeText::bytes(quint64(157'700'000)), QStringLiteral("150.4 MB"));
}

TEST(SizeTextTest, FiguresThatAreNoSizeReadAsTheNearestOne)
{
    const double nan = std::nan("");
    const double infinity = std::numeric_limits<double>::infinity();
    const struct {
        double value;
        const char *bytes;
        const char *wholeGB;
    } table[] = {
        {nan, "0 bytes", "0 GB"},
        {-5, "0 bytes", "0 GB"},
        {-infinity, "0 bytes", "0 GB"},
        {0.9, "0 bytes", "0 GB"},
        {6.9, "1 KB", "6 GB"},
        {1e300, "8388608 TB", "9007199254740992 GB"},
        {infinity, "8388608 TB", "9007199254740992 GB"},
    };
    for (const auto &row : table) {
        EXPECT_EQ(SizeText::bytes(row.value), QString::fromUtf8(row.bytes)) << row.value;
        EXPECT_EQ(SizeText::wholeGB(row.value), QString::fromUtf8(row.wholeGB)) << row.value;
    }
    EXPECT_EQ(SizeText::bytes(qint64(-1)), QStringLiteral("0 bytes"));
    EXPECT_EQ(SizeText::bytes(std::numeric_limits<quint64>::max()), QStringLiteral("8388608 TB"));
}

TEST(SizeTextTest, RatesReadInTheSameUnitsAndNeverBelowZero)
{
    const double nan = std::nan("");
    const double infinity = std::numeric_limits<double>::infinity();
    const std::pair<double, const char *> table[] = {
        {0, "0 bytes/s"},  {1572864, "1.5 MB/s"},   {12345678.4, "11.8 MB/s"},   {-5, "0 bytes/s"},
        {nan, "0 bytes/s"}, {-infinity, "0 bytes/s"}, {infinity, "8388608 TB/s"},
    };
    for (const auto &[rate, text] : table)
        EXPECT_EQ(SizeText::rate(rate), QString::fromUtf8(text)) << rate;
    EXPECT_EQ(SizeText::rate(1572864), SizeText::bytes(quint64(1572864)) + QStringLiteral("/s"));
}

} // namespace
