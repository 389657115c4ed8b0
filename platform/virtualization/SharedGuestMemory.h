// SPDX-License-Identifier: MIT
#pragma once

#include "FileDescriptor.h"

#include <QString>
#include <QtGlobal>

/**
 * The memory of a guest whose file-system servers reach into it: an
 * anonymous shared-memory file (memfd) that this object creates and that
 * QEMU maps as a file-backed memory backend. Since it is a file QEMU was
 * given by name, QEMU can leave it out of a saved state (the migration
 * capability x-ignore-shared) and the state's writer copies its pages
 * itself, only those the guest used; a restore fills a fresh one before
 * QEMU starts. It has no name in any folder, so nothing is left behind when
 * the application or QEMU ends, however it ends: the memory goes with the
 * last descriptor. The descriptor closes on exec; only a child that is told
 * to (ChildProcess::inheritDescriptor) keeps it.
 */
class SharedGuestMemory
{
public:
    /// A file of `size` bytes, all holes; throws PlatformError when the system refuses one.
    explicit SharedGuestMemory(quint64 size);

    int descriptor() const { return m_file.get(); }
    quint64 size() const { return m_size; }
    /// The name under which a child that inherited the descriptor opens the same memory.
    QString pathInChild() const;
    /// The bytes the memory takes on the host: the pages that were written, not the holes.
    quint64 allocatedBytes() const;

private:
    FileDescriptor m_file;
    quint64 m_size = 0;
};
