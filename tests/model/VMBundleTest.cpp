// SPDX-License-Identifier: MIT
#include "VMBundle.h"

#include "RecordTestSupport.h"
#include "VirtualMachineError.h"
#include "VirtualMachineErrorExpectation.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

using Layout = VMBundle::Layout;

namespace {

VMMetadata metadata(VMInstallState installState, std::optional<VMGuestOSType> guest, bool firstBootEnabled = false)
{
    VMMetadata result;
    result.id = QUuid::createUuid();
    result.installState = installState;
    result.guestOSType = guest;
    result.firstBootEnabled = firstBootEnabled;
    return result;
}

QStringList names(const QList<Layout::Requirement> &requirements)
{
    QStringList list;
    for (const auto &requirement : requirements)
        list << requirement.displayName;
    return list;
}

const QStringList alwaysRequired{QStringLiteral("Metadata.json"), QStringLiteral("SharedFolders.json"), QStringLiteral("SavedState"),
                                 QStringLiteral("RestoreImages"), QStringLiteral("Logs")};
const QStringList macPlatformFiles{QStringLiteral("AuxiliaryStorage"), QStringLiteral("MachineIdentifier.bin"),
                                   QStringLiteral("HardwareModel.bin")};

class VMBundleLayoutTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_directory.isValid());
        ASSERT_TRUE(QDir(m_directory.path()).mkpath(QStringLiteral("Test.vm")));
    }

    QString root() const { return m_directory.path() + QStringLiteral("/Test.vm"); }
    Layout layout() const { return Layout{root()}; }

    /// Creates every item the metadata requires, each of the right kind.
    void createRequiredItems(const VMMetadata &metadata) const
    {
        for (const auto &requirement : layout().requirements(metadata)) {
            if (requirement.isDirectory)
                ASSERT_TRUE(QDir().mkpath(requirement.url));
            else
                createFile(requirement.url);
        }
    }

    static void createFile(const QString &path)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly)) << path.toStdString();
    }

    QTemporaryDir m_directory;
};

} // namespace

TEST_F(VMBundleLayoutTest, PlacesAreNamedUnderTheRoot)
{
    const Layout layout = this->layout();
    const std::pair<QString, const char *> table[] = {
        {layout.metadataURL(), "Metadata.json"},
        {layout.sharedFoldersURL(), "SharedFolders.json"},
        {layout.diskImageURL(), "Disk.img"},
        {layout.auxiliaryStorageURL(), "AuxiliaryStorage"},
        {layout.machineIdentifierURL(), "MachineIdentifier.bin"},
        {layout.hardwareModelURL(), "HardwareModel.bin"},
        {layout.savedStateDirectoryURL(), "SavedState"},
        {layout.savedStateFileURL(), "SavedState/MachineState.bin"},
        {layout.restoreImagesDirectoryURL(), "RestoreImages"},
        {layout.restoreImageInfoURL(), "RestoreImages/RestoreImage.json"},
        {layout.logsDirectoryURL(), "Logs"},
        {layout.bootstrapDirectoryURL(), "Bootstrap"},
        {layout.firstBootManifestURL(), "Bootstrap/manifest.json"},
        {layout.snapshotsDirectoryURL(), "Snapshots"},
        {layout.snapshotTimelineURL(), "Snapshots/Timeline.json"},
        {layout.diskGrowthHistoryURL(), "DiskGrowthHistory.json"},
        {layout.automationDirectoryURL(), "Automation"},
        {layout.linuxBootURL(), "LinuxBoot.json"},
        {layout.efiVariableStoreURL(), "EFIVariableStore.bin"},
        {layout.linuxInstallISOURL(), "LinuxInstall.iso"},
        {layout.windowsConfigURL(), "WindowsConfig.json"},
        {layout.windowsInstallISOURL(), "WindowsInstall.iso"},
        {layout.virtioDriversISOURL(), "virtio-win.iso"},
        {layout.efiFirmwareURL(), "QEMU_EFI.fd"},
        {layout.tpmSocketURL(), "tpm.sock"},
        {layout.qemuMonitorSocketURL(), "qemu-monitor.sock"},
    };
    for (const auto &[url, relative] : table)
        EXPECT_EQ(url, root() + QLatin1Char('/') + QString::fromUtf8(relative));
    EXPECT_EQ(Layout{root() + QLatin1Char('/')}.diskImageURL(), layout.diskImageURL());
}

TEST_F(VMBundleLayoutTest, RequirementsFollowInstallStateGuestAndFirstBoot)
{
    const QStringList disk{QStringLiteral("Disk.img")};
    const QStringList bootstrap{QStringLiteral("Bootstrap")};
    const struct {
        VMInstallState installState;
        std::optional<VMGuestOSType> guest;
        bool firstBoot;
        QStringList expected;
    } table[] = {
        {VMInstallState::notInstalled, VMGuestOSType::macOS, false, alwaysRequired},
        {VMInstallState::preparingBundle, VMGuestOSType::macOS, false, alwaysRequired},
        {VMInstallState::downloadingRestoreImage, std::nullopt, false, alwaysRequired},
        {VMInstallState::failed, VMGuestOSType::macOS, false, alwaysRequired},
        {VMInstallState::installingMacOS, VMGuestOSType::macOS, false, alwaysRequired + disk + macPlatformFiles},
        {VMInstallState::installed, VMGuestOSType::macOS, false, alwaysRequired + disk + macPlatformFiles},
        {VMInstallState::installed, std::nullopt, false, alwaysRequired + disk + macPlatformFiles},
        {VMInstallState::installed, VMGuestOSType::linux, false, alwaysRequired + disk},
        {VMInstallState::installingMacOS, VMGuestOSType::windows, false, alwaysRequired + disk},
        {VMInstallState::notInstalled, VMGuestOSType::linux, true, alwaysRequired + bootstrap},
        {VMInstallState::installed, VMGuestOSType::macOS, true, alwaysRequired + disk + macPlatformFiles + bootstrap},
    };
    for (const auto &row : table) {
        const auto requirements = layout().requirements(metadata(row.installState, row.guest, row.firstBoot));
        EXPECT_EQ(names(requirements), row.expected) << toRaw(row.installState).toStdString();
        for (const auto &requirement : requirements) {
            EXPECT_EQ(requirement.url, root() + QLatin1Char('/') + requirement.displayName);
            const bool folder = requirement.displayName == QLatin1String("SavedState") || requirement.displayName == QLatin1String("RestoreImages")
                || requirement.displayName == QLatin1String("Logs") || requirement.displayName == QLatin1String("Bootstrap");
            EXPECT_EQ(requirement.isDirectory, folder) << requirement.displayName.toStdString();
        }
    }
}

TEST_F(VMBundleLayoutTest, CompleteBundleMissesNothing)
{
    const VMMetadata installedMac = metadata(VMInstallState::installed, VMGuestOSType::macOS, true);
    createRequiredItems(installedMac);
    EXPECT_TRUE(layout().missingRequirements(installedMac).isEmpty());
}

TEST_F(VMBundleLayoutTest, WrongKindOfItemCountsAsMissing)
{
    const VMMetadata installedMac = metadata(VMInstallState::installed, VMGuestOSType::macOS);
    createRequiredItems(installedMac);
    ASSERT_TRUE(QFile::remove(layout().auxiliaryStorageURL()));
    ASSERT_TRUE(QDir().mkpath(layout().auxiliaryStorageURL()));
    ASSERT_TRUE(QDir(layout().logsDirectoryURL()).removeRecursively());
    createFile(layout().logsDirectoryURL());

    EXPECT_EQ(names(layout().missingRequirements(installedMac)), (QStringList{QStringLiteral("Logs"), QStringLiteral("AuxiliaryStorage")}));
}

TEST_F(VMBundleLayoutTest, LinuxGuestNeedsItsDiskButNoMacFiles)
{
    const VMMetadata installedLinux = metadata(VMInstallState::installed, VMGuestOSType::linux);
    createRequiredItems(installedLinux);
    EXPECT_TRUE(layout().missingRequirements(installedLinux).isEmpty());

    ASSERT_TRUE(QFile::remove(layout().diskImageURL()));
    ASSERT_TRUE(QFile::remove(layout().metadataURL()));
    EXPECT_EQ(names(layout().missingRequirements(installedLinux)), (QStringList{QStringLiteral("Metadata.json"), QStringLiteral("Disk.img")}));
}

TEST_F(VMBundleLayoutTest, LinksCountAsWhatTheyPointTo)
{
    const VMMetadata fresh = metadata(VMInstallState::notInstalled, VMGuestOSType::linux);
    createRequiredItems(fresh);
    ASSERT_TRUE(QDir(layout().logsDirectoryURL()).removeRecursively());
    ASSERT_TRUE(QDir().mkpath(m_directory.path() + QStringLiteral("/elsewhere")));
    ASSERT_TRUE(QFile::link(m_directory.path() + QStringLiteral("/elsewhere"), layout().logsDirectoryURL()));
    ASSERT_TRUE(QFile::remove(layout().sharedFoldersURL()));
    ASSERT_TRUE(QFile::link(m_directory.path() + QStringLiteral("/nothing"), layout().sharedFoldersURL()));

    EXPECT_EQ(names(layout().missingRequirements(fresh)), QStringList{QStringLiteral("SharedFolders.json")});
}

TEST_F(VMBundleLayoutTest, RelativePathsStayInsideTheBundle)
{
    const std::pair<const char *, const char *> accepted[] = {
        {"SavedState/MachineState.bin", "SavedState/MachineState.bin"},
        {"Bootstrap/firstboot.sh", "Bootstrap/firstboot.sh"},
        {"./Bootstrap//a.txt", "Bootstrap/a.txt"},
        {"..hidden", "..hidden"},
        {"Bootstrap/a..b/...", "Bootstrap/a..b/..."},
    };
    for (const auto &[relative, expected] : accepted)
        EXPECT_EQ(layout().urlForRelativePath(QString::fromUtf8(relative)), root() + QLatin1Char('/') + QString::fromUtf8(expected));

    for (const char *relative : {"", "/etc/passwd", "..", "../Other.vm/Disk.img", "Bootstrap/../../x", "Bootstrap/..", "a/../b"}) {
        const QString path = QString::fromUtf8(relative);
        EXPECT_TRUE(throwsVirtualMachineError([&] { layout().urlForRelativePath(path); }, VirtualMachineError::Case::invalidBundle,
                                              QLatin1Char('"') + path + QLatin1Char('"')))
            << relative;
    }
}

TEST(VMBundleTest, IdentityIsTheMetadataIdentifier)
{
    const VMBundle first{QStringLiteral("/library/A.vm"), metadata(VMInstallState::installed, VMGuestOSType::linux), {}, std::nullopt};
    VMBundle moved = first;
    moved.bundleURL = QStringLiteral("/elsewhere/A.vm");
    EXPECT_NE(moved, first);
    EXPECT_EQ(moved.id(), first.id());
    EXPECT_EQ(moved.layout(), Layout{QStringLiteral("/elsewhere/A.vm")});

    VMBundle withFirstBoot = first;
    withFirstBoot.firstBootConfig = VMFirstBootConfig{};
    EXPECT_NE(withFirstBoot, first);
}
