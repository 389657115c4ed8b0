// SPDX-License-Identifier: MIT
#include "VirtualMachineConfiguration.h"

#include "SystemHostCapacity.h"
#include "VirtualizationError.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

constexpr quint64 mebibyte = quint64(1) << 20;
/// QEMU refuses longer virtio-fs tags.
constexpr qsizetype maximumTagBytes = 36;
/// The kernel's limit on an interface name, IFNAMSIZ less the terminating zero.
constexpr qsizetype maximumInterfaceNameLength = 15;

[[noreturn]] void refuse(const QString &detail)
{
    throw VirtualizationError(VirtualizationError::Code::invalidConfiguration, detail);
}

QString macOSRefusal()
{
    return QStringLiteral("macOS cannot run on this host: QEMU cannot boot a macOS guest.");
}

void requireAtMostOne(qsizetype count, const QString &what)
{
    if (count > 1)
        refuse(QStringLiteral("A virtual machine on this host can have only one %1.").arg(what));
}

void validateBootLoader(const BootLoader &bootLoader)
{
    if (std::holds_alternative<MacOSBootLoader>(bootLoader))
        refuse(QStringLiteral("The macOS boot loader needs the Mac platform."));
    const auto &efi = std::get<EFIBootLoader>(bootLoader);
    if (!efi.variableStore)
        refuse(QStringLiteral("The EFI boot loader has no variable store."));
    if (!QFileInfo(efi.variableStore->url()).isFile())
        refuse(QStringLiteral("The EFI variable store does not exist: %1").arg(efi.variableStore->url()));
}

void validateStorage(const QList<StorageDeviceConfiguration> &devices)
{
    for (const StorageDeviceConfiguration &device : devices) {
        const QString &url = device.attachment.url;
        if (!QFileInfo(url).isFile())
            refuse(QStringLiteral("The disk image does not exist: %1").arg(url));
    }
}

void validateGraphics(const QList<GraphicsDeviceConfiguration> &devices)
{
    requireAtMostOne(devices.size(), QStringLiteral("graphics device"));
    for (const GraphicsDeviceConfiguration &device : devices) {
        if (device.kind == GraphicsDeviceConfiguration::Kind::mac)
            refuse(QStringLiteral("Mac graphics devices need the Mac platform."));
        if (device.displays.isEmpty())
            refuse(QStringLiteral("A graphics device needs a display."));
        requireAtMostOne(device.displays.size(), QStringLiteral("display"));
        for (const GraphicsDisplayConfiguration &display : device.displays) {
            if (display.widthInPixels <= 0 || display.heightInPixels <= 0)
                refuse(QStringLiteral("A display of %1 by %2 pixels is not possible.").arg(display.widthInPixels).arg(display.heightInPixels));
        }
    }
}

void validateSound(const QList<SoundDeviceConfiguration> &devices)
{
    requireAtMostOne(devices.size(), QStringLiteral("audio device"));
    for (const SoundDeviceConfiguration &device : devices) {
        if (device.streams.isEmpty())
            refuse(QStringLiteral("An audio device needs at least one stream."));
        qsizetype inputs = 0;
        for (const SoundStreamConfiguration &stream : device.streams)
            inputs += stream.direction == SoundStreamConfiguration::Direction::input ? 1 : 0;
        requireAtMostOne(inputs, QStringLiteral("audio input stream"));
        requireAtMostOne(device.streams.size() - inputs, QStringLiteral("audio output stream"));
    }
}

void validateInput(const QList<KeyboardConfiguration> &keyboards, const QList<PointingDeviceConfiguration> &pointingDevices)
{
    for (const KeyboardConfiguration &keyboard : keyboards) {
        if (keyboard.kind == KeyboardConfiguration::Kind::mac)
            refuse(QStringLiteral("The Mac keyboard needs the Mac platform."));
    }
    for (const PointingDeviceConfiguration &device : pointingDevices) {
        if (device.kind == PointingDeviceConfiguration::Kind::macTrackpad)
            refuse(QStringLiteral("The Mac trackpad needs the Mac platform."));
    }
}

bool isInterfaceName(const QString &name)
{
    if (name.isEmpty() || name.size() > maximumInterfaceNameLength || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (const QChar character : name) {
        const bool allowed = (character.unicode() < 0x80 && character.isLetterOrNumber()) || character == QLatin1Char('-')
                             || character == QLatin1Char('_') || character == QLatin1Char('.');
        if (!allowed)
            return false;
    }
    return true;
}

void validateNetwork(const QList<NetworkDeviceConfiguration> &devices)
{
    for (const NetworkDeviceConfiguration &device : devices) {
        if (const auto *bridged = std::get_if<BridgedNetworkDeviceAttachment>(&device.attachment)) {
            if (!isInterfaceName(bridged->interfaceIdentifier))
                refuse(QStringLiteral("\"%1\" is not the name of a network interface.").arg(bridged->interfaceIdentifier));
        }
        if (device.macAddress && device.macAddress->isMulticast())
            refuse(QStringLiteral("The MAC address %1 is a multicast address.").arg(device.macAddress->toString()));
    }
}

void validateSerialPorts(const QList<SerialPortConfiguration> &ports)
{
    requireAtMostOne(ports.size(), QStringLiteral("serial port"));
    for (const SerialPortConfiguration &port : ports) {
        if (!QDir::isAbsolutePath(port.outputFileURL) || !QFileInfo(QFileInfo(port.outputFileURL).absolutePath()).isDir())
            refuse(QStringLiteral("The serial port output file cannot be created: %1").arg(port.outputFileURL));
    }
}

void requireSharedFolder(const SharedDirectory &directory)
{
    if (!QDir::isAbsolutePath(directory.path) || !QFileInfo(directory.path).isDir())
        refuse(QStringLiteral("The shared folder does not exist: %1").arg(directory.path));
}

bool isShareName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") && !name.contains(QLatin1Char('/'))
           && !name.contains(QChar(0));
}

void validateDirectorySharing(const QList<VirtioFileSystemDeviceConfiguration> &devices)
{
    QSet<QString> tags;
    for (const VirtioFileSystemDeviceConfiguration &device : devices) {
        if (device.tag.isEmpty() || device.tag.toUtf8().size() > maximumTagBytes)
            refuse(QStringLiteral("The file-system tag \"%1\" must have 1 to %2 bytes.").arg(device.tag).arg(maximumTagBytes));
        if (tags.contains(device.tag))
            refuse(QStringLiteral("Two file-system devices have the tag \"%1\".").arg(device.tag));
        tags.insert(device.tag);
        if (const auto *single = std::get_if<SingleDirectoryShare>(&device.share)) {
            requireSharedFolder(single->directory);
            continue;
        }
        for (const MultipleDirectoryShare::Entry &entry : std::get<MultipleDirectoryShare>(device.share).entries()) {
            if (!isShareName(entry.name))
                refuse(QStringLiteral("\"%1\" cannot name a shared folder.").arg(entry.name));
            requireSharedFolder(entry.directory);
        }
    }
}

} // namespace

qint64 VirtualMachineConfiguration::maximumAllowedCPUCount(const HostCapacity &host)
{
    return std::max(host.processorCount, minimumAllowedCPUCount());
}

quint64 VirtualMachineConfiguration::maximumAllowedMemorySize(const HostCapacity &host)
{
    return std::max(host.physicalMemoryBytes / mebibyte * mebibyte, minimumAllowedMemorySize());
}

void VirtualMachineConfiguration::validate() const
{
    validate(systemHostCapacity());
}

void VirtualMachineConfiguration::validate(const HostCapacity &host) const
{
    if (std::holds_alternative<MacPlatformConfiguration>(platform))
        refuse(macOSRefusal());
    validateBootLoader(bootLoader);

    const qint64 maximumCPUs = maximumAllowedCPUCount(host);
    if (cpuCount < minimumAllowedCPUCount() || cpuCount > maximumCPUs)
        refuse(QStringLiteral("%1 CPUs were requested; this host allows %2 to %3.").arg(cpuCount).arg(minimumAllowedCPUCount()).arg(maximumCPUs));
    const quint64 maximumMemory = maximumAllowedMemorySize(host);
    if (memorySize < minimumAllowedMemorySize() || memorySize > maximumMemory)
        refuse(QStringLiteral("%1 MiB of memory were requested; this host allows %2 to %3 MiB.")
                   .arg(memorySize / mebibyte)
                   .arg(minimumAllowedMemorySize() / mebibyte)
                   .arg(maximumMemory / mebibyte));
    if (memorySize % mebibyte != 0)
        refuse(QStringLiteral("The memory size must be a whole number of MiB."));

    validateStorage(storageDevices);
    validateGraphics(graphicsDevices);
    validateSound(audioDevices);
    validateInput(keyboards, pointingDevices);
    validateNetwork(networkDevices);
    requireAtMostOne(memoryBalloonDevices.size(), QStringLiteral("memory balloon device"));
    validateSerialPorts(serialPorts);
    validateDirectorySharing(directorySharingDevices);
}

void VirtualMachineConfiguration::validateSaveRestoreSupport() const
{
    if (std::holds_alternative<MacPlatformConfiguration>(platform))
        throw VirtualizationError(VirtualizationError::Code::notSupported, macOSRefusal());
}
