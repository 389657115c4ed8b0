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
