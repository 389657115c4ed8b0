// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

/**
 * Copies a folder tree into a folder that someone else (a guest) may change
 * while the copy runs. Every folder on both sides is held open and every
 * item is reached relative to its open folder without following a link, so
 * a folder swapped for a link during the copy makes the copy fail instead of
 * reading or writing outside the two trees. Files are copied sparse (clone
 * or data extents), folders get their permission bits last, links are
 * recreated with the same target text and never followed; sockets, FIFOs
 * and devices are skipped. Failures throw PlatformError naming the item; a
 * failed copy leaves what it made so far for the caller to remove.
 *
 * @code
 * const quint64 bytes = ConfinedTreeCopy::copyTree(QStringLiteral("/home/me/Project"), share, QStringLiteral(".Project.part"));
 * @endcode
 */
namespace ConfinedTreeCopy {

/**
 * Copies the folder `source` (a link there fails with ENOTDIR) as the new folder `name`
 * inside the existing folder `destinationFolder` (a link there fails alike);
 * something already named `name` fails with EEXIST. Answers the number of
 * bytes of the regular files copied.
 */
quint64 copyTree(const QString &source, const QString &destinationFolder, const QString &name);

} // namespace ConfinedTreeCopy
