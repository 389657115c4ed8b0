// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/**
 * The folders and flags every bundle folder carries, shared by bundle
 * writing, folder creation and the repair from the protection mirror.
 */
namespace BundleSkeleton {

/// Creates the bundle folder, then SavedState, Bootstrap, RestoreImages and Logs inside it; the first failure is thrown.
void ensureStandardSubfolders(const QString &bundleURL);

/// Marks the bundle folder as excluded from backups (the disk image makes backups of it pointless).
void markBundleFolder(const QString &bundleURL);

/// The standardized form of a local path: absolute, without "." and ".." components or a trailing slash. Links are not resolved.
QString standardizedFileURL(const QString &path);

/// The last component of a path, the folder name of a bundle with its ".vm".
QString lastPathComponent(const QString &path);

} // namespace BundleSkeleton
