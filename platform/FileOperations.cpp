// SPDX-License-Identifier: MIT
#include "FileOperations.h"

#include "DirectoryWalk.h"
#include "FileDescriptor.h"
#include "PlatformError.h"
#include "TemporarySiblingFile.h"
#include "WriteSteps.h"

#include <QDir>
#include <QFile>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace FileOperations {

namespace {

    QByteArray native(const QString &path) { return QFile::encodeName(path); }

    struct DirectoryCloser {
        void operator()(DIR *directory) const { ::closedir(directory); }
    };

    /// Reads into `buffer` until it is full or the file ends; the bytes read.
    qsizetype readUntilFullOrEnd(int descriptor, const QString &path, char *buffer, qsizetype size)
    {
        qsizetype length = 0;
        while (length < size) {
            const ssize_t got = ::read(descriptor, buffer + length, size_t(size - length));
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                throw PlatformError::posix(errno, path);
            }
            if (got == 0)
                break;
            length += got;
        }
        return length;
    }

    /// O_NONBLOCK: opening a FIFO must not hang; it is refused by checkReadable() like every other non-file.
    FileDescriptor openForReading(const QString &path)
    {
        FileDescriptor file(::open(native(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!file.isValid())
            throw PlatformError::posix(errno, path);
        return file;
    }

    /// The status of a regular file no longer than `maximumSize`; anything else is refused.
    struct stat checkReadable(int descriptor, const QString &path, qint64 maximumSize)
    {
        struct stat status {
        };
        if (::fstat(descriptor, &status) != 0)
            throw PlatformError::posix(errno, path);
        if (!S_ISREG(status.st_mode))
            throw PlatformError::posix(S_ISDIR(status.st_mode) ? EISDIR : EINVAL, path);
        if (status.st_size > maximumSize)
            throw PlatformError::posix(EFBIG, path);
        return status;
    }

} // namespace

void writeAll(int descriptor, const QByteArray &data, const QString &path)
{
    const char *cursor = data.constData();
    qsizetype remaining = data.size();
    while (remaining > 0) {
        const ssize_t written = ::write(descriptor, cursor, size_t(remaining));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            throw PlatformError::posix(errno, path);
        }
        cursor += written;
        remaining -= written;
    }
}

QByteArray readFile(const QString &path, qint64 maximumSize)
{
    return readRegularFile(openForReading(path).get(), path, maximumSize);
}

QByteArray readFile(const QString &path, qint64 maximumSize, const ReadInspector &inspect)
{
    const FileDescriptor file = openForReading(path);
    checkReadable(file.get(), path, maximumSize);
    constexpr qsizetype pieceSize = 64 * 1024;
    QByteArray content;
    for (;;) {
        const qsizetype length = content.size();
        // One byte past the cap at most: enough to tell that the file grew beyond it.
        const qsizetype wanted = qsizetype(std::min<qint64>(pieceSize, maximumSize + 1 - length));
        content.resize(length + wanted);
        const qsizetype got = readUntilFullOrEnd(file.get(), path, content.data() + length, wanted);
        content.truncate(length + got);
        if (content.size() > maximumSize)
            throw PlatformError::posix(EFBIG, path);
        if (got > 0)
            inspect(QByteArrayView(content).sliced(length));
        if (got < wanted)
            return content;
    }
}

struct stat regularFileStatus(int descriptor, const QString &path)
{
    struct stat status {
    };
    if (::fstat(descriptor, &status) != 0)
        throw PlatformError::posix(errno, path);
    if (!S_ISREG(status.st_mode))
        throw PlatformError::posix(EINVAL, path);
    return status;
}

QByteArray readRegularFile(int descriptor, const QString &path, qint64 maximumSize)
{
    const struct stat status = checkReadable(descriptor, path, maximumSize);

    // Read to the end rather than to st_size: the file may grow, and one byte past the limit tells us it did.
    QByteArray content(qsizetype(status.st_size) + 1, Qt::Uninitialized);
    qsizetype length = 0;
    for (;;) {
        if (length == content.size()) {
            if (length > maximumSize)
                throw PlatformError::posix(EFBIG, path);
            content.resize(qsizetype(std::min<qint64>(maximumSize + 1, qint64(length) * 2)));
        }
        length += readUntilFullOrEnd(descriptor, path, content.data() + length, content.size() - length);
        if (length < content.size())
            break;
    }
    if (length > maximumSize)
        throw PlatformError::posix(EFBIG, path);
    content.truncate(length);
    return content;
}

FileStart readRegularFileStart(int descriptor, const QString &path, qint64 maximumSize)
{
    struct stat status {
    };
    if (::fstat(descriptor, &status) != 0)
        throw PlatformError::posix(errno, path);
    if (!S_ISREG(status.st_mode))
        throw PlatformError::posix(S_ISDIR(status.st_mode) ? EISDIR : EINVAL, path);

    // One byte past the cap tells whether there is more; the file may have grown since fstat, so its size is not trusted.
    QByteArray content(qsizetype(maximumSize + 1), Qt::Uninitialized);
    const qsizetype length = readUntilFullOrEnd(descriptor, path, content.data(), content.size());
    const bool isWhole = length <= maximumSize;
    content.truncate(std::min<qsizetype>(length, qsizetype(maximumSize)));
    return {content, isWhole};
}

void writeAtomically(const QString &path, const QByteArray &data)
{
    TemporarySiblingFile file(path);
    struct stat existing {
    };
    if (::stat(native(path).constData(), &existing) == 0 && S_ISREG(existing.st_mode)
        && ::fchmod(file.descriptor(), existing.st_mode & 07777) != 0)
        throw PlatformError::posix(errno, path);
    writeAll(file.descriptor(), data, path);
    file.commit();
}

void createFolders(const QString &path)
{
    const QString cleaned = QDir::cleanPath(path);
    const QByteArray nativePath = native(cleaned);
    WriteSteps::reach(WriteSteps::Step::makeFolder, cleaned);
    if (::mkdir(nativePath.constData(), 0777) == 0)
        return;
    int error = errno;
    if (error == ENOENT) {
        const qsizetype separator = cleaned.lastIndexOf(QLatin1Char('/'));
        if (separator > 0) {
            createFolders(cleaned.left(separator));
            if (::mkdir(nativePath.constData(), 0777) == 0)
                return;
            error = errno;
        }
    }
    if (error == EEXIST) {
        struct stat status {
        };
        if (::stat(nativePath.constData(), &status) == 0 && S_ISDIR(status.st_mode))
            return;
    }
    throw PlatformError::posix(error, cleaned);
}

void createHardLink(const QString &existingPath, const QString &newPath)
{
    WriteSteps::reach(WriteSteps::Step::link, newPath);
    if (::link(native(existingPath).constData(), native(newPath).constData()) != 0)
        throw PlatformError::posix(errno, newPath);
}

bool isSameFile(const QString &first, const QString &second)
{
    struct stat a {
    };
    struct stat b {
    };
    return ::lstat(native(first).constData(), &a) == 0 && ::lstat(native(second).constData(), &b) == 0 && a.st_dev == b.st_dev
        && a.st_ino == b.st_ino;
}

bool isFolder(const QString &path)
{
    struct stat status {
    };
    return ::lstat(native(path).constData(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool itemExists(const QString &path)
{
    struct stat status {
    };
    return ::lstat(native(path).constData(), &status) == 0;
}

QStringList folderEntries(const QString &folder)
{
    const std::unique_ptr<DIR, DirectoryCloser> stream(::opendir(native(folder).constData()));
    if (!stream)
        throw PlatformError::posix(errno, folder);
    QStringList names;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(stream.get());
        if (!entry) {
            if (errno != 0)
                throw PlatformError::posix(errno, folder);
            return names;
        }
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.append(QFile::decodeName(entry->d_name));
    }
}

void removeItem(const QString &path)
{
    WriteSteps::reach(WriteSteps::Step::remove, path);
    const QByteArray nativePath = native(path);
    struct stat status {
    };
    if (::lstat(nativePath.constData(), &status) != 0)
        throw PlatformError::posix(errno, path);
    if (!S_ISDIR(status.st_mode)) {
        if (::unlink(nativePath.constData()) != 0)
            throw PlatformError::posix(errno, path);
        return;
    }
    // Content before its folder; each item is unlinked relative to its open folder, so a folder
    // swapped for a link during the walk cannot redirect the removal out of the tree.
    DirectoryWalk::forEachItemBelow(path, {}, [](const DirectoryWalk::Item &item) {
        if (::unlinkat(item.folderDescriptor, item.name.constData(), S_ISDIR(item.status.st_mode) ? AT_REMOVEDIR : 0) != 0
            && errno != ENOENT)
            throw PlatformError::posix(errno, item.path);
    });
    if (::rmdir(nativePath.constData()) != 0)
        throw PlatformError::posix(errno, path);
}

namespace {

    /// Removes `name` in the open folder `parent` with everything inside it, without following a link; `path` names it in errors.
    void removeItemAt(int parent, const QByteArray &name, const QString &path)
    {
        struct stat status {
        };
        if (::fstatat(parent, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                return;
            throw PlatformError::posix(errno, path);
        }
        if (S_ISDIR(status.st_mode)) {
            const FileDescriptor folder(::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!folder.isValid())
                throw PlatformError::posix(errno, path);
            for (const QByteArray &child : DirectoryWalk::namesIn(folder.get(), path))
                removeItemAt(folder.get(), child, path + QLatin1Char('/') + QFile::decodeName(child));
        }
        if (::unlinkat(parent, name.constData(), S_ISDIR(status.st_mode) ? AT_REMOVEDIR : 0) != 0 && errno != ENOENT)
            throw PlatformError::posix(errno, path);
    }

} // namespace

void removeEntries(const QString &folder, const std::function<bool(const QString &name)> &chosen)
{
    const FileDescriptor opened(::open(native(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!opened.isValid())
        throw PlatformError::posix(errno, folder);
    for (const QByteArray &name : DirectoryWalk::namesIn(opened.get(), folder)) {
        const QString decoded = QFile::decodeName(name);
        if (chosen && !chosen(decoded))
            continue;
        const QString path = folder + QLatin1Char('/') + decoded;
        WriteSteps::reach(WriteSteps::Step::remove, path);
        removeItemAt(opened.get(), name, path);
    }
}

} // namespace FileOperations
