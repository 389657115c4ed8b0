// SPDX-License-Identifier: MIT
#pragma once

#include "VMSavedState.h"

#include <QCoroTask>
#include <QString>

class LoggingService;
class VirtualMachineSession;

/**
 * Suspends a VM to disk: writes the machine's whole state to
 * SavedState/MachineState.bin in its bundle, and discards that file. The
 * coordinator records the result in the metadata and decides when the file
 * is used. GUI thread only.
 *
 * A save goes to a temporary file beside the old state, which it replaces
 * only once the machine reports success: a failed save leaves the previous
 * state, and the record of it, as they were. During a save the session goes
 * from running (paused first) or paused to saving and back to paused, also
 * when the save fails, unless the machine failed or stopped meanwhile: then
 * the session keeps the state its machine's events gave it. The record's
 * size is what the file takes on disk: the state file is sparse.
 *
 * @code
 * const VMSavedState saved = co_await saveRestore.saveState(*session);
 * @endcode
 */
class VMSaveRestoreService final
{
public:
    explicit VMSaveRestoreService(const LoggingService &loggingService);

    /**
     * Saves the session's machine and returns the record of the new file.
     * A machine that neither runs nor is paused is refused with
     * invalidOperation before anything changes.
     * Throws VirtualMachineError (saveStateFailed) when the configuration
     * cannot be saved, when the session's shared folders have stopped (at
     * once, with the session's sentence), when the running machine refuses
     * (QEMU reports a migration blocker, or a shared-folder server cannot migrate; the
     * machine is left as it was) or the machine fails to save; the machine's pause failure and the host's
     * PlatformError as they come; runtimeError when the session is closed
     * while the machine works.
     */
    QCoro::Task<VMSavedState> saveState(VirtualMachineSession &session) const;

    /// Deletes the bundle's state file when there is one; the SavedState folder stays. Throws PlatformError.
    void discardSavedState(const QString &bundleURL) const;

private:
    const LoggingService &m_loggingService;
};
