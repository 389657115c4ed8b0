// SPDX-License-Identifier: MIT
#include "QemuCommandLine.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

constexpr quint64 mebibyte = quint64(1) << 20;
const QString memoryBalloonIdentifier = QStringLiteral("balloon0");

class Builder
{
public:
    void add(const QString &option, const QString &value) { m_arguments << option << value; }
    void add(const QString &option) { m_arguments << option; }
    void addJSON(const QString &option, const QJsonObject &value)
    {
        add(option, QString::fromUtf8(QJsonDocument(value).toJson(QJsonDocument::Compact)));
    }
    void device(const QJsonObject &value) { addJSON(QStringLiteral("-device"), value); }
    const QStringList &arguments() const { return m_arguments; }

private:
    QStringList m_arguments;
};

QString escaped(const QString &value)
{
    return QemuCommandLine::escapedOptionValue(value);
}

QString memoryMebibytes(quint64 bytes)
{
    return QStringLiteral("%1M").arg(bytes / mebibyte);
}

void addMachine(Builder &builder, const QemuCommandLine::Inputs &inputs)
{
    const VirtualMachineConfiguration &configuration = inputs.configuration;
    const bool sharesMemory = !configuration.directorySharingDevices.isEmpty();
    QString machine = QStringLiteral("virt,gic-version=max,pflash0=firmware-code,pflash1=firmware-vars");
    if (sharesMemory)
        machine += QStringLiteral(",memory-backend=ram");
    builder.add(QStringLiteral("-machine"), machine);
    builder.add(QStringLiteral("-accel"), inputs.profile.acceleratorName());
    builder.add(QStringLiteral("-cpu"), inputs.profile.cpuModel());
    builder.add(QStringLiteral("-smp"), QString::number(configuration.cpuCount));
    builder.add(QStringLiteral("-m"), memoryMebibytes(configuration.memorySize));
    // virtiofsd reaches into guest memory, which it can only do through a shared file descriptor. A file QEMU opens by
    // name, rather than a memfd of its own, is one a save may leave out and copy itself (x-ignore-shared).
    if (sharesMemory)
        builder.add(QStringLiteral("-object"), QStringLiteral("memory-backend-file,id=ram,size=%1,share=on,mem-path=%2")
                                                   .arg(memoryMebibytes(configuration.memorySize), escaped(inputs.paths.guestMemory)));
    builder.add(QStringLiteral("-uuid"), inputs.machineIdentifier.toString(QUuid::WithoutBraces));
}

void addFirmware(Builder &builder, const QemuCommandLine::Inputs &inputs)
{
    const auto &bootLoader = std::get<EFIBootLoader>(inputs.configuration.bootLoader);
    builder.addJSON(QStringLiteral("-blockdev"), {{QStringLiteral("driver"), QStringLiteral("file")},
                                                  {QStringLiteral("node-name"), QStringLiteral("firmware-code")},
                                                  {QStringLiteral("filename"), inputs.profile.firmwareCodePath},
                                                  {QStringLiteral("read-only"), true}});
    builder.addJSON(QStringLiteral("-blockdev"), {{QStringLiteral("driver"), QStringLiteral("file")},
                                                  {QStringLiteral("node-name"), QStringLiteral("firmware-vars")},
                                                  {QStringLiteral("filename"), bootLoader.variableStore->url()},
                                                  {QStringLiteral("read-only"), false}});
    builder.add(QStringLiteral("-fw_cfg"), QStringLiteral("name=opt/org.tianocore/IPv4PXESupport,string=n"));
    builder.add(QStringLiteral("-fw_cfg"), QStringLiteral("name=opt/org.tianocore/IPv6PXESupport,string=n"));
}

bool needsUSB(const VirtualMachineConfiguration &configuration)
{
    const bool usbStorage = std::any_of(configuration.storageDevices.begin(), configuration.storageDevices.end(), [](const auto &device) {
        return device.kind == StorageDeviceConfiguration::Kind::usbMassStorage;
    });
    return usbStorage || !configuration.keyboards.isEmpty() || !configuration.pointingDevices.isEmpty();
}

void addStorage(Builder &builder, const VirtualMachineConfiguration &configuration)
{
    using Attachment = DiskImageStorageDeviceAttachment;
    for (qsizetype index = 0; index < configuration.storageDevices.size(); ++index) {
        const StorageDeviceConfiguration &device = configuration.storageDevices[index];
        const Attachment &attachment = device.attachment;
        const QString node = QStringLiteral("disk%1").arg(index);
        const QJsonObject cache{{QStringLiteral("direct"), attachment.cachingMode == Attachment::CachingMode::uncached},
                                {QStringLiteral("no-flush"), attachment.synchronizationMode == Attachment::SynchronizationMode::none}};
        builder.addJSON(QStringLiteral("-blockdev"), {{QStringLiteral("driver"), QStringLiteral("file")},
                                                      {QStringLiteral("node-name"), node},
                                                      {QStringLiteral("filename"), attachment.url},
                                                      {QStringLiteral("read-only"), attachment.readOnly},
                                                      {QStringLiteral("cache"), cache}});
        QJsonObject options{{QStringLiteral("drive"), node}, {QStringLiteral("bootindex"), int(index)}};
        if (device.kind == StorageDeviceConfiguration::Kind::virtioBlock) {
            options.insert(QStringLiteral("driver"), QStringLiteral("virtio-blk-pci"));
        } else {
            options.insert(QStringLiteral("driver"), QStringLiteral("usb-storage"));
            options.insert(QStringLiteral("bus"), QStringLiteral("usb.0"));
            options.insert(QStringLiteral("removable"), true);
        }
        builder.device(options);
    }
}

void addDisplay(Builder &builder, const QemuCommandLine::Inputs &inputs)
{
    builder.add(QStringLiteral("-display"), QStringLiteral("none"));
    for (const GraphicsDeviceConfiguration &device : inputs.configuration.graphicsDevices) {
        const GraphicsDisplayConfiguration &display = device.displays.constFirst();
        builder.device({{QStringLiteral("driver"), QStringLiteral("virtio-gpu-pci")},
                        {QStringLiteral("xres"), display.widthInPixels},
                        {QStringLiteral("yres"), display.heightInPixels}});
    }
    if (!inputs.configuration.graphicsDevices.isEmpty())
        builder.add(QStringLiteral("-vnc"), QStringLiteral("unix:") + escaped(inputs.paths.displaySocket));
}

void addSound(Builder &builder, const QemuCommandLine::Inputs &inputs)
{
    for (const SoundDeviceConfiguration &device : inputs.configuration.audioDevices) {
        const bool hasInput = std::any_of(device.streams.begin(), device.streams.end(), [](const SoundStreamConfiguration &stream) {
            return stream.direction == SoundStreamConfiguration::Direction::input;
        });
        builder.add(QStringLiteral("-audiodev"), inputs.profile.audioDriver + QStringLiteral(",id=audio0"));
        builder.device({{QStringLiteral("driver"), QStringLiteral("intel-hda")}, {QStringLiteral("id"), QStringLiteral("sound0")}});
        // QEMU's HDA codecs come as output only or as input and output together.
        builder.device({{QStringLiteral("driver"), hasInput ? QStringLiteral("hda-duplex") : QStringLiteral("hda-output")},
                        {QStringLiteral("bus"), QStringLiteral("sound0.0")},
                        {QStringLiteral("audiodev"), QStringLiteral("audio0")}});
    }
}

void addInput(Builder &builder, const VirtualMachineConfiguration &configuration)
{
    for (qsizetype index = 0; index < configuration.keyboards.size(); ++index)
        builder.device({{QStringLiteral("driver"), QStringLiteral("usb-kbd")}, {QStringLiteral("bus"), QStringLiteral("usb.0")}});
    for (qsizetype index = 0; index < configuration.pointingDevices.size(); ++index)
        builder.device({{QStringLiteral("driver"), QStringLiteral("usb-tablet")}, {QStringLiteral("bus"), QStringLiteral("usb.0")}});
}

void addNetwork(Builder &builder, const QemuCommandLine::Inputs &inputs)
{
    const auto &devices = inputs.configuration.networkDevices;
    for (qsizetype index = 0; index < devices.size(); ++index) {
        const QString id = QStringLiteral("net%1").arg(index);
        if (const auto *bridged = std::get_if<BridgedNetworkDeviceAttachment>(&devices[index].attachment))
            builder.add(QStringLiteral("-netdev"), QStringLiteral("bridge,id=%1,br=%2").arg(id, bridged->interfaceIdentifier));
        else
            builder.add(QStringLiteral("-netdev"), QStringLiteral("user,id=%1").arg(id));
        builder.device({{QStringLiteral("driver"), QStringLiteral("virtio-net-pci")},
                        {QStringLiteral("netdev"), id},
                        {QStringLiteral("mac"), inputs.macAddresses[index].toString()}});
    }
}

void addSupportDevices(Builder &builder, const VirtualMachineConfiguration &configuration)
{
    for (qsizetype index = 0; index < configuration.entropyDevices.size(); ++index)
        builder.device({{QStringLiteral("driver"), QStringLiteral("virtio-rng-pci")}});
    // The guest hands freed memory back to the host while it runs, and names its free pages while its state is
    // saved, so that the save neither reads nor writes them; the hints arrive on a thread of their own.
    if (!configuration.memoryBalloonDevices.isEmpty()) {
        const QString thread = memoryBalloonIdentifier + QStringLiteral("-io");
        builder.add(QStringLiteral("-object"), QStringLiteral("iothread,id=") + thread);
        builder.device({{QStringLiteral("driver"), QStringLiteral("virtio-balloon-pci")},
                        {QStringLiteral("id"), memoryBalloonIdentifier},
                        {QStringLiteral("free-page-reporting"), true},
                        {QStringLiteral("free-page-hint"), true},
                        {QStringLiteral("iothread"), thread}});
    }
}

void addSerialPort(Builder &builder, const QemuCommandLine::Inputs &inputs)
{
    // The console goes to the pipe that feeds its capped log; the socket lets a console window type into it.
    if (!inputs.configuration.serialPorts.isEmpty()) {
        builder.add(QStringLiteral("-chardev"), QStringLiteral("socket,id=serial0,path=%1,server=on,wait=off,logfile=%2,logappend=on")
                                                    .arg(escaped(inputs.paths.serialSocket), escaped(inputs.paths.serialLog)));
        builder.add(QStringLiteral("-serial"), QStringLiteral("chardev:serial0"));
    }
}

void addDirectorySharing(Builder &builder, const QemuCommandLine::Inputs &inputs)
{
    const auto &devices = inputs.configuration.directorySharingDevices;
    for (qsizetype index = 0; index < devices.size(); ++index) {
        const QString id = QStringLiteral("fs%1").arg(index);
        builder.add(QStringLiteral("-chardev"), QStringLiteral("socket,id=%1,path=%2").arg(id, escaped(inputs.paths.fileSystemSockets[index])));
        builder.device({{QStringLiteral("driver"), QStringLiteral("vhost-user-fs-pci")},
                        {QStringLiteral("chardev"), id},
                        {QStringLiteral("tag"), devices[index].tag}});
    }
}

void addMonitor(Builder &builder, const QemuCommandLine::Inputs &inputs)
{
    builder.add(QStringLiteral("-chardev"), QStringLiteral("socket,id=monitor,path=%1,server=on,wait=off").arg(escaped(inputs.paths.monitorSocket)));
    builder.add(QStringLiteral("-mon"), QStringLiteral("chardev=monitor,mode=control"));
    builder.add(QStringLiteral("-pidfile"), inputs.paths.pidFile);
}

} // namespace

QStringList QemuCommandLine::arguments(const Inputs &inputs)
{
    const VirtualMachineConfiguration &configuration = inputs.configuration;
    Builder builder;
    builder.add(QStringLiteral("-nodefaults"));
    builder.add(QStringLiteral("-no-user-config"));
    addMachine(builder, inputs);
    addFirmware(builder, inputs);
    if (needsUSB(configuration))
        builder.device({{QStringLiteral("driver"), QStringLiteral("qemu-xhci")}, {QStringLiteral("id"), QStringLiteral("usb")}});
    addStorage(builder, configuration);
    addDisplay(builder, inputs);
    addSound(builder, inputs);
    addInput(builder, configuration);
    addNetwork(builder, inputs);
    addSupportDevices(builder, configuration);
    addSerialPort(builder, inputs);
    addDirectorySharing(builder, inputs);
    addMonitor(builder, inputs);
    builder.add(QStringLiteral("-S"));
    if (inputs.incomingState)
        builder.add(QStringLiteral("-incoming"), QStringLiteral("defer"));
    return builder.arguments();
}

QString QemuCommandLine::escapedOptionValue(QString value)
{
    return value.replace(QLatin1Char(','), QLatin1String(",,"));
}

QString QemuCommandLine::memoryBalloonPath()
{
    return QStringLiteral("/machine/peripheral/") + memoryBalloonIdentifier + QStringLiteral("/virtio-backend");
}
