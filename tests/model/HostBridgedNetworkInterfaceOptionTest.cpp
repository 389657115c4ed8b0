// SPDX-License-Identifier: MIT
#include "HostBridgedNetworkInterfaceOption.h"

#include "RecordTestSupport.h"

TEST(HostBridgedNetworkInterfaceOptionTest, LabelShowsANonEmptyDisplayName)
{
    const struct {
        std::optional<QString> displayName;
        const char *label;
    } table[] = {
        {QStringLiteral("Ethernet"), "Ethernet (en0)"},
        {QString(), "en0"},
        {std::nullopt, "en0"},
    };
    for (const auto &row : table)
        EXPECT_EQ((HostBridgedNetworkInterfaceOption{QStringLiteral("en0"), row.displayName}).label(), QString::fromUtf8(row.label));
}
