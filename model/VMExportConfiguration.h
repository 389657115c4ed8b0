// SPDX-License-Identifier: MIT
#pragma once

#include "VMExportFormat.h"

#include <QString>

/**
 * What the user chose in the export sheet. A default-made value is the
 * sheet's starting state: a compressed archive without snapshots, restore
 * images or logs, with the saved state, named after the VM. The include
 * flags only ever trim the exported copy, never the source bundle. Never
 * stored.
 */
struct VMExportConfiguration {
    bool includeSnapshots = false;
    /// The ".ipsw" restore images kept in the bundle's RestoreImages folder.
    bool includeRestoreImages = false;
    bool includeLogs = false;
    bool includeSavedState = true;
    /// True exactly when the chosen format is the compressed archive; see withFormat().
    bool compressionEnabled = true;
    /// The result's base name without extension; empty means the VM's name.
    QString archiveName;

    /// The same choices for `format`, with compressionEnabled following it.
    VMExportConfiguration withFormat(VMExportFormat format) const;

    /**
     * The base name of the result for a VM named `vmName`: archiveName, or
     * the VM's name when that is empty (one blank is not empty), with every
     * "/" and ":" made "-" so that the name stays one file name.
     */
    QString resolvedName(const QString &vmName) const;
};
