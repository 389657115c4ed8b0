// SPDX-License-Identifier: MIT
#include "ShareTreeFolder.h"

#include "FileDescriptor.h"
#include "PlatformError.h"

#include <QFile>

#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray encoded(const QString &path) { return QFile::encodeName(path); }

bool isRealFolder(int parent, const char *name)
{
    struct stat status {
    };
    return ::fstatat(parent, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode);
}

/// The folder opened without following a link; something else at its place is removed and a folder made.
FileDescriptor openFolder(const QString &path)
{
    const QByteArray name = encoded(path);
    if (::mkdir(name.constData(), 0755) != 0 && errno != EEXIST)
        throw PlatformError::posix(errno, path);
    if (!isRealFolder(AT_FDCWD, name.constData())) {
        if (::unlink(name.constData()) != 0 || ::mkdir(name.constData(), 0755) != 0)
            throw PlatformError::posix(errno, path);
    }
    FileDescriptor folder(::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!folder.isValid())
        throw PlatformError::posix(errno, path);
    return folder;
}

QStringList entriesOf(int folder, const QString &path)
{
    const int listing = ::dup(folder);
    DIR *directory = listing < 0 ? nullptr : ::fdopendir(listing);
    if (!directory) {
        const int error = errno;
        if (listing >= 0)
            ::close(listing);
        throw PlatformError::posix(error, path);
    }
    QStringList names;
    while (const dirent *entry = ::readdir(directory)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name != QLatin1String(".") && name != QLatin1String(".."))
            names << name;
    }
    ::closedir(directory);
    return names;
}

} // namespace

void ShareTreeFolder::prepare(const QString &folder, const QStringList &names)
{
    const FileDescriptor tree = openFolder(folder);
    for (const QString &entry : entriesOf(tree.get(), folder)) {
        const QByteArray name = encoded(entry);
        const bool wanted = names.contains(entry);
        if (isRealFolder(tree.get(), name.constData())) {
            // Only an empty folder goes: whatever is in one is not ours to delete.
            if (!wanted)
                ::unlinkat(tree.get(), name.constData(), AT_REMOVEDIR);
        } else {
            ::unlinkat(tree.get(), name.constData(), 0);
        }
    }
    for (const QString &entry : names) {
        const QByteArray name = encoded(entry);
        if (::mkdirat(tree.get(), name.constData(), 0755) == 0)
            continue;
        const int error = errno;
        if (error != EEXIST || !isRealFolder(tree.get(), name.constData()))
            throw PlatformError::posix(error, folder + QLatin1Char('/') + entry);
    }
}
