// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"

#include <QCoroTask>
#include <QString>

#include <optional>

class LoggingService;
class MachineIdentityService;
class StagedBundleCopy;
class VMStore;

/**
 * Makes an independent copy of a VM bundle beside its source, gives it an
 * identity of its own and registers it in the library. The coordinator has
 * already refused VMs that are not installed or not fully stopped.
 *
 * The clone is named after the given name, or the source's name with
 * " Copy"; its folder takes the free bundle-folder name for that ("Dev
 * Copy.vm", "Dev Copy 2.vm"...). It gets a new identifier, the time of
 * cloning and the stopped run state; everything else is the source's. The
 * whole folder is copied, sparsely, under a hidden name beside the source,
 * changed there, and renamed to its final name only when complete, so a
 * failed clone leaves nothing behind. Before anything is written, the
 * guest's part of the source is read through (GuestWrittenContent): an item
 * there that cannot be read fails the clone with a sentence that names it.
 *
 * Failures are VirtualMachineError; the host's own errors become
 * cloneFailed. clone() blocks for the length of the copy; cloneAsync() copies
 * on a worker thread, and the service must outlive it (the application makes
 * it once).
 *
 * @code
 * const VMBundle copy = co_await clones.cloneAsync(*store.bundle(id), std::nullopt, true, false);
 * @endcode
 */
class VMCloneService
{
public:
    VMCloneService(VMStore &store, const MachineIdentityService &machineIdentityService, const LoggingService &logging);

    /**
     * Clones `source`. Without `preserveSavedState` the clone starts cold:
     * its SavedState folder is emptied and its metadata says so. With
     * `regenerateMachineIdentifier` it gets a new MachineIdentifier.bin,
     * whatever its guest kind.
     */
    VMBundle clone(const VMBundle &source, const std::optional<QString> &name, bool regenerateMachineIdentifier, bool preserveSavedState) const;
    QCoro::Task<VMBundle> cloneAsync(VMBundle source, std::optional<QString> name, bool regenerateMachineIdentifier, bool preserveSavedState) const;

    /// The given name when it holds more than white space, unchanged; otherwise the source's name + " Copy".
    static QString displayName(const VMBundle &source, const std::optional<QString> &name);

private:
    VMBundle completeClone(const VMBundle &source, StagedBundleCopy &staged, const QString &displayName, bool regenerateMachineIdentifier,
                           bool preserveSavedState) const;

    VMStore &m_store;
    const MachineIdentityService &m_machineIdentityService;
    const LoggingService &m_logging;
};
