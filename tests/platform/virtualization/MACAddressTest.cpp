// SPDX-License-Identifier: MIT
#include "MACAddress.h"

#include "QtPrinters.h"

#include <gtest/gtest.h>

namespace {

TEST(MACAddressTest, RandomAddressesAreLocallyAdministeredUnicastAndDiffer)
{
    for (int round = 0; round < 64; ++round) {
        const MACAddress address = MACAddress::randomLocallyAdministered();
        EXPECT_TRUE(address.isLocallyAdministered()) << address.toString().toStdString();
        EXPECT_FALSE(address.isMulticast()) << address.toString().toStdString();
    }
    EXPECT_NE(MACAddress::randomLocallyAdministered(), MACAddress::randomLocallyAdministered());
}

TEST(MACAddressTest, TextFormRoundTripsInLowerCase)
{
    const auto address = MACAddress::fromString(u"52:54:00:AB:cd:0F");
    ASSERT_TRUE(address.has_value());
    EXPECT_EQ(address->bytes(), (MACAddress::Bytes{0x52, 0x54, 0x00, 0xab, 0xcd, 0x0f}));
    EXPECT_EQ(address->toString(), QStringLiteral("52:54:00:ab:cd:0f"));
    EXPECT_EQ(MACAddress::fromString(address->toString()), address);
}

TEST(MACAddressTest, RefusesAnythingElse)
{
    for (const char16_t *text : {u"", u"52:54:00:ab:cd", u"52:54:00:ab:cd:0f:11", u"52-54-00-ab-cd-0f", u"5:54:00:ab:cd:0f0",
                                 u"52:54:00:ab:cd:0g", u"52:54:00:ab:cd:+f", u" 2:54:00:ab:cd:0f"})
        EXPECT_FALSE(MACAddress::fromString(QStringView(text)).has_value()) << QString::fromUtf16(text).toStdString();
}

} // namespace
