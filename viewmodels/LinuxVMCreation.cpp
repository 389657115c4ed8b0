// SPDX-License-Identifier: MIT
#include "LinuxVMCreation.h"

#include "BackgroundWork.h"
#include "DiskImageService.h"
#include "FileOperations.h"
#include "ISO9660Volume.h"
#include "JSONCoding.h"
#include "LinuxISOCheck.h"
#include "LinuxISODownload.h"
#include "LoggingService.h"
#include "SizeText.h"
#include "SparseCopy.h"
#include "UnfinishedBundle.h"
#include "VMBundle.h"
#include "VMLinuxBootConfiguration.h"
#include "VMLinuxGuestToolsService.h"
#include "VMLinuxService.h"
#include "VMStore.h"
#include "VirtualMachineError.h"

#include <QDateTime>
#include <QFileInfo>

namespace {
using Stage = VMInstallProgress::Stage;

QString downloadProgressText(qint64 received, qint64 expected)
{
    return QStringLiteral("Downloading... ") + SizeText::bytes(received) + QStringLiteral(" of ")
        + (expected < 1 ? QStringLiteral("unknown") : SizeText::bytes(expected));
}

/// Whether the cached copy may be used: a finished copy of a whole image.
std::optional<QString> completeCachedISO(const VMLinuxService &linux, const QUrl &url)
{
    const std::optional<QString> cached = linux.cachedISOURL(url);
    if (cached && ISO9660Volume::isComplete(*cached))
        return cached;
    return std::nullopt;
}
} // namespace

LinuxVMCreation::LinuxVMCreation(Collaborators collaborators, Plan plan)
    : m(collaborators)
    , m_plan(std::move(plan))
{
}

LinuxVMCreation::~LinuxVMCreation() = default;

QString LinuxVMCreation::distributionLabel(const LinuxInstallSource &source)
{
    const std::optional<LinuxDistribution> distribution = source.distribution();
    if (!distribution)
        return QStringLiteral("Linux");
    return distribution->name + QLatin1Char(' ') + distribution->version + QStringLiteral(" (") + distribution->architecture
        + QLatin1Char(')');
}

void LinuxVMCreation::cancel()
{
    m_cancelled = true;
    m_stopCopy->store(true);
    if (m_download)
        m_download->cancel();
}

VMBundle LinuxVMCreation::makeBundle() const
{
    VMBundle bundle;
    VMMetadata &metadata = bundle.metadata;
    metadata.id = QUuid::createUuid();
    metadata.guestOSType = VMGuestOSType::macOS;
    metadata.name = m_plan.name;
    metadata.createdAt = metadata.updatedAt = QDateTime::currentDateTimeUtc();
    metadata.diskSizeBytes = m_plan.hardwareProfile.diskSizeBytes;
    metadata.memorySizeBytes = m_plan.hardwareProfile.memorySizeBytes;
    metadata.cpuCount = m_plan.hardwareProfile.cpuCount;
    metadata.sharedFolderCount = m_plan.sharedFolders.size();
    metadata.hardwareProfile = m_plan.hardwareProfile;
    metadata.networkConfiguration = m_plan.networkConfiguration;
    metadata.mediaConfiguration = m_plan.mediaConfiguration;
    metadata.installSource = VMInstallSource::latestSupportedAutomatic();
    bundle.sharedFolders = m_plan.sharedFolders;
    return bundle;
}

QCoro::Task<QUuid> LinuxVMCreation::run(ProgressHandler progress)
{
    progress(VMInstallProgress::step(Stage::preparingBundle, 0.05, QStringLiteral("Creating VM bundle structure...")));
    // Refused before anything is made, so a refusal leaves no bundle behind.
    if (m_plan.hardwareProfile.diskSizeBytes < DiskImageService::minimumLinuxDiskSizeBytes)
        DiskImageService::roundedDiskSize(m_plan.hardwareProfile.diskSizeBytes, DiskImageService::minimumLinuxDiskSizeBytes);
    if (const std::optional<QUrl> local = m_plan.source.isoURL()) {
        const std::optional<QString> refusal = co_await BackgroundWork::run(&LinuxISOCheck::refusal, local->toLocalFile());
        if (refusal)
            throw VirtualMachineError::invalidOperation(*refusal);
    }

    VMBundle bundle = makeBundle();
    bundle.bundleURL = m.store.createBundleDirectory(m_plan.destinationDirectoryURL, m_plan.name);
    UnfinishedBundle unfinished(m.store, m.logging, bundle.bundleURL, bundle.id());
    bundle.metadata.bundleName = QFileInfo(bundle.bundleURL).fileName();
    bundle.metadata.normalize();
    m.store.updateBundle(bundle);
    m.store.trackBundle(bundle.bundleURL);
    m.logging.log(QStringLiteral("Created bundle skeleton for ") + m_plan.name, QStringLiteral("Store"), bundle.bundleURL);

    bundle.metadata.guestOSType = VMGuestOSType::linux;
    bundle.metadata.installState = VMInstallState::preparingBundle;
    bundle.metadata.installSourceSummary = m_plan.source.summary();
    m.store.updateBundle(bundle);
    m.guestTools.stageLinuxGuestTools(bundle);

    const VMBundle::Layout layout = bundle.layout();
    progress(VMInstallProgress::step(Stage::preparingBundle, 0.10, QStringLiteral("Creating disk image...")));
    const quint64 diskSize = DiskImageService().createDisk(
        layout.diskImageURL(), m_plan.hardwareProfile.diskSizeBytes, DiskImageService::minimumLinuxDiskSizeBytes);

    progress(VMInstallProgress::step(Stage::configuringLinuxEFI, 0.15, QStringLiteral("Creating EFI boot environment...")));
    m.linux.makeEFIVariableStore(layout.efiVariableStoreURL());
    const VMLinuxBootConfiguration boot {QString(), std::nullopt, m_plan.kernelCommandLine, m_plan.useRosetta};
    FileOperations::writeAtomically(layout.linuxBootURL(), sharedJSONEncoder().encode(boot));

    const QUuid id = bundle.id();
    const QString bundleURL = bundle.bundleURL;
    const bool copied = co_await fetchISO(bundleURL, progress);
    // A cancel that came while the finished download was being cached still ends the creation as cancelled.
    if (m_cancelled)
        throw VirtualMachineError(VirtualMachineError::Case::userCancelled);
    finish(id, diskSize);
    unfinished.keep();
    progress(VMInstallProgress::step(
        Stage::finalizing, 1.0, distributionLabel(m_plan.source) + QStringLiteral(" is ready. Start the VM to begin installation.")));
    const QString created = QStringLiteral("Created Linux VM '") + m_plan.name + QStringLiteral("' with EFI boot");
    m.logging.log(created, QStringLiteral("Wizard"));
    if (copied)
        m.logging.log(created + QStringLiteral(" and ISO attached"), QStringLiteral("Wizard"));
    co_return id;
}

QCoro::Task<bool> LinuxVMCreation::fetchISO(QString bundleURL, ProgressHandler progress)
{
    const QString isoURL = VMBundle::Layout {bundleURL}.linuxInstallISOURL();
    if (const std::optional<QUrl> local = m_plan.source.isoURL()) {
        co_await copyISO(local->toLocalFile(), isoURL,
            VMInstallProgress::step(Stage::preparingBundle, 0.20, QStringLiteral("Copying ISO to VM bundle...")), progress);
        co_return true;
    }
    const std::optional<LinuxDistribution> distribution = m_plan.source.distribution();
    if (!distribution || !distribution->isoURL)
        throw VirtualMachineError(
            VirtualMachineError::Case::invalidRestoreImage, QStringLiteral("No download URL for the selected Linux distribution."));
    const QString title = distribution->name + QLatin1Char(' ') + distribution->version;
    if (const std::optional<QString> cached = completeCachedISO(m.linux, *distribution->isoURL)) {
        co_await copyISO(*cached, isoURL,
            VMInstallProgress::step(Stage::downloadingLinuxISO, 0.50, QStringLiteral("Using cached ") + title + QStringLiteral(" ISO...")),
            progress);
        co_return true;
    }
    progress(VMInstallProgress::step(Stage::downloadingLinuxISO, 0.10, QStringLiteral("Downloading ") + title + QStringLiteral("...")));
    co_await download(*distribution->isoURL, isoURL, progress);
    co_return false;
}

QCoro::Task<> LinuxVMCreation::copyISO(QString source, QString isoURL, VMInstallProgress step, ProgressHandler progress)
{
    if (m_cancelled)
        throw VirtualMachineError(VirtualMachineError::Case::userCancelled);
    m_copyingISO = true;
    progress(step);
    try {
        co_await BackgroundWork::run(&SparseCopy::copyFileUnlessStopped, source, isoURL, SparseCopy::StopRequest(m_stopCopy));
    } catch (...) {
        m_copyingISO = false;
        if (m_cancelled)
            throw VirtualMachineError(VirtualMachineError::Case::userCancelled);
        throw;
    }
    m_copyingISO = false;
}

QCoro::Task<> LinuxVMCreation::download(QUrl url, QString isoURL, ProgressHandler progress)
{
    if (m_cancelled)
        throw VirtualMachineError(VirtualMachineError::Case::userCancelled);
    m_download = std::make_unique<LinuxISODownload>();
    const auto report = [progress](qint64 received, qint64 expected) {
        VMInstallProgress running = VMInstallProgress::step(Stage::downloadingLinuxISO, 0.10, downloadProgressText(received, expected));
        running.downloadedBytes = received;
        if (expected >= 1) {
            running.fractionCompleted = 0.10 + 0.85 * std::min(1.0, double(received) / double(expected));
            running.expectedBytes = expected;
        }
        progress(running);
    };
    // The download goes into the cache and is copied into the bundle from there, so what arrived before a break
    // outlives this creation and the next one resumes it.
    const std::optional<QString> cacheURL = m.linux.isoCacheFileURL(url);
    if (!cacheURL) {
        co_await m_download->run(url, isoURL, report);
        co_return;
    }
    co_await m_download->run(url, *cacheURL, report);
    co_await copyISO(*cacheURL, isoURL,
        VMInstallProgress::step(Stage::downloadingLinuxISO, 0.95, QStringLiteral("Copying ISO to VM bundle...")), progress);
}

void LinuxVMCreation::finish(const QUuid &id, quint64 diskSizeBytes) const
{
    // Re-read: a rename or colour tag made meanwhile must survive, and a deleted VM must not come back.
    std::optional<VMBundle> current = m.store.bundle(id);
    if (!current)
        throw VirtualMachineError::invalidOperation(QStringLiteral("The VM was deleted while it was being created."));
    VMMetadata &metadata = current->metadata;
    metadata.hardwareProfile.diskSizeBytes = diskSizeBytes;
    metadata.diskSizeBytes = diskSizeBytes;
    metadata.guestOSDisplayName = distributionLabel(m_plan.source);
    metadata.installState = VMInstallState::installed;
    metadata.runtimeState = VMRuntimeState::stopped;
    m.store.updateMetadata(*current);
}
