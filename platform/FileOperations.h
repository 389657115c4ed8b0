// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringList>

#include <sys/stat.h>

#include <functional>

/**
 * The file operations the storage services build on: atomic writes, folder
 * creation, hard links, file identity and removal. Every failure is thrown as
 * a POSIX PlatformError carrying errno and the path involved. Nothing here
 * follows a symbolic link unless it says so.
 */
namespace FileOperations {

/// Larger than any file the application reads whole; a bigger one is refused rather than loaded.
inline constexpr qint64 defaultMaximumReadSize = 64 * 1024 * 1024;

/**
 * The whole content of the regular file at `path`. A link is not followed
 * (ELOOP), a folder fails with EISDIR and any other non-file with EINVAL, so
 * a file someone else may have placed cannot redirect or block the read. A
 * file longer than `maximumSize` bytes fails with EFBIG.
 */
QByteArray readFile(const QString &path, qint64 maximumSize = defaultMaximumReadSize);

/// Looks at each piece of a file as it is read; throws to stop the read.
using ReadInspector = std::function<void(QByteArrayView piece)>;

/**
 * readFile() that hands each piece to `inspect` before reading on, so a file
 * can be refused from its first bytes: until the last piece is inspected
 * the memory held grows only with what was read, never with the file's size.
 */
QByteArray readFile(const QString &path, qint64 maximumSize, const ReadInspector &inspect);

/// The status of the open `descriptor`, which must be a regular file (else EINVAL); `path` names it in errors.
struct stat regularFileStatus(int descriptor, const QString &path);

/// The same checks and cap for a file the caller opened itself (say relative to a folder); `path` names it in errors.
QByteArray readRegularFile(int descriptor, const QString &path, qint64 maximumSize);

/// The start of a file, and whether that was all of it.
struct FileStart {
    QByteArray data;
    bool isWhole = true;
};

/**
 * Up to the first `maximumSize` bytes of the regular file the caller opened,
 * with the checks of readRegularFile(); a longer file is cut rather than
 * refused, and never read further than one byte past the cap.
 */
FileStart readRegularFileStart(int descriptor, const QString &path, qint64 maximumSize);

/**
 * Writes `data` to a hidden temporary sibling of `path` and renames it into
 * place, so a reader sees either the old or the new content, never half of
 * it. An existing file keeps its permission bits; a new one gets 0666 less
 * the umask. The folder must exist. No fsync.
 */
void writeAtomically(const QString &path, const QByteArray &data);

/// Writes all of `data` to an open descriptor, retrying short and interrupted writes; `path` names it in errors.
void writeAll(int descriptor, const QByteArray &data, const QString &path);

/**
 * Creates the folder and any missing parents; an existing folder (or a link
 * to one) is no error. A file in the way fails with EEXIST, a file in place
 * of a parent with ENOTDIR; the error names the path that could not be made.
 */
void createFolders(const QString &path);

/// Makes `newPath` a hard link to `existingPath` (a link is linked as itself). Errors name `newPath`.
void createHardLink(const QString &existingPath, const QString &newPath);

/**
 * True when both items can be examined and have the same device and inode.
 * The items themselves are compared, never a link's target; any failure
 * answers false.
 */
bool isSameFile(const QString &first, const QString &second);

/// True when a real folder is at `path`: a link, even to a folder, is not one.
bool isFolder(const QString &path);

/// True when something, a dangling link included, exists at `path`.
bool itemExists(const QString &path);

/// The names in `folder`, hidden ones included (not "." and ".."), in listing order. Throws PlatformError.
QStringList folderEntries(const QString &folder);

/**
 * Removes the item at `path`: a file, a link (never its target) or a folder
 * with everything inside it. Links inside are unlinked, never followed, and
 * the walk holds each folder open so that a folder swapped for a link
 * cannot redirect it. A missing `path` fails with ENOENT; an item that
 * disappears while the tree is being removed is no error.
 */
void removeItem(const QString &path);

/**
 * Removes, as removeItem() does, every item in `folder` whose name `chosen`
 * accepts (all items without it). Each is reached by its name's own bytes,
 * so one whose name is not UTF-8 goes too. Throws PlatformError.
 */
void removeEntries(const QString &folder, const std::function<bool(const QString &name)> &chosen = {});

} // namespace FileOperations
