// SPDX-License-Identifier: MIT
#include "SparseCopy.h"

#include "DirectoryWalk.h"
#include "FileDescriptor.h"
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

    /// The most a stoppable copy moves between two looks at its stop request.
    constexpr off_t stoppableChunk = off_t(64) << 20;

    void stopIfAsked(const std::atomic_bool *stop, const QString &destinationPath)
    {
        if (stop && stop->load())
            throw PlatformError::posix(ECANCELED, destinationPath);
    }

    /// Copies [offset, end) of `source` to `shift` bytes further in `destination` with read and write, where
    /// copy_file_range cannot. Blocks of zeros are not written, so they stay holes in the copy.
    void readWriteRange(int source, int destination, off_t offset, off_t end, off_t shift, const QString &sourcePath,
                        const QString &destinationPath, const std::atomic_bool *stop)
    {
        constexpr size_t bufferSize = 1 << 20;
        std::vector<char> buffer(bufferSize);
        while (offset < end) {
            stopIfAsked(stop, destinationPath);
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
    void copyDataExtents(int source, off_t offset, off_t end, int destination, off_t shift, const QString &sourcePath,
                         const QString &destinationPath, const std::atomic_bool *stop)
    {
        bool kernelCopy = true;
        while (offset < end) {
            const off_t dataStart = ::lseek(source, offset, SEEK_DATA);
            if (dataStart < 0) {
                if (errno == ENXIO)
                    return; // no data beyond offset
                if (errno == EINVAL) // a file system that cannot tell holes from data: the zero-skipping copy keeps the holes
                    return readWriteRange(source, destination, offset, end, shift, sourcePath, destinationPath, stop);
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
                stopIfAsked(stop, destinationPath);
                off_t sourceOffset = position;
                off_t destinationOffset = position + shift;
                const off_t length = stop ? std::min(dataEnd - position, stoppableChunk) : dataEnd - position;
                const ssize_t copied = ::copy_file_range(source, &sourceOffset, destination, &destinationOffset, size_t(length), 0);
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
                readWriteRange(source, destination, position, dataEnd, shift, sourcePath, destinationPath, stop);
            offset = dataEnd;
        }
    }

    void copyContentsUnlessStopped(int source, int destination, const struct stat &sourceStatus, const QString &sourcePath,
                                   const QString &destinationPath, const std::atomic_bool *stop)
    {
        if (::fchmod(destination, sourceStatus.st_mode & permissionBits) != 0)
            throw PlatformError::posix(errno, destinationPath);
        // A clone shares the source's blocks and copies nothing; most file systems refuse it and we copy the extents.
        if (::ioctl(destination, FICLONE, source) != 0) {
            copyDataExtents(source, 0, sourceStatus.st_size, destination, 0, sourcePath, destinationPath, stop);
            if (::ftruncate(destination, sourceStatus.st_size) != 0)
                throw PlatformError::posix(errno, destinationPath);
        }
        stopIfAsked(stop, destinationPath);
    }

    void copyOpenedFile(const FileDescriptor &input, TemporarySiblingFile &output, const QString &source, const QString &destination,
                        const std::atomic_bool *stop)
    {
        struct stat status {
        };
        if (::fstat(input.get(), &status) != 0)
            throw PlatformError::posix(errno, source);
        if (!S_ISREG(status.st_mode))
            throw PlatformError::posix(S_ISDIR(status.st_mode) ? EISDIR : EINVAL, source);
        copyContentsUnlessStopped(input.get(), output.descriptor(), status, source, destination, stop);
        output.commit();
    }

    /*
     * The tree copies reach every item relative to its open folder by the
     * bytes of its name, which need not be UTF-8 (a guest names files as it
     * likes); the paths beside them, which lose such bytes, only name the
     * items in errors.
     */

    FileDescriptor openFolderAt(int parent, const QByteArray &name, const QString &path)
    {
        // O_NOFOLLOW: a folder swapped for a link since it was examined fails here instead of leading out of the tree.
        FileDescriptor folder(::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!folder.isValid())
            throw PlatformError::posix(errno, path);
        return folder;
    }

    void copyFileAt(int sourceFolder, int destinationFolder, const QByteArray &name, const QString &from, const QString &to)
    {
        WriteSteps::reach(WriteSteps::Step::copy, to);
        // O_NONBLOCK: opening a FIFO swapped in since the listing must not hang; it is refused like every other non-file.
        const FileDescriptor input(::openat(sourceFolder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!input.isValid())
            throw PlatformError::posix(errno, from);
        TemporarySiblingFile output(destinationFolder, name, to, 0600);
        copyOpenedFile(input, output, from, to, nullptr);
    }

    void copyLinkAt(int sourceFolder, int destinationFolder, const QByteArray &name, const QString &from, const QString &to)
    {
        char target[PATH_MAX];
        const ssize_t length = ::readlinkat(sourceFolder, name.constData(), target, sizeof target - 1);
        if (length < 0)
            throw PlatformError::posix(errno, from);
        target[length] = '\0';
        if (::symlinkat(target, destinationFolder, name.constData()) != 0)
            throw PlatformError::posix(errno, to);
    }

    enum class Existing { replaced, kept };

    /// Where a copied item goes: the path that names it in errors, and the length of its own path in bytes.
    struct Place {
        QString path;
        qsizetype bytes;

        Place child(const QByteArray &name) const { return {path + QLatin1Char('/') + QFile::decodeName(name), bytes + 1 + name.size()}; }
    };

    /// Copies the content of the open folder `source` into the open folder `destination`, then gives the latter `mode`.
    void fillFolder(int source, const QString &sourcePath, int destination, const Place &destinationPlace, mode_t mode, Existing existing)
    {
        const QString &destinationPath = destinationPlace.path;
        for (const QByteArray &name : DirectoryWalk::namesIn(source, sourcePath)) {
            const QString from = sourcePath + QLatin1Char('/') + QFile::decodeName(name);
            const Place target = destinationPlace.child(name);
            const QString &to = target.path;
            // Reached relative to its folder, an item could be copied below any depth; one that no path can name is refused.
            if (target.bytes >= PATH_MAX)
                throw PlatformError::posix(ENAMETOOLONG, to);
            struct stat status {
            };
            if (existing == Existing::kept && ::fstatat(destination, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0)
                continue;
            if (::fstatat(source, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
                throw PlatformError::posix(errno, from);
            if (S_ISDIR(status.st_mode)) {
                // Owner-only while we fill it; its own bits come last, so a read-only source folder can still be filled.
                if (::mkdirat(destination, name.constData(), 0700) != 0)
                    throw PlatformError::posix(errno, to);
                const FileDescriptor sourceChild = openFolderAt(source, name, from);
                const FileDescriptor destinationChild = openFolderAt(destination, name, to);
                fillFolder(sourceChild.get(), from, destinationChild.get(), target, status.st_mode, Existing::replaced);
            } else if (S_ISREG(status.st_mode)) {
                copyFileAt(source, destination, name, from, to);
            } else if (S_ISLNK(status.st_mode)) {
                copyLinkAt(source, destination, name, from, to);
            }
        }
        if (::fchmod(destination, mode & permissionBits) != 0)
            throw PlatformError::posix(errno, destinationPath);
    }

    /// The folder `path` opened without following a link there; a link or any other item fails with ENOTDIR.
    FileDescriptor openFolder(const QString &path, struct stat &status)
    {
        if (::lstat(native(path).constData(), &status) != 0)
            throw PlatformError::posix(errno, path);
        if (!S_ISDIR(status.st_mode))
            throw PlatformError::posix(ENOTDIR, path);
        FileDescriptor folder(::open(native(path).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!folder.isValid())
            throw PlatformError::posix(errno == ELOOP ? ENOTDIR : errno, path);
        return folder;
    }

} // namespace

void copyFile(const QString &source, const QString &destination)
{
    WriteSteps::reach(WriteSteps::Step::copy, destination);
    // O_NONBLOCK: opening a FIFO must not hang; it is refused below like every other non-file.
    const FileDescriptor input(::open(native(source).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!input.isValid())
        throw PlatformError::posix(errno, source);
    TemporarySiblingFile output(destination, 0600);
    copyOpenedFile(input, output, source, destination, nullptr);
}

void copyFileUnlessStopped(const QString &source, const QString &destination, const StopRequest &stop)
{
    WriteSteps::reach(WriteSteps::Step::copy, destination);
    const FileDescriptor input(::open(native(source).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!input.isValid())
        throw PlatformError::posix(errno, source);
    TemporarySiblingFile output(destination, 0600);
    copyOpenedFile(input, output, source, destination, stop.get());
}

void copyContents(int source, int destination, const struct stat &sourceStatus, const QString &sourcePath, const QString &destinationPath)
{
    copyContentsUnlessStopped(source, destination, sourceStatus, sourcePath, destinationPath, nullptr);
}

void copyRange(int source, qint64 sourceOffset, int destination, qint64 destinationOffset, qint64 length, const QString &sourcePath,
               const QString &destinationPath)
{
    copyDataExtents(source, off_t(sourceOffset), off_t(sourceOffset + length), destination, off_t(destinationOffset - sourceOffset), sourcePath,
                    destinationPath, nullptr);
}

void copyTree(const QString &source, const QString &destination)
{
    struct stat status {
    };
    const FileDescriptor sourceFolder = openFolder(source, status);
    if (::mkdir(native(destination).constData(), 0700) != 0)
        throw PlatformError::posix(errno, destination);
    struct stat made {
    };
    const FileDescriptor destinationFolder = openFolder(destination, made);
    fillFolder(sourceFolder.get(), source, destinationFolder.get(), {destination, native(destination).size()}, status.st_mode,
               Existing::replaced);
}

void copyTreeInto(const QString &source, const QString &destination)
{
    struct stat status {
    };
    const FileDescriptor sourceFolder = openFolder(source, status);
    struct stat target {
    };
    const FileDescriptor destinationFolder = openFolder(destination, target);
    fillFolder(sourceFolder.get(), source, destinationFolder.get(), {destination, native(destination).size()}, status.st_mode,
               Existing::kept);
}

} // namespace SparseCopy
