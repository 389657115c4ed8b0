// SPDX-License-Identifier: MIT
#include "QemuCommandLine.h"

#include "QtPrinters.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

namespace {

constexpr quint64 mebibyte = quint64(1) << 20;

class QemuCommandLineTest : public ::testing::Test
{
protected:
    QemuCommandLineTest()
    {
        inputs.configuration.platform = GenericPlatformConfiguration{};
        inputs.configuration.bootLoader = EFIBootLoader{EFIVariableStore(QStringLiteral("/vm/A,B.vm/EFIVariableStore.bin"))};
        inputs.configuration.cpuCount = 2;
        inputs.configuration.memorySize = 1024 * mebibyte;
        inputs.profile.firmwareCodePath = QStringLiteral("/usr/share/AAVMF/AAVMF_CODE.fd");
        inputs.profile.audioDriver = QStringLiteral("pa");
        inputs.machineIdentifier = QUuid(QStringLiteral("{12345678-9abc-def0-1234-56789abcdef0}"));
        inputs.paths = {QStringLiteral("/run/z/a/qmp.sock"), QStringLiteral("/run/z/a/vnc.sock"), QStringLiteral("/run/z/a/serial.sock"),
                        QStringLiteral("/run/z/a/qemu.pid"), {}, QStringLiteral("/run/z/a/serial,log"), {}};
    }

    QStringList arguments() const { return QemuCommandLine::arguments(inputs); }

    /// The values given to `option`, in order.
    QStringList values(const QString &option) const
    {
        const QStringList all = arguments();
        QStringList found;
        for (qsizetype index = 0; index + 1 < all.size(); ++index) {
            if (all[index] == option)
                found << all[index + 1];
        }
        return found;
    }

    /// The JSON -device values whose driver is `driver`.
    QList<QJsonObject> devices(const QString &driver) const
    {
        QList<QJsonObject> found;
        for (const QString &value : values(QStringLiteral("-device"))) {
            const QJsonObject device = QJsonDocument::fromJson(value.toUtf8()).object();
            if (device.value(QStringLiteral("driver")).toString() == driver)
                found << device;
        }
        return found;
    }

    QemuCommandLine::Inputs inputs;
};

TEST_F(QemuCommandLineTest, BareMachineStartsPausedWithFirmwareFlashAndNoDefaultDevices)
{
    const QStringList all = arguments();
    EXPECT_EQ(all.first(), QStringLiteral("-nodefaults"));
    EXPECT_TRUE(all.contains(QStringLiteral("-S")));
    EXPECT_FALSE(all.contains(QStringLiteral("-incoming")));
    EXPECT_EQ(values(QStringLiteral("-machine")), QStringList{QStringLiteral("virt,gic-version=max,pflash0=firmware-code,pflash1=firmware-vars")});
    EXPECT_EQ(values(QStringLiteral("-accel")), QStringList{QStringLiteral("tcg")});
    EXPECT_EQ(values(QStringLiteral("-cpu")), QStringList{QStringLiteral("max")});
    EXPECT_EQ(values(QStringLiteral("-smp")), QStringList{QStringLiteral("2")});
    EXPECT_EQ(values(QStringLiteral("-m")), QStringList{QStringLiteral("1024M")});
    EXPECT_EQ(values(QStringLiteral("-uuid")), QStringList{QStringLiteral("12345678-9abc-def0-1234-56789abcdef0")});
    EXPECT_EQ(values(QStringLiteral("-display")), QStringList{QStringLiteral("none")});
    EXPECT_TRUE(values(QStringLiteral("-vnc")).isEmpty());
    EXPECT_TRUE(values(QStringLiteral("-device")).isEmpty());
    EXPECT_EQ(values(QStringLiteral("-fw_cfg")), QStringList({QStringLiteral("name=opt/org.tianocore/IPv4PXESupport,string=n"),
                                                              QStringLiteral("name=opt/org.tianocore/IPv6PXESupport,string=n")}));

    const QStringList blockdevs = values(QStringLiteral("-blockdev"));
    ASSERT_EQ(blockdevs.size(), 2);
    const QJsonObject code = QJsonDocument::fromJson(blockdevs[0].toUtf8()).object();
    const QJsonObject vars = QJsonDocument::fromJson(blockdevs[1].toUtf8()).object();
    EXPECT_EQ(code.value(QStringLiteral("filename")).toString(), QStringLiteral("/usr/share/AAVMF/AAVMF_CODE.fd"));
    EXPECT_TRUE(code.value(QStringLiteral("read-only")).toBool());
    EXPECT_EQ(vars.value(QStringLiteral("filename")).toString(), QStringLiteral("/vm/A,B.vm/EFIVariableStore.bin")) << "JSON needs no comma escaping";
    EXPECT_FALSE(vars.value(QStringLiteral("read-only")).toBool());

    EXPECT_EQ(values(QStringLiteral("-chardev")), QStringList{QStringLiteral("socket,id=monitor,path=/run/z/a/qmp.sock,server=on,wait=off")});
    EXPECT_EQ(values(QStringLiteral("-mon")), QStringList{QStringLiteral("chardev=monitor,mode=control")});
    EXPECT_EQ(values(QStringLiteral("-pidfile")), QStringList{QStringLiteral("/run/z/a/qemu.pid")});
}

TEST_F(QemuCommandLineTest, KvmUsesTheHostCpuAndRestoringWaitsForIncomingState)
{
    inputs.profile.accelerator = HostProfile::Accelerator::kvm;
    inputs.incomingState = true;
    EXPECT_EQ(values(QStringLiteral("-accel")), QStringList{QStringLiteral("kvm")});
    EXPECT_EQ(values(QStringLiteral("-cpu")), QStringList{QStringLiteral("host")});
    EXPECT_EQ(values(QStringLiteral("-incoming")), QStringList{QStringLiteral("defer")});
    EXPECT_TRUE(arguments().contains(QStringLiteral("-S")));
}

TEST_F(QemuCommandLineTest, EveryDiskGetsABootIndexInOrderSoTheFirmwareSkipsNetworkBoot)
{
    using Attachment = DiskImageStorageDeviceAttachment;
    inputs.configuration.storageDevices
        << StorageDeviceConfiguration{StorageDeviceConfiguration::Kind::virtioBlock,
                                      {QStringLiteral("/vm/Disk.img"), false, Attachment::CachingMode::uncached, Attachment::SynchronizationMode::none}}
        << StorageDeviceConfiguration{StorageDeviceConfiguration::Kind::usbMassStorage, {QStringLiteral("/vm/LinuxInstall.iso"), true}};

    const QList<QJsonObject> blocks = devices(QStringLiteral("virtio-blk-pci"));
    const QList<QJsonObject> sticks = devices(QStringLiteral("usb-storage"));
    ASSERT_EQ(blocks.size(), 1);
    ASSERT_EQ(sticks.size(), 1);
    EXPECT_EQ(blocks[0].value(QStringLiteral("bootindex")).toInt(), 0);
    EXPECT_EQ(sticks[0].value(QStringLiteral("bootindex")).toInt(), 1);
    EXPECT_EQ(sticks[0].value(QStringLiteral("bus")).toString(), QStringLiteral("usb.0"));
    EXPECT_EQ(devices(QStringLiteral("qemu-xhci")).size(), 1);

    const QStringList blockdevs = values(QStringLiteral("-blockdev"));
    ASSERT_EQ(blockdevs.size(), 4);
    const QJsonObject disk = QJsonDocument::fromJson(blockdevs[2].toUtf8()).object();
    const QJsonObject iso = QJsonDocument::fromJson(blockdevs[3].toUtf8()).object();
    EXPECT_EQ(disk.value(QStringLiteral("node-name")).toString(), blocks[0].value(QStringLiteral("drive")).toString());
    EXPECT_TRUE(disk.value(QStringLiteral("cache")).toObject().value(QStringLiteral("direct")).toBool());
    EXPECT_TRUE(disk.value(QStringLiteral("cache")).toObject().value(QStringLiteral("no-flush")).toBool());
    EXPECT_FALSE(disk.value(QStringLiteral("read-only")).toBool());
    EXPECT_TRUE(iso.value(QStringLiteral("read-only")).toBool());
    EXPECT_FALSE(iso.value(QStringLiteral("cache")).toObject().value(QStringLiteral("direct")).toBool());
}

TEST_F(QemuCommandLineTest, DevicesOfALinuxMachine)
{
    inputs.configuration.graphicsDevices << GraphicsDeviceConfiguration{GraphicsDeviceConfiguration::Kind::virtio, {{1024, 768, std::nullopt}}};
    inputs.configuration.audioDevices << SoundDeviceConfiguration{{{SoundStreamConfiguration::Direction::output}}};
    inputs.configuration.keyboards << KeyboardConfiguration{};
    inputs.configuration.pointingDevices << PointingDeviceConfiguration{};
    inputs.configuration.networkDevices << NetworkDeviceConfiguration{NATNetworkDeviceAttachment{}, std::nullopt}
                                        << NetworkDeviceConfiguration{BridgedNetworkDeviceAttachment{QStringLiteral("br0")}, std::nullopt};
    inputs.macAddresses << *MACAddress::fromString(u"52:54:00:00:00:01") << *MACAddress::fromString(u"52:54:00:00:00:02");
    inputs.configuration.entropyDevices << EntropyDeviceConfiguration{};
    inputs.configuration.memoryBalloonDevices << MemoryBalloonDeviceConfiguration{};
    inputs.configuration.serialPorts << SerialPortConfiguration{QStringLiteral("/vm/A,B.vm/Logs/console.log")};

    const QList<QJsonObject> gpus = devices(QStringLiteral("virtio-gpu-pci"));
    ASSERT_EQ(gpus.size(), 1);
    EXPECT_EQ(gpus[0].value(QStringLiteral("xres")).toInt(), 1024);
    EXPECT_EQ(gpus[0].value(QStringLiteral("yres")).toInt(), 768);
    EXPECT_EQ(values(QStringLiteral("-vnc")), QStringList{QStringLiteral("unix:/run/z/a/vnc.sock")});

    EXPECT_EQ(values(QStringLiteral("-audiodev")), QStringList{QStringLiteral("pa,id=audio0")});
    EXPECT_EQ(devices(QStringLiteral("intel-hda")).size(), 1);
    EXPECT_EQ(devices(QStringLiteral("hda-output")).size(), 1);
    EXPECT_TRUE(devices(QStringLiteral("hda-duplex")).isEmpty());

    EXPECT_EQ(devices(QStringLiteral("qemu-xhci")).size(), 1);
    EXPECT_EQ(devices(QStringLiteral("usb-kbd")).size(), 1);
    EXPECT_EQ(devices(QStringLiteral("usb-tablet")).size(), 1);

    EXPECT_EQ(values(QStringLiteral("-netdev")), QStringList({QStringLiteral("user,id=net0"), QStringLiteral("bridge,id=net1,br=br0")}));
    const QList<QJsonObject> nics = devices(QStringLiteral("virtio-net-pci"));
    ASSERT_EQ(nics.size(), 2);
    EXPECT_EQ(nics[0].value(QStringLiteral("mac")).toString(), QStringLiteral("52:54:00:00:00:01"));
    EXPECT_EQ(nics[1].value(QStringLiteral("netdev")).toString(), QStringLiteral("net1"));

    EXPECT_EQ(devices(QStringLiteral("virtio-rng-pci")).size(), 1);
    EXPECT_EQ(devices(QStringLiteral("virtio-balloon-pci")).size(), 1);
    // Never the log file itself, which QEMU would let grow without end: the pipe its capped writer reads.
    EXPECT_EQ(values(QStringLiteral("-chardev")).first(),
              QStringLiteral("socket,id=serial0,path=/run/z/a/serial.sock,server=on,wait=off,logfile=/run/z/a/serial,,log,logappend=on"));
    EXPECT_EQ(values(QStringLiteral("-serial")), QStringList{QStringLiteral("chardev:serial0")});
    // No memory backend without shares: only the balloon's thread.
    EXPECT_EQ(values(QStringLiteral("-object")), QStringList{QStringLiteral("iothread,id=balloon0-io")});
}

TEST_F(QemuCommandLineTest, MicrophoneNeedsTheDuplexCodec)
{
    inputs.configuration.audioDevices << SoundDeviceConfiguration{{{SoundStreamConfiguration::Direction::input}}};
    EXPECT_EQ(devices(QStringLiteral("hda-duplex")).size(), 1);
    EXPECT_TRUE(devices(QStringLiteral("hda-output")).isEmpty());
}

TEST_F(QemuCommandLineTest, SharedFoldersUseVhostUserSocketsAndSharedMemory)
{
    inputs.configuration.directorySharingDevices << VirtioFileSystemDeviceConfiguration{QStringLiteral("duvuzodovevav-shared"), MultipleDirectoryShare{}};
    inputs.paths.fileSystemSockets << QStringLiteral("/run/z/a/fs0.sock");
    inputs.paths.guestMemory = QStringLiteral("/proc/self/fd/7");

    EXPECT_EQ(values(QStringLiteral("-machine")).first(), QStringLiteral("virt,gic-version=max,pflash0=firmware-code,pflash1=firmware-vars,memory-backend=ram"));
    EXPECT_EQ(values(QStringLiteral("-object")), QStringList{QStringLiteral("memory-backend-file,id=ram,size=1024M,share=on,mem-path=/proc/self/fd/7")});
    EXPECT_TRUE(values(QStringLiteral("-chardev")).contains(QStringLiteral("socket,id=fs0,path=/run/z/a/fs0.sock")));
    const QList<QJsonObject> shares = devices(QStringLiteral("vhost-user-fs-pci"));
    ASSERT_EQ(shares.size(), 1);
    EXPECT_EQ(shares[0].value(QStringLiteral("chardev")).toString(), QStringLiteral("fs0"));
    EXPECT_EQ(shares[0].value(QStringLiteral("tag")).toString(), QStringLiteral("duvuzodovevav-shared"));
}

// A guest gives the memory it freed back to the host, which the shared memory would otherwise keep allocated.
TEST_F(QemuCommandLineTest, TheBalloonOfAMachineWithSharesReportsAndHintsFreeMemory)
{
    inputs.configuration.directorySharingDevices << VirtioFileSystemDeviceConfiguration{QStringLiteral("duvuzodovevav-shared"), MultipleDirectoryShare{}};
    inputs.paths.fileSystemSockets << QStringLiteral("/run/z/a/fs0.sock");
    inputs.paths.guestMemory = QStringLiteral("/proc/self/fd/7");
    inputs.configuration.memoryBalloonDevices << MemoryBalloonDeviceConfiguration{};

    const QList<QJsonObject> balloons = devices(QStringLiteral("virtio-balloon-pci"));
    ASSERT_EQ(balloons.size(), 1);
    EXPECT_EQ(balloons[0].value(QStringLiteral("free-page-reporting")), QJsonValue(true));
    EXPECT_EQ(balloons[0].value(QStringLiteral("free-page-hint")), QJsonValue(true));
    EXPECT_EQ(QStringLiteral("/machine/peripheral/%1/virtio-backend").arg(balloons[0].value(QStringLiteral("id")).toString()),
              QemuCommandLine::memoryBalloonPath());
    // QEMU refuses free-page hints without an I/O thread to take them.
    const QString thread = balloons[0].value(QStringLiteral("iothread")).toString();
    ASSERT_FALSE(thread.isEmpty());
    EXPECT_EQ(values(QStringLiteral("-object")),
              QStringList({QStringLiteral("memory-backend-file,id=ram,size=1024M,share=on,mem-path=/proc/self/fd/7"), QStringLiteral("iothread,id=") + thread}));
}

TEST(QemuCommandLineEscapingTest, DoublesCommasOnly)
{
    EXPECT_EQ(QemuCommandLine::escapedOptionValue(QStringLiteral("/a,b,,c/d e")), QStringLiteral("/a,,b,,,,c/d e"));
}

} // namespace
