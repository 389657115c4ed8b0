// SPDX-License-Identifier: MIT
#include "VirtualMachineConfiguration.h"

#include "QtPrinters.h"
#include "VirtualizationError.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>

namespace {

constexpr quint64 mebibyte = quint64(1) << 20;
const HostCapacity host{4, quint64(8) << 30};

/// A folder with a variable store, a disk and two folders to share, and a configuration that uses all of them.
class ConfigurationFiles
{
public:
    ConfigurationFiles()
    {
        touch(path(QStringLiteral("vars.fd")));
        touch(path(QStringLiteral("disk.img")));
        QDir().mkpath(path(QStringLiteral("Projects")));
        QDir().mkpath(path(QStringLiteral("Music")));
    }

    QString path(const QString &name) const { return m_directory.path() + QLatin1Char('/') + name; }

    VirtualMachineConfiguration full() const
    {
        VirtualMachineConfiguration configuration;
        configuration.platform = GenericPlatformConfiguration{QUuid::createUuid()};
        configuration.bootLoader = EFIBootLoader{EFIVariableStore(path(QStringLiteral("vars.fd")))};
        configuration.cpuCount = 2;
        configuration.memorySize = 1024 * mebibyte;
        configuration.storageDevices << StorageDeviceConfiguration{StorageDeviceConfiguration::Kind::virtioBlock, {path(QStringLiteral("disk.img"))}}
                                     << StorageDeviceConfiguration{StorageDeviceConfiguration::Kind::usbMassStorage, {path(QStringLiteral("disk.img")), true}};
        configuration.graphicsDevices << GraphicsDeviceConfiguration{GraphicsDeviceConfiguration::Kind::virtio, {{1024, 768, std::nullopt}}};
        configuration.audioDevices << SoundDeviceConfiguration{{{SoundStreamConfiguration::Direction::output}, {SoundStreamConfiguration::Direction::input}}};
        configuration.keyboards << KeyboardConfiguration{};
        configuration.pointingDevices << PointingDeviceConfiguration{};
        configuration.networkDevices << NetworkDeviceConfiguration{NATNetworkDeviceAttachment{}, std::nullopt}
                                     << NetworkDeviceConfiguration{BridgedNetworkDeviceAttachment{QStringLiteral("br0")}, MACAddress::randomLocallyAdministered()};
        configuration.entropyDevices << EntropyDeviceConfiguration{};
        configuration.memoryBalloonDevices << MemoryBalloonDeviceConfiguration{};
        configuration.serialPorts << SerialPortConfiguration{path(QStringLiteral("console.log"))};
        MultipleDirectoryShare share;
        share.insert(QStringLiteral("Projects"), {path(QStringLiteral("Projects")), false});
        share.insert(QStringLiteral("Music"), {path(QStringLiteral("Music")), true});
        configuration.directorySharingDevices << VirtioFileSystemDeviceConfiguration{QStringLiteral("shared"), share};
        return configuration;
    }

private:
    static void touch(const QString &file)
    {
        QFile handle(file);
        ASSERT_TRUE(handle.open(QIODevice::WriteOnly));
    }

    QTemporaryDir m_directory;
};

QString refusal(const VirtualMachineConfiguration &configuration)
{
    try {
        configuration.validate(host);
    } catch (const VirtualizationError &error) {
        EXPECT_EQ(error.code(), VirtualizationError::Code::invalidConfiguration);
        return error.localizedDescription();
    }
    return {};
}

TEST(VirtualMachineConfigurationTest, AcceptsAConfigurationWithEveryKindOfDevice)
{
    const ConfigurationFiles files;
    EXPECT_EQ(refusal(files.full()), QString());
    VirtualMachineConfiguration bare;
    bare.bootLoader = files.full().bootLoader;
    EXPECT_EQ(refusal(bare), QString()) << "a bare machine is valid too";
}

TEST(VirtualMachineConfigurationTest, LimitsFollowTheHost)
{
    EXPECT_EQ(VirtualMachineConfiguration::maximumAllowedCPUCount(host), 4);
    EXPECT_EQ(VirtualMachineConfiguration::maximumAllowedMemorySize({4, 8192 * mebibyte + 5}), 8192 * mebibyte);
    EXPECT_EQ(VirtualMachineConfiguration::maximumAllowedCPUCount({}), VirtualMachineConfiguration::minimumAllowedCPUCount());
}

struct Refusal {
    const char *name;
    std::function<void(VirtualMachineConfiguration &, const ConfigurationFiles &)> change;
    const char *expected;
};

class VirtualMachineConfigurationRefusalTest : public ::testing::TestWithParam<Refusal>
{
};

TEST_P(VirtualMachineConfigurationRefusalTest, NamesTheProblem)
{
    const ConfigurationFiles files;
    VirtualMachineConfiguration configuration = files.full();
    GetParam().change(configuration, files);
    const QString description = refusal(configuration);
    EXPECT_TRUE(description.contains(QString::fromUtf8(GetParam().expected))) << description.toStdString();
}

using Config = VirtualMachineConfiguration;
using Files = ConfigurationFiles;

INSTANTIATE_TEST_SUITE_P(
    Problems, VirtualMachineConfigurationRefusalTest,
    ::testing::Values(
        Refusal{"MacPlatform",
                [](Config &c, const Files &f) {
                    c.platform = MacPlatformConfiguration{MacHardwareModel(QByteArray("m")), MacMachineIdentifier::generate(),
                                                          MacAuxiliaryStorage(f.path(QStringLiteral("aux")))};
                },
                "QEMU cannot boot a macOS guest"},
        Refusal{"MacBootLoader", [](Config &c, const Files &) { c.bootLoader = MacOSBootLoader{}; }, "needs the Mac platform"},
        Refusal{"NoVariableStore", [](Config &c, const Files &) { c.bootLoader = EFIBootLoader{}; }, "no variable store"},
        Refusal{"MissingVariableStore",
                [](Config &c, const Files &f) { c.bootLoader = EFIBootLoader{EFIVariableStore(f.path(QStringLiteral("gone.fd")))}; },
                "gone.fd"},
        Refusal{"NoCPU", [](Config &c, const Files &) { c.cpuCount = 0; }, "0 CPUs"},
        Refusal{"MoreCPUsThanTheHost", [](Config &c, const Files &) { c.cpuCount = 5; }, "1 to 4"},
        Refusal{"TooLittleMemory", [](Config &c, const Files &) { c.memorySize = 64 * mebibyte; }, "64 MiB"},
        Refusal{"MoreMemoryThanTheHost", [](Config &c, const Files &) { c.memorySize = 9 * 1024 * mebibyte; }, "128 to 8192 MiB"},
        Refusal{"PartOfAMebibyte", [](Config &c, const Files &) { c.memorySize += 1; }, "whole number of MiB"},
        Refusal{"MissingDisk",
                [](Config &c, const Files &f) { c.storageDevices[1].attachment.url = f.path(QStringLiteral("gone.img")); },
                "gone.img"},
        Refusal{"MacGraphics", [](Config &c, const Files &) { c.graphicsDevices[0].kind = GraphicsDeviceConfiguration::Kind::mac; }, "Mac platform"},
        Refusal{"TwoGraphicsDevices", [](Config &c, const Files &) { c.graphicsDevices << c.graphicsDevices[0]; }, "one graphics device"},
        Refusal{"EmptyDisplay", [](Config &c, const Files &) { c.graphicsDevices[0].displays[0].heightInPixels = 0; }, "1024 by 0"},
        Refusal{"SilentAudio", [](Config &c, const Files &) { c.audioDevices[0].streams.clear(); }, "at least one stream"},
        Refusal{"TwoOutputs",
                [](Config &c, const Files &) { c.audioDevices[0].streams << SoundStreamConfiguration{SoundStreamConfiguration::Direction::output}; },
                "one audio output stream"},
        Refusal{"MacKeyboard", [](Config &c, const Files &) { c.keyboards[0].kind = KeyboardConfiguration::Kind::mac; }, "Mac keyboard"},
        Refusal{"Trackpad", [](Config &c, const Files &) { c.pointingDevices[0].kind = PointingDeviceConfiguration::Kind::macTrackpad; }, "trackpad"},
        Refusal{"BridgeNameWithOptions",
                [](Config &c, const Files &) { c.networkDevices[1].attachment = BridgedNetworkDeviceAttachment{QStringLiteral("br0,helper=/x")}; },
                "br0,helper=/x"},
        Refusal{"MulticastMAC",
                [](Config &c, const Files &) { c.networkDevices[0].macAddress = MACAddress({0x01, 0, 0x5e, 0, 0, 1}); },
                "01:00:5e:00:00:01"},
        Refusal{"TwoBalloons", [](Config &c, const Files &) { c.memoryBalloonDevices << MemoryBalloonDeviceConfiguration{}; }, "memory balloon"},
        Refusal{"TwoSerialPorts", [](Config &c, const Files &) { c.serialPorts << c.serialPorts[0]; }, "one serial port"},
        Refusal{"SerialOutputInMissingFolder",
                [](Config &c, const Files &f) { c.serialPorts[0].outputFileURL = f.path(QStringLiteral("gone/console.log")); },
                "gone/console.log"},
        Refusal{"LongTag",
                [](Config &c, const Files &) { c.directorySharingDevices[0].tag = QString(37, QLatin1Char('t')); },
                "1 to 36 bytes"},
        Refusal{"DuplicateTag",
                [](Config &c, const Files &) { c.directorySharingDevices << c.directorySharingDevices[0]; },
                "Two file-system devices"},
        Refusal{"ShareNameClimbingOut",
                [](Config &c, const Files &f) {
                    MultipleDirectoryShare share;
                    share.insert(QStringLiteral(".."), {f.path(QStringLiteral("Music")), false});
                    c.directorySharingDevices[0].share = share;
                },
                "\"..\" cannot name"},
        Refusal{"ShareNameWithSlash",
                [](Config &c, const Files &f) {
                    MultipleDirectoryShare share;
                    share.insert(QStringLiteral("a/b"), {f.path(QStringLiteral("Music")), false});
                    c.directorySharingDevices[0].share = share;
                },
                "\"a/b\" cannot name"},
        Refusal{"MissingSharedFolder",
                [](Config &c, const Files &f) {
                    c.directorySharingDevices[0].share = SingleDirectoryShare{{f.path(QStringLiteral("gone")), true}};
                },
                "shared folder does not exist"}),
    [](const ::testing::TestParamInfo<Refusal> &info) { return std::string(info.param.name); });

TEST(VirtualMachineConfigurationTest, SaveRestoreIsRefusedOnlyForMacOS)
{
    // Shared folders migrate with their daemon; whether this machine can be saved is asked of it while it runs.
    const ConfigurationFiles files;
    VirtualMachineConfiguration configuration = files.full();
    ASSERT_FALSE(configuration.directorySharingDevices.isEmpty());
    EXPECT_NO_THROW(configuration.validateSaveRestoreSupport());

    configuration.platform = MacPlatformConfiguration{MacHardwareModel(QByteArray("m")), MacMachineIdentifier::generate(),
                                                      MacAuxiliaryStorage(files.path(QStringLiteral("aux")))};
    EXPECT_THROW(configuration.validateSaveRestoreSupport(), VirtualizationError);
}

} // namespace
