// SPDX-License-Identifier: MIT
#include "CappedLogFile.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

CappedLogFile::CappedLogFile(QString path, qint64 limit)
    : m_path(std::move(path))
    , m_limit(std::max<qint64>(limit, 1))
{
}

void CappedLogFile::append(const QByteArray &data)
{
    if (data.isEmpty() || (!m_file.isValid() && !open()))
        return;
    // A single burst longer than the limit keeps its end, the part that says how things finished.
    const QByteArray kept = data.size() > m_limit ? data.right(m_limit) : data;
    if (m_size + kept.size() > m_limit) {
        rotate();
        if (!m_file.isValid())
            return;
    }
    const char *bytes = kept.constData();
    qsizetype left = kept.size();
    while (left > 0) {
        const ssize_t written = ::write(m_file.get(), bytes, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return;
        bytes += written;
        left -= written;
        m_size += written;
    }
}

bool CappedLogFile::open()
{
    // Non-blocking, so that a FIFO planted in the log's place cannot hang the open; it is refused below.
    m_file = FileDescriptor(::open(QFile::encodeName(m_path).constData(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    struct stat status {
    };
    if (!m_file.isValid() || ::fstat(m_file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        m_file.reset();
        return false;
    }
    m_size = status.st_size;
    return true;
}

void CappedLogFile::rotate()
{
    m_file.reset();
    std::rename(QFile::encodeName(m_path).constData(), QFile::encodeName(m_path + QStringLiteral(".1")).constData());
    open();
}
