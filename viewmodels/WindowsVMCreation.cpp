// SPDX-License-Identifier: MIT
#include "WindowsVMCreation.h"

#include "BackgroundWork.h"
#include "DiskImageService.h"
#include "FileOperations.h"
#include "HostInstallAdvice.h"
#include "ISO9660Volume.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "SparseCopy.h"
#include "UnfinishedBundle.h"
#include "VMBundle.h"
#include "VMStore.h"
#include "VMWindowsConfiguration.h"
#include "VirtualMachineError.h"

#include <QDateTime>
#include <QFileInfo>

namespace {
using Stage = VMInstallProgress::Stage;

} // namespace

QStringList WindowsVMCreation::defaultFirmwarePlaces()
{
    return {QStringLiteral("/opt/homebrew/share/qemu/edk2-aarch64-code.fd"), QStringLiteral("/usr/local/share/qemu/edk2-aarch64-code.fd"),
        QStringLiteral("/usr/share/qemu-efi-aarch64/QEMU_EFI.fd"), QStringLiteral("/usr/share/AAVMF/AAVMF_CODE.fd")};
}

WindowsVMCreation::WindowsVMCreation(Collaborators collaborators, Plan plan)
    : m(collaborators)
    , m_plan(std::move(plan))
{
}

QCoro::Task<QUuid> WindowsVMCreation::run(ProgressHandler progress)
{
    // A VHDX or any other non-ISO file would be attached as a CD and never boot.
    const bool isISO = co_await BackgroundWork::run(&ISO9660Volume::isComplete, m_plan.imageURL);
    if (!isISO)
        throw VirtualMachineError(
            VirtualMachineError::Case::invalidRestoreImage, QStringLiteral("The Windows image must be a complete ISO 9660 disc image."));

    VMBundle bundle;
    bundle.bundleURL = m.store.createBundleDirectory(m_plan.destinationDirectoryURL, m_plan.name);
    VMMetadata &metadata = bundle.metadata;
    metadata.id = QUuid::createUuid();
    UnfinishedBundle unfinished(m.store, m.logging, bundle.bundleURL, metadata.id);
    metadata.guestOSType = VMGuestOSType::macOS;
    metadata.name = m_plan.name;
    metadata.bundleName = QFileInfo(bundle.bundleURL).fileName();
    metadata.createdAt = metadata.updatedAt = QDateTime::currentDateTimeUtc();
    metadata.diskSizeBytes = m_plan.hardwareProfile.diskSizeBytes;
    metadata.memorySizeBytes = m_plan.hardwareProfile.memorySizeBytes;
    metadata.cpuCount = m_plan.hardwareProfile.cpuCount;
    metadata.hardwareProfile = m_plan.hardwareProfile;
    metadata.networkConfiguration = m_plan.networkConfiguration;
    metadata.mediaConfiguration = m_plan.mediaConfiguration;
    metadata.installSource = VMInstallSource::latestSupportedAutomatic();
    metadata.normalize();
    m.store.updateBundle(bundle);
    m.store.trackBundle(bundle.bundleURL);
    m.logging.log(QStringLiteral("Created bundle skeleton for ") + m_plan.name, QStringLiteral("Store"), bundle.bundleURL);

    metadata.guestOSType = VMGuestOSType::windows;
    metadata.installState = VMInstallState::preparingBundle;
    m.store.updateMetadata(bundle);

    const VMBundle::Layout layout = bundle.layout();
    const QUuid id = bundle.id();
    progress(VMInstallProgress::step(Stage::preparingBundle, 0.15, QStringLiteral("Creating disk image...")));
    const quint64 diskSize = DiskImageService().createDisk(layout.diskImageURL(), m_plan.hardwareProfile.diskSizeBytes);

    progress(VMInstallProgress::step(Stage::preparingBundle, 0.30, QStringLiteral("Copying Windows ISO to VM bundle...")));
    co_await BackgroundWork::run(&SparseCopy::copyFile, m_plan.imageURL, layout.windowsInstallISOURL());

    progress(VMInstallProgress::step(Stage::configuringLinuxEFI, 0.70, QStringLiteral("Configuring UEFI boot and TPM...")));
    VMWindowsConfiguration configuration;
    configuration.isoPath = VMBundle::Layout::windowsInstallImageFileName.toString();
    configuration.enableTPM = m_plan.enableTPM;
    configuration.enableSecureBoot = true;
    configuration.useHypervisorAcceleration = true;
    FileOperations::writeAtomically(layout.windowsConfigURL(), sharedJSONEncoder().encode(configuration));

    for (const QString &place : m_plan.firmwarePlaces) {
        if (!QFileInfo(place).isFile())
            continue;
        try {
            co_await BackgroundWork::run(&SparseCopy::copyFile, place, layout.efiFirmwareURL());
        } catch (const std::exception &) {
            // The engine finds the host's own firmware when the bundle has none.
        }
        break;
    }

    // Re-read: a rename or colour tag made meanwhile must survive, and a deleted VM must not come back.
    std::optional<VMBundle> current = m.store.bundle(id);
    if (!current)
        throw VirtualMachineError::invalidOperation(QStringLiteral("The VM was deleted while it was being created."));
    current->metadata.hardwareProfile.diskSizeBytes = diskSize;
    current->metadata.diskSizeBytes = diskSize;
    current->metadata.guestOSDisplayName = QStringLiteral("Windows 11 ARM");
    // The bundle keeps its copy under a fixed name; the overview names the image the user chose.
    current->metadata.installSourceSummary = QStringLiteral("Windows ISO (") + QFileInfo(m_plan.imageURL).fileName() + QLatin1Char(')');
    current->metadata.installState = VMInstallState::installed;
    current->metadata.runtimeState = VMRuntimeState::stopped;
    m.store.updateMetadata(*current);
    unfinished.keep();
    progress(VMInstallProgress::step(Stage::finalizing, 1.0,
        m_plan.missingHostPackages.isEmpty() ? QStringLiteral("Windows VM is ready. Start it to install Windows from its ISO.")
                                             : QStringLiteral("Windows VM is ready. Install QEMU (")
                + HostInstallAdvice::installCommand(m_plan.missingHostPackages) + QStringLiteral(") then start the VM.")));
    m.logging.log(QStringLiteral("Created Windows VM '") + m_plan.name + QStringLiteral("' with QEMU engine"), QStringLiteral("Wizard"));
    co_return id;
}
