// SPDX-License-Identifier: MIT
#include "VersionString.h"

#include <gtest/gtest.h>

namespace {

TEST(VersionString, ComparesComponentByComponentWithMissingOnesAsZero)
{
    const struct {
        const char *left;
        const char *right;
        int expected;
    } cases[] = {
        {"14", "14.0.0", 0},    {"14.10", "14.9", 1}, {"13.7", "14.0", -1}, {"14.4.1", "14.4", 1}, {"", "", 0},
        {"14.0b2.1", "14.1", 0}, {"15", "", 1},        {"-1", "0", -1},      {"14..2", "14.2", 0},
    };
    for (const auto &row : cases) {
        EXPECT_EQ(VersionString::compare(QString::fromUtf8(row.left), QString::fromUtf8(row.right)), row.expected) << row.left << " vs " << row.right;
        EXPECT_EQ(VersionString::compare(QString::fromUtf8(row.right), QString::fromUtf8(row.left)), -row.expected) << row.right << " vs " << row.left;
    }
    EXPECT_EQ(VersionString::majorNumber(QStringLiteral("15.1")), 15);
    EXPECT_EQ(VersionString::majorNumber(QStringLiteral("beta")), 0);
}

TEST(VersionString, HostVersionTextShowsThePatchOnlyFromOne)
{
    EXPECT_EQ(VersionString::fromComponents(14, 0, 0), QStringLiteral("14.0"));
    EXPECT_EQ(VersionString::fromComponents(14, 2, 1), QStringLiteral("14.2.1"));
}

TEST(VersionString, OnlyPlainVersionsAndBuildsAreWellFormed)
{
    for (const char *good : {"15", "14.6.1", "13.0"})
        EXPECT_TRUE(VersionString::isWellFormedVersion(QString::fromUtf8(good))) << good;
    for (const char *bad : {"", "14.", ".14", "14..1", "../14", "14/1", "14.6 ", "v14"})
        EXPECT_FALSE(VersionString::isWellFormedVersion(QString::fromUtf8(bad))) << bad;
    for (const char *good : {"23G93", "24A335"})
        EXPECT_TRUE(VersionString::isWellFormedBuild(QString::fromUtf8(good))) << good;
    for (const char *bad : {"", "..", "23G93/..", "23 G", "a-b"})
        EXPECT_FALSE(VersionString::isWellFormedBuild(QString::fromUtf8(bad))) << bad;
}

} // namespace
