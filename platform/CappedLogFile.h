// SPDX-License-Identifier: MIT
#pragma once

#include "FileDescriptor.h"

#include <QByteArray>
#include <QString>

/**
 * An append-only log of a helper program's output that never grows past a
 * limit: when a write would pass it, the file is moved aside to "<name>.1"
 * (replacing the one before) and begun afresh, so the newest output is
 * always kept and at most twice the limit lies on disk. The file is opened
 * without following a link, since it lives in a bundle that may come from
 * anywhere. Writing never fails towards the caller: output that cannot be
 * written is dropped. Used by one thread at a time.
 *
 * @code
 * CappedLogFile log(layout.logsDirectoryURL() + QStringLiteral("/qemu.log"), 8 * 1024 * 1024);
 * log.append(process.readAllStandardOutput());
 * @endcode
 */
class CappedLogFile
{
public:
    CappedLogFile(QString path, qint64 limit);

    const QString &path() const { return m_path; }
    qint64 limit() const { return m_limit; }

    void append(const QByteArray &data);

private:
    bool open();
    void rotate();

    QString m_path;
    qint64 m_limit;
    FileDescriptor m_file;
    qint64 m_size = 0;
};
