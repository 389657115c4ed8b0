// SPDX-License-Identifier: MIT
#include "FileMeasurements.h"

#include "DirectoryWalk.h"
#include "PlatformError.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cerrno>

namespace FileMeasurements {

namespace {

    /// st_blocks always counts 512-byte units, whatever the file system's block size.
    constexpr quint64 statBlockSize = 512;

    struct stat statusOf(const QString &path)
    {
        struct stat status {
        };
        if (::lstat(QFile::encodeName(path).constData(), &status) != 0)
            throw PlatformError::posix(errno, path);
        return status;
    }

} // namespace

quint64 fileSize(const QString &path) { return quint64(statusOf(path).st_size); }

quint64 allocatedSize(const QString &path) { return quint64(statusOf(path).st_blocks) * statBlockSize; }

quint64 allocatedSizeOfTree(const QString &folder)
{
    quint64 total = 0;
    DirectoryWalk::forEachItemBelow(folder, { .hidden = DirectoryWalk::HiddenItems::skip, .failures = DirectoryWalk::Failures::passedOver },
        [&total](const DirectoryWalk::Item &item) {
            if (!S_ISDIR(item.status.st_mode))
                total += quint64(item.status.st_blocks) * statBlockSize;
        });
    return total;
}

QDateTime birthTime(const QString &path)
{
    struct statx status {
    };
    if (::statx(AT_FDCWD, QFile::encodeName(path).constData(), AT_SYMLINK_NOFOLLOW, STATX_BTIME, &status) == 0
        && (status.stx_mask & STATX_BTIME) != 0)
        return QDateTime::fromMSecsSinceEpoch(qint64(status.stx_btime.tv_sec) * 1000 + status.stx_btime.tv_nsec / 1000000, Qt::UTC);
    return QDateTime::currentDateTimeUtc();
}

quint64 availableSpace(const QString &path)
{
    struct statvfs volume {
    };
    if (::statvfs(QFile::encodeName(path).constData(), &volume) != 0)
        throw PlatformError::posix(errno, path);
    return quint64(volume.f_bavail) * quint64(volume.f_frsize);
}

} // namespace FileMeasurements
