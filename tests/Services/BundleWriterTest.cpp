// SPDX-License-Identifier: MIT
#include "FileOperations.h"
#include "ProtectionMirror.h"
#include "StoreTestFixture.h"

#include <QFileInfo>

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
