// SPDX-License-Identifier: MIT
#pragma once

#include "VMExportConfiguration.h"

#include <QString>

#include <sys/stat.h>

/**
 * The parts of a bundle an export leaves out, as the export configuration
 * says: the Snapshots folder, the ".ipsw" restore images directly inside
 * RestoreImages (the extension compared exactly: ".IPSW" stays, and so does
 * RestoreImage.json), and the content of Logs and of SavedState. Only real
 * folders count; a link of such a name is kept like any other item.
 *
 * The two export formats leave them out in their own ways: a bundle copy
 * keeps the Logs and SavedState folders, emptied, while an archive leaves
 * those folders out entirely.
 */
class ExportExclusions
{
public:
    explicit ExportExclusions(const VMExportConfiguration &configuration);

    /// Trims a finished copy of a bundle in place; throws PlatformError.
    void trimBundleCopy(const QString &bundleCopy) const;

    /// Whether the item at `relativePath` below the bundle folder goes into an archive.
    bool travelsInArchive(const QString &relativePath, const struct stat &status) const;

    /// True for a name whose extension is exactly "ipsw".
    static bool isRestoreImageFileName(const QString &name);

private:
    bool m_includeSnapshots;
    bool m_includeRestoreImages;
    bool m_includeLogs;
    bool m_includeSavedState;
};
