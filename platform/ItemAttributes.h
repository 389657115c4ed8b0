// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

#include <sys/stat.h>
#include <sys/types.h>

#include <ctime>

/**
 * Reads and sets the attributes of one item, the way a file manager shows
 * them: kind, length, permission bits and modification time. An item is
 * always taken as itself: a symbolic link is never followed, so a link
 * placed where a file is expected can neither be measured as its target nor
 * have its target changed. Every failure throws PlatformError::posix.
 */
namespace ItemAttributes {

struct Status {
    enum class Kind { file, folder, link, other };

    Kind kind = Kind::other;
    /// The logical length in bytes.
    quint64 size = 0;
    /// The permission bits (07777).
    mode_t permissions = 0;
    /// Whole seconds since the epoch and nanoseconds, as the file system keeps them.
    struct timespec modificationTime {
    };
    /// The device and inode: a file replaced by another (as an atomic write does) has new ones.
    dev_t device = 0;
    ino_t inode = 0;

    /// Equal to the nanosecond, so a copy given the source's time compares equal.
    bool hasSameModificationTime(const Status &other) const
    {
        return modificationTime.tv_sec == other.modificationTime.tv_sec && modificationTime.tv_nsec == other.modificationTime.tv_nsec;
    }
};

/// The attributes in a status the caller read itself (fstatat and the like).
Status statusOf(const struct stat &item);

/// The attributes of the item at `path` (lstat).
Status status(const QString &path);

/// Sets the permission bits of the item at `path`; a link fails (EOPNOTSUPP) rather than passing the change on to its target.
void setPermissions(const QString &path, mode_t permissions);

/// Sets the modification time of the item at `path` (a link's own time, never its target's); the access time is left alone.
void setModificationTime(const QString &path, const struct timespec &time);

} // namespace ItemAttributes
