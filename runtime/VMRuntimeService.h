// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"
#include "VirtualMachineSession.h"

#include <QCoroTask>

#include <memory>

class LoggingService;
class VMConfigurationBuilder;
class VMLinuxService;
class VMSharedFolderService;
class VirtualMachineFactory;

/**
 * Makes runtime sessions from bundles and drives their machines through
 * start, restore from saved state, stop, pause and resume, keeping each
 * session's published run state in step:
 *
 *   operation   before the call   after success   after failure
 *   cold start  starting          running         error
 *   restore     restoring         paused          error
 *   stop        stopping          stopped         error
 *   pause       (unchanged)       paused          error
 *   resume      (unchanged)       running         error
 *
 * Stop, pause and resume first ask whether the machine's state allows
 * them: a refused operation throws invalidOperation and leaves the session
 * as it was, and stopping a machine that does not run (never started,
 * stopped, failed) only sets the session to stopped. A failure of the
 * machine itself is recorded on the session (message, state error, log
 * line) before it is thrown. The service writes no metadata; the
 * coordinator copies the session's state afterwards.
 *
 * Every wait on the machine is bounded. A session that goes away while its
 * machine is busy is left alone: the operation throws runtimeError.
 * GUI thread only.
 *
 * @code
 * std::unique_ptr<VirtualMachineSession> session = runtime.makeSession(bundle);
 * co_await runtime.start(*session, true); // paused when a saved state was restored
 * @endcode
 */
class VMRuntimeService final
{
public:
    VMRuntimeService(const VMConfigurationBuilder &configurationBuilder, const VMSharedFolderService &sharedFolderService,
                     const VMLinuxService &linuxService, const LoggingService &loggingService, VirtualMachineFactory &machineFactory);

    /**
     * A session for an installed macOS or Linux bundle, in the bundle's
     * stored run state. Throws VirtualMachineError: invalidOperation for a
     * bundle that is not installed, then for a Windows guest; unsupportedHost
     * when the host runs no machines; the builders' errors unchanged.
     */
    std::unique_ptr<VirtualMachineSession> makeSession(const VMBundle &bundle) const;

    /**
     * Boots the machine, or with `resumeSavedState` restores it from
     * SavedState/MachineState.bin (it stays paused); without a recorded
     * saved state or its file it boots instead (restores() says which).
     * Throws savedStateRestoreFailed only when the machine found the saved
     * state unusable; every other failure, of a restore too, is runtimeError.
     */
    QCoro::Task<> start(VirtualMachineSession &session, bool resumeSavedState) const;
    /// Whether start() with `resumeSavedState` restores `bundle` from its saved state rather than booting it.
    static bool restores(const VMBundle &bundle, bool resumeSavedState);
    /// A hard stop: the guest is not asked. Throws runtimeError, or invalidOperation while the machine is busy with another operation.
    QCoro::Task<> stop(VirtualMachineSession &session) const;
    QCoro::Task<> pause(VirtualMachineSession &session) const;
    QCoro::Task<> resume(VirtualMachineSession &session) const;

private:
    std::unique_ptr<VirtualMachineSession> makeSession(const VMBundle &bundle, VirtualMachineConfiguration configuration,
                                                       QStringList accessedSecurityScopedURLs) const;

    const VMConfigurationBuilder &m_configurationBuilder;
    const VMSharedFolderService &m_sharedFolderService;
    const VMLinuxService &m_linuxService;
    const LoggingService &m_loggingService;
    VirtualMachineFactory &m_machineFactory;
};
