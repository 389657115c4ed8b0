// SPDX-License-Identifier: MIT
#include "VMLinuxService.h"

#include "AppDirectories.h"
#include "ConfinedFolder.h"
#include "FileOperations.h"
#include "ItemAttributes.h"
#include "LoggingService.h"
#include "PlatformError.h"
#include "SecurityScopedAccess.h"
#include "VMSharedFolderService.h"
#include "VirtualMachineError.h"
#include "VirtualizationError.h"

#include <QDir>

#include <algorithm>

VMLinuxService::VMLinuxService(const LoggingService &loggingService, const VMSharedFolderService &sharedFolderService,
                               const HostNetworkService &hostNetworkService, SecurityScopedAccess &access, QStringList variableStoreTemplates)
    : m_loggingService(loggingService)
    , m_sharedFolderService(sharedFolderService)
    , m_access(access)
    , m_networkDeviceMaker(hostNetworkService, QStringLiteral("No bridged network interface was selected for this Linux VM."))
    , m_variableStoreTemplates(std::move(variableStoreTemplates))
{
}

bool VMLinuxService::isLinuxEFIBundle(const VMBundle &bundle) const
{
    if (bundle.metadata.guestOSType == VMGuestOSType::linux)
        return true;
    const VMBundle::Layout layout = bundle.layout();
    return FileOperations::itemExists(layout.linuxBootURL()) || FileOperations::itemExists(layout.efiVariableStoreURL());
}

VMBuiltConfiguration VMLinuxService::makeConfiguration(const VMBundle &bundle, bool attachInstallISO) const
{
    const VMBundle::Layout layout = bundle.layout();
    const VMMetadata &metadata = bundle.metadata;
    VirtualMachineConfiguration configuration;

    const QString variableStoreURL = layout.efiVariableStoreURL();
    configuration.bootLoader = EFIBootLoader{FileOperations::itemExists(variableStoreURL) ? EFIVariableStore(variableStoreURL)
                                                                                           : makeEFIVariableStore(variableStoreURL)};
    configuration.platform = GenericPlatformConfiguration{};

    const VMHardwareProfile &profile = metadata.hardwareProfile;
    configuration.cpuCount = std::max(VirtualMachineConfiguration::minimumAllowedCPUCount(), profile.cpuCount);
    configuration.memorySize = std::max(VirtualMachineConfiguration::minimumAllowedMemorySize(), profile.memorySizeBytes);

    if (FileOperations::itemExists(layout.diskImageURL())) {
        DiskImageStorageDeviceAttachment disk;
        disk.url = layout.diskImageURL();
        disk.readOnly = false;
        disk.cachingMode = DiskImageStorageDeviceAttachment::CachingMode::automatic;
        disk.synchronizationMode = DiskImageStorageDeviceAttachment::SynchronizationMode::full;
        configuration.storageDevices << StorageDeviceConfiguration{StorageDeviceConfiguration::Kind::virtioBlock, disk};
    }
    if (attachInstallISO && FileOperations::itemExists(layout.linuxInstallISOURL()))
        configuration.storageDevices << StorageDeviceConfiguration{StorageDeviceConfiguration::Kind::usbMassStorage,
                                                                   makeDiskAttachment(layout.linuxInstallISOURL(), true)};

    configuration.graphicsDevices << GraphicsDeviceConfiguration{
        GraphicsDeviceConfiguration::Kind::virtio,
        {GraphicsDisplayConfiguration{std::min(profile.displayWidth, maximumScanoutWidth), std::min(profile.displayHeight, maximumScanoutHeight),
                                      std::nullopt}}};
    configuration.keyboards << KeyboardConfiguration{KeyboardConfiguration::Kind::usb};
    configuration.pointingDevices << PointingDeviceConfiguration{PointingDeviceConfiguration::Kind::usbScreenCoordinate};

    SoundDeviceConfiguration sound;
    const auto &media = metadata.mediaConfiguration;
    if (!media || media->isSpeakerEnabled)
        sound.streams << SoundStreamConfiguration{SoundStreamConfiguration::Direction::output};
    if (media && media->isMicrophoneEnabled)
        sound.streams << SoundStreamConfiguration{SoundStreamConfiguration::Direction::input};
    if (!sound.streams.isEmpty())
        configuration.audioDevices << sound;

    configuration.networkDevices << m_networkDeviceMaker.make(metadata.networkConfiguration);
    configuration.entropyDevices << EntropyDeviceConfiguration{};
    configuration.memoryBalloonDevices << MemoryBalloonDeviceConfiguration{};

    // QEMU appends the console to this file and would follow a link placed there (or in
    // place of Logs) out of the bundle; both are replaced by real items first.
    ConfinedFolder::create(layout.logsDirectoryURL());
    const QString consoleURL = layout.rootURL + QLatin1Char('/') + serialConsoleRelativePath.toString();
    if (FileOperations::itemExists(consoleURL) && ItemAttributes::status(consoleURL).kind == ItemAttributes::Status::Kind::link)
        FileOperations::removeItem(consoleURL);
    configuration.serialPorts << SerialPortConfiguration{consoleURL};

    const VMSharedFolderService::DirectorySharing sharing = m_sharedFolderService.makeDirectorySharingDevice(bundle);
    // A guest may ask for Rosetta in LinuxBoot.json, but no translation layer can be shared
    // with a guest on this host, so it always runs without one, as on a host without Rosetta.
    configuration.directorySharingDevices = sharing.devices;

    try {
        configuration.validate();
    } catch (const VirtualizationError &error) {
        for (const QString &url : sharing.accessedSecurityScopedURLs)
            m_access.stopAccessing(url);
        throw VirtualMachineError(VirtualMachineError::Case::configurationValidationFailed, error.localizedDescription());
    }

    m_loggingService.log(QStringLiteral("Built Linux EFI configuration for ") + metadata.name + QStringLiteral(" (ISO attached: ")
                             + (attachInstallISO ? QStringLiteral("true") : QStringLiteral("false")) + QLatin1Char(')'),
                         QStringLiteral("Linux"), bundle.bundleURL);
    return VMBuiltConfiguration{configuration, sharing.accessedSecurityScopedURLs};
}

EFIVariableStore VMLinuxService::makeEFIVariableStore(const QString &url) const
{
    return EFIVariableStore::create(url, MacAuxiliaryStorage::findVariableStoreTemplate(m_variableStoreTemplates));
}

DiskImageStorageDeviceAttachment VMLinuxService::makeDiskAttachment(const QString &url, bool readOnly) const
{
    DiskImageStorageDeviceAttachment attachment;
    attachment.url = url;
    attachment.readOnly = readOnly;
    return attachment;
}

QString VMLinuxService::isoCacheDirectory() const
{
    QString cache;
    try {
        cache = AppDirectories::cacheDirectory();
    } catch (const PlatformError &) {
        cache = QDir::tempPath() + QStringLiteral("/DuvuzodOvevavISOCache");
    }
    const QString directory = cache + QStringLiteral("/LinuxISOs");
    QDir().mkpath(directory);
    return directory;
}

std::optional<QString> VMLinuxService::isoCacheFileURL(const QUrl &remoteURL) const
{
    const QString name = remoteURL.fileName();
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return std::nullopt;
    return isoCacheDirectory() + QLatin1Char('/') + name;
}

std::optional<QString> VMLinuxService::cachedISOURL(const QUrl &remoteURL) const
{
    const std::optional<QString> candidate = isoCacheFileURL(remoteURL);
    if (!candidate)
        return std::nullopt;
    try {
        const ItemAttributes::Status status = ItemAttributes::status(*candidate);
        if (status.kind == ItemAttributes::Status::Kind::file && status.size > minimumCachedISOSize)
            return *candidate;
    } catch (const PlatformError &) {
    }
    return std::nullopt;
}
