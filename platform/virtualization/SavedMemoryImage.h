// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

class SharedGuestMemory;

/**
 * The guest memory that a saved state of a machine with shared memory
 * carries itself, since QEMU leaves that memory out of what it writes. The
 * state stays one file: QEMU's own stream first, then, at the next 2 MiB
 * boundary, an image of the memory as long as the memory (sparse: only the
 * pages the guest used are written), then a 32-byte trailer that says where
 * the image lies. A file without the trailer is a state whose memory is in
 * QEMU's stream. Copying in either direction leaves the holes out, so
 * neither the file nor the memory grows by pages the guest never used.
 * The copies run in parts on a few threads of their own; the functions
 * block until all are done, and failures throw PlatformError.
 */
namespace SavedMemoryImage {

struct Location {
    qint64 offset = 0;
    qint64 length = 0;
};

/// Appends the image of `memory` and the trailer to the state file `path` that QEMU has written.
void append(const QString &path, const SharedGuestMemory &memory);

/// Where the image in the state file `path` lies; none for a state without one. Throws when the file cannot be read.
std::optional<Location> locate(const QString &path);

/// Copies the image at `location` of the state file `path` into `memory`, which must be as long and all holes.
void load(const QString &path, const Location &location, const SharedGuestMemory &memory);

} // namespace SavedMemoryImage
