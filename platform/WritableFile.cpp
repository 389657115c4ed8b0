// SPDX-License-Identifier: MIT
#include "WritableFile.h"

#include "FileOperations.h"
#include "PlatformError.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <limits>

WritableFile::WritableFile(QString path, FileDescriptor file)
    : m_path(std::move(path))
    , m_file(std::move(file))
{
}

WritableFile WritableFile::create(const QString &path)
{
    FileDescriptor file(::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (!file.isValid())
        throw PlatformError::posix(errno, path);
    return WritableFile(path, std::move(file));
}

WritableFile WritableFile::open(const QString &path)
{
    // O_NONBLOCK: opening a FIFO must not hang; it is refused below like every other non-file.
    FileDescriptor file(::open(QFile::encodeName(path).constData(), O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file.isValid())
        throw PlatformError::posix(errno, path);
    FileOperations::regularFileStatus(file.get(), path);
    return WritableFile(path, std::move(file));
}

void WritableFile::truncate(quint64 length) const
{
    if (length > quint64(std::numeric_limits<off_t>::max()))
        throw PlatformError::posix(EFBIG, m_path);
    int result;
    do {
        result = ::ftruncate(m_file.get(), off_t(length));
    } while (result != 0 && errno == EINTR);
    if (result != 0)
        throw PlatformError::posix(errno, m_path);
}
