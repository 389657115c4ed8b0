// SPDX-License-Identifier: MIT
#include "SparseCopy.h"

#include "FileDescriptor.h"
#include "FileOperations.h"
#include "PlatformError.h"
#include "TemporarySiblingFile.h"
#include "WriteSteps.h"

#include <QFile>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

namespace SparseCopy {

namespace {

    QByteArray native(const QString &path) { return QFile::encodeName(path); }

    /// The only permission bits a copy keeps; set-id bits are not carried over to a file we create.
    constexpr mode_t permissionBits = 0777;

    bool isAllZero(const char *bytes, size_t size) { return size == 0 || (bytes[0] == 0 && std::memcmp(bytes, bytes + 1, size - 1) == 0); }

    /// Copies [offset, end) of `source` to `shift` bytes further in `destination` with read and write, where
    /// copy_file_range cannot. Blocks of zeros are not written, so they stay holes in the copy.
    void readWriteRange(int source, int destination, off_t offset, off_t end, off_t shift, const QString &sourcePath, const QString &destinationPath)
    {
        constexpr size_t bufferSize = 1 << 20;
        std::vector<char> buffer(bufferSize);
        while (offset < end) {
            const ssize_t got = ::pread(source, buffer.data(), size_t(std::min<off_t>(end - offset, off_t(bufferSize))), offset);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                throw PlatformError::posix(errno, sourcePath);
            }
            if (got == 0)
                return; // the source shrank while we copied
            ssize_t written = isAllZero(buffer.data(), size_t(got)) ? got : 0;
            while (written < got) {
                const ssize_t put = ::pwrite(destination, buffer.data() + written, size_t(got - written), offset + shift + written);
                if (put < 0) {
                    if (errno == EINTR)
                        continue;
                    throw PlatformError::posix(errno, destinationPath);
                }
                written += put;
            }
            offset += got;
        }
    }

    /// Copies the data extents of [offset, end) of `source` to `shift` bytes further in `destination`; holes are skipped.
    void copyDataExtents(int source, off_t offset, off_t end, int destination, off_t shift, const QString &sourcePath, const QString &destinationPath)
    {
        bool kernelCopy = true;
        while (offset < end) {
            off_t dataStart = ::lseek(source, offset, SEEK_DATA);
            if (dataStart < 0) {
                if (errno == ENXIO)
                    return; // no data beyond offset
                if (errno == EINVAL) // a file system that cannot tell holes from data: the zero-skipping copy keeps the holes
                    return readWriteRange(source, destination, offset, end, shift, sourcePath, destinationPath);
                throw PlatformError::posix(errno, sourcePath);
            }
            if (dataStart >= end)
                return;
            off_t dataEnd = ::lseek(source, dataStart, SEEK_HOLE);
            if (dataEnd < 0)
                throw PlatformError::posix(errno, sourcePath);
            dataEnd = std::min(dataEnd, end);
            off_t position = dataStart;
            while (kernelCopy && position < dataEnd) {
                off_t sourceOffset = position;
                off_t destinationOffset = position + shift;
                const ssize_t copied
                    = ::copy_file_range(source, &sourceOffset, destination, &destinationOffset, size_t(dataEnd - position), 0);
                if (copied > 0) {
                    position += copied;
                } else if (copied == 0) {
                    return; // the source shrank while we copied
                } else if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP) {
                    kernelCopy = false; // not between these two files: read and write from here on
                } else if (errno != EINTR) {
                    throw PlatformError::posix(errno, destinationPath);
                }
            }
            if (position < dataEnd)
                readWriteRange(source, destination, position, dataEnd, shift, sourcePath, destinationPath);
            offset = dataEnd;
        }
    }

    void copyLink(const QString &source, const QString &destination)
    {
        char target[PATH_MAX];
        const ssize_t length = ::readlink(native(source).constData(), target, sizeof target - 1);
        if (length < 0)
            throw PlatformError::posix(errno, source);
        target[length] = '\0';
        if (::symlink(target, native(destination).constData()) != 0)
            throw PlatformError::posix(errno, destination);
    }

    enum class Existing { replaced, kept };

    void fillFolder(const QString &source, const QString &destination, mode_t mode, Existing existing);

    void copyFolder(const QString &source, const QString &destination, mode_t mode)
    {
        // Owner-only while we fill it; its own bits come last, so a read-only source folder can still be filled.
        if (::mkdir(native(destination).constData(), 0700) != 0)
            throw PlatformError::posix(errno, destination);
        fillFolder(source, destination, mode, Existing::replaced);
    }

    void fillFolder(const QString &source, const QString &destination, mode_t mode, Existing existing)
    {
        for (const QString &name : FileOperations::folderEntries(source)) {
            const QString from = source + QLatin1Char('/') + name;
            const QString to = destination + QLatin1Char('/') + name;
            if (existing == Existing::kept && FileOperations::itemExists(to))
                continue;
            struct stat status {
            };
            if (::lstat(native(from).constData(), &status) != 0)
                throw PlatformError::posix(errno, from);
            if (S_ISDIR(status.st_mode))
                copyFolder(from, to, status.st_mode);
            else if (S_ISREG(status.st_mode))
                copyFile(from, to);
            else if (S_ISLNK(status.st_mode))
                copyLink(from, to);
        }
        if (::chmod(native(destination).constData(), mode & permissionBits) != 0)
            throw PlatformError::posix(errno, destination);
    }

} // namespace

void copyFile(const QString &source, const QString &destination)
{
    WriteSteps::reach(WriteSteps::Step::copy, destination);
    // O_NONBLOCK: opening a FIFO must not hang; it is refused below like every other non-file.
    const FileDescriptor input(::open(native(source).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!input.isValid())
        throw PlatformError::posix(errno, source);
    struct stat status {
    };
    if (::fstat(input.get(), &status) != 0)
        throw PlatformError::posix(errno, source);
    if (!S_ISREG(status.st_mode))
        throw PlatformError::posix(S_ISDIR(status.st_mode) ? EISDIR : EINVAL, source);

    TemporarySiblingFile output(destination, 0600);
    copyContents(input.get(), output.descriptor(), status, source, destination);
    output.commit();
}

void copyContents(int source, int destination, const struct stat &sourceStatus, const QString &sourcePath, const QString &destinationPath)
{
    if (::fchmod(destination, sourceStatus.st_mode & permissionBits) != 0)
        throw PlatformError::posix(errno, destinationPath);
    // A clone shares the source's blocks and copies nothing; most file systems refuse it and we copy the extents.
    if (::ioctl(destination, FICLONE, source) != 0) {
        copyDataExtents(source, 0, sourceStatus.st_size, destination, 0, sourcePath, destinationPath);
        if (::ftruncate(destination, sourceStatus.st_size) != 0)
            throw PlatformError::posix(errno, destinationPath);
    }
}

void copyRange(int source, qint64 sourceOffset, int destination, qint64 destinationOffset, qint64 length, const QString &sourcePath,
               const QString &destinationPath)
{
    copyDataExtents(source, off_t(sourceOffset), off_t(sourceOffset + length), destination, off_t(destinationOffset - sourceOffset), sourcePath,
                    destinationPath);
}

void copyTree(const QString &source, const QString &destination)
{
    struct stat status {
    };
    if (::lstat(native(source).constData(), &status) != 0)
        throw PlatformError::posix(errno, source);
    if (!S_ISDIR(status.st_mode))
        throw PlatformError::posix(ENOTDIR, source);
    copyFolder(source, destination, status.st_mode);
}

void copyTreeInto(const QString &source, const QString &destination)
{
    struct stat status {
    };
    if (::lstat(native(source).constData(), &status) != 0)
        throw PlatformError::posix(errno, source);
    if (!S_ISDIR(status.st_mode))
        throw PlatformError::posix(ENOTDIR, source);
    struct stat target {
    };
    if (::lstat(native(destination).constData(), &target) != 0)
        throw PlatformError::posix(errno, destination);
    if (!S_ISDIR(target.st_mode))
        throw PlatformError::posix(ENOTDIR, destination);
    fillFolder(source, destination, status.st_mode, Existing::kept);
}

} // namespace SparseCopy
