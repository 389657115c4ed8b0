// SPDX-License-Identifier: MIT
#include "TestFiles.h"
#include "RecordingFakes.h"
#include "TestBundle.h"
#include "VMLinuxService.h"

#include "FileBookmarkService.h"
#include "HostNetworkService.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "PlatformError.h"
#include "QtPrinters.h"
#include "SecurityScopedAccess.h"
#include "TemporaryHome.h"
#include "VMLinuxBootConfiguration.h"
#include "VMSharedFolderService.h"
#include "VirtualMachineError.h"
#include "VirtualMachineErrorExpectation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <optional>

namespace {

using TestFiles::read;
using TestFiles::write;

constexpr quint64 mebibyte = quint64(1) << 20;

/// A Linux bundle with a disk and an installer ISO, and a small stand-in for the firmware's variable-store template.
class VMLinuxServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(m_bundle.bundleURL));
        ASSERT_TRUE(QDir().mkpath(m_home.path() + QStringLiteral("/net")));
        write(m_template, QByteArray(4096, 'V'));
        write(at(VMBundle::Layout::diskImageFileName), QByteArrayLiteral("disk"));
        write(at(VMBundle::Layout::linuxInstallImageFileName), QByteArrayLiteral("iso"));
    }

    QString at(QStringView name) const { return m_bundle.bundleURL + QLatin1Char('/') + name.toString(); }
    QString bundleLog() const { return QString::fromUtf8(read(at(u"Logs/duvuzodovevav.log"))); }

    TemporaryHome m_home;
    VMBundle m_bundle = TestBundle(m_home.path() + QStringLiteral("/Ubuntu.vm"))
                            .guest(VMGuestOSType::linux)
                            .hardware({2, 1024 * mebibyte, 64ull << 30, 1920, 1080, 80});
    const QString m_template = m_home.path() + QStringLiteral("/AAVMF_VARS.fd");
    const LoggingService m_logging{};
    FileBookmarkService m_bookmarks;
    RecordingAccess m_access;
    const VMSharedFolderService m_sharedFolders{m_bookmarks, m_access};
    const HostNetworkService m_network{SysfsNetworkInterfaces(m_home.path() + QStringLiteral("/net"))};
    const VMLinuxService m_linux{m_logging, m_sharedFolders, m_network, m_access, {m_home.path() + QStringLiteral("/missing.fd"), m_template}};
};

TEST_F(VMLinuxServiceTest, ConfigurationHasEveryDeviceInOrder)
{
    QDir().mkpath(at(VMBundle::Layout::automationDirectoryName));
    const VMBuiltConfiguration built = m_linux.makeConfiguration(m_bundle, true);
    const VirtualMachineConfiguration &configuration = built.configuration;

    EXPECT_EQ(configuration.platform, PlatformConfiguration(GenericPlatformConfiguration{}));
    EXPECT_EQ(configuration.bootLoader, BootLoader(EFIBootLoader{EFIVariableStore(at(VMBundle::Layout::efiVariableStoreFileName))}));
    EXPECT_EQ(configuration.cpuCount, 2);
    EXPECT_EQ(configuration.memorySize, 1024 * mebibyte);
    EXPECT_EQ(configuration.storageDevices,
              (QList<StorageDeviceConfiguration>{
                  {StorageDeviceConfiguration::Kind::virtioBlock,
                   {at(VMBundle::Layout::diskImageFileName), false, DiskImageStorageDeviceAttachment::CachingMode::automatic,
                    DiskImageStorageDeviceAttachment::SynchronizationMode::full}},
                  {StorageDeviceConfiguration::Kind::usbMassStorage, m_linux.makeDiskAttachment(at(VMBundle::Layout::linuxInstallImageFileName), true)},
              }));
    EXPECT_TRUE(configuration.storageDevices.last().attachment.readOnly);
    EXPECT_EQ(configuration.graphicsDevices,
              (QList<GraphicsDeviceConfiguration>{{GraphicsDeviceConfiguration::Kind::virtio, {GraphicsDisplayConfiguration{1024, 768, std::nullopt}}}}));
    EXPECT_EQ(configuration.keyboards, QList<KeyboardConfiguration>{{KeyboardConfiguration::Kind::usb}});
    EXPECT_EQ(configuration.pointingDevices, QList<PointingDeviceConfiguration>{{PointingDeviceConfiguration::Kind::usbScreenCoordinate}});
    EXPECT_EQ(configuration.audioDevices, (QList<SoundDeviceConfiguration>{{{SoundStreamConfiguration{SoundStreamConfiguration::Direction::output}}}}));
    EXPECT_EQ(configuration.networkDevices, (QList<NetworkDeviceConfiguration>{{NATNetworkDeviceAttachment{}, std::nullopt}}));
    EXPECT_EQ(configuration.entropyDevices.size(), 1);
    EXPECT_EQ(configuration.memoryBalloonDevices.size(), 1);
    EXPECT_EQ(configuration.serialPorts, QList<SerialPortConfiguration>{{at(u"Logs/console.log")}});
    EXPECT_TRUE(QFileInfo(at(VMBundle::Layout::logsDirectoryName)).isDir());

    ASSERT_EQ(configuration.directorySharingDevices.size(), 1);
    EXPECT_EQ(configuration.directorySharingDevices.first().tag, QStringLiteral("duvuzodovevav-shared"));
    EXPECT_EQ(std::get<MultipleDirectoryShare>(configuration.directorySharingDevices.first().share).names(),
              QStringList{QStringLiteral("KestrumAutomation")});
    EXPECT_TRUE(bundleLog().contains(QStringLiteral("] [Linux] Built Linux EFI configuration for Ubuntu (ISO attached: true)\n"))) << bundleLog().toStdString();
}

TEST_F(VMLinuxServiceTest, ScanoutIsCappedAt1024By768)
{
    struct Case {
        qint64 width, height, scanoutWidth, scanoutHeight;
    };
    for (const Case &test : {Case{1920, 1080, 1024, 768}, Case{800, 600, 800, 600}, Case{1024, 900, 1024, 768}, Case{1280, 720, 1024, 720}}) {
        m_bundle.metadata.hardwareProfile.displayWidth = test.width;
        m_bundle.metadata.hardwareProfile.displayHeight = test.height;
        const auto displays = m_linux.makeConfiguration(m_bundle, false).configuration.graphicsDevices.value(0).displays;
        EXPECT_EQ(displays, QList<GraphicsDisplayConfiguration>{(GraphicsDisplayConfiguration{test.scanoutWidth, test.scanoutHeight, std::nullopt})})
            << test.width << "x" << test.height;
    }
}

TEST_F(VMLinuxServiceTest, AudioPutsTheOutputStreamFirst)
{
    using Direction = SoundStreamConfiguration::Direction;
    struct Case {
        std::optional<VMMediaConfiguration> media;
        QList<Direction> streams;
    };
    const Case cases[] = {
        {std::nullopt, {Direction::output}},
        {VMMediaConfiguration{true, true}, {Direction::output, Direction::input}},
        {VMMediaConfiguration{true, false}, {Direction::input}},
        {VMMediaConfiguration{false, false}, {}},
    };
    for (const Case &test : cases) {
        m_bundle.metadata.mediaConfiguration = test.media;
        const QList<SoundDeviceConfiguration> devices = m_linux.makeConfiguration(m_bundle, false).configuration.audioDevices;
        QList<Direction> streams;
        for (const SoundDeviceConfiguration &device : devices) {
            for (const SoundStreamConfiguration &stream : device.streams)
                streams << stream.direction;
        }
        EXPECT_EQ(devices.size(), test.streams.isEmpty() ? 0 : 1);
        EXPECT_EQ(streams, test.streams);
    }
}

TEST_F(VMLinuxServiceTest, TheISOIsAttachedOnlyWhenAskedForAndPresent)
{
    using Kind = StorageDeviceConfiguration::Kind;
    const auto kinds = [this](bool attach) {
        QList<Kind> kinds;
        for (const StorageDeviceConfiguration &device : m_linux.makeConfiguration(m_bundle, attach).configuration.storageDevices)
            kinds << device.kind;
        return kinds;
    };
    EXPECT_EQ(kinds(false), QList<Kind>{Kind::virtioBlock});
    QFile::remove(at(VMBundle::Layout::diskImageFileName));
    EXPECT_EQ(kinds(true), QList<Kind>{Kind::usbMassStorage});
    QFile::remove(at(VMBundle::Layout::linuxInstallImageFileName));
    EXPECT_EQ(kinds(true), QList<Kind>{});
    // The log line reports what was asked for, not what was found.
    EXPECT_TRUE(bundleLog().endsWith(QStringLiteral("] [Linux] Built Linux EFI configuration for Ubuntu (ISO attached: true)\n"))) << bundleLog().toStdString();
}

TEST_F(VMLinuxServiceTest, VariableStoreIsMadeOnceFromTheTemplateAndKept)
{
    const QString store = at(VMBundle::Layout::efiVariableStoreFileName);
    m_linux.makeConfiguration(m_bundle, false);
    EXPECT_EQ(read(store), read(m_template));

    write(store, QByteArrayLiteral("boot entries"));
    m_linux.makeConfiguration(m_bundle, false);
    EXPECT_EQ(read(store), QByteArrayLiteral("boot entries"));

    QFile::remove(store);
    const VMLinuxService withoutFirmware(m_logging, m_sharedFolders, m_network, m_access, {m_home.path() + QStringLiteral("/missing.fd")});
    EXPECT_THROW(withoutFirmware.makeConfiguration(m_bundle, false), PlatformError);
    EXPECT_FALSE(QFileInfo::exists(store));
    EXPECT_THROW(m_linux.makeEFIVariableStore(at(VMBundle::Layout::diskImageFileName)), PlatformError);
}

TEST_F(VMLinuxServiceTest, BridgedNetworkTexts)
{
    using Mode = VMNetworkConfiguration::Mode;
    m_bundle.metadata.networkConfiguration = VMNetworkConfiguration{Mode::bridged, std::nullopt, std::nullopt};
    VirtualMachineError error = thrownVirtualMachineError([&] { m_linux.makeConfiguration(m_bundle, false); });
    EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::configurationValidationFailed);
    EXPECT_EQ(error.detail(), QStringLiteral("No bridged network interface was selected for this Linux VM."));

    m_bundle.metadata.networkConfiguration = VMNetworkConfiguration{Mode::bridged, QStringLiteral("br0"), std::nullopt};
    error = thrownVirtualMachineError([&] { m_linux.makeConfiguration(m_bundle, false); });
    EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::configurationValidationFailed);
    EXPECT_EQ(error.detail(), QStringLiteral("The bridged network interface br0 is no longer available on this computer."));

    QDir().mkpath(m_home.path() + QStringLiteral("/net/br0/bridge"));
    EXPECT_EQ(m_linux.makeConfiguration(m_bundle, false).configuration.networkDevices,
              (QList<NetworkDeviceConfiguration>{{BridgedNetworkDeviceAttachment{QStringLiteral("br0")}, std::nullopt}}));
}

TEST_F(VMLinuxServiceTest, RosettaIsLeftOutWithoutAnError)
{
    VMLinuxBootConfiguration boot;
    boot.useRosetta = true;
    write(at(VMBundle::Layout::linuxBootFileName), sharedJSONEncoder().encode(boot));
    EXPECT_TRUE(m_linux.makeConfiguration(m_bundle, false).configuration.directorySharingDevices.isEmpty());
}

TEST_F(VMLinuxServiceTest, RefusedValidationStopsTheSharesAccess)
{
    const QString projects = m_home.path() + QStringLiteral("/Projects");
    QDir().mkpath(projects);
    m_bundle.sharedFolders << VMSharedFolder{QUuid::createUuid(), QStringLiteral("Projects"), QUrl::fromLocalFile(projects), false, std::nullopt};
    m_bundle.metadata.hardwareProfile.cpuCount = 1'000'000;

    const VirtualMachineError error = thrownVirtualMachineError([&] { m_linux.makeConfiguration(m_bundle, false); });
    EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::configurationValidationFailed);
    EXPECT_TRUE(error.detail().startsWith(QStringLiteral("1000000 CPUs were requested"))) << error.detail().toStdString();
    EXPECT_EQ(m_access.started, QStringList{projects});
    EXPECT_EQ(m_access.stopped, QStringList{projects});
    EXPECT_FALSE(bundleLog().contains(QStringLiteral("Built Linux EFI configuration")));
}

TEST_F(VMLinuxServiceTest, TellsLinuxEFIBundlesApart)
{
    struct Case {
        std::optional<VMGuestOSType> guest;
        QStringView file;
        bool linux;
    };
    const Case cases[] = {
        {VMGuestOSType::linux, {}, true},
        {VMGuestOSType::macOS, VMBundle::Layout::linuxBootFileName, true},
        {VMGuestOSType::macOS, VMBundle::Layout::efiVariableStoreFileName, true},
        {std::nullopt, VMBundle::Layout::efiVariableStoreFileName, true},
        {VMGuestOSType::macOS, {}, false},
        {std::nullopt, VMBundle::Layout::diskImageFileName, false},
    };
    for (const Case &test : cases) {
        const VMBundle bundle = TestBundle(m_home.path() + QStringLiteral("/Other.vm")).guest(test.guest);
        QDir(bundle.bundleURL).removeRecursively();
        QDir().mkpath(bundle.bundleURL);
        if (!test.file.isEmpty())
            write(bundle.bundleURL + QLatin1Char('/') + test.file.toString(), "x");
        EXPECT_EQ(m_linux.isLinuxEFIBundle(bundle), test.linux) << test.file.toString().toStdString();
    }
}

TEST_F(VMLinuxServiceTest, CachedISOsMustBeLargerThanAMillionBytes)
{
    const QString cache = m_linux.isoCacheDirectory();
    EXPECT_EQ(cache, m_home.cacheHome() + QStringLiteral("/Zovozu VM Lab/RestoreImageCache/LinuxISOs"));
    EXPECT_TRUE(QFileInfo(cache).isDir());

    const QUrl remote(QStringLiteral("https://cdimage.example.org/releases/24.04/ubuntu-24.04-live-server-arm64.iso"));
    EXPECT_EQ(m_linux.cachedISOURL(remote), std::nullopt);
    QFile file(cache + QStringLiteral("/ubuntu-24.04-live-server-arm64.iso"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(1'000'000));
    EXPECT_EQ(m_linux.cachedISOURL(remote), std::nullopt);
    ASSERT_TRUE(file.resize(1'000'001));
    EXPECT_EQ(m_linux.cachedISOURL(remote), file.fileName());

    // A link is not taken for the file it points at.
    ASSERT_TRUE(QFile::link(file.fileName(), cache + QStringLiteral("/linked.iso")));
    EXPECT_EQ(m_linux.cachedISOURL(QUrl(QStringLiteral("https://example.org/linked.iso"))), std::nullopt);
}

} // namespace
