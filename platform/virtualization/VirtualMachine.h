// SPDX-License-Identifier: MIT
#pragma once

#include "VirtualizationError.h"

#include <QCoroTask>
#include <QObject>
#include <QString>

/**
 * One virtual machine made from a validated configuration. Each operation is
 * a task that completes once, on the GUI thread, and throws
 * VirtualizationError when it fails; an operation the current state does not
 * allow fails at once with invalidState. A machine whose state was saved
 * stays paused; a restored machine comes back paused.
 *
 * Besides the outcome of its operations the machine reports four events:
 * the guest stopped it, it stopped because of an error, a network
 * attachment was lost, or the server of a shared folder ended. The state
 * has changed before an event is emitted, and the machine touches nothing
 * after emitting one, so a receiver may release it (with deleteLater()).
 *
 * Backends: QemuVirtualMachine runs QEMU; ScriptedVirtualMachine answers from
 * a script in tests.
 */
class VirtualMachine : public QObject
{
    Q_OBJECT

public:
    enum class State { stopped, running, paused, error, starting, pausing, resuming, stopping, saving, restoring };
    Q_ENUM(State)

    State state() const { return m_state; }

    bool canStart() const { return m_state == State::stopped || m_state == State::error; }
    bool canStop() const { return m_state == State::running || m_state == State::paused; }
    bool canPause() const { return m_state == State::running; }
    bool canResume() const { return m_state == State::paused; }
    bool canSaveMachineState() const { return m_state == State::paused; }
    bool canRestoreMachineState() const { return canStart(); }

    /// Boots the machine; it runs when the task completes.
    virtual QCoro::Task<> start() = 0;
    /// Stops the machine at once, as pulling its plug would; the guest is not asked.
    virtual QCoro::Task<> stop() = 0;
    virtual QCoro::Task<> pause() = 0;
    virtual QCoro::Task<> resume() = 0;
    /**
     * Refuses, with a sentence naming the cause, a running or paused machine
     * whose state cannot be saved now; writes nothing and leaves the machine
     * as it is. Throws VirtualizationError (notSupported; invalidState when
     * the machine neither runs nor is paused).
     */
    virtual QCoro::Task<> validateSaveMachineStateSupport() = 0;
    /**
     * How a save may begin. A guest paused only so that it can be saved may
     * run on while the save begins, as in a live migration, naming its free
     * pages so that the save neither reads nor writes them; a guest its user
     * paused stays paused.
     */
    enum class SaveStart { keepPaused, mayRunBriefly };
    /// Writes the paused machine's whole state to `url` (replacing a file there); the machine ends paused.
    virtual QCoro::Task<> saveMachineStateTo(QString url, SaveStart start) = 0;
    /**
     * Starts the machine from a state saved by saveMachineStateTo(); it comes
     * back paused. A state the machine itself finds unusable fails with
     * savedStateRejected; any other failure (the host's, a helper that does
     * not start) says nothing about the state.
     */
    virtual QCoro::Task<> restoreMachineStateFrom(QString url) = 0;

    /// The unix socket of the machine's display (a VNC server) while it runs; empty when it has none now.
    virtual QString displaySocketPath() const = 0;
    /// The process that runs the machine, for measuring it; 0 when none runs or the machine has no process of its own.
    virtual qint64 processId() const { return 0; }

    static QString stateName(State state);

Q_SIGNALS:
    void stateChanged(VirtualMachine::State state);
    /// The guest shut the machine down; the state is stopped.
    void guestDidStop();
    /// The machine stopped because of `error`; the state is error.
    void didStopWithError(const VirtualizationError &error);
    /// The network device at `networkDeviceIndex` lost its attachment; the machine runs on.
    void networkAttachmentWasDisconnected(qsizetype networkDeviceIndex, const VirtualizationError &error);
    /**
     * The server of the directory-sharing device at `deviceIndex` ended while
     * the machine ran: the guest's calls into that share no longer complete
     * and the machine's state can no longer be saved. The machine runs on;
     * only a new start brings the share back.
     */
    void directorySharingDeviceStopped(qsizetype deviceIndex, const VirtualizationError &error);

protected:
    explicit VirtualMachine(QObject *parent = nullptr);

    void setState(State state);
    /// Throws VirtualizationError (invalidState) naming `operation` unless `allowed`.
    void requireState(bool allowed, const QString &operation) const;

private:
    State m_state = State::stopped;
};
