// SPDX-License-Identifier: MIT
#pragma once

#include "FileDescriptor.h"

#include <QByteArray>
#include <QString>

#include <sys/types.h>

/**
 * A new hidden file beside a destination, written through descriptor() and
 * then renamed over the destination in one step by commit(), so that no
 * reader ever sees a half-written destination. Unless committed, the file is
 * removed when the object goes out of scope. Failures throw PlatformError
 * naming the destination.
 *
 *     TemporarySiblingFile file(path);
 *     ... write to file.descriptor() ...
 *     file.commit();
 */
class TemporarySiblingFile
{
public:
    /// Creates ".<name>.<random>" in the destination's folder with `mode` less the umask.
    explicit TemporarySiblingFile(const QString &destination, mode_t mode = 0666);
    TemporarySiblingFile(const TemporarySiblingFile &) = delete;
    TemporarySiblingFile &operator=(const TemporarySiblingFile &) = delete;
    ~TemporarySiblingFile();

    int descriptor() const { return m_file.get(); }
    const QString &destination() const { return m_destination; }

    /// Closes the file and renames it over the destination.
    void commit();

private:
    QString m_destination;
    QByteArray m_temporaryPath;
    FileDescriptor m_file;
};
