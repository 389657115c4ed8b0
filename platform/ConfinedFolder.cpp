// SPDX-License-Identifier: MIT
#include "ConfinedFolder.h"

#include "FileOperations.h"
#include "PlatformError.h"

#include <QFile>
#include <QRandomGenerator>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace {

QByteArray native(const QString &name) { return QFile::encodeName(name); }

QString joined(const QString &folder, const QString &name)
{
    return folder.endsWith(QLatin1Char('/')) ? folder + name : folder + QLatin1Char('/') + name;
}

constexpr int folderFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

struct DirectoryCloser {
    void operator()(DIR *directory) const { ::closedir(directory); }
};

/// A hidden file in an open folder that is removed again unless it was renamed into place.
class TemporaryEntry
{
public:
    TemporaryEntry(int folder, const QString &name, const QString &destinationPath)
        : m_folder(folder)
        , m_destinationPath(destinationPath)
    {
        while (!m_file.isValid()) {
            m_name = native(QLatin1Char('.') + name + QLatin1Char('.') + QString::number(QRandomGenerator::global()->generate64(), 36));
            m_file.reset(::openat(folder, m_name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
            if (!m_file.isValid() && errno != EEXIST)
                throw PlatformError::posix(errno, destinationPath);
        }
    }
    TemporaryEntry(const TemporaryEntry &) = delete;
    TemporaryEntry &operator=(const TemporaryEntry &) = delete;
    ~TemporaryEntry()
    {
        if (!m_name.isEmpty())
            ::unlinkat(m_folder, m_name.constData(), 0);
    }

    int descriptor() const { return m_file.get(); }

    void renameTo(const QByteArray &name)
    {
        m_file.reset();
        if (::renameat(m_folder, m_name.constData(), m_folder, name.constData()) != 0)
            throw PlatformError::posix(errno, m_destinationPath);
        m_name.clear();
    }

private:
    int m_folder;
    QString m_destinationPath;
    QByteArray m_name;
    FileDescriptor m_file;
};

} // namespace

ConfinedFolder::ConfinedFolder(FileDescriptor descriptor, QString path)
    : m_descriptor(std::move(descriptor))
    , m_path(std::move(path))
{
}

ConfinedFolder ConfinedFolder::open(const QString &path)
{
    FileDescriptor descriptor(::open(native(path).constData(), folderFlags));
    if (!descriptor.isValid())
        throw PlatformError::posix(errno, path);
    return ConfinedFolder(std::move(descriptor), path);
}

ConfinedFolder ConfinedFolder::create(const QString &path)
{
    const qsizetype separator = path.lastIndexOf(QLatin1Char('/'));
    const QString parentPath = separator > 0 ? path.left(separator) : QStringLiteral("/");
    // The parent is the caller's own place, so it may be reached through links; only the folder itself is confined.
    const FileDescriptor parent(::open(native(parentPath).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!parent.isValid())
        throw PlatformError::posix(errno, parentPath);
    return createIn(parent.get(), path.mid(separator + 1), path);
}

ConfinedFolder ConfinedFolder::createIn(int parentDescriptor, const QString &name, const QString &path)
{
    const QByteArray nativeName = native(name);
    if (::mkdirat(parentDescriptor, nativeName.constData(), 0777) != 0) {
        if (errno != EEXIST)
            throw PlatformError::posix(errno, path);
        struct stat existing {
        };
        if (::fstatat(parentDescriptor, nativeName.constData(), &existing, AT_SYMLINK_NOFOLLOW) != 0)
            throw PlatformError::posix(errno, path);
        if (S_ISLNK(existing.st_mode)) {
            if (::unlinkat(parentDescriptor, nativeName.constData(), 0) != 0 && errno != ENOENT)
                throw PlatformError::posix(errno, path);
            if (::mkdirat(parentDescriptor, nativeName.constData(), 0777) != 0)
                throw PlatformError::posix(errno, path);
        } else if (!S_ISDIR(existing.st_mode)) {
            throw PlatformError::posix(EEXIST, path);
        }
    }
    FileDescriptor descriptor(::openat(parentDescriptor, nativeName.constData(), folderFlags));
    if (!descriptor.isValid())
        throw PlatformError::posix(errno, path);
    return ConfinedFolder(std::move(descriptor), path);
}

QString ConfinedFolder::pathOf(const QString &name) const { return joined(m_path, name); }

ConfinedFolder ConfinedFolder::subfolder(const QString &name) const
{
    FileDescriptor descriptor(::openat(m_descriptor.get(), native(name).constData(), folderFlags));
    if (!descriptor.isValid())
        throw PlatformError::posix(errno, pathOf(name));
    return ConfinedFolder(std::move(descriptor), pathOf(name));
}

ConfinedFolder ConfinedFolder::createSubfolder(const QString &name) const { return createIn(m_descriptor.get(), name, pathOf(name)); }

QList<ConfinedFolder::Entry> ConfinedFolder::entries() const
{
    // The stream gets its own descriptor: closedir closes it, and this folder stays open.
    const int listing = ::openat(m_descriptor.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0)
        throw PlatformError::posix(errno, m_path);
    const std::unique_ptr<DIR, DirectoryCloser> stream(::fdopendir(listing));
    if (!stream) {
        const int error = errno;
        ::close(listing);
        throw PlatformError::posix(error, m_path);
    }
    QList<Entry> entries;
    for (;;) {
        errno = 0;
        const dirent *entry = ::readdir(stream.get());
        if (!entry) {
            if (errno != 0)
                throw PlatformError::posix(errno, m_path);
            return entries;
        }
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        const QString name = QFile::decodeName(entry->d_name);
        std::optional<ItemAttributes::Status> status;
        struct stat item {
        };
        if (::fstatat(m_descriptor.get(), entry->d_name, &item, AT_SYMLINK_NOFOLLOW) == 0)
            status = ItemAttributes::statusOf(item);
        entries.append(Entry { name, status });
    }
}

bool ConfinedFolder::contains(const QString &name) const
{
    struct stat item {
    };
    return ::fstatat(m_descriptor.get(), native(name).constData(), &item, AT_SYMLINK_NOFOLLOW) == 0;
}

QByteArray ConfinedFolder::readFile(const QString &name, qint64 maximumSize) const
{
    const QString path = pathOf(name);
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below like every other non-file.
    const FileDescriptor file(::openat(m_descriptor.get(), native(name).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.isValid())
        throw PlatformError::posix(errno, path);
    return FileOperations::readRegularFile(file.get(), path, maximumSize);
}

FileOperations::FileStart ConfinedFolder::readFileStart(const QString &name, qint64 maximumSize) const
{
    const QString path = pathOf(name);
    const FileDescriptor file(::openat(m_descriptor.get(), native(name).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.isValid())
        throw PlatformError::posix(errno, path);
    return FileOperations::readRegularFileStart(file.get(), path, maximumSize);
}

void ConfinedFolder::writeFileAtomically(const QString &name, const QByteArray &data) const
{
    const QString path = pathOf(name);
    TemporaryEntry file(m_descriptor.get(), name, path);
    FileOperations::writeAll(file.descriptor(), data, path);
    file.renameTo(native(name));
}

void ConfinedFolder::appendToFile(const QString &name, const QByteArray &data) const
{
    const QString path = pathOf(name);
    const FileDescriptor file(
        ::openat(m_descriptor.get(), native(name).constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    if (!file.isValid())
        throw PlatformError::posix(errno, path);
    FileOperations::regularFileStatus(file.get(), path);
    FileOperations::writeAll(file.get(), data, path);
}

void ConfinedFolder::removeFile(const QString &name) const
{
    if (::unlinkat(m_descriptor.get(), native(name).constData(), 0) != 0)
        throw PlatformError::posix(errno, pathOf(name));
}
