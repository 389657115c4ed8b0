// SPDX-License-Identifier: MIT
#pragma once

#include "VMFirstBootConfig.h"
#include "VMMetadata.h"
#include "VMSharedFolder.h"

#include <QList>
#include <QString>
#include <QStringView>
#include <QUuid>

#include <optional>

/**
 * One loaded VM bundle: a folder ending in ".vm" and what its files say. The
 * library store keeps one per bundle. Two bundles are the same VM when their
 * metadata identifiers are equal, whatever their folders; as values they are
 * compared over all four fields.
 */
struct VMBundle {
    /**
     * The places inside a bundle folder, and the items a bundle must have.
     * Nothing here touches the disk except missingRequirements().
     *
     * @code
     * const VMBundle::Layout layout{bundle.bundleURL};
     * QFile metadata(layout.metadataURL());
     * const QString script = layout.urlForRelativePath(*config.scriptRelativePath); // throws on "../x"
     * @endcode
     */
    struct Layout {
        /// One item a bundle must have; `displayName` is the last component of `url`.
        struct Requirement {
            QString displayName;
            QString url;
            bool isDirectory = false;

            bool operator==(const Requirement &) const = default;
        };

        // The items of every bundle, relative to its folder.
        static constexpr QStringView metadataFileName = u"Metadata.json";
        static constexpr QStringView sharedFoldersFileName = u"SharedFolders.json";
        static constexpr QStringView diskImageFileName = u"Disk.img";
        static constexpr QStringView savedStateDirectoryName = u"SavedState";
        static constexpr QStringView savedStateFileRelativePath = u"SavedState/MachineState.bin";
        static constexpr QStringView restoreImagesDirectoryName = u"RestoreImages";
        static constexpr QStringView restoreImageInfoRelativePath = u"RestoreImages/RestoreImage.json";
        static constexpr QStringView logsDirectoryName = u"Logs";
        static constexpr QStringView bootstrapDirectoryName = u"Bootstrap";
        static constexpr QStringView firstBootManifestRelativePath = u"Bootstrap/manifest.json";
        static constexpr QStringView snapshotsDirectoryName = u"Snapshots";
        static constexpr QStringView snapshotTimelineRelativePath = u"Snapshots/Timeline.json";
        static constexpr QStringView diskGrowthHistoryFileName = u"DiskGrowthHistory.json";
        static constexpr QStringView automationDirectoryName = u"Automation";
        // macOS guests only.
        static constexpr QStringView auxiliaryStorageFileName = u"AuxiliaryStorage";
        static constexpr QStringView machineIdentifierFileName = u"MachineIdentifier.bin";
        static constexpr QStringView hardwareModelFileName = u"HardwareModel.bin";
        // Linux guests only; their presence marks a Linux EFI bundle.
        static constexpr QStringView linuxBootFileName = u"LinuxBoot.json";
        static constexpr QStringView efiVariableStoreFileName = u"EFIVariableStore.bin";
        static constexpr QStringView linuxInstallImageFileName = u"LinuxInstall.iso";
        // Windows guests only, run by QEMU.
        static constexpr QStringView windowsConfigFileName = u"WindowsConfig.json";
        static constexpr QStringView windowsInstallImageFileName = u"WindowsInstall.iso";
        static constexpr QStringView virtioDriversImageFileName = u"virtio-win.iso";
        static constexpr QStringView efiFirmwareFileName = u"QEMU_EFI.fd";
        static constexpr QStringView tpmSocketFileName = u"tpm.sock";
        static constexpr QStringView qemuMonitorSocketFileName = u"qemu-monitor.sock";

        /// The bundle folder, an absolute path.
        QString rootURL;

        QString metadataURL() const { return itemURL(metadataFileName); }
        QString sharedFoldersURL() const { return itemURL(sharedFoldersFileName); }
        QString diskImageURL() const { return itemURL(diskImageFileName); }
        QString savedStateDirectoryURL() const { return itemURL(savedStateDirectoryName); }
        QString savedStateFileURL() const { return itemURL(savedStateFileRelativePath); }
        QString restoreImagesDirectoryURL() const { return itemURL(restoreImagesDirectoryName); }
        QString restoreImageInfoURL() const { return itemURL(restoreImageInfoRelativePath); }
        QString logsDirectoryURL() const { return itemURL(logsDirectoryName); }
        QString bootstrapDirectoryURL() const { return itemURL(bootstrapDirectoryName); }
        QString firstBootManifestURL() const { return itemURL(firstBootManifestRelativePath); }
        QString snapshotsDirectoryURL() const { return itemURL(snapshotsDirectoryName); }
        QString snapshotTimelineURL() const { return itemURL(snapshotTimelineRelativePath); }
        QString diskGrowthHistoryURL() const { return itemURL(diskGrowthHistoryFileName); }
        QString automationDirectoryURL() const { return itemURL(automationDirectoryName); }
        QString auxiliaryStorageURL() const { return itemURL(auxiliaryStorageFileName); }
        QString machineIdentifierURL() const { return itemURL(machineIdentifierFileName); }
        QString hardwareModelURL() const { return itemURL(hardwareModelFileName); }
        QString linuxBootURL() const { return itemURL(linuxBootFileName); }
        QString efiVariableStoreURL() const { return itemURL(efiVariableStoreFileName); }
        QString linuxInstallISOURL() const { return itemURL(linuxInstallImageFileName); }
        QString windowsConfigURL() const { return itemURL(windowsConfigFileName); }
        QString windowsInstallISOURL() const { return itemURL(windowsInstallImageFileName); }
        QString virtioDriversISOURL() const { return itemURL(virtioDriversImageFileName); }
        QString efiFirmwareURL() const { return itemURL(efiFirmwareFileName); }
        QString tpmSocketURL() const { return itemURL(tpmSocketFileName); }
        QString qemuMonitorSocketURL() const { return itemURL(qemuMonitorSocketFileName); }

        /**
         * Joins a path read from one of the bundle's own files to the bundle
         * folder. Such paths are untrusted, so one that is empty, absolute or
         * holds a ".." component is refused with VirtualMachineError
         * (invalidBundle) naming the path, and never joined.
         */
        QString urlForRelativePath(const QString &relativePath) const;

        /**
         * The items a bundle with this metadata must have, in order: the two
         * JSON files, the SavedState, RestoreImages and Logs folders; then for
         * an installing or installed guest the disk image, followed, for a
         * macOS guest (or one of unknown kind), by its three platform files;
         * then the Bootstrap folder when first boot is enabled.
         */
        QList<Requirement> requirements(const VMMetadata &metadata) const;

        /// The requirements, in order, that have nothing at their path or the wrong kind of item (a folder for a file or the reverse).
        QList<Requirement> missingRequirements(const VMMetadata &metadata) const;

        bool operator==(const Layout &) const = default;

    private:
        QString itemURL(QStringView relativePath) const;
    };

    /// The bundle folder, an absolute path.
    QString bundleURL;
    VMMetadata metadata;
    QList<VMSharedFolder> sharedFolders;
    /// The first-boot manifest, when the bundle has one.
    std::optional<VMFirstBootConfig> firstBootConfig;

    /// The VM's identity, shared by every copy of the bundle's record.
    const QUuid &id() const { return metadata.id; }
    Layout layout() const { return Layout{bundleURL}; }

    bool operator==(const VMBundle &) const = default;
};
