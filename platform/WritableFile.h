// SPDX-License-Identifier: MIT
#pragma once

#include "FileDescriptor.h"

#include <QString>
#include <QtGlobal>

/**
 * A regular file held open for writing, closed when the object goes out of
 * scope. Used to give a file its length without writing its content: setting
 * the length past the end leaves a hole that takes no space on the host, so
 * a 64 GiB disk image costs nothing until the guest writes to it. Links are
 * never followed. Failures throw PlatformError naming the path.
 */
class WritableFile
{
public:
    /// Creates a new, empty file (0644 less the umask); anything already at `path` fails with EEXIST.
    static WritableFile create(const QString &path);

    /// Opens the existing regular file at `path` without changing it.
    static WritableFile open(const QString &path);

    /// Sets the file's length: content past it is dropped, and the range added past the old end reads as zeros.
    void truncate(quint64 length) const;

    const QString &path() const { return m_path; }

private:
    WritableFile(QString path, FileDescriptor file);

    QString m_path;
    FileDescriptor m_file;
};
