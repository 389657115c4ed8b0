// SPDX-License-Identifier: MIT
#pragma once

#include "FileDescriptor.h"
#include "FileOperations.h"
#include "ItemAttributes.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

/**
 * A folder that someone else may change while we work in it, such as the
 * part of a bundle that a running guest writes to. The folder is opened once
 * without following a link, and every later operation is made relative to
 * that open folder and never follows a link either: an item swapped for a
 * link by the other side makes the operation fail instead of leading it out
 * of the folder. Reads take regular files only, never block and stop at a
 * size cap, so a FIFO, a device or a huge sparse file reads as an error.
 * Every failure throws PlatformError::posix naming the item's path.
 *
 * @code
 * const ConfinedFolder requests = ConfinedFolder::create(automation + QStringLiteral("/Requests"));
 * requests.writeFileAtomically(QStringLiteral("A.json"), data);
 * const QByteArray status = ConfinedFolder::open(automation).readFile(QStringLiteral("Status.json"), 1024 * 1024);
 * @endcode
 */
class ConfinedFolder
{
public:
    struct Entry {
        QString name;
        /// Absent when the entry could not be examined (it may have gone since the listing).
        std::optional<ItemAttributes::Status> status;
    };

    /// Opens the folder at `path`. A link there fails with ENOTDIR, as does any other item that is not a folder.
    static ConfinedFolder open(const QString &path);

    /**
     * Makes sure a real folder is at `path` and opens it. Its parent must
     * exist already (a missing one fails with ENOENT) and is never made: a
     * folder inside a bundle that has gone must not bring back an empty
     * bundle folder. A link in its place is removed and a folder made
     * instead, so the folder is always one of ours and never the link's
     * target. Any other item in the way fails with EEXIST.
     */
    static ConfinedFolder create(const QString &path);

    ConfinedFolder(ConfinedFolder &&) noexcept = default;
    ConfinedFolder &operator=(ConfinedFolder &&) noexcept = default;

    const QString &path() const { return m_path; }
    QString pathOf(const QString &name) const;

    /// The folder `name` inside this one, opened as by open(): a link fails.
    ConfinedFolder subfolder(const QString &name) const;
    /// The folder `name` inside this one, made sure of as by create().
    ConfinedFolder createSubfolder(const QString &name) const;

    /// Every entry, hidden ones included, in listing order.
    QList<Entry> entries() const;
    /// Whether anything, a link or a dangling link included, is named `name`.
    bool contains(const QString &name) const;

    /**
     * The content of the regular file `name`. A link fails with ELOOP, a
     * folder with EISDIR, any other kind of item with EINVAL, and a file
     * longer than `maximumSize` with EFBIG, without reading it.
     */
    QByteArray readFile(const QString &name, qint64 maximumSize) const;

    /// Up to the first `maximumSize` bytes of the regular file `name`, refused as by readFile() except that a longer file is cut.
    FileOperations::FileStart readFileStart(const QString &name, qint64 maximumSize) const;

    /**
     * Writes `data` to a new hidden file in this folder and renames it over
     * `name`, so a reader sees the old content or the new, never a part.
     * Whatever was at `name` (a link included) is replaced, not written
     * through. The new file gets 0666 less the umask.
     */
    void writeFileAtomically(const QString &name, const QByteArray &data) const;

    /// Appends `data` to the regular file `name`, creating it (0644 less the umask); a link there fails with ELOOP.
    void appendToFile(const QString &name, const QByteArray &data) const;

    /// Removes the file or link `name`; a folder fails with EISDIR.
    void removeFile(const QString &name) const;

private:
    ConfinedFolder(FileDescriptor descriptor, QString path);
    static ConfinedFolder createIn(int parentDescriptor, const QString &name, const QString &path);

    FileDescriptor m_descriptor;
    QString m_path;
};
