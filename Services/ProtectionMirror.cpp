// SPDX-License-Identifier: MIT
#include "ProtectionMirror.h"

#include "BundleSkeleton.h"
#include "ConfinedFolder.h"
#include "FileOperations.h"
#include "ItemRename.h"
#include "LoggingService.h"
#include "PlatformError.h"
#include "SparseCopy.h"
#include "VMBundle.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <sys/stat.h>
#include <unistd.h>

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

/// Makes sure a real folder is at `path`; a link in its place (never its target) gives way to one.
void realFolder(const QString &path)
{
    ConfinedFolder::create(path);
}

/// Whatever is in the way of a file being renamed to `destination`: only a folder is, since a rename replaces a file or link.
void clearWayFor(const QString &destination)
{
    if (FileOperations::isFolder(destination))
        FileOperations::removeItem(destination);
}

/// The copy replaces the old one by a rename, so the mirror never lacks the item, not even for a moment.
void copyItem(const QString &source, const QString &destination)
{
    if (!FileOperations::itemExists(source))
        return;
    realFolder(parentFolder(destination));
    clearWayFor(destination);
    SparseCopy::copyFile(source, destination);
}

void copyOrRemoveItem(const QString &source, const QString &destination)
{
    if (FileOperations::itemExists(source))
        copyItem(source, destination);
    else if (FileOperations::itemExists(destination))
        FileOperations::removeItem(destination);
}

/// A hard link where the file system allows one, else a sparse copy; either replaces `destination` in one step.
void linkOrCopy(const QString &source, const QString &destination)
{
    const QString staged = parentFolder(destination) + QStringLiteral("/.") + BundleSkeleton::lastPathComponent(destination)
        + QStringLiteral(".linking-") + QString::number(QRandomGenerator::global()->generate64(), 36);
    try {
        FileOperations::createHardLink(source, staged);
    } catch (const PlatformError &) {
        SparseCopy::copyFile(source, destination);
        return;
    }
    try {
        ItemRename::rename(staged, destination);
    } catch (...) {
        ::unlink(QFile::encodeName(staged).constData());
        throw;
    }
}

void linkItem(const QString &source, const QString &destination)
{
    if (!FileOperations::itemExists(source))
        return;
    if (FileOperations::isSameFile(source, destination))
        return;
    clearWayFor(destination);
    linkOrCopy(source, destination);
}

/// Only a regular file of the mirror is restored: a link there could lead to any file of the user.
bool isRegularFile(const QString &path)
{
    struct stat status {
    };
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

void restoreItem(const QString &source, const QString &destination)
{
    if (!isRegularFile(source) || FileOperations::itemExists(destination))
        return;
    try {
        FileOperations::createHardLink(source, destination);
    } catch (const PlatformError &) {
        FileOperations::createFolders(parentFolder(destination));
        SparseCopy::copyFile(source, destination);
    }
}

} // namespace

ProtectionMirror::ProtectionMirror(const LoggingService &logging)
    : m_logging(logging)
{
}

QString ProtectionMirror::mirrorRootURL(const QString &bundleURL)
{
    return mirrorRootIn(parentFolder(BundleSkeleton::standardizedFileURL(bundleURL)));
}

QString ProtectionMirror::mirrorRootIn(const QString &folder)
{
    return folder + QStringLiteral("/.DuvuzodOvevavProtection");
}

QString ProtectionMirror::mirrorURL(const QString &bundleURL)
{
    return mirrorRootURL(bundleURL) + QLatin1Char('/') + BundleSkeleton::lastPathComponent(bundleURL);
}

void ProtectionMirror::refreshProtection(const VMBundle &bundle) const
{
    const QString mirror = mirrorURL(bundle.bundleURL);
    realFolder(mirrorRootURL(bundle.bundleURL));
    realFolder(mirror);
    for (const QStringView item : copiedItems)
        copyItem(join(bundle.bundleURL, item), join(mirror, item));
    copyOrRemoveItem(join(bundle.bundleURL, Layout::restoreImageInfoRelativePath), join(mirror, Layout::restoreImageInfoRelativePath));
    for (const QStringView item : linkedItems)
        linkItem(join(bundle.bundleURL, item), join(mirror, item));
}

bool ProtectionMirror::recoverProtectedFiles(const QString &bundleURL) const
{
    // The mirror is read without following links: one planted there would repair the bundle with files from elsewhere.
    const QString mirror = mirrorURL(bundleURL);
    if (!FileOperations::isFolder(mirrorRootURL(bundleURL)) || !FileOperations::isFolder(mirror))
        return false;

    BundleSkeleton::ensureStandardSubfolders(bundleURL);
    BundleSkeleton::markBundleFolder(bundleURL);
    for (const QStringView item : copiedItems)
        restoreItem(join(mirror, item), join(bundleURL, item));
    if (FileOperations::isFolder(join(mirror, Layout::restoreImagesDirectoryName)))
        restoreItem(join(mirror, Layout::restoreImageInfoRelativePath), join(bundleURL, Layout::restoreImageInfoRelativePath));
    for (const QStringView item : linkedItems)
        restoreItem(join(mirror, item), join(bundleURL, item));

    const bool recovered = FileOperations::itemExists(join(bundleURL, Layout::metadataFileName));
    if (recovered)
        m_logging.log(QStringLiteral("Recovered protected VM bundle files for ") + BundleSkeleton::lastPathComponent(bundleURL),
                      QStringLiteral("Store"), bundleURL);
    return recovered;
}
