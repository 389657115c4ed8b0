// SPDX-License-Identifier: MIT
#include "ConfinedTreeCopy.h"

#include "DirectoryWalk.h"
#include "FileDescriptor.h"
#include "PlatformError.h"
#include "SparseCopy.h"
#include "WriteSteps.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace ConfinedTreeCopy {

namespace {

    QString childPath(const QString &folder, const QString &name) { return folder + QLatin1Char('/') + name; }

    FileDescriptor openFolder(int parent, const QByteArray &name, const QString &path)
    {
        FileDescriptor folder(::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!folder.isValid())
            throw PlatformError::posix(errno, path);
        return folder;
    }

    class TreeCopier
    {
    public:
        quint64 bytes() const { return m_bytes; }

        /// Fills the new, empty folder `destination` with the content of `source`, then gives it `mode`.
        void copyFolder(int source, const QString &sourcePath, int destination, const QString &destinationPath, mode_t mode)
        {
            // Items are reached by their names' own bytes; the paths, which lose what is not UTF-8, only name them in errors.
            for (const QByteArray &nativeName : DirectoryWalk::namesIn(source, sourcePath)) {
                const QString from = childPath(sourcePath, QFile::decodeName(nativeName));
                const QString to = childPath(destinationPath, QFile::decodeName(nativeName));
                struct stat status {
                };
                if (::fstatat(source, nativeName.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
                    throw PlatformError::posix(errno, from);
                if (S_ISDIR(status.st_mode)) {
                    const FileDescriptor sourceChild = openFolder(source, nativeName, from);
                    const FileDescriptor destinationChild = makeFolder(destination, nativeName, to);
                    copyFolder(sourceChild.get(), from, destinationChild.get(), to, status.st_mode);
                } else if (S_ISREG(status.st_mode)) {
                    copyFile(source, destination, nativeName, from, to);
                } else if (S_ISLNK(status.st_mode)) {
                    copyLink(source, destination, nativeName, from, to);
                }
            }
            if (::fchmod(destination, mode & 0777) != 0)
                throw PlatformError::posix(errno, destinationPath);
        }

        /// Makes the folder `name` (owner-only while we fill it) and opens it; anything already there fails.
        static FileDescriptor makeFolder(int parent, const QByteArray &name, const QString &path)
        {
            if (::mkdirat(parent, name.constData(), 0700) != 0)
                throw PlatformError::posix(errno, path);
            return openFolder(parent, name, path);
        }

    private:
        void copyFile(int sourceFolder, int destinationFolder, const QByteArray &name, const QString &from, const QString &to)
        {
            // O_NONBLOCK: a FIFO swapped in since fstatat must not hang the copy.
            const FileDescriptor input(::openat(sourceFolder, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
            if (!input.isValid())
                throw PlatformError::posix(errno, from);
            struct stat status {
            };
            if (::fstat(input.get(), &status) != 0)
                throw PlatformError::posix(errno, from);
            if (!S_ISREG(status.st_mode))
                throw PlatformError::posix(EINVAL, from);
            WriteSteps::reach(WriteSteps::Step::copy, to);
            const FileDescriptor output(
                ::openat(destinationFolder, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
            if (!output.isValid())
                throw PlatformError::posix(errno, to);
            SparseCopy::copyContents(input.get(), output.get(), status, from, to);
            m_bytes += quint64(status.st_size);
        }

        static void copyLink(int sourceFolder, int destinationFolder, const QByteArray &name, const QString &from, const QString &to)
        {
            char target[PATH_MAX];
            const ssize_t length = ::readlinkat(sourceFolder, name.constData(), target, sizeof target - 1);
            if (length < 0)
                throw PlatformError::posix(errno, from);
            target[length] = '\0';
            if (::symlinkat(target, destinationFolder, name.constData()) != 0)
                throw PlatformError::posix(errno, to);
        }

        quint64 m_bytes = 0;
    };

} // namespace

quint64 copyTree(const QString &source, const QString &destinationFolder, const QString &name)
{
    const FileDescriptor sourceFolder(::open(QFile::encodeName(source).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!sourceFolder.isValid())
        throw PlatformError::posix(errno, source);
    struct stat status {
    };
    if (::fstat(sourceFolder.get(), &status) != 0)
        throw PlatformError::posix(errno, source);
    const FileDescriptor parent(::open(QFile::encodeName(destinationFolder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!parent.isValid())
        throw PlatformError::posix(errno, destinationFolder);
    const QString destination = childPath(destinationFolder, name);
    const FileDescriptor copy = TreeCopier::makeFolder(parent.get(), QFile::encodeName(name), destination);
    TreeCopier copier;
    copier.copyFolder(sourceFolder.get(), source, copy.get(), destination, status.st_mode);
    return copier.bytes();
}

} // namespace ConfinedTreeCopy
