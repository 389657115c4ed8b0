// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringList>

/**
 * The host folder on which a shared-folder server puts the folders of a
 * multiple-directory share together: one empty folder per share name, on
 * which the server binds that share in its own mount namespace. The folder
 * outlives the server, so that after a restore the guest finds the same top
 * folder (the same inode) it saw when its state was saved, and the server
 * can check each restored file against the one the guest had.
 */
namespace ShareTreeFolder {

/**
 * Makes `folder` hold exactly one empty folder per name of `names`, adding
 * what is missing and removing other items, without following links: a
 * link at `folder` itself or inside it is removed, never used. A folder
 * that is not empty is left where it is (the guest sees it read-only).
 * Throws PlatformError when the folder or one of `names` cannot be made.
 */
void prepare(const QString &folder, const QStringList &names);

} // namespace ShareTreeFolder
