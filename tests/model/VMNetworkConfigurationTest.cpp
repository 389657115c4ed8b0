// SPDX-License-Identifier: MIT
#include "VMNetworkConfiguration.h"

#include "RecordTestSupport.h"

using namespace RecordTestSupport;
using Mode = VMNetworkConfiguration::Mode;

namespace {

std::optional<QString> text(const char *value)
{
    return value ? std::optional(QString::fromUtf8(value)) : std::nullopt;
}

} // namespace

TEST(VMNetworkConfigurationTest, ModeRawValues)
{
    expectRawValues<Mode>({{Mode::nat, "nat"}, {Mode::bridged, "bridged"}});
    expectDecodingFails<VMNetworkConfiguration>(R"({"mode":"NAT"})", JSONDecodingError::Kind::dataCorrupted);
}

TEST(VMNetworkConfigurationTest, Summary)
{
    const struct {
        Mode mode;
        const char *identifier;
        const char *displayName;
        const char *summary;
    } table[] = {
        {Mode::nat, nullptr, nullptr, "Shared NAT"},
        {Mode::nat, "en0", "Ethernet", "Shared NAT"},
        {Mode::bridged, nullptr, nullptr, "Bridged"},
        {Mode::bridged, nullptr, "Ethernet", "Bridged"},
        {Mode::bridged, "en0", nullptr, "Bridged via en0"},
        {Mode::bridged, "en0", "Ethernet", "Bridged via Ethernet (en0)"},
        {Mode::bridged, "en0", "", "Bridged via  (en0)"},
    };
    for (const auto &row : table) {
        const VMNetworkConfiguration configuration{row.mode, text(row.identifier), text(row.displayName)};
        EXPECT_EQ(configuration.summary(), QString::fromUtf8(row.summary));
    }
}

TEST(VMNetworkConfigurationTest, JSONLeavesOutAbsentInterfaceFields)
{
    const VMNetworkConfiguration nat = decoded<VMNetworkConfiguration>(R"({"mode":"nat","extra":1})");
    EXPECT_EQ(nat, VMNetworkConfiguration{});
    EXPECT_EQ(compactJSON(nat), R"({"mode":"nat"})");

    const VMNetworkConfiguration bridged{Mode::bridged, text("en0"), text("")};
    EXPECT_EQ(compactJSON(bridged), R"({"bridgedInterfaceDisplayName":"","bridgedInterfaceIdentifier":"en0","mode":"bridged"})");
    EXPECT_EQ(roundTripped(bridged), bridged);

    expectDecodingFails<VMNetworkConfiguration>(R"({"bridgedInterfaceIdentifier":"en0"})", JSONDecodingError::Kind::keyNotFound);
}

TEST(VMNetworkConfigurationTest, InterfaceFieldsCountEvenForNAT)
{
    const VMNetworkConfiguration plain{Mode::nat, std::nullopt, std::nullopt};
    EXPECT_NE(plain, (VMNetworkConfiguration{Mode::nat, text("en0"), std::nullopt}));
    EXPECT_NE(plain, (VMNetworkConfiguration{Mode::nat, std::nullopt, text("")}));
}
