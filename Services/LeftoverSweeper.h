// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QString>

class LoggingService;

/**
 * Removes what interrupted work of the library left behind: the hidden
 * temporary files of atomic writes and copies, the staged files of a
 * snapshot restore, snapshot folders that no timeline entry names, and the
 * hidden staging folders of clones and backups. Each of these can hold a
 * whole disk image.
 *
 * Only items that are provably ours are removed: our own hidden names in our
 * own folders of a bundle (never the guest's Automation folder or a user's
 * file) and staging folders that carry our marker, found without following a
 * link, and only when they were last changed before `cutoff`, the moment from
 * which this process may have work of its own in flight. A staging folder
 * whose marker names a process that still runs, such as another instance of
 * the application, is never touched. Every removal gets a log line; a failure is logged
 * and the sweep goes on. Nothing here throws, and it may run on any thread.
 */
class LeftoverSweeper
{
public:
    LeftoverSweeper(const LoggingService &logging, QDateTime cutoff);

    /// The leftovers inside the bundle folder and its protection mirror.
    void sweepBundle(const QString &bundleURL) const;
    /// The staging folders of clones and backups in a folder that holds bundles: only those whose StagingMarker names a process that has ended.
    void sweepStagingFolders(const QString &folder) const;

private:
    bool isOldEnough(const QString &path) const;
    void sweepTemporaryFiles(const QString &folder, const QString &logBundleURL) const;
    void sweepOrphanSnapshots(const QString &bundleURL) const;
    void remove(const QString &path, const QString &logBundleURL) const;

    const LoggingService &m_logging;
    QDateTime m_cutoff;
};
