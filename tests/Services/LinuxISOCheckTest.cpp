// SPDX-License-Identifier: MIT
#include "LinuxISOCheck.h"

#include "IsoImage.h"
#include "QtPrinters.h"
#include "TemporaryHome.h"

#include <QFile>

#include <gtest/gtest.h>

namespace {

TEST(LinuxISOCheckTest, OnlyAnImageWithAnArm64LoaderIsTakenAndEachRefusalSaysWhy)
{
    const TemporaryHome home;
    const auto path = [&](const char *name) { return home.path() + QLatin1Char('/') + QLatin1String(name); };
    {
        QFile text(path("notes.iso"));
        ASSERT_TRUE(text.open(QIODevice::WriteOnly));
        text.write("Just some notes, renamed.\n");
    }
    ASSERT_TRUE(IsoImage::write(path("arm64.iso"), {{"EFI/BOOT/BOOTAA64.EFI", QByteArray(4096, 'e')}}));
    ASSERT_TRUE(IsoImage::write(path("pc.iso"), {{"EFI/BOOT/BOOTX64.EFI", QByteArray(4096, 'e')}}));
    ASSERT_TRUE(IsoImage::write(path("data.iso"), {{"README.TXT", QByteArray(4096, 'r')}}));

    const struct {
        const char *name;
        std::optional<QString> refusal;
    } table[] = {
        {"arm64.iso", std::nullopt},
        {"notes.iso",
         QStringLiteral("“notes.iso” is not an ISO disc image, so the VM could not start from it. Choose a Linux installer ISO built for arm64 (aarch64).")},
        {"pc.iso",
         QStringLiteral("“pc.iso” starts only on x86 (Intel/AMD) computers, and this VM is arm64. Choose the arm64 (aarch64) edition of the Linux installer.")},
        {"data.iso",
         QStringLiteral("“data.iso” has no arm64 UEFI boot loader, so the VM would stop at the firmware shell. Choose a Linux installer ISO built for arm64 "
                        "(aarch64).")},
        // What cannot be read is left to the copy, which says so.
        {"missing.iso", std::nullopt},
    };
    for (const auto &row : table)
        EXPECT_EQ(LinuxISOCheck::refusal(path(row.name)), row.refusal) << row.name;
}

} // namespace
