// SPDX-License-Identifier: MIT
#include "PrivateRuntimeFolder.h"

#include "FileOperations.h"
#include "PlatformError.h"

#include <QFile>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

/// Makes the folder when missing and checks that it is a real folder of this user, private when `mustBePrivate`.
void ensureOwnFolder(const QString &path, bool mustBePrivate)
{
    const QByteArray encoded = QFile::encodeName(path);
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST)
        throw PlatformError::posix(errno, path);
    struct stat status {
    };
    if (::lstat(encoded.constData(), &status) != 0)
        throw PlatformError::posix(errno, path);
    if (!S_ISDIR(status.st_mode))
        throw PlatformError::posix(ENOTDIR, path);
    if (status.st_uid != ::getuid() || (mustBePrivate && (status.st_mode & 077) != 0))
        throw PlatformError::posix(EPERM, path);
}

} // namespace

PrivateRuntimeFolder::PrivateRuntimeFolder(QString path)
    : m_path(std::move(path))
{
    const QString parent = QFileInfo(m_path).path();
    FileOperations::createFolders(QFileInfo(parent).path());
    ensureOwnFolder(parent, false);
    ensureOwnFolder(m_path, true);
}

PrivateRuntimeFolder::~PrivateRuntimeFolder()
{
    try {
        FileOperations::removeItem(m_path);
    } catch (const PlatformError &) {
        // Taken over by the next run of the same VM.
    }
}
