// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"
#include "VMSnapshot.h"
#include "VMSnapshotTimeline.h"

#include <QCoroTask>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>

class DiskImageService;
class LoggingService;

/**
 * Takes, restores, renames and deletes the snapshots of a VM bundle and
 * keeps their tree in Snapshots/Timeline.json. A snapshot is a sparse copy
 * of the bundle's Disk.img, plus its SavedState/MachineState.bin when there
 * is one, in "Snapshots/<ID>/". The service works on the bundle's files
 * only: it never starts or stops the VM and never writes its metadata.
 *
 * Every operation reads the timeline afresh and writes it back whole. A
 * timeline that cannot be read or decoded reads as empty, and before an
 * operation writes a new one the unreadable file is moved aside as
 * "Timeline.json.unreadable-<UTC time>", never overwritten.
 *
 * The synchronous operations block for the length of their copies. The
 * *Async tasks do the same work with the copies on a worker thread and the
 * rest on the caller's thread; the service must outlive them (the
 * application makes it once), and callers must not run two operations on one
 * bundle at a time. Failures are VirtualMachineError or the host's
 * PlatformError; the lines of create, restore and delete go to the bundle's
 * log under "Snapshot".
 *
 * @code
 * const VMSnapshot snapshot = co_await snapshots.createSnapshotAsync(bundle, QStringLiteral("Before upgrade"), notes, false);
 * co_await snapshots.restoreSnapshotAsync(snapshot.id, bundle);
 * @endcode
 */
class VMSnapshotService
{
public:
    /// Where a restore stages the snapshot's files before they take their places, relative to the bundle.
    static constexpr QStringView stagedDiskName = u".Disk.img.restoring";
    static constexpr QStringView stagedStateRelativePath = u"SavedState/.MachineState.bin.restoring";

    VMSnapshotService(const DiskImageService &diskImageService, const LoggingService &logging);

    // Timeline
    /// The bundle's timeline; a missing, unreadable or undecodable file reads as an empty one. Never fails.
    VMSnapshotTimeline loadTimeline(const VMBundle &bundle) const;
    /// Writes the timeline atomically, creating the Snapshots folder.
    void saveTimeline(const VMSnapshotTimeline &timeline, const VMBundle &bundle) const;

    // Snapshots
    /**
     * Copies the disk (and saved state) into a new snapshot folder, appends
     * the snapshot with the active one as its parent and makes it active.
     * Name and notes are kept as given. A failed copy leaves its folder.
     */
    VMSnapshot createSnapshot(const VMBundle &bundle, const QString &name, const QString &notes, bool isAutoSnapshot) const;
    QCoro::Task<VMSnapshot> createSnapshotAsync(VMBundle bundle, QString name, QString notes, bool isAutoSnapshot) const;

    /**
     * Puts the snapshot's disk and saved state back in place of the
     * bundle's and makes the snapshot active. Refused unless the VM's
     * stored run state is stopped or error (a failed run); the caller makes
     * sure no machine runs the VM. The new disk (and saved state) are
     * copied beside their places and renamed in only when complete, so a
     * failed copy leaves the bundle as it was. The bundle's saved state is
     * removed before the disk is replaced, since it belongs to the replaced
     * disk: a restore cut short at any point leaves either the old disk or
     * the new one, each with its own saved state or none. The protection
     * mirror, when there is one, is refreshed to the new disk.
     */
    void restoreSnapshot(const QUuid &snapshotID, const VMBundle &bundle) const;
    QCoro::Task<> restoreSnapshotAsync(QUuid snapshotID, VMBundle bundle) const;

    /// Removes the snapshot and its descendants, folders and entries; an unknown identifier changes nothing.
    void deleteSnapshot(const QUuid &snapshotID, const VMBundle &bundle) const;

    /// Gives the snapshot a new name, unchanged; an unknown identifier changes nothing. Not logged.
    void updateSnapshot(const QUuid &snapshotID, const QString &name, const VMBundle &bundle) const;

    /// The bytes the Snapshots folder takes on the host, hidden items left out; 0 when there is none. Never fails.
    quint64 snapshotsSize(const QString &bundleURL) const;

    const DiskImageService &diskImageService() const { return m_diskImageService; }

private:
    struct FileCopy {
        QString source;
        QString destination;
    };

    /// A snapshot whose folder exists and whose files are still to be copied.
    struct PendingSnapshot {
        QUuid id;
        QString diskRelativePath;
        QString stateRelativePath;
        QList<FileCopy> copies;
    };

    /// A restore that has passed every check and whose files are still to be replaced.
    struct PendingRestore {
        VMSnapshotTimeline timeline;
        VMSnapshot snapshot;
        VMBundle::Layout layout;
        QString diskURL;
        /// The snapshot's saved state, when it has one that still exists.
        std::optional<QString> stateURL;
    };

    PendingSnapshot prepareSnapshot(const VMBundle &bundle) const;
    VMSnapshot recordSnapshot(const VMBundle &bundle, const PendingSnapshot &pending, const QString &name, const QString &notes,
                              bool isAutoSnapshot) const;
    PendingRestore prepareRestore(const QUuid &snapshotID, const VMBundle &bundle) const;
    void recordRestore(PendingRestore restore, const VMBundle &bundle) const;

    static void copyFiles(const QList<FileCopy> &copies);
    void refreshMirror(const VMBundle &bundle) const;
    static void replaceBundleFiles(const PendingRestore &restore);
    static VMSnapshotTimeline readTimeline(const QString &url);
    void setAsideUnreadableTimeline(const VMBundle &bundle) const;
    void log(const QString &message, const VMBundle &bundle) const;

    const DiskImageService &m_diskImageService;
    const LoggingService &m_logging;
};
