// SPDX-License-Identifier: MIT
#include "VMDetailsTexts.h"

#include "FileOperations.h"
#include "GuestMemoryLimits.h"
#include "SizeText.h"
#include "VMGuestOSType.h"
#include "VMInstallState.h"
#include "VMLinuxGuestToolsService.h"
#include "VMRuntimeState.h"
#include "VMSharedFolderService.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace VMDetailsTexts {

namespace {

    QString formatted(quint64 bytes)
    {
        return SizeText::bytes(bytes);
    }

    bool isLinux(const Bundle &bundle)
    {
        return bundle && bundle->metadata.guestOSType == VMGuestOSType::linux;
    }

    /// The guest's operating system as the guards name it; bundles from before the guest kind was stored are macOS bundles.
    QString systemName(const VMMetadata &metadata)
    {
        return displayName(metadata.guestOSType.value_or(VMGuestOSType::macOS));
    }

    /// The first failed check of a change guard, worded for `what` ("VM settings", "disk capacity").
    std::optional<QString> changeBlockReason(const Bundle &bundle, const QString &what)
    {
        if (!bundle)
            return QStringLiteral("The selected VM is unavailable.");
        const VMMetadata &metadata = bundle->metadata;
        if (metadata.installState != VMInstallState::installed)
            return QStringLiteral("Finish installing %1 before changing %2.").arg(systemName(metadata), what);
        if (metadata.runtimeState != VMRuntimeState::stopped)
            return QStringLiteral("Stop the VM before changing %1.").arg(what);
        if (metadata.hasSavedState)
            return QStringLiteral("Discard the saved state before changing %1.").arg(what);
        return std::nullopt;
    }

} // namespace

QString displayTitle(const Bundle &bundle)
{
    return bundle ? bundle->metadata.name : QStringLiteral("Virtual Machine");
}

QString runtimeStateText(const Bundle &bundle)
{
    return displayName(bundle ? bundle->metadata.runtimeState : VMRuntimeState::stopped);
}

namespace {

    /// A Linux or Windows bundle that boots its installer onto a disk that holds nothing yet.
    bool awaitsGuestInstall(const Bundle &bundle, const DiskUsage &usage)
    {
        if (!bundle || !usage)
            return false;
        const VMMetadata &metadata = bundle->metadata;
        const bool bootsAnInstaller = metadata.guestOSType == VMGuestOSType::linux || metadata.guestOSType == VMGuestOSType::windows;
        return metadata.installState == VMInstallState::installed && bootsAnInstaller && usage->allocatedSizeBytes == quint64(0);
    }

} // namespace

QString installStateText(const Bundle &bundle, const DiskUsage &usage)
{
    if (!bundle)
        return displayText(VMInstallState::notInstalled);
    if (awaitsGuestInstall(bundle, usage))
        return bundle->metadata.runtimeState == VMRuntimeState::stopped ? QStringLiteral("Ready to Install")
                                                                        : QStringLiteral("Installer Running");
    return displayText(bundle->metadata.installState);
}

std::optional<QString> guestInstallPendingReason(const Bundle &bundle, const DiskUsage &usage)
{
    if (!awaitsGuestInstall(bundle, usage))
        return std::nullopt;
    return QStringLiteral("Install %1 first: the VM's disk holds no system yet.").arg(systemName(bundle->metadata));
}

QString hardwareSummary(const Bundle &bundle)
{
    if (!bundle)
        return {};
    const VMMetadata &metadata = bundle->metadata;
    const QString cpus = QString::number(metadata.cpuCount) + (metadata.cpuCount == 1 ? QStringLiteral(" CPU") : QStringLiteral(" CPUs"));
    return QStringList {cpus, formatted(metadata.memorySizeBytes), formatted(metadata.diskSizeBytes)}.join(QStringLiteral(" • "));
}

QString displaySummary(const Bundle &bundle)
{
    if (!bundle)
        return QStringLiteral("Unknown");
    // QEMU shows a Windows guest through a plain framebuffer whose size Windows picks.
    if (bundle->metadata.guestOSType == VMGuestOSType::windows)
        return QStringLiteral("Set within Windows");
    const VMHardwareProfile &hardware = bundle->metadata.hardwareProfile;
    return QStringLiteral("%1 x %2 start size, auto-resizes with console window").arg(hardware.displayWidth).arg(hardware.displayHeight);
}

QString virtualCapacityText(const Bundle &bundle, const DiskUsage &usage)
{
    if (bundle)
        return formatted(bundle->metadata.diskSizeBytes);
    return formatted(usage ? usage->logicalSizeBytes : quint64(0));
}

QString networkSummary(const Bundle &bundle)
{
    if (bundle && bundle->metadata.networkConfiguration)
        return bundle->metadata.networkConfiguration->summary();
    return VMNetworkConfiguration().summary();
}

QString microphoneSummary(const Bundle &bundle)
{
    const bool enabled = bundle && bundle->metadata.mediaConfiguration && bundle->metadata.mediaConfiguration->isMicrophoneEnabled;
    return enabled ? QStringLiteral("Enabled via host default input") : QStringLiteral("Disabled");
}

QString speakerSummary(const Bundle &bundle)
{
    const bool disabled = bundle && bundle->metadata.mediaConfiguration && !bundle->metadata.mediaConfiguration->isSpeakerEnabled;
    return disabled ? QStringLiteral("Disabled") : QStringLiteral("Enabled via host default output");
}

QString linuxInstallMediaSummary(const Bundle &bundle)
{
    if (!bundle)
        return QStringLiteral("Unknown");
    const VMMetadata &metadata = bundle->metadata;
    if (metadata.installSourceSummary && !metadata.installSourceSummary->isEmpty())
        return *metadata.installSourceSummary;
    if (metadata.guestOSType == VMGuestOSType::windows) {
        // Windows bundles made before the summary was stored keep only their copy of the image.
        const QString iso = bundle->layout().windowsInstallISOURL();
        if (FileOperations::itemExists(iso))
            return QStringLiteral("Windows ISO (") + iso.section(QLatin1Char('/'), -1) + QLatin1Char(')');
        return QStringLiteral("Windows ISO");
    }
    if (!isLinux(bundle))
        return metadata.installSource.summary();
    if (metadata.guestOSDisplayName && !metadata.guestOSDisplayName->isEmpty())
        return QStringLiteral("Linux ISO (") + *metadata.guestOSDisplayName + QLatin1Char(')');
    const QString iso = bundle->layout().linuxInstallISOURL();
    if (FileOperations::itemExists(iso))
        return QStringLiteral("Linux ISO (") + iso.section(QLatin1Char('/'), -1) + QLatin1Char(')');
    return QStringLiteral("Linux ISO");
}

QString guestDescription(const Bundle &bundle, QStringView noun)
{
    if (bundle && bundle->metadata.guestOSDisplayName)
        return *bundle->metadata.guestOSDisplayName;
    // Bundles from before the guest kind was stored are macOS bundles.
    const VMGuestOSType guest = bundle ? bundle->metadata.guestOSType.value_or(VMGuestOSType::macOS) : VMGuestOSType::macOS;
    return displayName(guest) + noun.toString();
}

QList<QPair<QString, QString>> bundleLayoutRows(const Bundle &bundle)
{
    using Layout = VMBundle::Layout;
    const QString disk = Layout::diskImageFileName.toString();
    switch (bundle ? bundle->metadata.guestOSType.value_or(VMGuestOSType::macOS) : VMGuestOSType::macOS) {
    case VMGuestOSType::linux:
        return {{QStringLiteral("Disk Image"), disk}, {QStringLiteral("EFI Variable Store"), Layout::efiVariableStoreFileName.toString()},
            {QStringLiteral("Boot Configuration"), Layout::linuxBootFileName.toString()}};
    case VMGuestOSType::windows:
        return {{QStringLiteral("Disk Image"), disk}, {QStringLiteral("Installer Image"), Layout::windowsInstallImageFileName.toString()},
            {QStringLiteral("QEMU Configuration"), Layout::windowsConfigFileName.toString()}};
    case VMGuestOSType::macOS:
        break;
    }
    return {{QStringLiteral("Disk Image"), disk}, {QStringLiteral("Auxiliary Storage"), Layout::auxiliaryStorageFileName.toString()},
        {QStringLiteral("Machine Identifier"), Layout::machineIdentifierFileName.toString()},
        {QStringLiteral("Hardware Model"), Layout::hardwareModelFileName.toString()}};
}

QString hostAllocationText(const std::optional<quint64> &allocatedBytes)
{
    return allocatedBytes ? formatted(*allocatedBytes) : QStringLiteral("Unavailable");
}

QString diskCapacitySummary(const DiskUsage &usage)
{
    if (!usage)
        return QStringLiteral("The VM disk stays sparse on the host and grows only as the guest writes data.");
    if (usage->allocatedSizeBytes)
        return QStringLiteral("Virtual capacity is %1; the disk image currently uses %2 of host storage.")
            .arg(formatted(usage->logicalSizeBytes), formatted(*usage->allocatedSizeBytes));
    return QStringLiteral("Virtual capacity is %1. Host allocation is currently unavailable.").arg(formatted(usage->logicalSizeBytes));
}

std::optional<QString> startBlockReason(const Bundle &bundle)
{
    if (!bundle)
        return QStringLiteral("The selected VM is unavailable.");
    const VMMetadata &metadata = bundle->metadata;
    if (metadata.installState == VMInstallState::failed)
        return QStringLiteral("This VM cannot start: its %1 installation failed. Delete it and create it again.").arg(systemName(metadata));
    if (metadata.installState != VMInstallState::installed)
        return QStringLiteral("This VM cannot start until its %1 installation is finished.").arg(systemName(metadata));
    return std::nullopt;
}

std::optional<QString> settingsChangeBlockReason(const Bundle &bundle)
{
    return changeBlockReason(bundle, QStringLiteral("VM settings"));
}

std::optional<QString> diskCapacityChangeBlockReason(const Bundle &bundle)
{
    return changeBlockReason(bundle, QStringLiteral("disk capacity"));
}

qint64 maximumCPUCount(const Bundle &bundle, const HostCapacity &host)
{
    const qint64 bound = std::clamp<qint64>(host.processorCount, 2, 16);
    return std::max(bound, bundle ? bundle->metadata.cpuCount : qint64(4));
}

double maximumMemorySizeGB(const Bundle &bundle, const HostCapacity &host)
{
    const double bound = GuestMemoryLimits(host).maximumGB();
    const double current = bundle ? SizeText::gigabytes(bundle->metadata.memorySizeBytes) : 0.0;
    return current <= bound ? bound : current;
}

GuestToolsState guestToolsState(const VMGuestAutomationStatusSnapshot &status)
{
    if (status.availability != VMGuestAutomationAvailability::installed)
        return GuestToolsState::notInstalled;
    return status.reportedVersion == hostStagedGuestToolsVersion.toString() ? GuestToolsState::installed : GuestToolsState::updateAvailable;
}

QString guestToolsStatusSummary(const VMGuestAutomationStatusSnapshot &status, const QDateTime &now)
{
    const GuestToolsState state = guestToolsState(status);
    QStringList parts;
    switch (state) {
    case GuestToolsState::notInstalled:
        parts << QStringLiteral("Not installed");
        break;
    case GuestToolsState::updateAvailable:
        parts << QStringLiteral("Update available");
        break;
    case GuestToolsState::installed:
        parts << QStringLiteral("Installed");
        break;
    }
    if (status.reportedVersion) {
        parts << QStringLiteral("v") + *status.reportedVersion;
        if (state == GuestToolsState::updateAvailable)
            parts << QStringLiteral("current v") + hostStagedGuestToolsVersion.toString();
    }
    if (status.availability == VMGuestAutomationAvailability::installed && status.lastSeenAt)
        parts << QStringLiteral("last seen ") + relativeTimeText(*status.lastSeenAt, now);
    if (status.pendingRequestCount == 1)
        parts << QStringLiteral("1 queued action");
    else if (status.pendingRequestCount > 1)
        parts << QStringLiteral("%1 queued actions").arg(status.pendingRequestCount);
    if (status.latestResponse)
        parts << (status.latestResponse->success ? QStringLiteral("Last action succeeded") : QStringLiteral("Last action failed"));
    return parts.join(QStringLiteral(" • "));
}

QString guestToolsVersionText(const VMGuestAutomationStatusSnapshot &status)
{
    const QString current = QStringLiteral("Current host-staged version: ") + hostStagedGuestToolsVersion.toString();
    if (!status.reportedVersion)
        return current;
    return QStringLiteral("Installed version: ") + *status.reportedVersion + QStringLiteral(" • ") + current;
}

QString guestToolsInstructions(const VMGuestAutomationStatusSnapshot &status, const Bundle &bundle)
{
    const QString tag = VMSharedFolderService::linuxGuestTag.toString();
    const QString folder = linuxMountPoint.toString() + QLatin1Char('/') + VMSharedFolderService::automationShareName.toString();
    switch (guestToolsState(status)) {
    case GuestToolsState::notInstalled:
        if (isLinux(bundle))
            return QStringLiteral("Mount ") + tag + QStringLiteral(" at ") + linuxMountPoint.toString()
                + QStringLiteral(", then run sudo bash ") + folder + QLatin1Char('/')
                + VMLinuxGuestToolsService::installerFileName.toString();
        return QStringLiteral("Install ") + guestToolsName.toString()
            + QStringLiteral(" inside the guest to enable background disk tasks and clipboard sync.");
    case GuestToolsState::updateAvailable:
        if (isLinux(bundle))
            return QStringLiteral("Re-mount ") + tag + QStringLiteral(" if needed, then re-run the Linux install script from ") + folder
                + QLatin1Char('.');
        return QStringLiteral("Refresh the guest tools so this VM uses the current ") + guestToolsName.toString()
            + QStringLiteral(" version.");
    case GuestToolsState::installed:
        return QStringLiteral("Reinstall the guest tools if clipboard sync or background guest tasks need repair.");
    }
    Q_UNREACHABLE();
}

QString relativeTimeText(const QDateTime &then, const QDateTime &now)
{
    const qint64 seconds = then.secsTo(now);
    const qint64 magnitude = seconds < 0 ? -seconds : seconds;
    struct Unit {
        qint64 seconds;
        const char *name;
    };
    static constexpr Unit units[] = {
        {365 * 86400, "year"}, {30 * 86400, "month"}, {7 * 86400, "week"}, {86400, "day"}, {3600, "hour"}, {60, "minute"}, {1, "second"}};
    for (const Unit &unit : units) {
        const qint64 count = magnitude / unit.seconds;
        if (count == 0)
            continue;
        const QString amount
            = QStringLiteral("%1 %2%3").arg(count).arg(QString::fromLatin1(unit.name), count == 1 ? QString() : QStringLiteral("s"));
        return seconds < 0 ? QStringLiteral("in ") + amount : amount + QStringLiteral(" ago");
    }
    return QStringLiteral("now");
}

QString diskExpansionAutomationMessage(const VMDiskExpansionAutomationOutcome &outcome)
{
    if (const std::optional<QString> warning = outcome.warningMessage())
        return *warning;
    if (outcome.agentDetected().value_or(false))
        return QStringLiteral("Automatic filesystem expansion is queued. ") + guestToolsName.toString()
            + QStringLiteral(" will try to claim the new space the next time this VM boots.");
    return QStringLiteral("The VM disk was expanded and an automatic filesystem-expansion request is queued. Install ")
        + guestToolsName.toString() + QStringLiteral(" inside the guest to let future boots claim the new space automatically.");
}

} // namespace VMDetailsTexts
