// SPDX-License-Identifier: MIT
#pragma once

#include "DeviceConfigurations.h"
#include "MacOSRestoreImage.h"
#include "VMBuiltConfiguration.h"
#include "VMBundle.h"
#include "VMNetworkDeviceMaker.h"
#include "VirtualMachineConfiguration.h"

#include <QList>

#include <functional>

class HostNetworkService;
class SecurityScopedAccess;
class VMSharedFolderService;

/**
 * Turns a macOS bundle into a validated machine configuration: once by the
 * installer while it installs the system (buildMacConfiguration), and at
 * every start (buildMacRuntimeConfiguration). Reads the identity files,
 * attaches the disk and adds display, audio, input, network and, at run
 * time, the shared folders. Writes nothing and holds no state; GUI thread.
 *
 * QEMU cannot boot macOS, so on this host a macOS configuration always
 * reaches validation and is refused there with the layer's reason; the
 * missing and unreadable identity files are reported first.
 *
 * @code
 * const VMBuiltConfiguration built = builder.buildMacRuntimeConfiguration(bundle);
 * auto machine = factory.makeVirtualMachine(built.configuration, bundle.layout().logsDirectoryURL());
 * @endcode
 */
class VMConfigurationBuilder final
{
public:
    /// The last step of a build; throws VirtualizationError when this host cannot run the configuration.
    using Validation = std::function<void(const VirtualMachineConfiguration &)>;

    /// `access` is what the shared-folder service starts access with; the builder stops it when validation fails.
    VMConfigurationBuilder(const VMSharedFolderService &sharedFolderService, const HostNetworkService &hostNetworkService,
                           SecurityScopedAccess &access, Validation validation = &validateOnThisHost);

    /// The configuration to install into the bundle: no shared folders, and never any access started.
    VMBuiltConfiguration buildMacConfiguration(const VMBundle &bundle, const MacOSRestoreImage::ConfigurationRequirements &requirements) const;
    /// The configuration to run the bundle, with its shared folders.
    VMBuiltConfiguration buildMacRuntimeConfiguration(const VMBundle &bundle) const;

    /// The bundle's Disk.img, read-write, on a virtio block device.
    StorageDeviceConfiguration makeStorageDevice(const VMBundle &bundle) const;
    /// A Mac display of the profile's size and density, unchanged.
    GraphicsDeviceConfiguration makeGraphicsDevice(const VMBundle &bundle) const;
    /// None or one sound device: input (microphone on) before output (speaker on, or no media setting stored).
    QList<SoundDeviceConfiguration> makeAudioDevice(const VMBundle &bundle) const;
    /// NAT or the chosen bridge; throws VirtualMachineError (configurationValidationFailed) when the bridge cannot be had.
    NetworkDeviceConfiguration makeNetworkDevice(const VMBundle &bundle) const;

    /// VirtualMachineConfiguration::validate() against this host.
    static void validateOnThisHost(const VirtualMachineConfiguration &configuration);

private:
    struct InstallMinimums {
        qint64 cpuCount = 0;
        quint64 memorySize = 0;
    };

    VMBuiltConfiguration build(const VMBundle &bundle, const std::optional<InstallMinimums> &installMinimums) const;

    const VMSharedFolderService &m_sharedFolderService;
    SecurityScopedAccess &m_access;
    VMNetworkDeviceMaker m_networkDeviceMaker;
    Validation m_validation;
};
