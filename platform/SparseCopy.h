// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

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

/**
 * Copies the folder `source` with everything inside it (hidden items
 * included) to `destination`, which must not exist yet (EEXIST). Files are
 * copied as by copyFile, folders recreated with their permission bits, links
 * recreated as links with the same target text and never followed; sockets,
 * FIFOs and devices are skipped, since they carry no data to copy. A failure
 * stops the copy and leaves what was copied so far.
 */
void copyTree(const QString &source, const QString &destination);

} // namespace SparseCopy
