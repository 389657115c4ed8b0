// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QString>

class LoggingService;

/**
 * Removes what interrupted work of the library left behind: the hidden
 * temporary files of atomic writes and copies, the staged files of a
 * snapshot restore, snapshot folders that no timeline entry names, and the
 * hidden staging folders of clones, backups, exports and saved states. Each
 * of these can hold a whole disk image or a guest's memory.
 *
 * Only items that are provably ours are removed: our own hidden names in our
 * own folders of a bundle (never the guest's Automation folder or a user's
 * file) and staging folders that carry our marker (StagingMarker), found
 * without following a link, and only when they were last changed before
 * `cutoff`, the moment from which this process may have work of its own in
 * flight. A staging folder whose marker names a process that still runs,
 * such as another instance of the application, is never touched. A staging
 * folder without a marker is removed only when it holds nothing but what
 * the making of its marker leaves (StagingMarker::isUnfinished). Staging
 * folders go with their marker last, so a sweep cut short leaves them
 * recognisable to the next one. Every removal gets a log line; a failure is
 * logged and the sweep goes on. Nothing here throws, and it may run on any
 * thread. Each folder is listed once, never walked, unless something in it
 * is removed.
 */
class LeftoverSweeper
{
public:
    LeftoverSweeper(const LoggingService &logging, QDateTime cutoff);

    /// The leftovers inside the bundle folder and its protection mirror.
    void sweepBundle(const QString &bundleURL) const;
    /// The hidden temporary files that atomic writes of the library's own lists (tracked bundles, recent destinations) leave in `folder`.
    void sweepApplicationFolder(const QString &folder) const;
    /// The staging folders of clones, backups and exports in a folder that holds bundles: only those whose StagingMarker names a process that has ended.
    void sweepStagingFolders(const QString &folder) const;
    /// The protection mirrors of gone bundles in the mirror folder beside the bundles of `folder` that a load claimed but did not remove (AbandonedMirrors).
    void sweepClaimedMirrors(const QString &folder) const;
    /**
     * A folder that backups or exports wrote into: its staging folders, and
     * the marker that a backup put in place but cut short before it was
     * finished left in its copy.
     */
    void sweepDestination(const QString &folder) const;

private:
    bool isOldEnough(const QString &path) const;
    void sweepTemporaryFiles(const QString &folder, const QString &logBundleURL) const;
    void sweepOrphanSnapshots(const QString &bundleURL) const;
    void remove(const QString &path, const QString &logBundleURL) const;
    void removeStagingFolder(const QString &path) const;

    const LoggingService &m_logging;
    QDateTime m_cutoff;
};
