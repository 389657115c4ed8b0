// SPDX-License-Identifier: MIT
#include "VMSnapshotService.h"

#include "BackgroundWork.h"
#include "BundleSkeleton.h"
#include "ConfinedFolder.h"
#include "ExtendedAttributes.h"
#include "FileMeasurements.h"
#include "FileOperations.h"
#include "ItemRename.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "PlatformError.h"
#include "ProtectionMirror.h"
#include "SparseCopy.h"
#include "UnreadableFile.h"
#include "VirtualMachineError.h"

#include <QDateTime>

#include <algorithm>

namespace {

using Layout = VMBundle::Layout;

QString snapshotFolderRelativePath(const QUuid &id)
{
    return Layout::snapshotsDirectoryName.toString() + QLatin1Char('/') + id.toString(QUuid::WithoutBraces).toUpper();
}

/// The timeline keeps whole seconds; the record handed back must equal the one read back later.
QDateTime nowInWholeSeconds()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    return now.addMSecs(-now.time().msec());
}

void removeIfPresent(const QString &path)
{
    if (FileOperations::itemExists(path))
        FileOperations::removeItem(path);
}

/// For cleaning up after a failure that is already being reported.
void removeQuietly(const QString &path) noexcept
{
    try {
        removeIfPresent(path);
    } catch (const std::exception &) {
    }
}

/**
 * Refuses a path of the bundle that passes through a link or anything but a
 * folder on its way: a snapshot path is always a real folder inside the
 * bundle, never a way out of it. The last component is the caller's to open
 * without following a link.
 */
void requireRealFolders(const QString &bundleURL, const QString &relativePath)
{
    QString folder = bundleURL;
    const QStringList components = relativePath.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (qsizetype index = 0; index + 1 < components.size(); ++index) {
        folder += QLatin1Char('/') + components[index];
        if (!FileOperations::isFolder(folder))
            throw VirtualMachineError::invalidBundle(QStringLiteral("%1 is not a folder of the bundle.").arg(folder));
    }
}

/// The Snapshots folder, made sure of as a real folder of the bundle: a link in its place gives way to one.
void createSnapshotsFolder(const Layout &layout)
{
    ConfinedFolder::create(layout.snapshotsDirectoryURL());
}

std::optional<VMSnapshot> findSnapshot(const VMSnapshotTimeline &timeline, const QUuid &id)
{
    const auto found = std::find_if(timeline.snapshots.cbegin(), timeline.snapshots.cend(), [&](const VMSnapshot &snapshot) { return snapshot.id == id; });
    if (found == timeline.snapshots.cend())
        return std::nullopt;
    return *found;
}

} // namespace

VMSnapshotService::VMSnapshotService(const DiskImageService &diskImageService, const LoggingService &logging)
    : m_diskImageService(diskImageService)
    , m_logging(logging)
{
}

// ---------------------------------------------------------------------------
// Timeline

VMSnapshotTimeline VMSnapshotService::readTimeline(const QString &url)
{
    return sharedJSONDecoder().decode<VMSnapshotTimeline>(FileOperations::readFile(url));
}

VMSnapshotTimeline VMSnapshotService::loadTimeline(const VMBundle &bundle) const
{
    const QString url = bundle.layout().snapshotTimelineURL();
    if (!FileOperations::isFolder(bundle.layout().snapshotsDirectoryURL()) || !FileOperations::itemExists(url))
        return {};
    try {
        return readTimeline(url);
    } catch (const std::exception &) {
        return {};
    }
}

void VMSnapshotService::saveTimeline(const VMSnapshotTimeline &timeline, const VMBundle &bundle) const
{
    const Layout layout = bundle.layout();
    createSnapshotsFolder(layout);
    setAsideUnreadableTimeline(bundle);
    FileOperations::writeAtomically(layout.snapshotTimelineURL(), sharedJSONEncoder().encode(timeline));
}

void VMSnapshotService::setAsideUnreadableTimeline(const VMBundle &bundle) const
{
    // An unreadable timeline may still be repaired by hand; writing a new one over it would lose every earlier snapshot for good.
    const QString url = bundle.layout().snapshotTimelineURL();
    if (!FileOperations::itemExists(url))
        return;
    QString reason;
    try {
        readTimeline(url);
        return;
    } catch (const std::exception &error) {
        reason = QString::fromUtf8(error.what());
    }

    const QString aside = UnreadableFile::moveAside(url);
    log(QStringLiteral("Moved the unreadable snapshot timeline aside as %1: %2").arg(BundleSkeleton::lastPathComponent(aside), reason), bundle);
}

// ---------------------------------------------------------------------------
// Creating

VMSnapshotService::PendingSnapshot VMSnapshotService::prepareSnapshot(const VMBundle &bundle) const
{
    const Layout layout = bundle.layout();
    createSnapshotsFolder(layout);

    PendingSnapshot pending;
    pending.id = QUuid::createUuid();
    const QString folder = snapshotFolderRelativePath(pending.id);
    ConfinedFolder::create(layout.urlForRelativePath(folder));

    pending.diskRelativePath = folder + QLatin1Char('/') + Layout::diskImageFileName.toString();
    pending.copies.append({layout.diskImageURL(), layout.urlForRelativePath(pending.diskRelativePath)});
    if (FileOperations::itemExists(layout.savedStateFileURL())) {
        pending.stateRelativePath = folder + QStringLiteral("/MachineState.bin");
        pending.copies.append({layout.savedStateFileURL(), layout.urlForRelativePath(pending.stateRelativePath)});
    }
    return pending;
}

void VMSnapshotService::copyFiles(const QList<FileCopy> &copies)
{
    for (const FileCopy &copy : copies)
        SparseCopy::copyFile(copy.source, copy.destination);
}

VMSnapshot VMSnapshotService::recordSnapshot(const VMBundle &bundle, const PendingSnapshot &pending, const QString &name, const QString &notes,
                                             bool isAutoSnapshot) const
{
    VMSnapshotTimeline timeline = loadTimeline(bundle);
    const VMMetadata &metadata = bundle.metadata;
    const VMSnapshot snapshot{
        pending.id,
        name,
        notes,
        nowInWholeSeconds(),
        timeline.activeSnapshotID,
        metadata.diskSizeBytes,
        metadata.memorySizeBytes,
        metadata.cpuCount,
        metadata.guestOSDisplayName,
        pending.stateRelativePath,
        pending.diskRelativePath,
        isAutoSnapshot,
    };
    timeline.snapshots.append(snapshot);
    timeline.activeSnapshotID = snapshot.id;
    saveTimeline(timeline, bundle);
    log(QStringLiteral("Created snapshot '%1' for %2").arg(name, metadata.name), bundle);
    return snapshot;
}

VMSnapshot VMSnapshotService::createSnapshot(const VMBundle &bundle, const QString &name, const QString &notes, bool isAutoSnapshot) const
{
    const PendingSnapshot pending = prepareSnapshot(bundle);
    copyFiles(pending.copies);
    return recordSnapshot(bundle, pending, name, notes, isAutoSnapshot);
}

QCoro::Task<VMSnapshot> VMSnapshotService::createSnapshotAsync(VMBundle bundle, QString name, QString notes, bool isAutoSnapshot) const
{
    const PendingSnapshot pending = prepareSnapshot(bundle);
    co_await BackgroundWork::run(&VMSnapshotService::copyFiles, pending.copies);
    co_return recordSnapshot(bundle, pending, name, notes, isAutoSnapshot);
}

// ---------------------------------------------------------------------------
// Restoring

VMSnapshotService::PendingRestore VMSnapshotService::prepareRestore(const QUuid &snapshotID, const VMBundle &bundle) const
{
    // Replacing the disk or the saved state under a running or suspended machine pairs it with files it did not write.
    // A VM recorded in the error state is refused no more than a stopped one: its last run failed, and a snapshot is
    // what brings it back. Whether a failed machine still runs is for the caller to ask of the machine itself.
    const VMRuntimeState recorded = bundle.metadata.runtimeState;
    if (recorded != VMRuntimeState::stopped && recorded != VMRuntimeState::error)
        throw VirtualMachineError::invalidOperation(QStringLiteral("Stop the virtual machine before restoring a snapshot."));

    PendingRestore restore{loadTimeline(bundle), {}, bundle.layout(), {}, std::nullopt};
    const std::optional<VMSnapshot> snapshot = findSnapshot(restore.timeline, snapshotID);
    if (!snapshot)
        throw VirtualMachineError::invalidOperation(QStringLiteral("The selected snapshot could not be found."));
    restore.snapshot = *snapshot;

    // The paths come from a file of the bundle, which may come from anywhere: absolute paths and ".." are refused here.
    restore.diskURL = restore.layout.urlForRelativePath(snapshot->diskRelativePath);
    requireRealFolders(bundle.bundleURL, snapshot->diskRelativePath);
    const std::optional<QString> stateURL
        = snapshot->stateRelativePath.isEmpty() ? std::nullopt : std::optional(restore.layout.urlForRelativePath(snapshot->stateRelativePath));
    if (stateURL)
        requireRealFolders(bundle.bundleURL, snapshot->stateRelativePath);

    if (!FileOperations::itemExists(restore.diskURL))
        throw VirtualMachineError::missingBundleFile(QStringLiteral("Snapshot disk image is missing."));
    if (stateURL && FileOperations::itemExists(*stateURL))
        restore.stateURL = stateURL;
    return restore;
}

void VMSnapshotService::replaceBundleFiles(const PendingRestore &restore)
{
    const Layout &layout = restore.layout;

    // Both files are first copied under hidden names, so that a failed copy changes nothing. The old saved state
    // then goes before the disk is replaced: it belongs to the old disk, and whatever moment the work stops at, the
    // bundle never pairs a disk with a saved state of another. At worst the VM starts cold.
    const QString stagedDisk = layout.urlForRelativePath(stagedDiskName.toString());
    std::optional<QString> stagedState;
    try {
        if (restore.stateURL) {
            ConfinedFolder::create(layout.savedStateDirectoryURL());
            stagedState = layout.urlForRelativePath(stagedStateRelativePath.toString());
            SparseCopy::copyFile(*restore.stateURL, *stagedState);
        }
        SparseCopy::copyFile(restore.diskURL, stagedDisk);
        removeIfPresent(layout.savedStateFileURL());
        ItemRename::rename(stagedDisk, layout.diskImageURL());
    } catch (...) {
        removeQuietly(stagedDisk);
        if (stagedState)
            removeQuietly(*stagedState);
        throw;
    }
    try {
        ExtendedAttributes::setExcludedFromBackup(layout.diskImageURL());
    } catch (const PlatformError &) {
        // Only backup tools read the flag; the disk is complete without it.
    }

    if (stagedState) {
        try {
            ItemRename::rename(*stagedState, layout.savedStateFileURL());
        } catch (...) {
            removeQuietly(*stagedState);
            throw;
        }
    }
}

void VMSnapshotService::recordRestore(PendingRestore restore, const VMBundle &bundle) const
{
    restore.timeline.activeSnapshotID = restore.snapshot.id;
    saveTimeline(restore.timeline, bundle);
    refreshMirror(bundle);
    log(QStringLiteral("Restored snapshot '%1' for %2").arg(restore.snapshot.name, bundle.metadata.name), bundle);
}

void VMSnapshotService::restoreSnapshot(const QUuid &snapshotID, const VMBundle &bundle) const
{
    PendingRestore restore = prepareRestore(snapshotID, bundle);
    replaceBundleFiles(restore);
    recordRestore(std::move(restore), bundle);
}

QCoro::Task<> VMSnapshotService::restoreSnapshotAsync(QUuid snapshotID, VMBundle bundle) const
{
    PendingRestore restore = prepareRestore(snapshotID, bundle);
    co_await BackgroundWork::run(&VMSnapshotService::replaceBundleFiles, restore);
    recordRestore(std::move(restore), bundle);
}

// ---------------------------------------------------------------------------
// Deleting and renaming

void VMSnapshotService::deleteSnapshot(const QUuid &snapshotID, const VMBundle &bundle) const
{
    const VMSnapshotTimeline timeline = loadTimeline(bundle);
    const std::optional<VMSnapshot> snapshot = findSnapshot(timeline, snapshotID);
    if (!snapshot)
        return;

    VMSnapshotTimeline remaining = timeline;
    remaining.removeSnapshot(snapshotID);

    // The descendants leave the timeline with the snapshot, and so do their copies: nothing would name them any more.
    QList<QUuid> removed{snapshotID};
    for (const VMSnapshot &entry : timeline.snapshots) {
        if (!removed.contains(entry.id) && !findSnapshot(remaining, entry.id))
            removed.append(entry.id);
    }
    const Layout layout = bundle.layout();
    // Only entries of the bundle's own Snapshots folder are removed; a link there is unlinked, never followed.
    if (FileOperations::isFolder(layout.snapshotsDirectoryURL())) {
        for (const QUuid &id : removed)
            removeIfPresent(layout.urlForRelativePath(snapshotFolderRelativePath(id)));
    }

    saveTimeline(remaining, bundle);
    log(QStringLiteral("Deleted snapshot '%1' for %2").arg(snapshot->name, bundle.metadata.name), bundle);
}

void VMSnapshotService::updateSnapshot(const QUuid &snapshotID, const QString &name, const VMBundle &bundle) const
{
    VMSnapshotTimeline timeline = loadTimeline(bundle);
    const auto found = std::find_if(timeline.snapshots.begin(), timeline.snapshots.end(), [&](const VMSnapshot &snapshot) { return snapshot.id == snapshotID; });
    if (found == timeline.snapshots.end())
        return;
    found->name = name;
    saveTimeline(timeline, bundle);
}

quint64 VMSnapshotService::snapshotsSize(const QString &bundleURL) const
{
    const QString folder = VMBundle::Layout{bundleURL}.snapshotsDirectoryURL();
    return FileOperations::itemExists(folder) ? FileMeasurements::allocatedSizeOfTree(folder) : 0;
}

void VMSnapshotService::refreshMirror(const VMBundle &bundle) const
{
    // The mirror still links the replaced disk; left so, a repair would bring back the disk the restore replaced.
    if (!FileOperations::isFolder(ProtectionMirror::mirrorURL(bundle.bundleURL)))
        return;
    try {
        ProtectionMirror(m_logging).refreshProtection(bundle);
    } catch (const std::exception &error) {
        log(QStringLiteral("Could not refresh the protection of %1 after the restore: %2").arg(bundle.metadata.name, QString::fromUtf8(error.what())),
            bundle);
    }
}

void VMSnapshotService::log(const QString &message, const VMBundle &bundle) const
{
    m_logging.log(message, QStringLiteral("Snapshot"), bundle.bundleURL);
}
