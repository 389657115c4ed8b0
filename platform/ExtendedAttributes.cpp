// SPDX-License-Identifier: MIT
#include "ExtendedAttributes.h"

#include "DirectoryWalk.h"
#include "FileOperations.h"
#include "PlatformError.h"

#include <QFile>

#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>

namespace ExtendedAttributes {

namespace {

    bool refusesUserAttributes(mode_t mode) { return S_ISSOCK(mode) || S_ISFIFO(mode) || S_ISCHR(mode) || S_ISBLK(mode); }

    void removeQuarantine(const QString &path, const struct stat &status)
    {
        if (refusesUserAttributes(status.st_mode))
            return;
        if (::lremovexattr(QFile::encodeName(path).constData(), quarantineAttribute) == 0)
            return;
        const int error = errno;
        if (error == ENODATA || error == ENOENT || error == ENOTSUP)
            return;
        if (S_ISLNK(status.st_mode) && error == EPERM)
            return; // user attributes are never allowed on a link itself
        throw PlatformError::posix(error, path);
    }

} // namespace

void removeQuarantine(const QString &path)
{
    struct stat status {
    };
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0) {
        if (errno == ENOENT)
            return;
        throw PlatformError::posix(errno, path);
    }
    removeQuarantine(path, status);
}

void removeQuarantineRecursively(const QString &folder)
{
    if (!FileOperations::itemExists(folder))
        return;
    DirectoryWalk::forEachItemBelow(folder, { .hidden = DirectoryWalk::HiddenItems::skip, .failures = DirectoryWalk::Failures::thrown },
        [](const DirectoryWalk::Item &item) { removeQuarantine(item.path, item.status); });
}

void setExcludedFromBackup(const QString &path)
{
    static constexpr char value[] = "true";
    if (::setxattr(QFile::encodeName(path).constData(), excludedFromBackupAttribute, value, sizeof value - 1, 0) != 0 && errno != ENOTSUP)
        throw PlatformError::posix(errno, path);
}

} // namespace ExtendedAttributes
