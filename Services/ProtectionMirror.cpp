// SPDX-License-Identifier: MIT
#include "ProtectionMirror.h"

#include "BundleSkeleton.h"
#include "FileOperations.h"
#include "LoggingService.h"
#include "PlatformError.h"
#include "SparseCopy.h"
#include "VMBundle.h"

#include <QFileInfo>

#include <array>

namespace {

using Layout = VMBundle::Layout;

constexpr std::array copiedItems{Layout::metadataFileName, Layout::sharedFoldersFileName};
constexpr std::array linkedItems{Layout::diskImageFileName, Layout::auxiliaryStorageFileName, Layout::machineIdentifierFileName,
                                 Layout::hardwareModelFileName};

QString join(const QString &folder, QStringView relativePath)
{
    return folder + QLatin1Char('/') + relativePath.toString();
}

QString parentFolder(const QString &path)
{
    return QFileInfo(path).path();
}

void copyItem(const QString &source, const QString &destination)
{
    if (!FileOperations::itemExists(source))
        return;
    if (FileOperations::itemExists(destination))
        FileOperations::removeItem(destination);
    FileOperations::createFolders(parentFolder(destination));
    SparseCopy::copyFile(source, destination);
}

void copyOrRemoveItem(const QString &source, const QString &destination)
{
    if (FileOperations::itemExists(source))
        copyItem(source, destination);
    else if (FileOperations::itemExists(destination))
        FileOperations::removeItem(destination);
}

/// A hard link where the file system allows one, else a sparse copy.
void linkOrCopy(const QString &source, const QString &destination)
{
    try {
        FileOperations::createHardLink(source, destination);
    } catch (const PlatformError &) {
        FileOperations::createFolders(parentFolder(destination));
        SparseCopy::copyFile(source, destination);
    }
}

void linkItem(const QString &source, const QString &destination)
{
    if (!FileOperations::itemExists(source))
        return;
    if (FileOperations::itemExists(destination)) {
        if (FileOperations::isSameFile(source, destination))
            return;
        FileOperations::removeItem(destination);
    }
    linkOrCopy(source, destination);
}

void restoreItem(const QString &source, const QString &destination)
{
    if (FileOperations::itemExists(source) && !FileOperations::itemExists(destination))
        linkOrCopy(source, destination);
}

} // namespace

ProtectionMirror::ProtectionMirror(const LoggingService &logging)
    : m_logging(logging)
{
}

QString ProtectionMirror::mirrorRootURL(const QString &bundleURL)
{
    return parentFolder(BundleSkeleton::standardizedFileURL(bundleURL)) + QStringLiteral("/.DuvuzodOvevavProtection");
}

QString ProtectionMirror::mirrorURL(const QString &bundleURL)
{
    return mirrorRootURL(bundleURL) + QLatin1Char('/') + BundleSkeleton::lastPathComponent(bundleURL);
}

void ProtectionMirror::refreshProtection(const VMBundle &bundle) const
{
    const QString mirror = mirrorURL(bundle.bundleURL);
    FileOperations::createFolders(mirror);
    for (const QStringView item : copiedItems)
        copyItem(join(bundle.bundleURL, item), join(mirror, item));
    copyOrRemoveItem(join(bundle.bundleURL, Layout::restoreImageInfoRelativePath), join(mirror, Layout::restoreImageInfoRelativePath));
    for (const QStringView item : linkedItems)
        linkItem(join(bundle.bundleURL, item), join(mirror, item));
}

bool ProtectionMirror::recoverProtectedFiles(const QString &bundleURL) const
{
    const QString mirror = mirrorURL(bundleURL);
    if (!QFileInfo(mirror).isDir())
        return false;

    BundleSkeleton::ensureStandardSubfolders(bundleURL);
    BundleSkeleton::markBundleFolder(bundleURL);
    for (const QStringView item : copiedItems)
        restoreItem(join(mirror, item), join(bundleURL, item));
    restoreItem(join(mirror, Layout::restoreImageInfoRelativePath), join(bundleURL, Layout::restoreImageInfoRelativePath));
    for (const QStringView item : linkedItems)
        restoreItem(join(mirror, item), join(bundleURL, item));

    const bool recovered = FileOperations::itemExists(join(bundleURL, Layout::metadataFileName));
    if (recovered)
        m_logging.log(QStringLiteral("Recovered protected VM bundle files for ") + BundleSkeleton::lastPathComponent(bundleURL),
                      QStringLiteral("Store"), bundleURL);
    return recovered;
}
