// SPDX-License-Identifier: MIT
#include "VMConfigurationBuilder.h"

#include "FileOperations.h"
#include "SecurityScopedAccess.h"
#include "VMSharedFolderService.h"
#include "VirtualMachineError.h"
#include "VirtualizationError.h"

#include <QFileInfo>

#include <algorithm>

namespace {

/// The bytes of a bundle file that must exist; a missing one is named by its file name.
QByteArray readRequiredFile(const QString &url)
{
    if (!FileOperations::itemExists(url))
        throw VirtualMachineError::missingBundleFile(QFileInfo(url).fileName());
    return FileOperations::readFile(url);
}

void requireFile(const QString &url)
{
    if (!FileOperations::itemExists(url))
        throw VirtualMachineError::missingBundleFile(QFileInfo(url).fileName());
}

} // namespace

VMConfigurationBuilder::VMConfigurationBuilder(const VMSharedFolderService &sharedFolderService, const HostNetworkService &hostNetworkService,
                                               SecurityScopedAccess &access, Validation validation)
    : m_sharedFolderService(sharedFolderService)
    , m_access(access)
    , m_networkDeviceMaker(hostNetworkService, QStringLiteral("No bridged network interface was selected for this VM."))
    , m_validation(std::move(validation))
{
}

VMBuiltConfiguration VMConfigurationBuilder::buildMacConfiguration(const VMBundle &bundle,
                                                                   const MacOSRestoreImage::ConfigurationRequirements &requirements) const
{
    return build(bundle, InstallMinimums{requirements.minimumSupportedCPUCount, requirements.minimumSupportedMemorySize});
}

VMBuiltConfiguration VMConfigurationBuilder::buildMacRuntimeConfiguration(const VMBundle &bundle) const
{
    return build(bundle, std::nullopt);
}

VMBuiltConfiguration VMConfigurationBuilder::build(const VMBundle &bundle, const std::optional<InstallMinimums> &installMinimums) const
{
    const VMBundle::Layout layout = bundle.layout();
    const auto hardwareModel = MacHardwareModel::fromDataRepresentation(readRequiredFile(layout.hardwareModelURL()));
    if (!hardwareModel)
        throw VirtualMachineError::invalidBundle(QStringLiteral("Hardware model data is invalid."));
    const auto machineIdentifier = MacMachineIdentifier::fromDataRepresentation(readRequiredFile(layout.machineIdentifierURL()));
    if (!machineIdentifier)
        throw VirtualMachineError::invalidBundle(QStringLiteral("Machine identifier data is invalid."));
    requireFile(layout.auxiliaryStorageURL());
    const MacAuxiliaryStorage auxiliaryStorage(layout.auxiliaryStorageURL());
    requireFile(layout.diskImageURL());

    VirtualMachineConfiguration configuration;
    configuration.bootLoader = MacOSBootLoader{};
    configuration.platform = MacPlatformConfiguration{*hardwareModel, *machineIdentifier, auxiliaryStorage};

    const VMHardwareProfile &profile = bundle.metadata.hardwareProfile;
    qint64 cpuFloor = VirtualMachineConfiguration::minimumAllowedCPUCount();
    quint64 memoryFloor = VirtualMachineConfiguration::minimumAllowedMemorySize();
    if (installMinimums) {
        cpuFloor = std::max(cpuFloor, installMinimums->cpuCount);
        memoryFloor = std::max(memoryFloor, installMinimums->memorySize);
    }
    configuration.cpuCount = std::max(cpuFloor, profile.cpuCount);
    configuration.memorySize = std::max(memoryFloor, profile.memorySizeBytes);

    configuration.storageDevices = {makeStorageDevice(bundle)};
    configuration.graphicsDevices = {makeGraphicsDevice(bundle)};
    configuration.audioDevices = makeAudioDevice(bundle);
    configuration.keyboards = {KeyboardConfiguration{KeyboardConfiguration::Kind::mac}, KeyboardConfiguration{KeyboardConfiguration::Kind::usb}};
    configuration.pointingDevices = {PointingDeviceConfiguration{PointingDeviceConfiguration::Kind::macTrackpad},
                                     PointingDeviceConfiguration{PointingDeviceConfiguration::Kind::usbScreenCoordinate}};
    configuration.networkDevices = {makeNetworkDevice(bundle)};

    VMSharedFolderService::DirectorySharing sharing;
    if (!installMinimums)
        sharing = m_sharedFolderService.makeDirectorySharingDevice(bundle);
    configuration.directorySharingDevices = sharing.devices;

    try {
        m_validation(configuration);
    } catch (const VirtualizationError &error) {
        for (const QString &url : sharing.accessedSecurityScopedURLs)
            m_access.stopAccessing(url);
        throw VirtualMachineError(VirtualMachineError::Case::configurationValidationFailed, error.localizedDescription());
    }
    return VMBuiltConfiguration{configuration, sharing.accessedSecurityScopedURLs};
}

StorageDeviceConfiguration VMConfigurationBuilder::makeStorageDevice(const VMBundle &bundle) const
{
    DiskImageStorageDeviceAttachment attachment;
    attachment.url = bundle.layout().diskImageURL();
    attachment.readOnly = false;
    attachment.cachingMode = DiskImageStorageDeviceAttachment::CachingMode::automatic;
    attachment.synchronizationMode = DiskImageStorageDeviceAttachment::SynchronizationMode::full;
    return StorageDeviceConfiguration{StorageDeviceConfiguration::Kind::virtioBlock, attachment};
}

GraphicsDeviceConfiguration VMConfigurationBuilder::makeGraphicsDevice(const VMBundle &bundle) const
{
    const VMHardwareProfile &profile = bundle.metadata.hardwareProfile;
    return GraphicsDeviceConfiguration{GraphicsDeviceConfiguration::Kind::mac,
                                       {GraphicsDisplayConfiguration{profile.displayWidth, profile.displayHeight, profile.displayPixelsPerInch}}};
}

QList<SoundDeviceConfiguration> VMConfigurationBuilder::makeAudioDevice(const VMBundle &bundle) const
{
    using Direction = SoundStreamConfiguration::Direction;
    const auto &media = bundle.metadata.mediaConfiguration;
    SoundDeviceConfiguration device;
    if (media && media->isMicrophoneEnabled)
        device.streams << SoundStreamConfiguration{Direction::input};
    if (!media || media->isSpeakerEnabled)
        device.streams << SoundStreamConfiguration{Direction::output};
    if (device.streams.isEmpty())
        return {};
    return {device};
}

NetworkDeviceConfiguration VMConfigurationBuilder::makeNetworkDevice(const VMBundle &bundle) const
{
    return m_networkDeviceMaker.make(bundle.metadata.networkConfiguration);
}

void VMConfigurationBuilder::validateOnThisHost(const VirtualMachineConfiguration &configuration)
{
    configuration.validate();
}
