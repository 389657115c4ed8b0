// SPDX-License-Identifier: MIT
#include "BundleLoader.h"

#include "BundleSkeleton.h"
#include "FileMeasurements.h"
#include "FileOperations.h"
#include "JSONCoding.h"
#include "JSONNestingGauge.h"
#include "LoggingService.h"
#include "ProtectionMirror.h"
#include "VMBundle.h"
#include "VirtualMachineConfiguration.h"
#include "VirtualMachineError.h"

#include <QDateTime>
#include <QFile>
#include <QStringList>

#include <sys/stat.h>

namespace {

/// Bundle files are small; anything larger is not one of ours and is not read into memory.
constexpr qint64 maximumBundleFileSize = 16 * 1024 * 1024;
/// A metadata record with the longest names and notes a user could type stays far below this.
constexpr qint64 maximumMetadataFileSize = 1024 * 1024;

/**
 * A stored JSON file, refused while it is read at the first bracket that
 * nests deeper than any decode accepts: such a file is neither read whole
 * nor measured nor parsed.
 */
QByteArray readJSONFile(const QString &path, qint64 maximumSize)
{
    JSONNestingGauge nesting;
    return FileOperations::readFile(path, maximumSize, [&nesting](QByteArrayView piece) { nesting.feed(piece); });
}

template <typename T>
T decodeFile(const QString &path, qint64 maximumSize = maximumBundleFileSize)
{
    return sharedJSONDecoder().decode<T>(readJSONFile(path, maximumSize));
}

/// A list longer than any VM can use is refused before it is parsed whole, so its cost does not grow with its length.
QList<VMSharedFolder> decodeSharedFolders(const QString &path)
{
    const QByteArray data = readJSONFile(path, maximumBundleFileSize);
    if (sharedJSONDecoder().isArrayLongerThan(data, std::size_t(maximumSharedFolderCount)))
        throw VirtualMachineError::invalidBundle(QStringLiteral("%1 lists more shared folders than a VM can have (at most %2).")
                                                     .arg(VMBundle::Layout::sharedFoldersFileName)
                                                     .arg(maximumSharedFolderCount));
    return sharedJSONDecoder().decode<QList<VMSharedFolder>>(data);
}

/// A bundle folder is loaded only as itself: a link could make the repair and the logs write wherever it points.
void refuseUnusableFolder(const QString &url)
{
    struct stat status {
    };
    if (::lstat(QFile::encodeName(url).constData(), &status) != 0) {
        // The listing shows a name the file system cannot be asked for when its bytes are not UTF-8.
        if (BundleSkeleton::lastPathComponent(url).contains(QChar::ReplacementCharacter))
            throw VirtualMachineError::invalidBundle(QStringLiteral("The folder name is not valid UTF-8. Rename the folder to load it."));
        return;
    }
    if (S_ISLNK(status.st_mode))
        throw VirtualMachineError::invalidBundle(QStringLiteral("The bundle folder is a symbolic link. Linked bundle folders are not loaded."));
}

/// Values no VM can run with are brought into range, as the configuration builders would; the returned text names what changed.
QStringList clampedHardware(VMHardwareProfile &profile)
{
    QStringList changed;
    if (profile.cpuCount < VirtualMachineConfiguration::minimumAllowedCPUCount()) {
        changed << QStringLiteral("CPU count %1").arg(profile.cpuCount);
        profile.cpuCount = VirtualMachineConfiguration::minimumAllowedCPUCount();
    }
    if (profile.memorySizeBytes == 0) {
        changed << QStringLiteral("memory size 0");
        profile.memorySizeBytes = VirtualMachineConfiguration::minimumAllowedMemorySize();
    }
    if (profile.displayWidth <= 0 || profile.displayHeight <= 0 || profile.displayPixelsPerInch <= 0) {
        changed << QStringLiteral("display %1 x %2 at %3 pixels per inch").arg(profile.displayWidth).arg(profile.displayHeight).arg(profile.displayPixelsPerInch);
        const auto standard = VMHardwareProfile::geometry(VMHardwareProfile::DisplayPreset::wuxga1920x1200);
        profile.displayWidth = standard.width;
        profile.displayHeight = standard.height;
        profile.displayPixelsPerInch = standard.pixelsPerInch;
    }
    return changed;
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
        // A sparse file: what it takes on disk, as a save records it.
        state.fileSizeBytes = FileMeasurements::allocatedSize(file);
    } catch (const std::exception &) {
        // The size is only shown when known.
    }
    return state;
}

} // namespace

QString BundleLoader::RuntimeStateReset::message() const
{
    return QStringLiteral("Reset transient runtime state for %1 from %2 to stopped during library load").arg(name, toRaw(stored));
}

BundleLoader::BundleLoader(const ProtectionMirror &mirror, const LoggingService &logging, QSet<QUuid> runningIDs)
    : BundleLoader(mirror, logging, [&logging, running = std::move(runningIDs)](const RuntimeStateReset &reset) {
        if (!running.contains(reset.id))
            logging.log(reset.message(), QStringLiteral("Store"), reset.bundleURL);
    })
{
}

BundleLoader::BundleLoader(const ProtectionMirror &mirror, const LoggingService &logging, ResetReport report)
    : m_mirror(mirror)
    , m_logging(logging)
    , m_reportReset(std::move(report))
{
}

VMBundle BundleLoader::loadBundle(const QString &url, bool allowRecovery) const
{
    refuseUnusableFolder(url);
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
    metadata = decodeFile<VMMetadata>(layout.metadataURL(), maximumMetadataFileSize);
    if (metadata.schemaVersion >= 3)
        throw VirtualMachineError::invalidBundle(QStringLiteral("Unsupported schema version %1.").arg(metadata.schemaVersion));

    metadata.bundleName = BundleSkeleton::lastPathComponent(url);
    const VMRuntimeState storedState = metadata.runtimeState;
    metadata.runtimeState = VMRuntimeState::stopped;
    if (!metadata.guestOSType)
        metadata.guestOSType = derivedGuestOSType(layout);

    if (FileOperations::itemExists(layout.sharedFoldersURL()))
        bundle.sharedFolders = decodeSharedFolders(layout.sharedFoldersURL());
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

    const QStringList clamped = clampedHardware(metadata.hardwareProfile);
    metadata.normalize();

    const QList<VMBundle::Layout::Requirement> missing = layout.missingRequirements(metadata);
    // After a repair the second pass reads the bundle again and reports the reset itself; reporting it here too would log it twice.
    if (!missing.isEmpty() && allowRecovery && m_mirror.recoverProtectedFiles(url))
        return loadBundle(url, false);

    if (storedState != VMRuntimeState::stopped)
        m_reportReset({metadata.id, metadata.name, storedState, url});
    if (!clamped.isEmpty())
        m_logging.log(QStringLiteral("Corrected values no VM can run with in the settings of %1: %2").arg(metadata.name, clamped.join(QStringLiteral(", "))),
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
