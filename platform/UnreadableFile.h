// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/**
 * What to do with a stored list that can no longer be read or decoded: it
 * may still be repaired by hand, so it is renamed, never overwritten, before
 * anything new is written in its place.
 *
 * @code
 * const QString aside = UnreadableFile::moveAside(storeURL);
 * logging.log(QStringLiteral("Moved the unreadable list aside as ") + aside, category);
 * @endcode
 */
namespace UnreadableFile {

/**
 * Renames the file at `path` to "<path>.unreadable-<UTC time>" (numbered
 * "-2", "-3" ... when that name is taken, so an earlier one is never
 * replaced) and returns the new path. Throws PlatformError when it cannot.
 */
QString moveAside(const QString &path);

} // namespace UnreadableFile
