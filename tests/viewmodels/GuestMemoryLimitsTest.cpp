// SPDX-License-Identifier: MIT
#include "GuestMemoryLimits.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

constexpr quint64 gibibyte = quint64(1) << 30;

TEST(GuestMemoryLimitsTest, AtMostThreeQuartersOfTheHostAndTheReasonSaysWhatIsLeft)
{
    const struct {
        quint64 hostBytes;
        double maximum;
        const char *limit;
    } table[] = {
        {16 * gibibyte, 12, "At most 12 GB: leaves 4 GB for this computer."},
        // A host that reports a little under its nominal size keeps the fraction.
        {23 * gibibyte + 400 * (gibibyte >> 10), 17, "At most 17 GB: leaves 6.39 GB for this computer."},
        {8 * gibibyte, 6, "At most 6 GB: leaves 2 GB for this computer."},
        {256 * gibibyte, 192, "At most 192 GB: leaves 64 GB for this computer."},
        // Too little to spare a quarter of: 1 GB, so a small Linux guest can still be made.
        {gibibyte, 1, "At most 1 GB: leaves 0 bytes for this computer."},
        {0, 1, "At most 1 GB: leaves 0 bytes for this computer."},
    };
    for (const auto &row : table) {
        const GuestMemoryLimits limits(HostCapacity{8, row.hostBytes});
        EXPECT_EQ(limits.maximumGB(), row.maximum) << row.hostBytes;
        EXPECT_EQ(limits.limitText(), QString::fromUtf8(row.limit)) << row.hostBytes;
    }
}

TEST(GuestMemoryLimitsTest, RefusalsNameTheGuestsMinimumOrTheHostsLimit)
{
    const GuestMemoryLimits limits(HostCapacity{8, 16 * gibibyte});
    const QString limit = QStringLiteral("At most 12 GB: leaves 4 GB for this computer.");
    const struct {
        double gigabytes;
        VMGuestOSType guest;
        std::optional<QString> refusal;
    } table[] = {
        {1, VMGuestOSType::linux, std::nullopt},
        {0.5, VMGuestOSType::linux, QStringLiteral("Linux needs at least 1 GB of memory.")},
        {3.5, VMGuestOSType::macOS, QStringLiteral("macOS needs at least 4 GB of memory.")},
        {3, VMGuestOSType::windows, QStringLiteral("Windows needs at least 4 GB of memory.")},
        {12, VMGuestOSType::windows, std::nullopt},
        // Checked as it is stored: rounded to whole GB.
        {12.4, VMGuestOSType::linux, std::nullopt},
        {12.5, VMGuestOSType::linux, limit},
        {1e300, VMGuestOSType::linux, limit},
        {std::nan(""), VMGuestOSType::linux, QStringLiteral("Choose how much memory the VM gets.")},
        {0, VMGuestOSType::macOS, QStringLiteral("Choose how much memory the VM gets.")},
    };
    for (const auto &row : table)
        EXPECT_EQ(limits.refusal(row.gigabytes, row.guest), row.refusal) << row.gigabytes << ' ' << toRaw(row.guest).toStdString();
}

} // namespace
