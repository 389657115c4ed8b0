// SPDX-License-Identifier: MIT
#pragma once

#include <QUuid>

/**
 * Answers whether QEMU is running a VM outside the coordinator's session
 * table. Windows guests run as QEMU processes that have no runtime session,
 * so a guard that looks only at sessions would let a delete, clone, disk
 * growth, settings change or second start act on a disk QEMU is writing.
 *
 * @code
 * if (sessions.isActive(id) || qemuMachines.isRunning(id))
 *     throw VirtualMachineError::invalidOperation(...);
 * @endcode
 */
class RunningQEMUMachines
{
public:
    virtual ~RunningQEMUMachines() = default;

    /// Whether QEMU of the VM is starting or running.
    virtual bool isRunning(const QUuid &id) const = 0;
};
