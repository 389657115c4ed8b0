// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <stdexcept>

/**
 * Unpacks a gzip-compressed tar archive into a folder, as
 * `tar xzf <archive> --strip-components=<n> -C <folder>` would, except that
 * nothing the archive says can put an item outside the folder: an entry
 * whose name is absolute or holds "..", a hard link to such a name and a
 * symbolic link whose target climbs out of the folder stop the extraction
 * with ArchiveError. Items are created relative to the open folder without
 * ever following a link, so a link the archive made earlier cannot redirect
 * a later entry either. Entries left without a name by the stripping are
 * skipped, as tar skips them; devices, FIFOs and sockets are skipped too.
 * Existing files are replaced, existing folders kept. Modes keep their
 * permission bits less the umask; set-id bits are dropped.
 *
 * Blocking: run it off the GUI thread. What was extracted before a failure
 * stays in the folder.
 *
 * @code
 * TarArchiveExtraction::extract(download + "/qemu.tar.gz", installFolder, 2);
 * @endcode
 */
namespace TarArchiveExtraction {

/// The archive is malformed or holds an entry that would land outside the folder. File errors throw PlatformError instead.
class ArchiveError : public std::runtime_error
{
    using std::runtime_error::runtime_error;
};

/// Extracts `archivePath` into the existing folder `destination`, dropping the first `stripComponents` components of every name.
void extract(const QString &archivePath, const QString &destination, int stripComponents = 0);

} // namespace TarArchiveExtraction
