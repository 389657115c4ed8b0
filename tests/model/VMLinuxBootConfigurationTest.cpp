// SPDX-License-Identifier: MIT
#include "VMLinuxBootConfiguration.h"

#include "RecordTestSupport.h"

using namespace RecordTestSupport;

TEST(VMLinuxBootConfigurationTest, JSONOfAnEFIBootAndOfAKernelBoot)
{
    const VMLinuxBootConfiguration efi{QString(), std::nullopt, QStringLiteral("console=hvc0"), false};
    EXPECT_EQ(compactJSON(efi), R"({"commandLine":"console=hvc0","kernelPath":"","useRosetta":false})");
    EXPECT_EQ(roundTripped(efi), efi);

    const VMLinuxBootConfiguration kernel{QStringLiteral("/boot/vmlinuz"), QStringLiteral("/boot/initrd.img"), QString(), true};
    EXPECT_EQ(compactJSON(kernel), R"({"commandLine":"","initialRamdiskPath":"/boot/initrd.img","kernelPath":"/boot/vmlinuz","useRosetta":true})");
    EXPECT_EQ(roundTripped(kernel), kernel);
    EXPECT_NE(kernel, (VMLinuxBootConfiguration{QStringLiteral("/boot/vmlinuz"), std::nullopt, QString(), true}));
}

TEST(VMLinuxBootConfigurationTest, DecodingHasNoDefaults)
{
    for (const char *json : {R"({"commandLine":"","useRosetta":false})", R"({"kernelPath":"","useRosetta":false})",
                             R"({"kernelPath":"","commandLine":""})"})
        expectDecodingFails<VMLinuxBootConfiguration>(json, JSONDecodingError::Kind::keyNotFound);
    expectDecodingFails<VMLinuxBootConfiguration>(R"({"kernelPath":"","commandLine":"","useRosetta":0})", JSONDecodingError::Kind::typeMismatch);
}
