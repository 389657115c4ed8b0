// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/**
 * What QEMU's last words say about an incoming migration (a restore) that
 * failed. QEMU ends such a run with "load of migration failed: <reason>",
 * after the lines that say what it found wrong. A reason that speaks of the
 * stream (an invalid argument, a section it does not know, ...) means that
 * the state itself cannot be used by this machine; a reason that is the
 * host's (no space, no memory, an I/O error, a file it may not read) says
 * nothing about the state, which may well load once the host is put right.
 */
namespace QemuLoadFailure {

/// Whether `qemuLog` (the end of QEMU's log) holds QEMU's load failure with a reason that is not the host's.
bool rejectsState(const QString &qemuLog);

} // namespace QemuLoadFailure
