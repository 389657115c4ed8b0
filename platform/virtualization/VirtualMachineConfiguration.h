// SPDX-License-Identifier: MIT
#pragma once

#include "BootLoader.h"
#include "DeviceConfigurations.h"
#include "DirectorySharing.h"
#include "HostCapacity.h"
#include "PlatformConfiguration.h"

#include <QList>
#include <QtGlobal>

/**
 * Everything a virtual machine is made of: platform, boot loader, CPUs,
 * memory and devices. A plain value; the configuration builders fill it in,
 * validate() checks it against this host, and a VirtualMachineFactory makes
 * a machine from it.
 *
 * @code
 * VirtualMachineConfiguration configuration;
 * configuration.bootLoader = EFIBootLoader{EFIVariableStore(layout.efiVariableStoreURL())};
 * configuration.cpuCount = 2;
 * configuration.memorySize = 2ull << 30;
 * configuration.storageDevices << StorageDeviceConfiguration{StorageDeviceConfiguration::Kind::virtioBlock, {layout.diskImageURL()}};
 * configuration.validate(); // throws VirtualizationError
 * @endcode
 */
struct VirtualMachineConfiguration {
    PlatformConfiguration platform = GenericPlatformConfiguration{};
    BootLoader bootLoader = EFIBootLoader{};
    qint64 cpuCount = 1;
    /// In bytes; a whole number of MiB.
    quint64 memorySize = minimumAllowedMemorySize();

    QList<StorageDeviceConfiguration> storageDevices;
    QList<GraphicsDeviceConfiguration> graphicsDevices;
    QList<SoundDeviceConfiguration> audioDevices;
    QList<KeyboardConfiguration> keyboards;
    QList<PointingDeviceConfiguration> pointingDevices;
    QList<NetworkDeviceConfiguration> networkDevices;
    QList<EntropyDeviceConfiguration> entropyDevices;
    QList<MemoryBalloonDeviceConfiguration> memoryBalloonDevices;
    QList<SerialPortConfiguration> serialPorts;
    QList<VirtioFileSystemDeviceConfiguration> directorySharingDevices;

    static constexpr qint64 minimumAllowedCPUCount() { return 1; }
    static constexpr quint64 minimumAllowedMemorySize() { return quint64(128) << 20; }
    /// As many CPUs as the host has.
    static qint64 maximumAllowedCPUCount(const HostCapacity &host);
    /// As much memory as the host has, rounded down to a whole MiB.
    static quint64 maximumAllowedMemorySize(const HostCapacity &host);

    /**
     * Checks that this host can run the configuration; the first problem is
     * thrown as VirtualizationError (invalidConfiguration) whose description
     * names it. A macOS configuration always fails: QEMU cannot boot macOS.
     */
    void validate() const;
    void validate(const HostCapacity &host) const;

    /**
     * Checks that the state of a machine made from this configuration can
     * be saved to a file and restored; throws VirtualizationError
     * (notSupported) saying why not: a macOS machine never can. What only
     * the running machine knows (migration blockers, whether its folders'
     * daemons migrate) is VirtualMachine::validateSaveMachineStateSupport().
     */
    void validateSaveRestoreSupport() const;

    bool operator==(const VirtualMachineConfiguration &) const = default;
};
