// SPDX-License-Identifier: MIT
#include "VMWindowsConfiguration.h"

#include "RecordTestSupport.h"

using namespace RecordTestSupport;

TEST(VMWindowsConfigurationTest, AFileOfTheThreeFlagsAloneWritesBackTheSameKeys)
{
    const auto configuration = decoded<VMWindowsConfiguration>(R"({"enableSecureBoot":false,"enableTPM":true,"useHypervisorAcceleration":true,"extra":1})");
    EXPECT_EQ(configuration, (VMWindowsConfiguration{std::nullopt, true, false, std::nullopt, true}));
    EXPECT_EQ(compactJSON(configuration), R"({"enableSecureBoot":false,"enableTPM":true,"useHypervisorAcceleration":true})");

    const VMWindowsConfiguration full{QStringLiteral("WindowsInstall.iso"), true, true, QStringLiteral("virtio-win.iso"), false};
    EXPECT_EQ(JSONCodec<VMWindowsConfiguration>::encode(full).size(), 5u);
    EXPECT_EQ(roundTripped(full), full);
}

TEST(VMWindowsConfigurationTest, EveryFlagIsARequiredBoolean)
{
    const Json valid = Json::parse(R"({"enableSecureBoot":true,"enableTPM":true,"useHypervisorAcceleration":true})");
    for (const char *flag : {"enableTPM", "enableSecureBoot", "useHypervisorAcceleration"}) {
        Json missing = valid;
        missing.erase(flag);
        expectDecodingFails<VMWindowsConfiguration>(missing.dump(), JSONDecodingError::Kind::keyNotFound);
        Json number = valid;
        number[flag] = 1;
        expectDecodingFails<VMWindowsConfiguration>(number.dump(), JSONDecodingError::Kind::typeMismatch);
    }
}
