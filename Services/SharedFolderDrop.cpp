// SPDX-License-Identifier: MIT
#include "SharedFolderDrop.h"

#include "ConfinedTreeCopy.h"
#include "DirectoryWalk.h"
#include "FileOperations.h"
#include "ItemReplacement.h"
#include "PlatformError.h"
#include "SparseCopy.h"
#include "VirtualMachineError.h"

#include <QDir>
#include <QFileInfo>
#include <QUuid>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>

namespace SharedFolderDrop {

namespace {

    /// The bytes of the regular files in the folder `path`, counted without following links.
    quint64 folderBytes(const QString &path)
    {
        quint64 bytes = 0;
        DirectoryWalk::forEachItemBelow(path, {.failures = DirectoryWalk::Failures::passedOver}, [&bytes](const DirectoryWalk::Item &item) {
            if (S_ISREG(item.status.st_mode))
                bytes += quint64(item.status.st_size);
        });
        return bytes;
    }

    quint64 itemBytes(const QString &path)
    {
        return FileOperations::isFolder(path) ? folderBytes(path) : quint64(std::max<qint64>(QFileInfo(path).size(), 0));
    }

    /// The real path of the shared folder; a missing one is an error, never made.
    QString existingSharedFolder(const QString &sharedFolder)
    {
        const QString folder = QFileInfo(sharedFolder).canonicalFilePath();
        if (folder.isEmpty())
            throw VirtualMachineError::invalidOperation(QStringLiteral("The shared folder “%1” does not exist.").arg(sharedFolder));
        if (!FileOperations::isFolder(folder))
            throw PlatformError::posix(ENOTDIR, sharedFolder);
        return folder;
    }

    quint64 copyFolder(const QString &source, const QString &folder, const QString &name, const QString &destination)
    {
        if (folder == source || folder.startsWith(source + QLatin1Char('/')))
            throw VirtualMachineError::invalidOperation(
                QStringLiteral("The folder “%1” contains the shared folder and cannot be copied into it.").arg(name));
        const QString partName = QLatin1Char('.') + name + QStringLiteral(".transfer-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
        const QString part = folder + QLatin1Char('/') + partName;
        try {
            const quint64 bytes = ConfinedTreeCopy::copyTree(source, folder, partName);
            ItemReplacement::replace(part, destination);
            return bytes;
        } catch (...) {
            if (FileOperations::itemExists(part)) {
                try {
                    FileOperations::removeItem(part);
                } catch (const PlatformError &) {
                    // The copy's own failure is the one to report; a leftover hidden part harms nothing.
                }
            }
            throw;
        }
    }

} // namespace

quint64 copyInto(const QString &item, const QString &sharedFolder)
{
    const QString folder = existingSharedFolder(sharedFolder);
    const QString name = QFileInfo(QDir::cleanPath(item)).fileName();
    if (name.isEmpty() || name == QStringLiteral(".."))
        throw VirtualMachineError::invalidOperation(QStringLiteral("“%1” cannot be copied into a shared folder.").arg(item));
    const QString source = QFileInfo(item).canonicalFilePath();
    if (source.isEmpty())
        throw PlatformError::posix(ENOENT, item);
    const QString destination = folder + QLatin1Char('/') + name;

    if (FileOperations::isSameFile(source, destination))
        return itemBytes(source);
    if (FileOperations::isFolder(source))
        return copyFolder(source, folder, name, destination);
    const QFileInfo file(source);
    if (!file.isFile())
        throw VirtualMachineError::invalidOperation(QStringLiteral("“%1” is neither a file nor a folder.").arg(name));
    SparseCopy::copyFile(source, destination);
    return quint64(std::max<qint64>(file.size(), 0));
}

} // namespace SharedFolderDrop
