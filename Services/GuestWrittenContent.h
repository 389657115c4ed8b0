// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

/**
 * The part of a bundle that its guest writes: the shared automation folder,
 * Automation/, where root in the guest may leave anything (a folder nobody
 * may read, 200 000 small files, links to anywhere). Host work on a bundle
 * keeps apart from it: a save never visits it, and a copy of the bundle
 * (backup, clone, export) first makes sure it can read it, so that the
 * guest's content cannot fail the copy halfway.
 *
 * @code
 * if (const std::optional<QString> refusal = GuestWrittenContent::unreadableItem(bundle.bundleURL))
 *     throw VirtualMachineError(VirtualMachineError::Case::cloneFailed, *refusal);
 * @endcode
 */
namespace GuestWrittenContent {

/// Whether the item at `relativePath` ("/"-joined below the bundle folder) lies in what the guest writes.
bool contains(const QString &relativePath);

/**
 * Reads through the guest's part of the bundle as a copy does, blocking:
 * every folder listed and every file opened for reading, no link followed.
 * Returns the sentence for the user that names the first item that cannot
 * be read; none when all of it can, or when the bundle has no such folder.
 */
std::optional<QString> unreadableItem(const QString &bundleURL);

} // namespace GuestWrittenContent
