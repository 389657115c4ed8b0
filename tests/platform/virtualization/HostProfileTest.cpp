// SPDX-License-Identifier: MIT
#include "HostProfile.h"

#include "HostInstallAdvice.h"
#include "QtPrinters.h"

#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

TEST(HostProfileTest, KvmOnlyOnArm64WithAUsableDevice)
{
    using Accelerator = HostProfile::Accelerator;
    EXPECT_EQ(HostProfile::acceleratorFor(QStringLiteral("arm64"), true), Accelerator::kvm);
    EXPECT_EQ(HostProfile::acceleratorFor(QStringLiteral("arm64"), false), Accelerator::tcg);
    EXPECT_EQ(HostProfile::acceleratorFor(QStringLiteral("x86_64"), true), Accelerator::tcg);

    HostProfile profile;
    profile.accelerator = Accelerator::kvm;
    EXPECT_EQ(profile.acceleratorName(), QStringLiteral("kvm"));
    EXPECT_EQ(profile.cpuModel(), QStringLiteral("host"));
    profile.accelerator = Accelerator::tcg;
    EXPECT_EQ(profile.acceleratorName(), QStringLiteral("tcg"));
    EXPECT_EQ(profile.cpuModel(), QStringLiteral("max"));
}

TEST(HostProfileTest, AudioDriverFollowsTheSoundServerAndQemusModules)
{
    EXPECT_EQ(HostProfile::audioDriverFor(true, true, true), QStringLiteral("pa"));
    EXPECT_EQ(HostProfile::audioDriverFor(true, false, true), QStringLiteral("alsa"));
    EXPECT_EQ(HostProfile::audioDriverFor(false, true, true), QStringLiteral("alsa"));
    EXPECT_EQ(HostProfile::audioDriverFor(true, false, false), QStringLiteral("none"));
    EXPECT_EQ(HostProfile::audioDriverFor(false, false, false), QStringLiteral("none"));
}

TEST(HostProfileTest, InstallAdviceIsThisHostsOneLineCommand)
{
    const QString command = HostInstallAdvice::qemuInstallCommand.toString();
    EXPECT_EQ(HostProfile::qemuMissingAdvice(), QStringLiteral("QEMU is not installed. Install it with: ") + command);
    EXPECT_TRUE(HostProfile::firmwareMissingAdvice().endsWith(command));
    // Debian 12 has no package for a migratable virtiofsd: the advice names the set-up that builds it.
    EXPECT_TRUE(HostProfile::virtiofsdMissingAdvice().endsWith(QStringLiteral("Build and install it with the set-up command: scripts/dev.sh app")));
    EXPECT_FALSE(HostProfile::virtiofsdPlaces().contains(QStringLiteral("/usr/lib/qemu/virtiofsd")));
}

TEST(HostProfileTest, QemusMissingFilesAreNamedWithThePackageThatHoldsThem)
{
    const struct {
        const char *output;
        const char *advice;
    } cases[] = {
        {R"(qemu-system-aarch64: -device {"driver":"virtio-net-pci","netdev":"net0"}: failed to find romfile "efi-virtio.rom")",
         "QEMU cannot find the file efi-virtio.rom from the package ipxe-qemu. Install it with: sudo apt install ipxe-qemu"},
        {"qemu-system-aarch64: warning: Could not open option rom 'vgabios-ramfb.bin': No such file or directory",
         "QEMU cannot find the file vgabios-ramfb.bin from the package seabios. Install it with: sudo apt install seabios"},
        {"qemu-system-aarch64: Could not open '/usr/share/AAVMF/AAVMF_CODE.fd': No such file or directory",
         "QEMU cannot find the file AAVMF_CODE.fd from the package qemu-efi-aarch64. Install it with: sudo apt install qemu-efi-aarch64"},
        // The bundle's own files are not a package's business.
        {"qemu-system-aarch64: Could not open '/home/me/Dev.vm/Disk.img': Permission denied", nullptr},
        {"qemu-system-aarch64: -accel kvm: failed to initialize kvm: No such file or directory", nullptr},
        {"", nullptr},
    };
    for (const auto &[output, advice] : cases) {
        const std::optional<QString> found = HostProfile::missingFileAdvice(QString::fromUtf8(output));
        if (advice) {
            EXPECT_EQ(found, QString::fromUtf8(advice)) << output;
        } else {
            EXPECT_EQ(found, std::nullopt) << output;
        }
    }
}

TEST(HostProfileTest, DetectedPlacesExistWhereTheyAreNamed)
{
    const HostProfile profile = HostProfile::detect();
    for (const QString &file : {profile.qemuProgram, profile.firmwareCodePath, profile.firmwareVariablesTemplatePath, profile.virtiofsdProgram}) {
        if (!file.isEmpty()) {
            EXPECT_TRUE(QFileInfo(file).isFile()) << file.toStdString();
        }
    }
    EXPECT_TRUE(profile.runtimeDirectory.endsWith(QStringLiteral("/zovozu")));
    EXPECT_TRUE(QStringList({QStringLiteral("pa"), QStringLiteral("alsa"), QStringLiteral("none")}).contains(profile.audioDriver));
}

} // namespace
