// SPDX-License-Identifier: MIT
#include "RecordingFakes.h"
#include "TestBundle.h"
#include "VMSharedFolderService.h"

#include "FileBookmarkService.h"
#include "HostSecurityScopedAccess.h"
#include "PlatformError.h"
#include "QtPrinters.h"
#include "SecurityScopedAccess.h"
#include "VirtualMachineError.h"
#include "VirtualMachineErrorExpectation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

/**
 * A bundle folder and user folders in a temporary folder. The user folders
 * lie on a "disk" mounted at <temp>/disk, which the test can mount elsewhere
 * to move them the way bookmarks still follow.
 */
class VMSharedFolderServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(QDir().mkpath(bundleURL()));
        ASSERT_TRUE(QDir().mkpath(disk()));
    }

    QString at(const QString &relative) const { return m_root + QLatin1Char('/') + relative; }
    QString bundleURL() const { return at(QStringLiteral("Guest.vm")); }
    QString disk() const { return at(QStringLiteral("disk")); }
    QString inBundle(QStringView relative) const { return bundleURL() + QLatin1Char('/') + relative.toString(); }

    VMSharedFolder folder(const QString &name, const QString &displayName, bool readOnly = false, bool bookmarked = false) const
    {
        const QString path = disk() + QLatin1Char('/') + name;
        EXPECT_TRUE(QDir().mkpath(path));
        VMSharedFolder folder{QUuid::createUuid(), displayName, QUrl::fromLocalFile(path), readOnly, std::nullopt};
        if (bookmarked)
            folder.bookmarkData = m_bookmarks.makeBookmark(path);
        return folder;
    }

    VMBundle bundle(std::optional<VMGuestOSType> guest, QList<VMSharedFolder> folders = {}, std::optional<VMFirstBootConfig> firstBoot = {}) const
    {
        return TestBundle(bundleURL()).guest(guest).sharedFolders(std::move(folders)).firstBoot(std::move(firstBoot));
    }

    static VMFirstBootConfig firstBoot(bool enabled)
    {
        VMFirstBootConfig config;
        config.enabled = enabled;
        return config;
    }

    /// Mounts the disk at <temp>/moved instead, as a disk attached again appears elsewhere.
    void moveDisk()
    {
        ASSERT_EQ(std::rename(QFile::encodeName(disk()).constData(), QFile::encodeName(at(QStringLiteral("moved"))).constData()), 0);
        m_mounts[1].mountPoint = at(QStringLiteral("moved"));
    }

    /// The one device's shares as "name=path (ro|rw)", in order.
    static QStringList describe(const VMSharedFolderService::DirectorySharing &sharing, const QString &root)
    {
        if (sharing.devices.size() != 1)
            return {QStringLiteral("devices: ") + QString::number(sharing.devices.size())};
        QStringList shares;
        for (const auto &entry : std::get<MultipleDirectoryShare>(sharing.devices[0].share).entries()) {
            shares << entry.name + QLatin1Char('=') + QString(entry.directory.path).replace(root, QStringLiteral("~"))
                    + (entry.directory.readOnly ? QStringLiteral(" (ro)") : QStringLiteral(" (rw)"));
        }
        return shares;
    }

    QTemporaryDir m_directory;
    QString m_root = QFileInfo(m_directory.path()).canonicalFilePath();
    QList<MountPoint> m_mounts{{QStringLiteral("/"), QStringLiteral("/"), QStringLiteral("uuid:ROOT")},
                               {disk(), QStringLiteral("/"), QStringLiteral("uuid:DISK")}};
    FileBookmarkService m_bookmarks{[this] { return m_mounts; }};
    RecordingAccess m_access;
    VMSharedFolderService m_service{m_bookmarks, m_access};
};

TEST_F(VMSharedFolderServiceTest, NothingToShareGivesNoDevice)
{
    // The Bootstrap folder exists but first boot is off.
    ASSERT_TRUE(QDir().mkpath(inBundle(VMBundle::Layout::bootstrapDirectoryName)));
    const auto sharing = m_service.makeDirectorySharingDevice(bundle(VMGuestOSType::linux, {}, firstBoot(false)));
    EXPECT_EQ(sharing, VMSharedFolderService::DirectorySharing{});
}

TEST_F(VMSharedFolderServiceTest, SharesGetUniqueNamesInOrderWithTheBundleFoldersLast)
{
    ASSERT_TRUE(QDir().mkpath(inBundle(VMBundle::Layout::bootstrapDirectoryName)));
    ASSERT_TRUE(QDir().mkpath(inBundle(VMBundle::Layout::automationDirectoryName)));
    const QList<VMSharedFolder> folders{
        folder(QStringLiteral("one/Data"), QStringLiteral("Data"), true, true),
        folder(QStringLiteral("two/Data"), QStringLiteral("Data")),
        folder(QStringLiteral("Bootstrap"), QStringLiteral("Bootstrap")),
        folder(QStringLiteral("slash"), QStringLiteral("a/b")),
        folder(QStringLiteral("blank"), QStringLiteral("  ")),
    };

    const auto sharing = m_service.makeDirectorySharingDevice(bundle(VMGuestOSType::linux, folders, firstBoot(true)));
    EXPECT_EQ(describe(sharing, m_root), (QStringList{
                                             QStringLiteral("Data=~/disk/one/Data (ro)"),
                                             QStringLiteral("Data 2=~/disk/two/Data (rw)"),
                                             QStringLiteral("Bootstrap=~/disk/Bootstrap (rw)"),
                                             QStringLiteral("a-b=~/disk/slash (rw)"),
                                             QStringLiteral("Shared Folder=~/disk/blank (rw)"),
                                             QStringLiteral("Bootstrap 2=~/Guest.vm/Bootstrap (ro)"),
                                             QStringLiteral("KestrumAutomation=~/Guest.vm/Automation (rw)"),
                                         }));
    EXPECT_EQ(sharing.devices[0].tag, QStringLiteral("duvuzodovevav-shared"));
    EXPECT_EQ(sharing.devices[0].treeFolder, inBundle(QStringLiteral(".SharedFolderTree"))) << "the guest's top folder lasts with the bundle";
    // Every user folder's access was granted, so every one is handed over to be stopped later.
    EXPECT_EQ(sharing.accessedSecurityScopedURLs.size(), folders.size());
    EXPECT_EQ(m_access.started, sharing.accessedSecurityScopedURLs);
    EXPECT_TRUE(m_access.stopped.isEmpty());
}

TEST_F(VMSharedFolderServiceTest, NoUserFolderTakesTheAutomationShareName)
{
    ASSERT_TRUE(QDir().mkpath(inBundle(VMBundle::Layout::automationDirectoryName)));
    const QList<VMSharedFolder> folders{
        folder(QStringLiteral("mine"), VMSharedFolderService::automationShareName.toString()),
    };
    EXPECT_EQ(describe(m_service.makeDirectorySharingDevice(bundle(VMGuestOSType::macOS, folders)), m_root),
              (QStringList{
                  QStringLiteral("KestrumAutomation 2=~/disk/mine (rw)"),
                  QStringLiteral("KestrumAutomation=~/Guest.vm/Automation (rw)"),
              }));
}

TEST_F(VMSharedFolderServiceTest, BundleFoldersAreSharedOnlyWhenPresentAsRealFolders)
{
    // First boot on, but no Bootstrap folder; the Automation folder alone is shared.
    ASSERT_TRUE(QDir().mkpath(inBundle(VMBundle::Layout::automationDirectoryName)));
    EXPECT_EQ(describe(m_service.makeDirectorySharingDevice(bundle(VMGuestOSType::linux, {}, firstBoot(true))), m_root),
              QStringList{QStringLiteral("KestrumAutomation=~/Guest.vm/Automation (rw)")});

    // A bundle from elsewhere with links in their places must not hand the guest what they point to.
    ASSERT_TRUE(QDir(inBundle(VMBundle::Layout::automationDirectoryName)).removeRecursively());
    ASSERT_TRUE(QFile::link(disk(), inBundle(VMBundle::Layout::automationDirectoryName)));
    ASSERT_TRUE(QFile::link(disk(), inBundle(VMBundle::Layout::bootstrapDirectoryName)));
    EXPECT_TRUE(m_service.makeDirectorySharingDevice(bundle(VMGuestOSType::linux, {}, firstBoot(true))).devices.isEmpty());
}

TEST_F(VMSharedFolderServiceTest, TheTagFollowsTheGuestKind)
{
    ASSERT_TRUE(QDir().mkpath(inBundle(VMBundle::Layout::automationDirectoryName)));
    const auto tag = [this](std::optional<VMGuestOSType> guest) { return m_service.makeDirectorySharingDevice(bundle(guest)).devices.value(0).tag; };

    EXPECT_EQ(tag(VMGuestOSType::linux), QStringLiteral("duvuzodovevav-shared"));
    EXPECT_EQ(tag(VMGuestOSType::macOS), QStringLiteral("com.apple.virtio-fs.automount"));
    EXPECT_EQ(tag(std::nullopt), QStringLiteral("com.apple.virtio-fs.automount"));

    QFile linuxBoot(inBundle(VMBundle::Layout::linuxBootFileName));
    ASSERT_TRUE(linuxBoot.open(QIODevice::WriteOnly));
    linuxBoot.close();
    EXPECT_EQ(tag(std::nullopt), QStringLiteral("duvuzodovevav-shared"));
    EXPECT_EQ(tag(VMGuestOSType::macOS), QStringLiteral("duvuzodovevav-shared"));
}

TEST_F(VMSharedFolderServiceTest, AMovedFolderFailsResolutionButIsSharedThroughItsBookmark)
{
    const VMSharedFolder projects = folder(QStringLiteral("Projects"), QStringLiteral("Projects"), false, true);
    moveDisk();

    const VirtualMachineError error = thrownVirtualMachineError([&] { m_service.resolveSharedFolders({projects}); });
    EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::permissionDenied);
    EXPECT_EQ(error.detail(), QStringLiteral("The shared folder Projects no longer exists."));

    const auto sharing = m_service.makeDirectorySharingDevice(bundle(VMGuestOSType::macOS, {projects}));
    EXPECT_EQ(describe(sharing, m_root), QStringList{QStringLiteral("Projects=~/moved/Projects (rw)")});
    EXPECT_EQ(sharing.devices[0].tag, QStringLiteral("com.apple.virtio-fs.automount"));
}

TEST_F(VMSharedFolderServiceTest, ResolutionMakesMissingAndStaleBookmarksAndKeepsFreshOnes)
{
    const VMSharedFolder unbookmarked = folder(QStringLiteral("New"), QStringLiteral("New"));
    const VMSharedFolder fresh = folder(QStringLiteral("Fresh"), QStringLiteral("Fresh"), true, true);
    const VMSharedFolder replaced = folder(QStringLiteral("Replaced"), QStringLiteral("Replaced"), false, true);
    // Another folder takes the place of the bookmarked one (made first, so it cannot reuse its inode).
    ASSERT_TRUE(QDir().mkpath(disk() + QStringLiteral("/Replacement")));
    ASSERT_TRUE(QDir(replaced.localURL.toLocalFile()).removeRecursively());
    ASSERT_TRUE(QDir().rename(disk() + QStringLiteral("/Replacement"), replaced.localURL.toLocalFile()));

    const auto resolved = m_service.resolveSharedFolders({unbookmarked, fresh, replaced});
    ASSERT_EQ(resolved.size(), 3);

    ASSERT_TRUE(resolved[0].bookmarkData);
    EXPECT_EQ(m_bookmarks.resolveBookmark(*resolved[0].bookmarkData), (ResolvedBookmark{unbookmarked.localURL.toLocalFile(), false}));
    EXPECT_EQ(resolved[1], fresh);
    ASSERT_TRUE(resolved[2].bookmarkData);
    EXPECT_NE(resolved[2].bookmarkData, replaced.bookmarkData);
    EXPECT_EQ(m_bookmarks.resolveBookmark(*resolved[2].bookmarkData), (ResolvedBookmark{replaced.localURL.toLocalFile(), false}));
    // Only the bookmark was refreshed.
    VMSharedFolder expected = replaced;
    expected.bookmarkData = resolved[2].bookmarkData;
    EXPECT_EQ(resolved[2], expected);
}

TEST_F(VMSharedFolderServiceTest, ABookmarkThatCannotBeResolvedStopsTheAccessAlreadyStarted)
{
    VMSharedFolder broken = folder(QStringLiteral("Broken"), QStringLiteral("Broken"), false, true);
    broken.bookmarkData = QByteArray("not a bookmark");
    const QList<VMSharedFolder> folders{folder(QStringLiteral("A"), QStringLiteral("A"), false, true), folder(QStringLiteral("B"), QStringLiteral("B")),
                                        broken};

    EXPECT_THROW(m_service.makeDirectorySharingDevice(bundle(VMGuestOSType::linux, folders)), PlatformError);
    EXPECT_EQ(m_access.started.size(), 2);
    EXPECT_EQ(m_access.stopped, (QStringList{m_access.started[1], m_access.started[0]}));

    EXPECT_THROW(m_service.resolveSharedFolders(folders), PlatformError);
}

TEST_F(VMSharedFolderServiceTest, AccessThatIsNotGrantedIsNotHandedOver)
{
    HostSecurityScopedAccess host;
    const VMSharedFolderService service(m_bookmarks, host);
    const auto sharing = service.makeDirectorySharingDevice(bundle(VMGuestOSType::linux, {folder(QStringLiteral("Data"), QStringLiteral("Data"), false, true)}));
    EXPECT_EQ(describe(sharing, m_root), QStringList{QStringLiteral("Data=~/disk/Data (rw)")});
    EXPECT_TRUE(sharing.accessedSecurityScopedURLs.isEmpty());
}

TEST(VMSharedFolderServiceNamingTest, UniqueShareName)
{
    const QSet<QString> used{QStringLiteral("Data"), QStringLiteral("Data 2"), QStringLiteral("Shared Folder"), QStringLiteral("Data 4")};
    const struct {
        QString name;
        QString unique;
    } rows[] = {
        {QStringLiteral("Photos"), QStringLiteral("Photos")},
        {QStringLiteral("Data"), QStringLiteral("Data 3")},
        {QStringLiteral(" Data "), QStringLiteral("Data 3")},
        {QStringLiteral("data"), QStringLiteral("data")},
        {QStringLiteral("Data 2"), QStringLiteral("Data 2 2")},
        {QStringLiteral(".."), QStringLiteral("Shared Folder 2")},
        {QString(), QStringLiteral("Shared Folder 2")},
    };
    for (const auto &row : rows)
        EXPECT_EQ(VMSharedFolderService::uniqueShareName(row.name, used), row.unique) << row.name.toStdString();
    EXPECT_EQ(VMSharedFolderService::uniqueShareName(QString(), {}), QStringLiteral("Shared Folder"));

    // A number never pushes a name past the longest a guest can hold.
    const QString longest(255, QLatin1Char('x'));
    EXPECT_EQ(VMSharedFolderService::uniqueShareName(longest, {longest}), QString(253, QLatin1Char('x')) + QStringLiteral(" 2"));
}

} // namespace
