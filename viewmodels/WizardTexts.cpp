// SPDX-License-Identifier: MIT
#include "WizardTexts.h"

#include "HostInstallAdvice.h"
#include "SizeText.h"

#include <QFileInfo>

#include <cmath>
#include <limits>

namespace WizardTexts {

using Step = CreateVMWizardViewModel::Step;

QString stepTitle(Step step)
{
    switch (step) {
    case Step::general:
        return QStringLiteral("General");
    case Step::macOSSource:
        return QStringLiteral("macOS Source");
    case Step::linuxSource:
        return QStringLiteral("Linux Source");
    case Step::windowsSource:
        return QStringLiteral("Windows Source");
    case Step::sharedFolders:
        return QStringLiteral("Shared Folders");
    case Step::firstBoot:
        return QStringLiteral("First Boot");
    case Step::review:
        return QStringLiteral("Review");
    }
    return {};
}

QString headerTitle(VMGuestOSType guest)
{
    switch (guest) {
    case VMGuestOSType::macOS:
        return QStringLiteral("Create Virtual Mac");
    case VMGuestOSType::linux:
        return QStringLiteral("Create Linux VM");
    case VMGuestOSType::windows:
        break;
    }
    return QStringLiteral("Create Windows VM");
}

QString headerSubtitle(VMGuestOSType guest)
{
    switch (guest) {
    case VMGuestOSType::macOS:
        return QStringLiteral("Configure storage, media, networking, and install behavior before macOS is created.");
    case VMGuestOSType::linux:
        return QStringLiteral("Configure storage, networking, and select a Linux distribution to create your VM.");
    case VMGuestOSType::windows:
        break;
    }
    return QStringLiteral("Provide a Windows 11 ARM ISO and configure your VM. Requires QEMU installed on the host.");
}

QString guestSymbol(VMGuestOSType guest)
{
    switch (guest) {
    case VMGuestOSType::macOS:
        return QStringLiteral("apple.logo");
    case VMGuestOSType::linux:
        return QStringLiteral("terminal");
    case VMGuestOSType::windows:
        break;
    }
    return QStringLiteral("pc");
}

QString guestCardName(VMGuestOSType guest)
{
    return displayName(guest);
}

QString guestCardDescription(VMGuestOSType guest, const QStringList &missingPackages)
{
    switch (guest) {
    case VMGuestOSType::macOS:
        // Offered so that its bundles can be prepared, but this host cannot install it.
        return QStringLiteral("Full macOS guest. QEMU cannot boot macOS, so it cannot be installed on this host.");
    case VMGuestOSType::linux:
        return QStringLiteral("Linux ARM64 guest with Virtio drivers");
    case VMGuestOSType::windows:
        break;
    }
    if (missingPackages.isEmpty())
        return QStringLiteral("Windows 11 ARM via QEMU");
    return QStringLiteral("Windows 11 ARM via QEMU (requires %1)").arg(HostInstallAdvice::installCommand(missingPackages));
}

QString displayPresetLabel(VMHardwareProfile::DisplayPreset preset)
{
    const VMHardwareProfile::DisplayGeometry geometry = VMHardwareProfile::geometry(preset);
    return QStringLiteral("%1 x %2").arg(geometry.width).arg(geometry.height);
}

int wholeNumber(double value)
{
    if (std::isnan(value))
        return 0;
    const double whole = std::trunc(value);
    if (whole >= double(std::numeric_limits<int>::max()))
        return std::numeric_limits<int>::max();
    if (whole <= double(std::numeric_limits<int>::min()))
        return std::numeric_limits<int>::min();
    return int(whole);
}

namespace {

    QString macOSSourceText(const CreateVMWizardViewModel &wizard)
    {
        if (wizard.sourceMode() == CreateVMWizardViewModel::SourceMode::local) {
            if (wizard.localRestoreImageInfo())
                return wizard.localRestoreImageInfo()->displayName;
            return QStringLiteral("Local restore image");
        }
        // The image Create will use: the selected build, else the first offered.
        if (const std::optional<RestoreImageInfo> selected = wizard.selectedAutomaticRestoreImage())
            return selected->displayName;
        return QStringLiteral("Automatic macOS selection");
    }

    QString enabledText(bool enabled, const QString &how)
    {
        return enabled ? how : QStringLiteral("Disabled");
    }

} // namespace

QList<QPair<QString, QString>> reviewRows(const CreateVMWizardViewModel &wizard)
{
    const VMGuestOSType guest = wizard.guestOSType();
    QList<QPair<QString, QString>> rows;
    rows.append({QStringLiteral("Guest OS"), displayName(guest)});
    rows.append({QStringLiteral("Name"), wizard.name()});
    rows.append({QStringLiteral("Hardware"),
        QStringLiteral("%1 CPUs • %2 RAM • %3 Disk")
            .arg(wizard.cpuCount())
            .arg(SizeText::wholeGB(wizard.memorySizeGB()), SizeText::wholeGB(wizard.diskSizeGB()))});
    switch (guest) {
    case VMGuestOSType::macOS:
        rows.append({QStringLiteral("Install Source"), macOSSourceText(wizard)});
        break;
    case VMGuestOSType::windows:
        rows.append({QStringLiteral("Windows ISO"),
            wizard.windowsISOURL() ? QFileInfo(*wizard.windowsISOURL()).fileName() : QStringLiteral("Not selected")});
        rows.append({QStringLiteral("Engine"), QStringLiteral("QEMU")});
        rows.append({QStringLiteral("TPM 2.0"), wizard.windowsEnableTPM() ? QStringLiteral("Enabled") : QStringLiteral("Disabled")});
        break;
    case VMGuestOSType::linux:
        rows.append({QStringLiteral("Linux Source"), wizard.reviewSourceSummary()});
        if (wizard.linuxUseRosetta())
            rows.append({QStringLiteral("Rosetta"), QStringLiteral("Enabled")});
        break;
    }
    rows.append({QStringLiteral("Storage Folder"), wizard.destinationDirectoryURL()});
    // QEMU shows a Windows guest through a plain framebuffer whose size Windows picks.
    rows.append({QStringLiteral("Display"),
        guest == VMGuestOSType::windows
            ? QStringLiteral("Set within Windows")
            : displayPresetLabel(wizard.selectedDisplayPreset()) + QStringLiteral(" start size, then auto-resizes with the VM window")});
    rows.append({QStringLiteral("Network"), wizard.makeNetworkConfiguration().summary()});
    rows.append(
        {QStringLiteral("Microphone"), enabledText(wizard.isMicrophoneEnabled(), QStringLiteral("Enabled via host default input"))});
    rows.append({QStringLiteral("Speakers"), enabledText(wizard.isSpeakerEnabled(), QStringLiteral("Enabled via host default output"))});
    if (guest == VMGuestOSType::macOS)
        rows.append({QStringLiteral("Camera"), QStringLiteral("Not available on this host")});
    rows.append({QStringLiteral("Shared Folders"), QString::number(wizard.sharedFolders().size())});
    if (guest == VMGuestOSType::macOS)
        rows.append({QStringLiteral("First Boot"), wizard.firstBootEnabled() ? QStringLiteral("Enabled") : QStringLiteral("Disabled")});
    return rows;
}

QString reviewNote(VMGuestOSType guest, const QStringList &missingPackages)
{
    switch (guest) {
    case VMGuestOSType::macOS:
        return QStringLiteral(
            "When you click Create, Zovozu VM Lab will build the VM bundle, download or validate the restore image, create the disk "
            "and platform files, and install macOS.");
    case VMGuestOSType::linux:
        return QStringLiteral(
            "When you click Create, Zovozu VM Lab will build the VM bundle and create the disk image. You can then boot the VM "
            "with a Linux kernel or ISO.");
    case VMGuestOSType::windows:
        break;
    }
    const QString note
        = QStringLiteral("When you click Create, Zovozu VM Lab will copy the Windows ISO, create the disk image, and configure UEFI boot "
                         "with TPM.");
    if (missingPackages.isEmpty())
        return note;
    return note
        + QStringLiteral(" You'll need QEMU installed (%1) to start the VM.").arg(HostInstallAdvice::installCommand(missingPackages));
}

} // namespace WizardTexts
