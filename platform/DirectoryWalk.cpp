// SPDX-License-Identifier: MIT
#include "DirectoryWalk.h"

#include "FileDescriptor.h"
#include "PlatformError.h"

#include <QFile>
#include <QList>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

namespace DirectoryWalk {

namespace {

    struct DirectoryCloser {
        void operator()(DIR *directory) const { ::closedir(directory); }
    };

    /// The names in the open folder, without "." and "..", in listing order; 0 or the errno of the failure.
    int listNames(int folderDescriptor, QList<QByteArray> &names)
    {
        const int listingDescriptor = ::dup(folderDescriptor);
        if (listingDescriptor < 0)
            return errno;
        const std::unique_ptr<DIR, DirectoryCloser> stream(::fdopendir(listingDescriptor));
        if (!stream) {
            const int error = errno;
            ::close(listingDescriptor);
            return error;
        }
        for (;;) {
            errno = 0;
            const dirent *entry = ::readdir(stream.get());
            if (!entry)
                return errno;
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.append(QByteArray(entry->d_name));
        }
    }

    class Walker
    {
    public:
        Walker(const Options &options, const Visitor &visit)
            : m_options(options)
            , m_visit(visit)
        {
        }

        void walk(int folderDescriptor, const QString &folderPath) const
        {
            QList<QByteArray> names;
            if (const int error = listNames(folderDescriptor, names); error != 0)
                return fail(error, folderPath);
            for (const QByteArray &nativeName : std::as_const(names)) {
                if (m_options.hidden == HiddenItems::skip && nativeName.startsWith('.'))
                    continue;
                const QString name = QFile::decodeName(nativeName);
                const QString path = folderPath.endsWith(QLatin1Char('/')) ? folderPath + name : folderPath + QLatin1Char('/') + name;
                struct stat status {
                };
                if (::fstatat(folderDescriptor, nativeName.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
                    if (errno != ENOENT) // ENOENT: removed since the listing
                        fail(errno, path);
                    continue;
                }
                if (S_ISDIR(status.st_mode)) {
                    // O_NOFOLLOW: a folder swapped for a link since fstatat fails here instead of leading out of the tree.
                    const FileDescriptor child(
                        ::openat(folderDescriptor, nativeName.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
                    if (child.isValid())
                        walk(child.get(), path);
                    else if (errno != ENOENT)
                        fail(errno, path);
                }
                m_visit(Item { path, status, folderDescriptor, nativeName });
            }
        }

        void fail(int error, const QString &path) const
        {
            if (m_options.failures == Failures::thrown)
                throw PlatformError::posix(error, path);
        }

    private:
        const Options &m_options;
        const Visitor &m_visit;
    };

} // namespace

QList<QByteArray> namesIn(int folderDescriptor, const QString &path)
{
    QList<QByteArray> names;
    if (const int error = listNames(folderDescriptor, names); error != 0)
        throw PlatformError::posix(error, path);
    return names;
}

void forEachItemBelow(const QString &folder, Options options, const Visitor &visit)
{
    const Walker walker(options, visit);
    const FileDescriptor root(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.isValid())
        return walker.fail(errno, folder);
    walker.walk(root.get(), folder);
}

} // namespace DirectoryWalk
