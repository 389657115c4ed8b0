// SPDX-License-Identifier: MIT
#include "ExtendedAttributes.h"
#include "FileOperations.h"
#include "FileSystemTraps.h"
#include "ProtectionMirror.h"
#include "StoreTestFixture.h"
#include "WithoutAccessOverride.h"

#include <QFileInfo>

#include <sys/xattr.h>

using BundleWriterTest = StoreTest;

TEST_F(BundleWriterTest, ANewBundleGetsItsFoldersAndFiles)
{
    const VMBundle bundle = savedBundle(QStringLiteral("Fresh"));
    for (const char *folder : {"SavedState", "Bootstrap", "RestoreImages", "Logs"})
        EXPECT_TRUE(QFileInfo(bundle.bundleURL + QLatin1Char('/') + QLatin1String(folder)).isDir()) << folder;
    EXPECT_EQ(read(bundle.layout().sharedFoldersURL()), QStringLiteral("[]"));
    EXPECT_EQ(sharedJSONDecoder().decode<VMMetadata>(read(bundle.layout().metadataURL()).toUtf8()), bundle.metadata);
    EXPECT_TRUE(QFileInfo(ProtectionMirror::mirrorURL(bundle.bundleURL) + QStringLiteral("/Metadata.json")).isFile());
}

TEST_F(BundleWriterTest, FirstBootFilesFollowTheConfiguration)
{
    VMBundle bundle = savedBundle(QStringLiteral("Boot"));
    const VMBundle::Layout layout = bundle.layout();

    bundle.firstBootConfig = VMFirstBootConfig{true, QStringLiteral("Bootstrap/firstboot.sh"), {}, true, {}};
    write(layout.bootstrapDirectoryURL() + QStringLiteral("/firstboot.sh"), "#!/bin/sh\n");
    write(layout.bootstrapDirectoryURL() + QStringLiteral("/.hidden"), "x");
    store().updateBundle(bundle);
    EXPECT_TRUE(QFileInfo(layout.firstBootManifestURL()).isFile());
    EXPECT_TRUE(store().bundle(bundle.id())->metadata.firstBootEnabled);

    // Disabled counts as absent: the manifest goes and the folder is emptied, hidden files included.
    bundle.firstBootConfig->enabled = false;
    store().updateBundle(bundle);
    EXPECT_TRUE(QFileInfo(layout.bootstrapDirectoryURL()).isDir());
    EXPECT_TRUE(QDir(layout.bootstrapDirectoryURL()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
    EXPECT_FALSE(store().bundle(bundle.id())->metadata.firstBootEnabled);
}

TEST_F(BundleWriterTest, ClearingTheRestoreImageKeepsTheImageFile)
{
    VMBundle bundle = savedBundle(QStringLiteral("Restore"));
    const VMBundle::Layout layout = bundle.layout();
    bundle.metadata.restoreImageInfo = RestoreImageInfo{QStringLiteral("macOS 15.1"), QStringLiteral("15.1"), QStringLiteral("24B83"),
                                                        std::nullopt, std::nullopt, RestoreImageInfo::DownloadState::availableRemotely};
    store().updateBundle(bundle);
    const QString mirroredRecord = ProtectionMirror::mirrorURL(bundle.bundleURL) + QStringLiteral("/RestoreImages/RestoreImage.json");
    EXPECT_TRUE(QFileInfo(layout.restoreImageInfoURL()).isFile());
    EXPECT_TRUE(QFileInfo(mirroredRecord).isFile());

    write(layout.restoreImagesDirectoryURL() + QStringLiteral("/UniversalMac.ipsw"), "image");
    bundle.metadata.restoreImageInfo.reset();
    store().updateBundle(bundle);
    EXPECT_FALSE(QFileInfo::exists(layout.restoreImageInfoURL()));
    EXPECT_FALSE(QFileInfo::exists(mirroredRecord));
    EXPECT_TRUE(QFileInfo(layout.restoreImagesDirectoryURL() + QStringLiteral("/UniversalMac.ipsw")).isFile());
}

TEST_F(BundleWriterTest, TheDiskImageIsHardLinkedIntoTheMirror)
{
    VMBundle bundle = savedBundle(QStringLiteral("Linked"));
    write(bundle.layout().diskImageURL(), "disk");
    store().updateBundle(bundle);
    const QString mirrored = ProtectionMirror::mirrorURL(bundle.bundleURL) + QStringLiteral("/Disk.img");
    EXPECT_TRUE(FileOperations::isSameFile(bundle.layout().diskImageURL(), mirrored));

    store().updateBundle(bundle);
    EXPECT_TRUE(FileOperations::isSameFile(bundle.layout().diskImageURL(), mirrored));

    // A disk image replaced by a new file gets a new link.
    QFile::remove(bundle.layout().diskImageURL());
    write(bundle.layout().diskImageURL(), "new disk");
    store().updateBundle(bundle);
    EXPECT_TRUE(FileOperations::isSameFile(bundle.layout().diskImageURL(), mirrored));
    EXPECT_EQ(read(mirrored), QStringLiteral("new disk"));
}

TEST_F(BundleWriterTest, ASaveNeitherVisitsNorFailsOverWhatTheGuestWrote)
{
    const auto mark = [](const QString &path) {
        return ::lsetxattr(QFile::encodeName(path).constData(), ExtendedAttributes::quarantineAttribute, "0081", 4, 0) == 0;
    };
    const auto isMarked = [](const QString &path) {
        return ::lgetxattr(QFile::encodeName(path).constData(), ExtendedAttributes::quarantineAttribute, nullptr, 0) >= 0;
    };
    VMBundle bundle = savedBundle(QStringLiteral("Guest"));
    const VMBundle::Layout layout = bundle.layout();
    const QString hostFile = layout.logsDirectoryURL() + QStringLiteral("/earlier.log");
    const QString guestFile = layout.automationDirectoryURL() + QStringLiteral("/Responses/answer.json");
    write(hostFile, "log");
    write(guestFile, "{}");
    if (!mark(hostFile) || !mark(guestFile))
        GTEST_SKIP() << "the temporary folder's file system keeps no user attributes";
    // Root in the guest made a folder nobody may read.
    const FileSystemTraps::UnreadableFolder locked(layout.automationDirectoryURL() + QStringLiteral("/Locked"));
    const WithoutAccessOverride noOverride;
    if (!noOverride.isActive())
        GTEST_SKIP() << "root could not give up its access override";

    bundle.metadata.name = QStringLiteral("Renamed");
    bundle.metadata.runtimeState = VMRuntimeState::running;
    EXPECT_NO_THROW(store().updateBundle(bundle));

    // The list and the disk say the same.
    EXPECT_EQ(store().bundle(bundle.id())->metadata.name, QStringLiteral("Renamed"));
    EXPECT_EQ(store().bundle(bundle.id())->metadata.runtimeState, VMRuntimeState::running);
    const VMMetadata stored = sharedJSONDecoder().decode<VMMetadata>(read(layout.metadataURL()).toUtf8());
    EXPECT_EQ(stored.name, QStringLiteral("Renamed"));
    EXPECT_EQ(stored.runtimeState, VMRuntimeState::running);
    // The host's own files lose the mark; the save never walks the guest's folder, so its cost does not grow with it.
    EXPECT_FALSE(isMarked(hostFile));
    EXPECT_TRUE(isMarked(guestFile));
}
