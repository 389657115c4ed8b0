// SPDX-License-Identifier: MIT
#pragma once

#include "MountPoint.h"
#include "ResolvedBookmark.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

/**
 * Makes and resolves the bookmarks by which the application finds a file or
 * folder outside its own folders again, after a restart or after the disk
 * holding it was mounted elsewhere. The one place where bookmarks are made,
 * so every bookmark has the same form.
 *
 * A bookmark is an opaque versioned record of the item's path, its device
 * and inode, the identity of its file system and its path inside that file
 * system. It resolves to the stored path while the same item is still there;
 * otherwise it looks for the item on the mounts of the same file system, and
 * a hit there is reported stale so that the holder stores a fresh bookmark.
 *
 *     FileBookmarkService bookmarks;
 *     const QByteArray data = bookmarks.makeBookmark(folder);
 *     const ResolvedBookmark found = bookmarks.resolveBookmark(data);
 */
class FileBookmarkService
{
public:
    using MountTableSource = std::function<QList<MountPoint>()>;

    /// `mounts` lists the mounted file systems when asked; the host's table by default.
    explicit FileBookmarkService(MountTableSource mounts = {});

    /// The bookmark of the item at `path` (a link is followed). Fails with PlatformError when there is no item.
    QByteArray makeBookmark(const QString &path) const;

    /**
     * Where the bookmarked item is now. Not stale when the same item (device
     * and inode) is still at the stored path. Otherwise stale and, in this
     * order: the same item found on a mount of its file system, something at
     * its place on such a mount, or something at the stored path. Fails with
     * PlatformError ENOENT naming the last known path when nothing is found,
     * and with a file-domain PlatformError when the data is not a bookmark.
     */
    ResolvedBookmark resolveBookmark(const QByteArray &bookmarkData) const;

private:
    MountTableSource m_mounts;
};
