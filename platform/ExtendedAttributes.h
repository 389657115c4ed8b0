// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/**
 * The extended attributes the storage services set or clear: the quarantine
 * mark that downloads carry, and the backup exclusion of large files.
 *
 * There is no file-system flag on this host that makes a folder show as a
 * single document, so folders get no such flag; backup exclusion is all a
 * bundle folder carries.
 */
namespace ExtendedAttributes {

/// The quarantine mark a download carries; "user." is the namespace any owner may change.
inline constexpr char quarantineAttribute[] = "user.com.apple.quarantine";

/// The freedesktop convention that backup tools read to leave an item out.
inline constexpr char excludedFromBackupAttribute[] = "user.xdg.robots.backup";

/**
 * Removes the quarantine mark from the one item at `path`, never from what a
 * folder holds and never from a link's target. Removed, not present, no
 * item, or a file system without user attributes all count as done;
 * sockets, FIFOs and devices are left alone (the kernel refuses user
 * attributes on them), and so is a link that refuses them. Any other failure
 * throws PlatformError::posix(errno, path).
 */
void removeQuarantine(const QString &path);

/**
 * Removes the quarantine mark from every item below `folder`, a folder's
 * content before the folder itself; `folder` itself keeps its mark. Hidden
 * items (names beginning with ".") and everything inside hidden folders are
 * not visited, and linked folders are not entered. A missing `folder` is no
 * error; a listing failure or a failed removal is thrown.
 */
void removeQuarantineRecursively(const QString &folder);

/// Marks the item (a link's target, when `path` is a link) as excluded from backups; a file system without user attributes counts as done.
void setExcludedFromBackup(const QString &path);

} // namespace ExtendedAttributes
