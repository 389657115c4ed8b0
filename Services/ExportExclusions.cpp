// SPDX-License-Identifier: MIT
#include "ExportExclusions.h"

#include "FileOperations.h"
#include "VMBundle.h"

#include <QFileInfo>

namespace {

using Layout = VMBundle::Layout;

bool isFolder(const QString &path)
{
    const QFileInfo info(path);
    return info.isDir() && !info.isSymLink();
}

} // namespace

ExportExclusions::ExportExclusions(const VMExportConfiguration &configuration)
    : m_includeSnapshots(configuration.includeSnapshots)
    , m_includeRestoreImages(configuration.includeRestoreImages)
    , m_includeLogs(configuration.includeLogs)
    , m_includeSavedState(configuration.includeSavedState)
{
}

void ExportExclusions::trimBundleCopy(const QString &bundleCopy) const
{
    const Layout layout{bundleCopy};
    if (!m_includeSnapshots && isFolder(layout.snapshotsDirectoryURL()))
        FileOperations::removeItem(layout.snapshotsDirectoryURL());
    if (!m_includeRestoreImages && isFolder(layout.restoreImagesDirectoryURL()))
        FileOperations::removeEntries(layout.restoreImagesDirectoryURL(), &isRestoreImageFileName);
    if (!m_includeLogs && isFolder(layout.logsDirectoryURL()))
        FileOperations::removeEntries(layout.logsDirectoryURL());
    if (!m_includeSavedState && isFolder(layout.savedStateDirectoryURL()))
        FileOperations::removeEntries(layout.savedStateDirectoryURL());
}

bool ExportExclusions::travelsInArchive(const QString &relativePath, const struct stat &status) const
{
    if (S_ISDIR(status.st_mode)) {
        if (relativePath == Layout::snapshotsDirectoryName)
            return m_includeSnapshots;
        if (relativePath == Layout::logsDirectoryName)
            return m_includeLogs;
        if (relativePath == Layout::savedStateDirectoryName)
            return m_includeSavedState;
    }
    const qsizetype slash = relativePath.indexOf(QLatin1Char('/'));
    if (!m_includeRestoreImages && slash >= 0 && relativePath.first(slash) == Layout::restoreImagesDirectoryName
        && relativePath.indexOf(QLatin1Char('/'), slash + 1) < 0)
        return !isRestoreImageFileName(relativePath.sliced(slash + 1));
    return true;
}

bool ExportExclusions::isRestoreImageFileName(const QString &name)
{
    // A leading dot marks a hidden name, not an extension.
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    return dot > 0 && QStringView(name).sliced(dot + 1) == QLatin1String("ipsw");
}
