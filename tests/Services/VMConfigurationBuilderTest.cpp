// SPDX-License-Identifier: MIT
#include "RecordingFakes.h"
#include "TestBundle.h"
#include "VMConfigurationBuilder.h"

#include "FileBookmarkService.h"
#include "HostNetworkService.h"
#include "PlatformError.h"
#include "QtPrinters.h"
#include "SecurityScopedAccess.h"
#include "TemporaryHome.h"
#include "VMSharedFolderService.h"
#include "VirtualMachineError.h"
#include "VirtualMachineErrorExpectation.h"
#include "VirtualizationError.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <optional>

namespace {

constexpr quint64 mebibyte = quint64(1) << 20;

/// A complete macOS bundle; validation is replaced by one that keeps the configuration, so its devices can be read.
class VMConfigurationBuilderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(m_bundle.bundleURL));
        ASSERT_TRUE(QDir().mkpath(m_home.path() + QStringLiteral("/net")));
        write(VMBundle::Layout::hardwareModelFileName, m_model.dataRepresentation());
        write(VMBundle::Layout::machineIdentifierFileName, m_identifier.dataRepresentation());
        write(VMBundle::Layout::auxiliaryStorageFileName, QByteArrayLiteral("variables"));
        write(VMBundle::Layout::diskImageFileName, QByteArrayLiteral("disk"));
    }

    void write(QStringView name, const QByteArray &content) const
    {
        QFile file(at(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QString at(QStringView name) const { return m_bundle.bundleURL + QLatin1Char('/') + name.toString(); }
    void addBridge(const QString &name) const { QDir().mkpath(m_home.path() + QStringLiteral("/net/") + name + QStringLiteral("/bridge")); }

    /// The bundle shares one user folder and has its Automation and (enabled) Bootstrap folders.
    void shareFolders()
    {
        const QString projects = m_home.path() + QStringLiteral("/Projects");
        QDir().mkpath(projects);
        QDir().mkpath(at(VMBundle::Layout::automationDirectoryName));
        QDir().mkpath(at(VMBundle::Layout::bootstrapDirectoryName));
        m_bundle.sharedFolders << VMSharedFolder{QUuid::createUuid(), QStringLiteral("Projects"), QUrl::fromLocalFile(projects), false, std::nullopt};
        m_bundle.firstBootConfig = VMFirstBootConfig{};
        m_bundle.firstBootConfig->enabled = true;
    }

    TemporaryHome m_home;
    VMBundle m_bundle = TestBundle(m_home.path() + QStringLiteral("/Sonoma.vm"))
                            .guest(VMGuestOSType::macOS)
                            .hardware({4, 8192 * mebibyte, 64ull << 30, 1920, 1200, 80});
    const MacHardwareModel m_model{QByteArrayLiteral("model descriptor")};
    const MacMachineIdentifier m_identifier = MacMachineIdentifier::generate();
    FileBookmarkService m_bookmarks;
    RecordingAccess m_access;
    const VMSharedFolderService m_sharedFolders{m_bookmarks, m_access};
    const HostNetworkService m_network{SysfsNetworkInterfaces(m_home.path() + QStringLiteral("/net"))};
    QList<VirtualMachineConfiguration> m_validated;
    const VMConfigurationBuilder m_builder{m_sharedFolders, m_network, m_access,
                                           [this](const VirtualMachineConfiguration &configuration) { m_validated << configuration; }};
};

TEST_F(VMConfigurationBuilderTest, RunTimeConfigurationHasEveryDeviceInOrder)
{
    shareFolders();
    const VMBuiltConfiguration built = m_builder.buildMacRuntimeConfiguration(m_bundle);
    ASSERT_EQ(m_validated.size(), 1);
    EXPECT_EQ(m_validated.first(), built.configuration);
    const VirtualMachineConfiguration &configuration = built.configuration;

    EXPECT_EQ(configuration.platform,
              PlatformConfiguration(MacPlatformConfiguration{m_model, m_identifier, MacAuxiliaryStorage(at(VMBundle::Layout::auxiliaryStorageFileName))}));
    EXPECT_EQ(configuration.bootLoader, BootLoader(MacOSBootLoader{}));
    EXPECT_EQ(configuration.cpuCount, 4);
    EXPECT_EQ(configuration.memorySize, 8192 * mebibyte);
    EXPECT_EQ(configuration.storageDevices,
              (QList<StorageDeviceConfiguration>{{StorageDeviceConfiguration::Kind::virtioBlock,
                                                  {at(VMBundle::Layout::diskImageFileName), false, DiskImageStorageDeviceAttachment::CachingMode::automatic,
                                                   DiskImageStorageDeviceAttachment::SynchronizationMode::full}}}));
    EXPECT_EQ(configuration.graphicsDevices,
              (QList<GraphicsDeviceConfiguration>{{GraphicsDeviceConfiguration::Kind::mac, {GraphicsDisplayConfiguration{1920, 1200, 80}}}}));
    EXPECT_EQ(configuration.audioDevices, (QList<SoundDeviceConfiguration>{{{SoundStreamConfiguration{SoundStreamConfiguration::Direction::output}}}}));
    EXPECT_EQ(configuration.keyboards, (QList<KeyboardConfiguration>{{KeyboardConfiguration::Kind::mac}, {KeyboardConfiguration::Kind::usb}}));
    EXPECT_EQ(configuration.pointingDevices, (QList<PointingDeviceConfiguration>{{PointingDeviceConfiguration::Kind::macTrackpad},
                                                                                 {PointingDeviceConfiguration::Kind::usbScreenCoordinate}}));
    EXPECT_EQ(configuration.networkDevices, (QList<NetworkDeviceConfiguration>{{NATNetworkDeviceAttachment{}, std::nullopt}}));
    EXPECT_TRUE(configuration.entropyDevices.isEmpty());
    EXPECT_TRUE(configuration.serialPorts.isEmpty());

    ASSERT_EQ(configuration.directorySharingDevices.size(), 1);
    EXPECT_EQ(configuration.directorySharingDevices.first().tag, VirtioFileSystemDeviceConfiguration::macOSGuestAutomountTag.toString());
    EXPECT_EQ(std::get<MultipleDirectoryShare>(configuration.directorySharingDevices.first().share).names(),
              (QStringList{QStringLiteral("Projects"), QStringLiteral("Bootstrap"), QStringLiteral("KestrumAutomation")}));
    EXPECT_EQ(built.accessedSecurityScopedURLs, m_access.started);
    EXPECT_FALSE(built.accessedSecurityScopedURLs.isEmpty());
    EXPECT_TRUE(m_access.stopped.isEmpty());
}

TEST_F(VMConfigurationBuilderTest, InstallTimeConfigurationNeverShares)
{
    shareFolders();
    const VMBuiltConfiguration built = m_builder.buildMacConfiguration(m_bundle, {m_model, 1, 0});
    EXPECT_TRUE(built.configuration.directorySharingDevices.isEmpty());
    EXPECT_TRUE(built.accessedSecurityScopedURLs.isEmpty());
    EXPECT_TRUE(m_access.started.isEmpty());
    EXPECT_EQ(built.configuration.keyboards.size(), 2);
}

TEST_F(VMConfigurationBuilderTest, CPUAndMemoryAreTheLargestOfFloorsAndProfile)
{
    struct Case {
        const char *name;
        qint64 profileCPUs;
        quint64 profileMemory;
        std::optional<MacOSRestoreImage::ConfigurationRequirements> requirements;
        qint64 cpuCount;
        quint64 memorySize;
    };
    const MacHardwareModel model = m_model;
    const Case cases[] = {
        {"profile below the platform minimum", 0, 0, std::nullopt, 1, 128 * mebibyte},
        {"profile above the platform minimum", 6, 4096 * mebibyte, std::nullopt, 6, 4096 * mebibyte},
        {"image needs more than the profile", 2, 2048 * mebibyte, MacOSRestoreImage::ConfigurationRequirements{model, 4, 8192 * mebibyte}, 4,
         8192 * mebibyte},
        {"profile beats the image", 8, 16384 * mebibyte, MacOSRestoreImage::ConfigurationRequirements{model, 4, 8192 * mebibyte}, 8,
         16384 * mebibyte},
        {"image below the platform minimum", 0, 0, MacOSRestoreImage::ConfigurationRequirements{model, 0, 1}, 1, 128 * mebibyte},
    };
    for (const Case &test : cases) {
        m_bundle.metadata.hardwareProfile.cpuCount = test.profileCPUs;
        m_bundle.metadata.hardwareProfile.memorySizeBytes = test.profileMemory;
        const VMBuiltConfiguration built =
            test.requirements ? m_builder.buildMacConfiguration(m_bundle, *test.requirements) : m_builder.buildMacRuntimeConfiguration(m_bundle);
        EXPECT_EQ(built.configuration.cpuCount, test.cpuCount) << test.name;
        EXPECT_EQ(built.configuration.memorySize, test.memorySize) << test.name;
    }
}

TEST_F(VMConfigurationBuilderTest, AudioPutsTheInputStreamFirst)
{
    using Direction = SoundStreamConfiguration::Direction;
    struct Case {
        std::optional<VMMediaConfiguration> media;
        QList<Direction> streams;
    };
    const Case cases[] = {
        {std::nullopt, {Direction::output}},
        {VMMediaConfiguration{true, true}, {Direction::input, Direction::output}},
        {VMMediaConfiguration{true, false}, {Direction::input}},
        {VMMediaConfiguration{false, true}, {Direction::output}},
        {VMMediaConfiguration{false, false}, {}},
    };
    for (const Case &test : cases) {
        m_bundle.metadata.mediaConfiguration = test.media;
        const QList<SoundDeviceConfiguration> devices = m_builder.makeAudioDevice(m_bundle);
        if (test.streams.isEmpty()) {
            EXPECT_TRUE(devices.isEmpty());
            continue;
        }
        ASSERT_EQ(devices.size(), 1);
        QList<Direction> streams;
        for (const SoundStreamConfiguration &stream : devices.first().streams)
            streams << stream.direction;
        EXPECT_EQ(streams, test.streams);
    }
}

TEST_F(VMConfigurationBuilderTest, NetworkIsNATOrTheChosenBridge)
{
    using Mode = VMNetworkConfiguration::Mode;
    addBridge(QStringLiteral("br0"));
    m_bundle.metadata.networkConfiguration = VMNetworkConfiguration{Mode::nat, QStringLiteral("br0"), std::nullopt};
    EXPECT_EQ(m_builder.makeNetworkDevice(m_bundle), (NetworkDeviceConfiguration{NATNetworkDeviceAttachment{}, std::nullopt}));

    m_bundle.metadata.networkConfiguration = VMNetworkConfiguration{Mode::bridged, QStringLiteral("br0"), QStringLiteral("Office")};
    EXPECT_EQ(m_builder.makeNetworkDevice(m_bundle), (NetworkDeviceConfiguration{BridgedNetworkDeviceAttachment{QStringLiteral("br0")}, std::nullopt}));

    m_bundle.metadata.networkConfiguration = VMNetworkConfiguration{Mode::bridged, std::nullopt, std::nullopt};
    VirtualMachineError error = thrownVirtualMachineError([&] { m_builder.makeNetworkDevice(m_bundle); });
    EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::configurationValidationFailed);
    EXPECT_EQ(error.detail(), QStringLiteral("No bridged network interface was selected for this VM."));

    // The lookup is by exact identifier; the stored display name plays no part.
    m_bundle.metadata.networkConfiguration = VMNetworkConfiguration{Mode::bridged, QStringLiteral("BR0"), QStringLiteral("br0")};
    error = thrownVirtualMachineError([&] { m_builder.buildMacRuntimeConfiguration(m_bundle); });
    EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::configurationValidationFailed);
    EXPECT_EQ(error.detail(), QStringLiteral("The bridged network interface BR0 is no longer available on this computer."));
    EXPECT_TRUE(m_validated.isEmpty());
}

TEST_F(VMConfigurationBuilderTest, BundleFilesAreCheckedInOrder)
{
    struct Case {
        const char *name;
        std::function<void()> damage;
        VirtualMachineError::Case errorCase;
        QString detail;
    };
    using Layout = VMBundle::Layout;
    const auto remove = [this](QStringView name) { return [this, name] { QFile::remove(at(name)); }; };
    const auto corrupt = [this](QStringView name) { return [this, name] { write(name, "{}"); }; };
    const Case cases[] = {
        {"no hardware model", remove(Layout::hardwareModelFileName), VirtualMachineError::Case::missingBundleFile, QStringLiteral("HardwareModel.bin")},
        {"bad hardware model", corrupt(Layout::hardwareModelFileName), VirtualMachineError::Case::invalidBundle,
         QStringLiteral("Hardware model data is invalid.")},
        {"no identifier", remove(Layout::machineIdentifierFileName), VirtualMachineError::Case::missingBundleFile,
         QStringLiteral("MachineIdentifier.bin")},
        {"bad identifier", corrupt(Layout::machineIdentifierFileName), VirtualMachineError::Case::invalidBundle,
         QStringLiteral("Machine identifier data is invalid.")},
        {"no auxiliary storage", remove(Layout::auxiliaryStorageFileName), VirtualMachineError::Case::missingBundleFile,
         QStringLiteral("AuxiliaryStorage")},
        {"no disk", remove(Layout::diskImageFileName), VirtualMachineError::Case::missingBundleFile, QStringLiteral("Disk.img")},
        {"no disk and a bad identifier",
         [&] {
             remove(Layout::diskImageFileName)();
             corrupt(Layout::machineIdentifierFileName)();
         },
         VirtualMachineError::Case::invalidBundle, QStringLiteral("Machine identifier data is invalid.")},
    };
    for (const Case &test : cases) {
        SetUp();
        test.damage();
        const VirtualMachineError error = thrownVirtualMachineError([&] { m_builder.buildMacRuntimeConfiguration(m_bundle); });
        EXPECT_EQ(error.errorCase(), test.errorCase) << test.name;
        EXPECT_EQ(error.detail(), test.detail) << test.name;
    }
    EXPECT_TRUE(m_validated.isEmpty());

    // A file that exists but cannot be read is the host's error, unchanged.
    SetUp();
    QFile::remove(at(Layout::hardwareModelFileName));
    QDir().mkpath(at(Layout::hardwareModelFileName));
    EXPECT_THROW(m_builder.buildMacRuntimeConfiguration(m_bundle), PlatformError);
}

TEST_F(VMConfigurationBuilderTest, ThisHostRefusesMacOSAtValidationAndStopsTheSharesAccess)
{
    shareFolders();
    const VMConfigurationBuilder builder(m_sharedFolders, m_network, m_access);
    const VirtualMachineError error = thrownVirtualMachineError([&] { builder.buildMacRuntimeConfiguration(m_bundle); });
    EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::configurationValidationFailed);
    EXPECT_EQ(error.detail(), QStringLiteral("macOS cannot run on this host: QEMU cannot boot a macOS guest."));
    EXPECT_FALSE(m_access.started.isEmpty());
    EXPECT_EQ(m_access.stopped, m_access.started);

    // The identity files are still checked first, with their own texts.
    QFile::remove(at(VMBundle::Layout::hardwareModelFileName));
    EXPECT_EQ(thrownVirtualMachineError([&] { builder.buildMacConfiguration(m_bundle, {m_model, 1, 0}); }).detail(),
              QStringLiteral("HardwareModel.bin"));
}

} // namespace
