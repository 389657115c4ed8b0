// SPDX-License-Identifier: MIT
#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

/**
 * What the host reports about the space and age of files. An item is
 * measured as itself: a symbolic link is never followed.
 */
namespace FileMeasurements {

/// The logical length in bytes. Throws PlatformError.
quint64 fileSize(const QString &path);

/// The bytes the file system has allocated (st_blocks * 512), far below the length for a sparse file. Throws PlatformError.
quint64 allocatedSize(const QString &path);

/**
 * The allocated bytes of every item below `folder`, skipping hidden items
 * (names beginning with ".") and everything inside hidden folders. Folders
 * themselves count nothing, links count as themselves. Never fails: a
 * missing location, a plain file or an unreadable item counts 0.
 */
quint64 allocatedSizeOfTree(const QString &folder);

/// When the file was created (statx birth time), or now when the file system keeps none or the file cannot be examined.
QDateTime birthTime(const QString &path);

/// The bytes an unprivileged user may still write on the volume that holds `path` (statvfs). Throws PlatformError.
quint64 availableSpace(const QString &path);

} // namespace FileMeasurements
