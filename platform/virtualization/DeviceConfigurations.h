// SPDX-License-Identifier: MIT
#pragma once

#include "MACAddress.h"

#include <QList>
#include <QString>
#include <QtGlobal>

#include <optional>
#include <variant>

/*
 * The devices of a machine configuration: plain values that QemuCommandLine
 * turns into QEMU devices and VirtualMachineConfiguration::validate() checks.
 * Directory sharing has its own records in DirectorySharing.h.
 */

/// A raw disk image file behind a storage device.
struct DiskImageStorageDeviceAttachment {
    enum class CachingMode { automatic, cached, uncached };
    enum class SynchronizationMode { full, fsync, none };

    /// The image file, an absolute path.
    QString url;
    bool readOnly = false;
    /// Uncached bypasses the host's page cache (O_DIRECT); the others use it.
    CachingMode cachingMode = CachingMode::automatic;
    /// None ignores the guest's flushes; full and fsync pass them to the host file.
    SynchronizationMode synchronizationMode = SynchronizationMode::full;

    bool operator==(const DiskImageStorageDeviceAttachment &) const = default;
};

/// A disk as the guest sees it: a virtio block device, or a USB stick (how installer images are attached).
struct StorageDeviceConfiguration {
    enum class Kind { virtioBlock, usbMassStorage };

    Kind kind = Kind::virtioBlock;
    DiskImageStorageDeviceAttachment attachment;

    bool operator==(const StorageDeviceConfiguration &) const = default;
};

/// One display of a graphics device.
struct GraphicsDisplayConfiguration {
    qint64 widthInPixels = 0;
    qint64 heightInPixels = 0;
    /// Only Mac displays have a density.
    std::optional<qint64> pixelsPerInch;

    bool operator==(const GraphicsDisplayConfiguration &) const = default;
};

struct GraphicsDeviceConfiguration {
    enum class Kind { virtio, mac };

    Kind kind = Kind::virtio;
    QList<GraphicsDisplayConfiguration> displays;

    bool operator==(const GraphicsDeviceConfiguration &) const = default;
};

/// One stream of a sound device, fed from the host's input or played on its output.
struct SoundStreamConfiguration {
    enum class Direction { input, output };

    Direction direction = Direction::output;

    bool operator==(const SoundStreamConfiguration &) const = default;
};

struct SoundDeviceConfiguration {
    QList<SoundStreamConfiguration> streams;

    bool operator==(const SoundDeviceConfiguration &) const = default;
};

struct KeyboardConfiguration {
    enum class Kind { usb, mac };

    Kind kind = Kind::usb;

    bool operator==(const KeyboardConfiguration &) const = default;
};

struct PointingDeviceConfiguration {
    /// A screen-coordinate (absolute) pointer, or the Mac trackpad.
    enum class Kind { usbScreenCoordinate, macTrackpad };

    Kind kind = Kind::usbScreenCoordinate;

    bool operator==(const PointingDeviceConfiguration &) const = default;
};

/// The guest reaches the host's networks through address translation.
struct NATNetworkDeviceAttachment {
    bool operator==(const NATNetworkDeviceAttachment &) const = default;
};

/// The guest sits on the host bridge named `interfaceIdentifier`, as another machine on that network.
struct BridgedNetworkDeviceAttachment {
    QString interfaceIdentifier;

    bool operator==(const BridgedNetworkDeviceAttachment &) const = default;
};

using NetworkDeviceAttachment = std::variant<NATNetworkDeviceAttachment, BridgedNetworkDeviceAttachment>;

/// A virtio network device.
struct NetworkDeviceConfiguration {
    NetworkDeviceAttachment attachment;
    /// Absent: the machine gives the device a random address of its own.
    std::optional<MACAddress> macAddress;

    bool operator==(const NetworkDeviceConfiguration &) const = default;
};

/// A virtio random-number device fed from the host.
struct EntropyDeviceConfiguration {
    bool operator==(const EntropyDeviceConfiguration &) const = default;
};

/// A virtio memory balloon, through which the guest can hand memory back.
struct MemoryBalloonDeviceConfiguration {
    bool operator==(const MemoryBalloonDeviceConfiguration &) const = default;
};

/**
 * The machine's console port: the serial port the firmware and the guest's
 * kernel write their console to. Everything it prints is appended to
 * `outputFileURL`.
 */
struct SerialPortConfiguration {
    QString outputFileURL;

    bool operator==(const SerialPortConfiguration &) const = default;
};
