// SPDX-License-Identifier: MIT
#include "TarArchiveExtraction.h"

#include "FileDescriptor.h"
#include "PlatformError.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <archive.h>
#include <archive_entry.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

namespace TarArchiveExtraction {

namespace {

constexpr size_t readBlockSize = 64 * 1024;

struct ReaderDeleter {
    void operator()(archive *reader) const { archive_read_free(reader); }
};
using Reader = std::unique_ptr<archive, ReaderDeleter>;

/// A path inside the target folder, one name per element; never holds "", "." or "..".
using Components = QList<QByteArray>;

[[noreturn]] void throwOutside(const QByteArray &name)
{
    throw ArchiveError(QStringLiteral("The archive entry \"%1\" would be written outside the target folder.")
                           .arg(QFile::decodeName(name))
                           .toStdString());
}

[[noreturn]] void throwArchiveError(archive *reader, const QString &archivePath)
{
    const char *reason = archive_error_string(reader);
    throw ArchiveError(QStringLiteral("The archive %1 cannot be read: %2")
                           .arg(archivePath, reason ? QString::fromLocal8Bit(reason) : QStringLiteral("unknown error"))
                           .toStdString());
}

/// The names of an entry's path, with the first `strip` dropped; empty when nothing is left.
Components placeOf(const QByteArray &name, int strip)
{
    if (name.startsWith('/'))
        throwOutside(name);
    Components components;
    for (const QByteArray &part : name.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        if (part == "..")
            throwOutside(name);
        components.append(part);
    }
    return components.size() > strip ? components.mid(strip) : Components();
}

/// Whether a link at `linkPlace` whose text is `target` points at something inside the folder, judged on the text alone.
bool targetStaysInside(const Components &linkPlace, const QByteArray &target)
{
    if (target.isEmpty() || target.startsWith('/'))
        return false;
    qsizetype depth = linkPlace.size() - 1;
    for (const QByteArray &part : target.split('/')) {
        if (part.isEmpty() || part == ".")
            continue;
        depth += part == ".." ? -1 : 1;
        if (depth < 0)
            return false;
    }
    return true;
}

class Extraction
{
public:
    Extraction(const QString &archivePath, const QString &destination, int stripComponents)
        : m_archivePath(archivePath)
        , m_destination(destination)
        , m_strip(stripComponents)
        , m_root(::open(QFile::encodeName(destination).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
    {
        if (!m_root.isValid())
            throw PlatformError::posix(errno, destination);
    }

    void run()
    {
        const Reader reader(archive_read_new());
        archive_read_support_filter_gzip(reader.get());
        archive_read_support_format_tar(reader.get());
        if (archive_read_open_filename(reader.get(), QFile::encodeName(m_archivePath).constData(), readBlockSize) != ARCHIVE_OK)
            throwArchiveError(reader.get(), m_archivePath);
        for (;;) {
            archive_entry *entry = nullptr;
            const int status = archive_read_next_header(reader.get(), &entry);
            if (status == ARCHIVE_EOF)
                break;
            if (status < ARCHIVE_WARN)
                throwArchiveError(reader.get(), m_archivePath);
            extractEntry(reader.get(), entry);
        }
    }

private:
    void extractEntry(archive *reader, archive_entry *entry)
    {
        const char *pathname = archive_entry_pathname(entry);
        if (!pathname)
            throwArchiveError(reader, m_archivePath);
        const QByteArray name(pathname);
        const Components place = placeOf(name, m_strip);
        if (const char *hardlink = archive_entry_hardlink(entry)) {
            const Components target = placeOf(QByteArray(hardlink), m_strip);
            if (!place.isEmpty() && !target.isEmpty())
                makeHardLink(place, target);
            return;
        }
        if (place.isEmpty())
            return;
        const mode_t permissions = archive_entry_perm(entry) & 0777;
        switch (archive_entry_filetype(entry)) {
        case AE_IFDIR:
            makeFolder(place, permissions | S_IRWXU);
            break;
        case AE_IFREG:
            writeFile(reader, place, permissions, archive_entry_size(entry));
            break;
        case AE_IFLNK: {
            const char *target = archive_entry_symlink(entry);
            if (!target || !targetStaysInside(place, QByteArray(target)))
                throwOutside(name);
            makeSymbolicLink(place, QByteArray(target));
            break;
        }
        default:
            break; // devices, FIFOs and sockets carry no data worth unpacking
        }
    }

    QString pathOf(const Components &place, qsizetype count) const
    {
        QString path = m_destination;
        for (qsizetype index = 0; index < count; ++index)
            path += QLatin1Char('/') + QFile::decodeName(place[index]);
        return path;
    }

    /// The folder holding the first `count` names of `place`, made where missing; a link on the way fails.
    FileDescriptor openFolder(const Components &place, qsizetype count, bool create, mode_t lastMode = 0755) const
    {
        FileDescriptor folder(::fcntl(m_root.get(), F_DUPFD_CLOEXEC, 0));
        if (!folder.isValid())
            throw PlatformError::posix(errno, m_destination);
        for (qsizetype index = 0; index < count; ++index) {
            const char *name = place[index].constData();
            const mode_t mode = index + 1 == count ? lastMode : 0755;
            if (create && ::mkdirat(folder.get(), name, mode) != 0 && errno != EEXIST)
                throw PlatformError::posix(errno, pathOf(place, index + 1));
            FileDescriptor next(::openat(folder.get(), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!next.isValid())
                throw PlatformError::posix(errno, pathOf(place, index + 1));
            folder = std::move(next);
        }
        return folder;
    }

    /// Makes room for a new item: a file or link in the way goes, a folder stays and fails the entry.
    void removeExisting(int folder, const Components &place) const
    {
        if (::unlinkat(folder, place.last().constData(), 0) != 0 && errno != ENOENT)
            throw PlatformError::posix(errno, pathOf(place, place.size()));
    }

    void makeFolder(const Components &place, mode_t mode) const { openFolder(place, place.size(), true, mode); }

    void writeFile(archive *reader, const Components &place, mode_t mode, la_int64_t size) const
    {
        const FileDescriptor folder = openFolder(place, place.size() - 1, true);
        removeExisting(folder.get(), place);
        const QString path = pathOf(place, place.size());
        const FileDescriptor file(::openat(folder.get(), place.last().constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
        if (!file.isValid())
            throw PlatformError::posix(errno, path);
        for (;;) {
            const void *buffer = nullptr;
            size_t length = 0;
            la_int64_t offset = 0;
            const int status = archive_read_data_block(reader, &buffer, &length, &offset);
            if (status == ARCHIVE_EOF)
                break;
            if (status < ARCHIVE_WARN)
                throwArchiveError(reader, m_archivePath);
            writeAll(file.get(), static_cast<const char *>(buffer), length, offset, path);
        }
        // Sparse entries leave their holes unwritten; the length brings back a trailing one.
        if (size > 0 && ::ftruncate(file.get(), size) != 0)
            throw PlatformError::posix(errno, path);
    }

    static void writeAll(int file, const char *data, size_t length, off_t offset, const QString &path)
    {
        while (length > 0) {
            const ssize_t written = ::pwrite(file, data, length, offset);
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                throw PlatformError::posix(errno, path);
            }
            data += written;
            length -= size_t(written);
            offset += written;
        }
    }

    void makeSymbolicLink(const Components &place, const QByteArray &target) const
    {
        const FileDescriptor folder = openFolder(place, place.size() - 1, true);
        removeExisting(folder.get(), place);
        if (::symlinkat(target.constData(), folder.get(), place.last().constData()) != 0)
            throw PlatformError::posix(errno, pathOf(place, place.size()));
    }

    void makeHardLink(const Components &place, const Components &target) const
    {
        const FileDescriptor targetFolder = openFolder(target, target.size() - 1, false);
        const FileDescriptor folder = openFolder(place, place.size() - 1, true);
        removeExisting(folder.get(), place);
        if (::linkat(targetFolder.get(), target.last().constData(), folder.get(), place.last().constData(), 0) != 0)
            throw PlatformError::posix(errno, pathOf(place, place.size()));
    }

    QString m_archivePath;
    QString m_destination;
    int m_strip;
    FileDescriptor m_root;
};

} // namespace

void extract(const QString &archivePath, const QString &destination, int stripComponents)
{
    Extraction(archivePath, destination, stripComponents).run();
}

} // namespace TarArchiveExtraction
