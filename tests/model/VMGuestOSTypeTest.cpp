// SPDX-License-Identifier: MIT
#include "VMGuestOSType.h"

#include "HostInstallAdvice.h"
#include "RecordTestSupport.h"

using namespace RecordTestSupport;

TEST(VMGuestOSTypeTest, RawValuesKeepTheirCase)
{
    expectRawValues<VMGuestOSType>({
        {VMGuestOSType::macOS, "macOS"},
        {VMGuestOSType::linux, "linux"},
        {VMGuestOSType::windows, "windows"},
    });
    for (const char *text : {"MacOS", "macos", "Linux", "Windows", "", " linux", "linux "})
        EXPECT_EQ(fromRaw<VMGuestOSType>(QString::fromUtf8(text)), std::nullopt) << text;
    expectDecodingFails<VMGuestOSType>(R"("Windows")", JSONDecodingError::Kind::dataCorrupted);
}

TEST(VMGuestOSTypeTest, TextsShownForEachKind)
{
    const struct {
        VMGuestOSType type;
        const char *displayName;
        const char *symbolName;
        const char *subtitle;
    } table[] = {
        {VMGuestOSType::macOS, "macOS", "apple.logo", "Full macOS guest"},
        {VMGuestOSType::linux, "Linux", "terminal", "Linux ARM64 guest with Virtio drivers"},
        {VMGuestOSType::windows, "Windows", "pc",
         "Windows 11 ARM via QEMU (requires sudo apt install qemu-system-arm qemu-efi-aarch64 swtpm)"},
    };
    for (const auto &row : table) {
        EXPECT_EQ(displayName(row.type), QString::fromUtf8(row.displayName));
        EXPECT_EQ(symbolName(row.type), QString::fromUtf8(row.symbolName));
        EXPECT_EQ(subtitle(row.type), QString::fromUtf8(row.subtitle));
    }
    EXPECT_TRUE(subtitle(VMGuestOSType::windows).contains(HostInstallAdvice::qemuInstallCommand));
}
