// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <sys/stat.h>

#include <atomic>
#include <memory>

/**
 * Copies that keep sparse files sparse, for disk images whose logical size
 * (often 64 GiB) far exceeds the data written to them. A file is cloned with
 * the FICLONE ioctl where the file system shares blocks; otherwise only its
 * data extents are copied (SEEK_DATA/SEEK_HOLE with copy_file_range, or
 * read and write where that cannot cross the two file systems) and the
 * full length is set, so the holes stay holes. Failures throw PlatformError.
 */
namespace SparseCopy {

/**
 * Copies the regular file `source` to `destination` with the same length and
 * permission bits. The copy is written to a hidden sibling of `destination`
 * and renamed into place, replacing an existing file in one step; a failed
 * copy leaves `destination` as it was. A link at `source` is not followed
 * (ELOOP) and any other kind of item fails too.
 */
void copyFile(const QString &source, const QString &destination);

/// Set, from any thread, to stop the copy it was given to.
using StopRequest = std::shared_ptr<const std::atomic_bool>;

/**
 * copyFile() for a copy that the user may stop: the request is looked at
 * between chunks of at most 64 MiB, and once set the copy fails with
 * ECANCELED and leaves `destination` as it was.
 */
void copyFileUnlessStopped(const QString &source, const QString &destination, const StopRequest &stop);

/**
 * Copies the open regular file `source`, whose status is `sourceStatus`,
 * into the open empty file `destination`: its permission bits, then a clone
 * or its data extents, then its full length. For callers that open both
 * files themselves (relative to folders they hold open); the paths only name
 * the files in errors.
 */
void copyContents(int source, int destination, const struct stat &sourceStatus, const QString &sourcePath, const QString &destinationPath);

/**
 * Copies the `length` bytes of the open file `source` from `sourceOffset` on
 * into the open file `destination` at `destinationOffset`, leaving out its
 * holes and blocks of zeros: where the destination had none, it has holes
 * there after the copy. Its length grows only as far as the last data
 * copied. For a file held inside another, such as a memory image.
 */
void copyRange(int source, qint64 sourceOffset, int destination, qint64 destinationOffset, qint64 length, const QString &sourcePath,
               const QString &destinationPath);

/**
 * Copies the folder `source` with everything inside it (hidden items
 * included) to `destination`, which must not exist yet (EEXIST). Every
 * name is carried byte for byte, also one that is not UTF-8. Files are
 * copied as by copyFile, folders recreated with their permission bits, links
 * recreated as links with the same target text and never followed; sockets,
 * FIFOs and devices are skipped, since they carry no data to copy. A failure
 * stops the copy and leaves what was copied so far.
 */
void copyTree(const QString &source, const QString &destination);

/**
 * Copies everything inside the folder `source` into the folder `destination`,
 * which must exist already (a link there fails with ENOTDIR), as copyTree()
 * does, and gives `destination` the permission bits of `source` at the end.
 * What `destination` holds already stays as it is: an item of `source` with
 * the same name is not copied. For copies made into a folder that had to be
 * prepared first.
 */
void copyTreeInto(const QString &source, const QString &destination);

} // namespace SparseCopy
