// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/**
 * How a VM's name becomes a bundle folder name, for new bundles, backups and
 * clones: "  My/VM  " -> "My-VM.vm", then "My-VM 2.vm", "My-VM 3.vm"...
 */
namespace BundleFolderNaming {

/**
 * Trimmed, "Virtual Mac" when empty, the ten forbidden characters replaced
 * by "-", double blanks reduced, trimmed again. Leading dots become "-" as
 * well: a folder whose name starts with "." is hidden, and the library scan
 * would never see the VM again.
 */
QString sanitizedBaseName(const QString &name);

/// "<destination>/<base>.vm", or with " 2", " 3"... appended to the base until nothing exists at the path.
QString availableBundleURL(const QString &destination, const QString &baseName);

} // namespace BundleFolderNaming
