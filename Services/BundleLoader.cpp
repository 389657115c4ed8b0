// SPDX-License-Identifier: MIT
#include "BundleLoader.h"

#include "BundleSkeleton.h"
#include "FileMeasurements.h"
#include "FileOperations.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "ProtectionMirror.h"
#include "VMBundle.h"
#include "VirtualMachineError.h"

#include <QDateTime>
#include <QStringList>

namespace {

/// Bundle files are small; anything larger is not one of ours and is not read into memory.
constexpr qint64 maximumBundleFileSize = 16 * 1024 * 1024;

template <typename T>
T decodeFile(const QString &path)
{
    return sharedJSONDecoder().decode<T>(FileOperations::readFile(path, maximumBundleFileSize));
}

VMGuestOSType derivedGuestOSType(const VMBundle::Layout &layout)
{
    const bool linuxFiles = FileOperations::itemExists(layout.linuxBootURL()) || FileOperations::itemExists(layout.efiVariableStoreURL());
    return linuxFiles && !FileOperations::itemExists(layout.hardwareModelURL()) ? VMGuestOSType::linux : VMGuestOSType::macOS;
}

std::optional<VMSavedState> savedStateOnDisk(const VMBundle::Layout &layout)
{
    const QString file = layout.savedStateFileURL();
    if (!FileOperations::itemExists(file))
        return std::nullopt;
    VMSavedState state;
    state.relativePath = VMBundle::Layout::savedStateFileRelativePath.toString();
    try {
        state.createdAt = FileMeasurements::birthTime(file);
    } catch (const std::exception &) {
        state.createdAt = QDateTime::currentDateTimeUtc();
    }
    try {
        state.fileSizeBytes = FileMeasurements::fileSize(file);
    } catch (const std::exception &) {
        // The size is only shown when known.
    }
    return state;
}

} // namespace

BundleLoader::BundleLoader(const ProtectionMirror &mirror, const LoggingService &logging)
    : m_mirror(mirror)
    , m_logging(logging)
{
}

VMBundle BundleLoader::loadBundle(const QString &url, bool allowRecovery) const
{
    const VMBundle::Layout layout{url};
    if (!FileOperations::itemExists(layout.metadataURL())) {
        const QString detail = VMBundle::Layout::metadataFileName.toString();
        if (allowRecovery && m_mirror.recoverProtectedFiles(url))
            return loadBundle(url, false);
        throw VirtualMachineError(VirtualMachineError::Case::missingBundleFile, detail);
    }

    VMBundle bundle;
    bundle.bundleURL = url;
    VMMetadata &metadata = bundle.metadata;
    metadata = decodeFile<VMMetadata>(layout.metadataURL());
    if (metadata.schemaVersion >= 3)
        throw VirtualMachineError::invalidBundle(QStringLiteral("Unsupported schema version %1.").arg(metadata.schemaVersion));

    metadata.bundleName = BundleSkeleton::lastPathComponent(url);
    const VMRuntimeState storedState = metadata.runtimeState;
    metadata.runtimeState = VMRuntimeState::stopped;
    if (!metadata.guestOSType)
        metadata.guestOSType = derivedGuestOSType(layout);

    if (FileOperations::itemExists(layout.sharedFoldersURL()))
        bundle.sharedFolders = decodeFile<QList<VMSharedFolder>>(layout.sharedFoldersURL());
    if (FileOperations::itemExists(layout.firstBootManifestURL()))
        bundle.firstBootConfig = decodeFile<VMFirstBootConfig>(layout.firstBootManifestURL());
    metadata.sharedFolderCount = bundle.sharedFolders.size();
    metadata.firstBootEnabled = bundle.firstBootConfig && bundle.firstBootConfig->enabled;

    metadata.savedState = savedStateOnDisk(layout);
    metadata.hasSavedState = metadata.savedState.has_value();

    if (FileOperations::itemExists(layout.restoreImageInfoURL())) {
        try {
            metadata.restoreImageInfo = decodeFile<RestoreImageInfo>(layout.restoreImageInfoURL());
        } catch (const std::exception &) {
            // A damaged restore-image record only loses the display of the image; the VM still loads.
            metadata.restoreImageInfo.reset();
        }
    }

    metadata.normalize();

    const QList<VMBundle::Layout::Requirement> missing = layout.missingRequirements(metadata);
    // After a repair the second pass reads the bundle again and reports the reset itself; reporting it here too would log it twice.
    if (!missing.isEmpty() && allowRecovery && m_mirror.recoverProtectedFiles(url))
        return loadBundle(url, false);

    if (storedState != VMRuntimeState::stopped)
        m_logging.log(QStringLiteral("Reset transient runtime state for %1 from %2 to stopped during library load").arg(metadata.name, toRaw(storedState)),
                      QStringLiteral("Store"), url);
    if (missing.isEmpty())
        return bundle;

    QStringList names;
    for (const auto &requirement : missing)
        names << requirement.displayName;
    throw VirtualMachineError::invalidBundle(QStringLiteral("Missing required bundle components: ") + names.join(QStringLiteral(", ")));
}

std::optional<VMSavedState> BundleLoader::savedStateRecord(const VMBundle::Layout &layout)
{
    return savedStateOnDisk(layout);
}
