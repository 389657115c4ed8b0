// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"

#include <QCoroTask>
#include <QObject>
#include <QUuid>

/**
 * The virtual machines QEMU runs outside the coordinator's session table:
 * Windows guests run as QEMU processes without a runtime session. The
 * coordinator starts and stops them through this interface and asks it
 * whether one runs, so that no delete, clone, disk growth, settings change,
 * copy or second start acts on a disk QEMU is writing. GUI thread only.
 *
 * @code
 * co_await qemuMachines.start(bundle);
 * if (qemuMachines.isRunning(id)) ...
 * co_await qemuMachines.stop(id);
 * @endcode
 */
class QEMUMachines : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    /// Whether QEMU of the VM is starting or running.
    virtual bool isRunning(const QUuid &id) const = 0;
    /// Starts QEMU for the bundle and returns once it runs; a VM whose QEMU runs already is refused.
    virtual QCoro::Task<> start(VMBundle bundle) = 0;
    /**
     * Ends the VM's QEMU: the guest is asked to power down, then QEMU to
     * quit, then the process is terminated. Returns once it has exited; a VM
     * whose QEMU does not run is no error.
     */
    virtual QCoro::Task<> stop(QUuid id) = 0;

Q_SIGNALS:
    /// QEMU of the VM began to start (true) or has exited (false).
    void runningChanged(const QUuid &id, bool running);
};
