// SPDX-License-Identifier: MIT
#include "ItemAttributes.h"

#include "PlatformError.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>

namespace ItemAttributes {

namespace {

    Status::Kind kindOf(mode_t mode)
    {
        if (S_ISREG(mode))
            return Status::Kind::file;
        if (S_ISDIR(mode))
            return Status::Kind::folder;
        if (S_ISLNK(mode))
            return Status::Kind::link;
        return Status::Kind::other;
    }

} // namespace

Status statusOf(const struct stat &item)
{
    return Status { kindOf(item.st_mode), quint64(item.st_size), mode_t(item.st_mode & 07777), item.st_mtim, item.st_dev, item.st_ino };
}

Status status(const QString &path)
{
    struct stat item {
    };
    if (::lstat(QFile::encodeName(path).constData(), &item) != 0)
        throw PlatformError::posix(errno, path);
    return statusOf(item);
}

void setPermissions(const QString &path, mode_t permissions)
{
    if (::fchmodat(AT_FDCWD, QFile::encodeName(path).constData(), permissions, AT_SYMLINK_NOFOLLOW) != 0)
        throw PlatformError::posix(errno, path);
}

void setModificationTime(const QString &path, const struct timespec &time)
{
    const struct timespec times[2] = { { 0, UTIME_OMIT }, time };
    if (::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, AT_SYMLINK_NOFOLLOW) != 0)
        throw PlatformError::posix(errno, path);
}

} // namespace ItemAttributes
