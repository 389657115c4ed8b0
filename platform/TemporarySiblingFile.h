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
    /**
     * The same for the destination `name` (its own bytes, which need not be
     * UTF-8) in the open folder `folderDescriptor`, which must stay open
     * while the object lives; `destination` only names it in errors.
     */
    TemporarySiblingFile(int folderDescriptor, const QByteArray &name, const QString &destination, mode_t mode = 0666);
    TemporarySiblingFile(const TemporarySiblingFile &) = delete;
    TemporarySiblingFile &operator=(const TemporarySiblingFile &) = delete;
    ~TemporarySiblingFile();

    int descriptor() const { return m_file.get(); }
    const QString &destination() const { return m_destination; }

    /// Closes the file and renames it over the destination.
    void commit();

private:
    void create(const QByteArray &folder, const QByteArray &name, mode_t mode);

    QString m_destination;
    int m_folder;
    QByteArray m_destinationName;
    QByteArray m_temporaryName;
    FileDescriptor m_file;
};
