// SPDX-License-Identifier: MIT
#include "ZipArchiveWriter.h"

#include "DirectoryWalk.h"
#include "FileDescriptor.h"
#include "FileOperations.h"
#include "PlatformError.h"

#include <QByteArray>
#include <QFile>
#include <QList>

#include <archive.h>
#include <archive_entry.h>

#include <fcntl.h>
#include <locale.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

namespace {

constexpr size_t chunkSize = 1 << 20;

struct EntryDeleter {
    void operator()(archive_entry *entry) const { archive_entry_free(entry); }
};
using Entry = std::unique_ptr<archive_entry, EntryDeleter>;

/// The names in the open folder, sorted so that the same tree gives the same archive.
QList<QByteArray> listNames(int folderDescriptor, const QString &folderPath)
{
    QList<QByteArray> names = DirectoryWalk::namesIn(folderDescriptor, folderPath);
    std::sort(names.begin(), names.end());
    return names;
}

/// What ZipArchiveWriter::contentSize() counts below one open folder.
qint64 contentSizeBelow(int folderDescriptor, const QString &folderPath, const QString &relativePrefix, const ZipArchiveWriter::Filter &include)
{
    qint64 total = 0;
    for (const QByteArray &name : listNames(folderDescriptor, folderPath)) {
        const QString decodedName = QFile::decodeName(name);
        const QString path = folderPath + QLatin1Char('/') + decodedName;
        const QString relative = relativePrefix.isEmpty() ? decodedName : relativePrefix + QLatin1Char('/') + decodedName;
        struct stat status {
        };
        if (::fstatat(folderDescriptor, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno == ENOENT)
                continue;
            throw PlatformError::posix(errno, path);
        }
        if (include && !include(relative, status))
            continue;
        if (S_ISREG(status.st_mode)) {
            total += status.st_size;
        } else if (S_ISDIR(status.st_mode)) {
            const FileDescriptor folder(::openat(folderDescriptor, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
            if (!folder.isValid())
                throw PlatformError::posix(errno, path);
            total += contentSizeBelow(folder.get(), path, relative, include);
        }
    }
    return total;
}

/// A new file at `path`, never one that existed before.
FileDescriptor createFile(const QString &path)
{
    FileDescriptor file(::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (!file.isValid())
        throw PlatformError::posix(errno, path);
    return file;
}

/**
 * Sets the character set the calling thread works in while it lives. The
 * zip writer gives an entry the flag that says its name is UTF-8 when the
 * name is not plain ASCII and the thread's character set is UTF-8; names
 * are stored as their bytes, unconverted.
 */
class ThreadCharacterSet
{
public:
    enum class Kind { utf8, bytes };

    explicit ThreadCharacterSet(Kind kind)
        : m_previous(::uselocale(locale(kind)))
    {
    }
    ~ThreadCharacterSet() { ::uselocale(m_previous); }
    ThreadCharacterSet(const ThreadCharacterSet &) = delete;
    ThreadCharacterSet &operator=(const ThreadCharacterSet &) = delete;

private:
    static locale_t locale(Kind kind)
    {
        // Made once and never freed: uselocale needs them for as long as any thread may use them.
        static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
        static const locale_t bytes = ::newlocale(LC_CTYPE_MASK, "C", locale_t(nullptr));
        const locale_t chosen = kind == Kind::utf8 ? utf8 : bytes;
        if (!chosen)
            throw ZipArchiveWriter::CompressionError("The character set of archive entry names is not available.");
        return chosen;
    }

    locale_t m_previous;
};

struct ArchiveDeleter {
    void operator()(struct archive *archive) const
    {
        // Marked failed first, so that dropping an unfinished archive does not try to complete it.
        archive_write_fail(archive);
        archive_write_free(archive);
    }
};

/// Removes the file it names when it goes out of scope, unless told to keep it.
class PartialFile
{
public:
    explicit PartialFile(QString path)
        : m_path(std::move(path))
    {
    }
    PartialFile(const PartialFile &) = delete;
    PartialFile &operator=(const PartialFile &) = delete;
    ~PartialFile()
    {
        if (!m_path.isEmpty())
            ::unlink(QFile::encodeName(m_path).constData());
    }
    void keep() { m_path.clear(); }

private:
    QString m_path;
};

} // namespace

class ZipArchiveWriter::Archive
{
public:
    explicit Archive(const QString &path)
        : m_path(path)
        , m_file(createFile(path))
        , m_partialFile(path)
        , m_archive(archive_write_new())
        , m_zeros(chunkSize, 0)
        , m_buffer(chunkSize)
    {
        if (!m_archive)
            throw CompressionError("The archive writer could not be created.");
        check(archive_write_set_format_zip(m_archive.get()));
        // Names are not converted: each is stored as its bytes, with the UTF-8 flag only where they are UTF-8 (writeHeader).
        check(archive_write_set_options(m_archive.get(), "zip:compression=deflate,zip:compression-level=6"));
        check(archive_write_set_bytes_per_block(m_archive.get(), 64 * 1024));
        check(archive_write_set_bytes_in_last_block(m_archive.get(), 1)); // no padding after the central directory
        check(archive_write_open2(m_archive.get(), this, nullptr, &Archive::writeCallback, nullptr, nullptr));
    }

    const QString &path() const { return m_path; }
    void setProgress(Progress progress) { m_progress = std::move(progress); }

    void addFolder(const QString &folder, const QString &entryName, const Filter &include)
    {
        const FileDescriptor root(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (!root.isValid())
            throw PlatformError::posix(errno, folder);
        struct stat status {
        };
        if (::fstat(root.get(), &status) != 0)
            throw PlatformError::posix(errno, folder);
        const QByteArray entryPath = entryName.toUtf8();
        writeHeader(status, entryPath + '/');
        addChildren(root.get(), folder, entryPath, QString(), include);
    }

    void finish()
    {
        check(archive_write_close(m_archive.get()));
        m_file.reset();
        m_partialFile.keep();
    }

private:
    void addChildren(int folderDescriptor, const QString &folderPath, const QByteArray &entryPrefix, const QString &relativePrefix,
                     const Filter &include)
    {
        for (const QByteArray &name : listNames(folderDescriptor, folderPath)) {
            const QString decodedName = QFile::decodeName(name);
            const QString path = folderPath + QLatin1Char('/') + decodedName;
            const QString relative = relativePrefix.isEmpty() ? decodedName : relativePrefix + QLatin1Char('/') + decodedName;
            const QByteArray entryPath = entryPrefix + '/' + name;
            struct stat status {
            };
            if (::fstatat(folderDescriptor, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
                if (errno == ENOENT)
                    continue; // removed since the listing
                throw PlatformError::posix(errno, path);
            }
            if (include && !include(relative, status))
                continue;
            if (S_ISDIR(status.st_mode))
                addFolderEntry(folderDescriptor, name, path, entryPath, relative, include);
            else if (S_ISREG(status.st_mode))
                addFileEntry(folderDescriptor, name, path, entryPath);
            else if (S_ISLNK(status.st_mode))
                addLinkEntry(folderDescriptor, name, path, entryPath, status);
        }
    }

    void addFolderEntry(int parent, const QByteArray &name, const QString &path, const QByteArray &entryPath, const QString &relative,
                        const Filter &include)
    {
        // O_NOFOLLOW: a folder swapped for a link since it was examined fails here instead of leading out of the tree.
        const FileDescriptor folder(::openat(parent, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!folder.isValid())
            throw PlatformError::posix(errno, path);
        struct stat status {
        };
        if (::fstat(folder.get(), &status) != 0)
            throw PlatformError::posix(errno, path);
        writeHeader(status, entryPath + '/');
        addChildren(folder.get(), path, entryPath, relative, include);
    }

    void addFileEntry(int parent, const QByteArray &name, const QString &path, const QByteArray &entryPath)
    {
        // O_NONBLOCK: a FIFO swapped in since the examination must not hang the open; it is refused below.
        const FileDescriptor file(::openat(parent, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        if (!file.isValid())
            throw PlatformError::posix(errno, path);
        const struct stat status = FileOperations::regularFileStatus(file.get(), path);
        writeHeader(status, entryPath);
        writeContent(file.get(), status.st_size, path);
    }

    void addLinkEntry(int parent, const QByteArray &name, const QString &path, const QByteArray &entryPath, const struct stat &status)
    {
        char target[PATH_MAX];
        const ssize_t length = ::readlinkat(parent, name.constData(), target, sizeof target - 1);
        if (length < 0)
            throw PlatformError::posix(errno, path);
        target[length] = '\0';
        writeHeader(status, entryPath, target);
    }

    void writeHeader(const struct stat &status, const QByteArray &entryPath, const char *linkTarget = nullptr)
    {
        const Entry entry(archive_entry_new());
        if (!entry)
            throw CompressionError("An archive entry could not be created.");
        archive_entry_copy_stat(entry.get(), &status);
        archive_entry_copy_pathname(entry.get(), entryPath.constData());
        if (linkTarget)
            archive_entry_copy_symlink(entry.get(), linkTarget);
        // A name that is not UTF-8 (a guest names its files as it likes) keeps its bytes and goes without the UTF-8 flag, as
        // the zip format has it for names in another encoding; every other name that is not ASCII gets the flag.
        const ThreadCharacterSet characterSet(entryPath.isValidUtf8() ? ThreadCharacterSet::Kind::utf8 : ThreadCharacterSet::Kind::bytes);
        check(archive_write_header(m_archive.get(), entry.get()));
    }

    /// Streams exactly `size` bytes: data extents are read, holes written as zeros without reading them.
    void writeContent(int file, off_t size, const QString &path)
    {
        off_t offset = 0;
        bool knowsHoles = true;
        while (offset < size) {
            off_t dataStart = offset;
            if (knowsHoles) {
                dataStart = ::lseek(file, offset, SEEK_DATA);
                if (dataStart < 0) {
                    if (errno == ENXIO) {
                        dataStart = size; // only a hole is left
                    } else if (errno == EINVAL) {
                        knowsHoles = false; // a file system that cannot tell: read everything
                        dataStart = offset;
                    } else {
                        throw PlatformError::posix(errno, path);
                    }
                }
            }
            dataStart = std::min(dataStart, size);
            writeZeros(dataStart - offset);
            offset = dataStart;
            if (offset >= size)
                break;
            off_t dataEnd = size;
            if (knowsHoles) {
                dataEnd = ::lseek(file, offset, SEEK_HOLE);
                if (dataEnd < 0)
                    throw PlatformError::posix(errno, path);
                dataEnd = std::min(dataEnd, size);
            }
            offset = copyRange(file, offset, dataEnd, path);
            if (offset < dataEnd) { // the file shrank while we read: keep the promised length
                writeZeros(size - offset);
                return;
            }
        }
    }

    /// Copies [offset, end) of the file into the entry; returns where reading stopped (before `end` at an early end of file).
    off_t copyRange(int file, off_t offset, off_t end, const QString &path)
    {
        while (offset < end) {
            const ssize_t got = ::pread(file, m_buffer.data(), size_t(std::min<off_t>(end - offset, off_t(chunkSize))), offset);
            if (got < 0) {
                if (errno == EINTR)
                    continue;
                throw PlatformError::posix(errno, path);
            }
            if (got == 0)
                return offset;
            writeData(m_buffer.data(), size_t(got));
            offset += got;
        }
        return offset;
    }

    void writeZeros(off_t count)
    {
        while (count > 0) {
            const size_t size = size_t(std::min<off_t>(count, off_t(chunkSize)));
            writeData(m_zeros.data(), size);
            count -= off_t(size);
        }
    }

    /// Writes one chunk of file content and reports it.
    void writeData(const char *data, size_t size)
    {
        writeAll(data, size);
        m_contentBytes += qint64(size);
        if (m_progress)
            m_progress(m_contentBytes);
    }

    void writeAll(const char *data, size_t size)
    {
        while (size > 0) {
            const la_ssize_t written = archive_write_data(m_archive.get(), data, size);
            if (written <= 0)
                fail();
            data += written;
            size -= size_t(written);
        }
    }

    void check(int status)
    {
        if (status < ARCHIVE_WARN)
            fail();
    }

    [[noreturn]] void fail()
    {
        if (m_writeError != 0)
            throw PlatformError::posix(m_writeError, m_path);
        const char *message = archive_error_string(m_archive.get());
        throw CompressionError(message ? message : "The archive could not be written.");
    }

    static la_ssize_t writeCallback(struct archive *, void *context, const void *buffer, size_t length)
    {
        auto *self = static_cast<Archive *>(context);
        const char *cursor = static_cast<const char *>(buffer);
        size_t remaining = length;
        while (remaining > 0) {
            const ssize_t written = ::write(self->m_file.get(), cursor, remaining);
            if (written < 0) {
                if (errno == EINTR)
                    continue;
                self->m_writeError = errno;
                return -1;
            }
            cursor += written;
            remaining -= size_t(written);
        }
        return la_ssize_t(length);
    }

    // Destroyed in reverse order: the archive is dropped before its partial file is removed and closed.
    QString m_path;
    FileDescriptor m_file;
    PartialFile m_partialFile;
    std::unique_ptr<struct archive, ArchiveDeleter> m_archive;
    int m_writeError = 0;
    Progress m_progress;
    qint64 m_contentBytes = 0;
    const std::vector<char> m_zeros;
    std::vector<char> m_buffer;
};

ZipArchiveWriter::ZipArchiveWriter(const QString &archivePath)
    : m_archive(std::make_unique<Archive>(archivePath))
{
}

ZipArchiveWriter::~ZipArchiveWriter() = default;

const QString &ZipArchiveWriter::archivePath() const
{
    return m_archive->path();
}

qint64 ZipArchiveWriter::contentSize(const QString &folder, const Filter &include)
{
    const FileDescriptor root(::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!root.isValid())
        throw PlatformError::posix(errno, folder);
    return contentSizeBelow(root.get(), folder, QString(), include);
}

void ZipArchiveWriter::setProgress(Progress progress)
{
    m_archive->setProgress(std::move(progress));
}

void ZipArchiveWriter::addFolder(const QString &folder, const QString &entryName, const Filter &include)
{
    m_archive->addFolder(folder, entryName, include);
}

void ZipArchiveWriter::finish()
{
    m_archive->finish();
}
