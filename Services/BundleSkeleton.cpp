// SPDX-License-Identifier: MIT
#include "BundleSkeleton.h"

#include "ExtendedAttributes.h"
#include "FileOperations.h"
#include "VMBundle.h"

#include <QDir>

namespace BundleSkeleton {

void ensureStandardSubfolders(const QString &bundleURL)
{
    using Layout = VMBundle::Layout;
    FileOperations::createFolders(bundleURL);
    for (const QStringView name : {Layout::savedStateDirectoryName, Layout::bootstrapDirectoryName, Layout::restoreImagesDirectoryName,
                                   Layout::logsDirectoryName})
        FileOperations::createFolders(bundleURL + QLatin1Char('/') + name.toString());
}

void markBundleFolder(const QString &bundleURL)
{
    ExtendedAttributes::setExcludedFromBackup(bundleURL);
}

QString standardizedFileURL(const QString &path)
{
    return QDir::cleanPath(QDir::isAbsolutePath(path) ? path : QDir::current().absoluteFilePath(path));
}

QString lastPathComponent(const QString &path)
{
    const QString clean = QDir::cleanPath(path);
    return clean.mid(clean.lastIndexOf(QLatin1Char('/')) + 1);
}

} // namespace BundleSkeleton
