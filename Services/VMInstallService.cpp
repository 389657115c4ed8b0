// SPDX-License-Identifier: MIT
#include "VMInstallService.h"

#include "AuxiliaryStorageService.h"
#include "DiskImageService.h"
#include "ErrorText.h"
#include "LoggingService.h"
#include "MacOSInstallBackend.h"
#include "MachineIdentityService.h"
#include "RestoreImageCatalogService.h"
#include "RestoreImageDownloadService.h"
#include "SecurityScope.h"
#include "VMConfigurationBuilder.h"
#include "VMFirstBootService.h"
#include "VMGuestAutomationService.h"
#include "VMSharedFolderService.h"
#include "VMStore.h"
#include "VirtualMachineError.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

#include <exception>

namespace {

using Stage = VMInstallProgress::Stage;

VMInstallProgress report(Stage stage, double fraction, const QString &detail)
{
    VMInstallProgress progress;
    progress.stage = stage;
    progress.fractionCompleted = fraction;
    progress.detail = detail;
    return progress;
}

} // namespace

struct VMInstallService::ResolvedImage {
    RestoreImageInfo info;
    QString path;
};

/// Lets installer reports through only while the installation runs; reports may trail its end.
struct VMInstallService::InstallerGate {
    ProgressHandler handler;
    bool open = false;
};

VMInstallService::VMInstallService(Collaborators collaborators, QObject *parent)
    : QObject(parent)
    , m(collaborators)
{
}

QCoro::Task<VMBundle> VMInstallService::install(VMInstallRequest request, ProgressHandler progress)
{
    QPointer<VMInstallService> self(this);
    // A host that cannot install macOS is told so before a bundle is made or gigabytes are fetched.
    if (const std::optional<QString> refusal = m.backend.hostRefusal())
        throw VirtualMachineError(VirtualMachineError::Case::installFailed, *refusal);

    progress(report(Stage::preparingBundle, 0.03, QStringLiteral("Preparing VM bundle")));
    const QList<VMSharedFolder> sharedFolders = m.sharedFolderService.resolveSharedFolders(request.sharedFolders);
    VMBundle bundle = createBundle(request, sharedFolders);
    save(bundle);
    m.store.trackBundle(bundle.bundleURL);
    m.loggingService.log(QStringLiteral("Created bundle skeleton for ") + request.name, QStringLiteral("Store"), bundle.bundleURL);

    auto gate = std::make_shared<InstallerGate>();
    std::exception_ptr failure;
    try {
        {
            const SecurityScope scope(m.access, bundle.bundleURL);
            m.guestAutomationService.ensureAutomationRoot(bundle);
        }
        bundle.metadata.installState = VMInstallState::preparingBundle;
        save(bundle);
        const quint64 diskSize = m.diskImageService.createDisk(bundle.layout().diskImageURL(), request.hardwareProfile.diskSizeBytes);
        bundle.metadata.hardwareProfile.diskSizeBytes = diskSize;
        bundle.metadata.diskSizeBytes = diskSize;
        save(bundle);

        progress(report(Stage::resolvingRestoreImage, 0.12, QStringLiteral("Resolving restore image")));
        const ResolvedImage image = co_await resolveRestoreImage(request, bundle, progress);
        if (!self)
            throw VirtualMachineError(VirtualMachineError::Case::userCancelled);
        co_await installSystem(request, bundle, image, progress, gate);
        if (!self)
            throw VirtualMachineError(VirtualMachineError::Case::userCancelled);

        progress(report(Stage::finalizing, 0.98, QStringLiteral("Finalizing VM metadata")));
        bundle.metadata.installState = VMInstallState::installed;
        bundle.metadata.runtimeState = VMRuntimeState::stopped;
        save(bundle);
    } catch (...) {
        failure = std::current_exception();
    }
    gate->open = false;
    gate->handler = nullptr;
    if (failure) {
        if (self) {
            bundle.metadata.installState = VMInstallState::failed;
            try {
                save(bundle);
            } catch (...) {
                // The error that ended the installation is the one to report.
            }
            m.loggingService.log(ErrorText::describe(failure), QStringLiteral("Install"), bundle.bundleURL);
        }
        std::rethrow_exception(failure);
    }
    progress(report(Stage::finalizing, 1.0, QStringLiteral("macOS installation complete")));
    m.loggingService.log(QStringLiteral("Installed ") + request.name, QStringLiteral("Install"), bundle.bundleURL);
    co_return m.store.bundle(bundle.id()).value_or(bundle);
}

VMBundle VMInstallService::createBundle(const VMInstallRequest &request, const QList<VMSharedFolder> &sharedFolders) const
{
    const QString destination = QDir::cleanPath(QFileInfo(request.destinationDirectoryURL).absoluteFilePath());
    QString folder;
    {
        const SecurityScope scope(m.access, destination);
        folder = m.store.createBundleDirectory(destination, request.name);
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    VMMetadata metadata;
    metadata.schemaVersion = 2;
    metadata.id = QUuid::createUuid();
    metadata.guestOSType = VMGuestOSType::macOS;
    metadata.name = request.name;
    metadata.bundleName = QFileInfo(folder).fileName();
    metadata.createdAt = now;
    metadata.updatedAt = now;
    metadata.diskSizeBytes = request.hardwareProfile.diskSizeBytes;
    metadata.memorySizeBytes = request.hardwareProfile.memorySizeBytes;
    metadata.cpuCount = request.hardwareProfile.cpuCount;
    metadata.runtimeState = VMRuntimeState::stopped;
    metadata.installState = VMInstallState::notInstalled;
    metadata.sharedFolderCount = sharedFolders.size();
    metadata.hardwareProfile = request.hardwareProfile;
    metadata.networkConfiguration = request.networkConfiguration;
    metadata.mediaConfiguration = request.mediaConfiguration;
    metadata.installSource = request.installSource;
    metadata.normalize();
    return VMBundle{folder, metadata, sharedFolders, std::nullopt};
}

QCoro::Task<VMInstallService::ResolvedImage> VMInstallService::resolveRestoreImage(VMInstallRequest request, VMBundle &bundle,
                                                                                   ProgressHandler &progress)
{
    const VMInstallSource &source = request.installSource;
    if (const std::optional<QUrl> file = source.fileURL()) {
        bundle.metadata.installState = VMInstallState::preparingBundle;
        save(bundle);
        const RestoreImageInfo info = co_await m.restoreImageCatalogService.loadRestoreImage(*file);
        co_return ResolvedImage{info, file->toLocalFile()};
    }

    RestoreImageInfo info;
    QString downloadText;
    if (const std::optional<RestoreImageInfo> chosen = source.restoreImageInfo()) {
        info = *chosen;
        downloadText = QStringLiteral("Downloading ") + info.displayName;
    } else {
        info = co_await m.restoreImageCatalogService.fetchLatestRestoreImage();
        downloadText = QStringLiteral("Downloading latest supported macOS");
    }

    QUrl location;
    if (const std::optional<QUrl> cached = m.restoreImageDownloadService.cachedRestoreImageURL(info)) {
        location = *cached;
    } else {
        bundle.metadata.installState = VMInstallState::downloadingRestoreImage;
        save(bundle);
        progress(report(Stage::downloadingRestoreImage, 0.18, downloadText));
        const QString resumingText = QStringLiteral("Resuming ") + info.displayName;
        const auto forward = [&progress, downloadText, resumingText](const RestoreImageDownloadProgress &download) {
            VMInstallProgress mapped = report(Stage::downloadingRestoreImage, 0.18 + 0.14 * download.fractionCompleted,
                                              download.isResumingDownload ? resumingText : downloadText);
            mapped.downloadedBytes = download.downloadedBytes;
            mapped.expectedBytes = download.expectedBytes;
            mapped.bytesPerSecond = download.bytesPerSecond;
            mapped.estimatedTimeRemaining = download.estimatedTimeRemaining;
            mapped.isResumingDownload = download.isResumingDownload;
            progress(mapped);
        };
        location = co_await m.restoreImageDownloadService.download(info, forward);
    }
    info.localFileURL = location;
    info.downloadState = RestoreImageInfo::DownloadState::cachedLocally;
    co_return ResolvedImage{info, location.toLocalFile()};
}

QCoro::Task<> VMInstallService::installSystem(VMInstallRequest request, VMBundle &bundle, ResolvedImage image, ProgressHandler &progress,
                                              std::shared_ptr<InstallerGate> gate)
{
    const MacOSRestoreImage restoreImage = co_await m.backend.loadRestoreImage(image.path);
    if (!restoreImage.mostFeaturefulSupportedConfiguration)
        throw VirtualMachineError(VirtualMachineError::Case::invalidRestoreImage, QStringLiteral("This computer does not support the selected restore image."));
    const MacOSRestoreImage::ConfigurationRequirements &requirements = *restoreImage.mostFeaturefulSupportedConfiguration;

    progress(report(Stage::validatingRestoreImage, 0.35, QStringLiteral("Preparing machine identity")));
    m.machineIdentityService.writeIdentity(bundle.layout(), requirements.hardwareModel);
    m.auxiliaryStorageService.createAuxiliaryStorage(bundle.layout().auxiliaryStorageURL(), requirements.hardwareModel, true);
    bundle.firstBootConfig = m.firstBootService.prepareBootstrapFolder(bundle, request.bootstrapRequest);

    bundle.metadata.restoreImageInfo = image.info;
    bundle.metadata.guestOSDisplayName = image.info.displayName;
    bundle.metadata.guestBuildVersion = image.info.build;
    bundle.metadata.installState = VMInstallState::installingMacOS;
    save(bundle);

    progress(report(Stage::installingMacOS, 0.42, QStringLiteral("Installing macOS")));
    const VMBuiltConfiguration built = m.configurationBuilder.buildMacConfiguration(bundle, requirements);
    gate->handler = progress;
    gate->open = true;
    const auto forward = [gate](double fraction) {
        if (gate->open && gate->handler)
            gate->handler(report(Stage::installingMacOS, 0.42 + 0.54 * fraction, QStringLiteral("Installing macOS")));
    };
    std::exception_ptr failure;
    try {
        co_await m.backend.install(built.configuration, image.path, bundle.layout().logsDirectoryURL(), forward);
    } catch (...) {
        failure = std::current_exception();
    }
    gate->open = false;
    for (const QString &url : built.accessedSecurityScopedURLs)
        m.access.stopAccessing(url);
    if (failure)
        std::rethrow_exception(failure);
}

void VMInstallService::save(VMBundle &bundle) const
{
    m.store.updateBundle(bundle);
    if (const std::optional<VMBundle> stored = m.store.bundle(bundle.id()))
        bundle.metadata.updatedAt = stored->metadata.updatedAt;
}
