// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

/**
 * Names one process so that another process can later tell whether it still
 * runs: its machine (the machine ID of /etc/machine-id and the host name,
 * since two machines on one shared folder may well share a host name), the
 * boot of that machine, its process ID and the moment it started (in clock
 * ticks since boot), which together survive the reuse of a process ID and a
 * reboot. Read from /etc and /proc; reads never throw.
 *
 * @code
 * const ProcessIdentity owner = ProcessIdentity::current();
 * ... later, possibly in another process ...
 * if (!owner.isRunning()) removeWhatItLeft();
 * @endcode
 */
struct ProcessIdentity {
    QString hostName;
    QString bootID;
    qint64 processID = 0;
    quint64 startTicks = 0;
    /// Empty in an identity recorded before machine IDs were: only its host name then tells its machine.
    QString machineID;

    bool operator==(const ProcessIdentity &) const = default;

    /// This process.
    static ProcessIdentity current();

    /**
     * Whether the process named here still runs. A process of another
     * machine (another machine ID or host name, or a machine ID where this
     * machine's cannot be read) cannot be asked and counts as running, as
     * does every process when this machine's boot cannot be read; a process
     * of an earlier boot, or one that has ended (a zombie included), does
     * not.
     */
    bool isRunning() const;
};
