// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"
#include "VMDiskExpansionResult.h"
#include "SharedOutcome.h"
#include "VMOperationLeases.h"
#include "VMRuntimeState.h"
#include "VMStoppedSettings.h"
#include "VirtualMachineSession.h"

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>

class DiskImageService;
class LoggingService;
class QEMUMachines;
class SecurityScopedAccess;
class VMCloneService;
class VMGuestAutomationService;
class VMLinuxGuestToolsService;
class VMRuntimeService;
class VMSaveRestoreService;
class VMSharedFolderService;
class VMStore;
class VirtualMachineSessionTable;

/**
 * The one place that starts virtual machines and changes a stopped VM's
 * bundle. It keeps one runtime session per VM in its session table, applies
 * the guards that protect a VM (installed, stopped, no saved state) and is
 * the only writer of a VM's stored run state: whatever it learns about a
 * running machine goes back into the bundle's metadata through the store.
 *
 * Every guard reads the state at the moment of the call. A VM counts as
 * active while its session is in any state but stopped (or error while its
 * machine still runs) and, for Windows guests that run without a session,
 * while QEMU runs it. effectiveRuntimeState() is the one live answer to
 * "what is this VM doing" that screens and guards read. A VM whose files a
 * long operation is copying holds a lease (leases()); start, delete,
 * settings, disk growth and clone are refused while it is held. Refusals are
 * VirtualMachineError invalidOperation; a VM the store does not know is
 * invalidBundle "The selected VM could not be found."; the errors of the
 * store and the services are passed on unchanged. GUI thread only.
 *
 * @code
 * VirtualMachineCoordinator coordinator({store, sessions, runtime, disks, sharedFolders, automation, linuxTools, saveRestore, clones,
 *                                        logging, access, qemuMachines});
 * const std::shared_ptr<VirtualMachineSession> session = co_await coordinator.start(id, false);
 * co_await coordinator.pause(id);
 * @endcode
 */
class VirtualMachineCoordinator final : public QObject
{
    Q_OBJECT

public:
    struct Services {
        VMStore &store;
        VirtualMachineSessionTable &sessions;
        const VMRuntimeService &runtime;
        const DiskImageService &diskImages;
        const VMSharedFolderService &sharedFolders;
        const VMGuestAutomationService &guestAutomation;
        const VMLinuxGuestToolsService &linuxGuestTools;
        const VMSaveRestoreService &saveRestore;
        const VMCloneService &clones;
        const LoggingService &logging;
        SecurityScopedAccess &access;
        QEMUMachines &qemuMachines;
    };

    /// Why a Windows VM's state is not saved; the detail of recordSavedState()'s refusal, and what the screens say instead of offering it.
    static constexpr QStringView windowsSaveStateRefusal
        = u"Windows VMs run on the QEMU engine, which does not save a machine's state: its memory and its TPM emulator's state (swtpm) "
          u"would have to be saved together. Shut Windows down instead.";

    explicit VirtualMachineCoordinator(Services services, QObject *parent = nullptr);
    ~VirtualMachineCoordinator() override;

    VirtualMachineSessionTable &sessions() const { return m_sessions; }
    VMOperationLeases &leases() { return m_leases; }
    /// The VMs QEMU runs outside the session table (Windows guests).
    QEMUMachines &qemuMachines() const { return m_qemuMachines; }

    /**
     * What the VM is doing now: its session's state when it has one, else
     * running while QEMU runs it, else the stored state (stopped for a VM
     * the store does not know). runtimeStatesChanged() announces every
     * change of it.
     */
    VMRuntimeState effectiveRuntimeState(const QUuid &id) const;
    /// Whether the VM has a session in any state but stopped (or error while its machine still runs), or QEMU runs it.
    bool isMachineActive(const QUuid &id) const;

    /**
     * The VM's session, made by the runtime service on first use and kept;
     * an existing session is given the stored bundle. The session's events
     * reach this coordinator for as long as it exists.
     */
    std::shared_ptr<VirtualMachineSession> session(const QUuid &id);

    /**
     * Starts the VM: cold, or with `resumeSavedState` (the user's "Resume
     * Saved State") from its saved state, which is then used up. A stale
     * stored run state is reset first; the automation folder (and for a
     * Linux guest its tools) is prepared; a plain start discards any saved
     * state. A restore that fails drops the session and throws
     * savedStateRestoreFailed with the cause: a state QEMU finds unusable
     * for this VM is discarded, with a request for a cold boot; after any
     * other failure (a full disk, a helper that does not start) the state is
     * kept and can be resumed again. A state saved in another bundle (this
     * one is a copy) is refused before anything runs, and kept. Returns the
     * session with its state copied into the metadata.
     */
    QCoro::Task<std::shared_ptr<VirtualMachineSession>> start(QUuid id, bool resumeSavedState);

    /// Starts a Windows VM on QEMU, under the same guards as start(); QEMU's own refusals and failures are passed on.
    QCoro::Task<> startWithQEMU(QUuid id);

    /**
     * Stops the VM: its QEMU when QEMU runs it, else its session's machine,
     * whose state goes into the metadata. A VM that does not run (no
     * session, a session stopped or failed) is finalised as stopped, which
     * is no error; a machine busy with another operation is refused. A stop
     * asked for while one of the same VM is under way joins it: it starts
     * nothing and ends with that stop's outcome.
     */
    QCoro::Task<> stop(QUuid id);

    /**
     * Pauses or resumes the VM's machine and stores the state it reached;
     * a machine that failed on the way is stored in the error state. The
     * state is stored even when the screen that asked has gone meanwhile.
     * A refusal (the machine's state does not allow it) changes nothing.
     */
    QCoro::Task<> pause(QUuid id);
    QCoro::Task<> resume(QUuid id);

    /**
     * Saves the VM's machine state (it stays paused) and records it in the
     * metadata. A Windows VM is refused (saveStateFailed) with the reason:
     * the QEMU engine that runs it has no saved state.
     */
    QCoro::Task<> recordSavedState(QUuid id);

    /**
     * Records the VM as stopped whatever its machine is doing: the
     * application is quitting and ends every machine with it, so a stop
     * that failed or did not finish in time must not leave the VM recorded
     * as running. The correction is logged; a VM recorded as stopped
     * already, or unknown to the store, is left alone. Save errors are thrown.
     */
    void recordStoppedAtQuit(const QUuid &id);

    /// Drops the VM's session and the security-scoped access of its configuration; the machine is not stopped.
    void removeSession(const QUuid &id);

    /**
     * Copies the session's run state into the stored metadata and gives the
     * session the stored bundle. A session that runs on while the metadata
     * records a saved state has made that state stale: the file and the
     * record are discarded, so it can never be restored over the changed
     * disk. A VM the store no longer knows is no error. Save errors are thrown.
     */
    void finalizeStoppedSession(VirtualMachineSession &session);

    /// Deletes the saved state of a VM whose session, if any, is stopped, and clears the record.
    void discardSavedState(const QUuid &id);

    /**
     * Applies edited settings to a stopped, installed VM without saved state
     * and drops its session, so the next start builds a fresh configuration.
     * Returns the bundle as stored.
     */
    VMBundle updateStoppedSettings(const QUuid &id, const VMStoppedSettings &settings);

    /**
     * Grows a stopped, installed VM's disk without saved state, stores the
     * new size, drops the session and queues the in-guest resize request. A
     * request that cannot be queued becomes the warning outcome: the grown
     * disk stands and nothing is thrown.
     */
    VMDiskExpansionResult changeDiskCapacity(const QUuid &id, quint64 requestedSizeBytes);

    /// Clones an installed, fully stopped VM; the clone service's result or error is passed on.
    VMBundle cloneVM(const QUuid &id, const std::optional<QString> &name, bool regenerateMachineIdentifier, bool preserveSavedState);
    /// The same clone with the copy on a worker thread, holding the VM's lease while it runs.
    QCoro::Task<VMBundle> cloneVMAsync(QUuid id, std::optional<QString> name, bool regenerateMachineIdentifier, bool preserveSavedState);

    /**
     * Deletes a VM that is not active: its session goes first, then the
     * store deletes the bundle (an unknown identifier is no error; a folder
     * left on disk is the store's permissionDenied).
     */
    void deleteVM(const QUuid &id);
    /// Throws what deleteVM() would refuse the VM for now, so a screen can say it before asking to confirm.
    void requireDeletable(const QUuid &id) const;

Q_SIGNALS:
    /// The effective run state of some VM may have changed.
    void runtimeStatesChanged();
    /// A start found the VM's bundle folder gone and took the VM out of the list; `message` says so, as the user reads it.
    void bundleVanished(const QString &message);
    /// The shared folders of the VM's running machine stopped; `message` tells the user, as the session words it.
    void sharedFoldersStopped(const QUuid &id, const QString &message);

private:
    void handleSessionEvent(const VirtualMachineSession::Event &event, VirtualMachineSession &session);
    /// Stops whatever runs the VM, QEMU or its session's machine, and stores the state its session ends in.
    QCoro::Task<> stopMachine(QUuid id);
    /// Runs a pause or resume of the runtime service on the VM's session and stores the state it ends in.
    QCoro::Task<> transition(QUuid id, QCoro::Task<> (VMRuntimeService::*operation)(VirtualMachineSession &) const);
    void refuseSavingWindows(const QUuid &id) const;
    /// The guards and preparations of a start, up to asking for the session; returns the bundle as first read.
    VMBundle prepareStart(const QUuid &id, bool resumeSavedState);
    /// After a successful start: a saved state that was resumed is used up, and the session's state is stored.
    void completeStart(VirtualMachineSession &session, const VMBundle &bundleAtStart, bool resumeSavedState);
    /**
     * Drops the session of a failed restore and throws savedStateRestoreFailed
     * with the cause: the state is discarded only when QEMU found it unusable
     * for this VM, and kept, to be resumed again, after any other failure.
     */
    [[noreturn]] void rethrowRestoreFailure(std::exception_ptr failure, const QUuid &id);
    void discardInvalidSavedState(const QUuid &id);
    void recordSaved(VirtualMachineSession &session, const VMSavedState &saved);
    /// A VM whose bundle folder has gone is taken out of the list and refused, before anything could make the folder again.
    void refuseVanishedBundle(const VMBundle &bundle);
    VMBundle requireBundle(const QUuid &id) const;
    /// The guards of clone, both ways; returns the bundle to clone.
    VMBundle requireClonable(const QUuid &id) const;
    /// The state a reload of the library publishes for a VM that something runs; none when nothing does.
    std::optional<VMRuntimeState> liveRuntimeState(const QUuid &id) const;
    /// Follows the run state of every session in the table.
    void watchSessions();
    /// Stores the run state QEMU's start or exit gave a VM.
    void recordQEMURunState(const QUuid &id, bool running);
    /// Writes the bundle through the store and returns it as stored.
    VMBundle save(const VMBundle &bundle);
    /// The store's current bundle for the id, or `fallback` when it has none.
    VMBundle storedOr(const VMBundle &fallback) const;
    void discardSavedStateFileIgnoringFailure(const VMBundle &bundle) const;
    /// Ensures the automation folder and queues the disk-growth request; what became of it.
    VMDiskExpansionAutomationOutcome queueDiskGrowthRequest(const VMBundle &bundle) const;
    void log(const QString &message, const QString &category, const VMBundle &bundle) const;

    VMStore &m_store;
    VirtualMachineSessionTable &m_sessions;
    const VMRuntimeService &m_runtime;
    const DiskImageService &m_diskImages;
    const VMSharedFolderService &m_sharedFolders;
    const VMGuestAutomationService &m_guestAutomation;
    const VMLinuxGuestToolsService &m_linuxGuestTools;
    const VMSaveRestoreService &m_saveRestore;
    const VMCloneService &m_clones;
    const LoggingService &m_logging;
    SecurityScopedAccess &m_access;
    QEMUMachines &m_qemuMachines;
    VMOperationLeases m_leases;
    /// The stops under way, by VM: a second request joins the first.
    QHash<QUuid, std::shared_ptr<SharedOutcome>> m_stops;
};
