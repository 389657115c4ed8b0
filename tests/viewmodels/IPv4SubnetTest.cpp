// SPDX-License-Identifier: MIT
#include "IPv4Subnet.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace {

TEST(IPv4SubnetTest, OnlyAnIPv4NetworkInCIDRNotationIsTaken)
{
    const QString shape = QStringLiteral("Enter the subnet as an IPv4 network and its prefix length, such as 192.168.100.0/24.");
    const QString prefix = QStringLiteral("The prefix length after “/” must be a whole number from 0 to 32.");
    const auto part = [](const char *text) {
        return QStringLiteral("“%1” cannot be part of an IPv4 address: each of the four parts is a number from 0 to 255.").arg(QString::fromUtf8(text));
    };
    const struct {
        const char *text;
        std::optional<QString> refusal;
    } table[] = {
        {"192.168.100.0/24", std::nullopt},
        {" 10.0.7.0/24 ", std::nullopt},
        {"0.0.0.0/0", std::nullopt},
        {"255.255.255.255/32", std::nullopt},
        {"172.16.0.0/12", std::nullopt},
        {"999.1.1.1/99", part("999")},
        {"256.0.0.0/8", part("256")},
        {"10.0.07.0/24", part("07")},
        {"10.0.-1.0/24", part("-1")},
        {"10.0..0/24", part("")},
        {"10.0.x.0/24", part("x")},
        {"10.0.7.0/33", prefix},
        {"10.0.7.0/", prefix},
        {"10.0.7.0/024", prefix},
        {"10.0.7.0/+8", prefix},
        {"10.0.7.0", shape},
        {"10.0.7/24", shape},
        {"10.0.7.0.0/24", shape},
        {"10.0.7.0/24/8", shape},
        {"", shape},
        {"not a subnet", shape},
        {"192.168.1.5/24", QStringLiteral("192.168.1.5/24 is an address inside a network, not the network itself: enter 192.168.1.0/24.")},
        {"10.0.7.1/0", QStringLiteral("10.0.7.1/0 is an address inside a network, not the network itself: enter 0.0.0.0/0.")},
    };
    for (const auto &row : table)
        EXPECT_EQ(IPv4Subnet::refusal(QString::fromUtf8(row.text)), row.refusal) << row.text;
}

} // namespace
