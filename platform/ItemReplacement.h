// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/**
 * Moves that never lose what they would land on. Both items must be on the
 * same file system (a move across file systems fails with EXDEV); failures
 * throw a POSIX PlatformError. Links are moved as themselves.
 */
namespace ItemReplacement {

/// Moves `item` to `destination`; fails with EEXIST, touching nothing, when something is already there.
void moveWithoutReplacing(const QString &item, const QString &destination);

/**
 * Puts `replacement` (a file or a folder) at `target`. An existing target of
 * any kind is exchanged with the replacement in one step, so that at every
 * moment one of the two is in place, and then removed; a failure of that
 * last removal is not reported and leaves the old item under the
 * replacement's former name. Where the file system cannot exchange, the old
 * target is moved aside first and put back if the replacement cannot follow.
 */
void replace(const QString &replacement, const QString &target);

/// replace(), with the old target moved aside to `aside` (which must be free) where the file system cannot exchange.
void replace(const QString &replacement, const QString &target, const QString &aside);

} // namespace ItemReplacement
