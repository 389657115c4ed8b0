// SPDX-License-Identifier: MIT
#pragma once

#include "VirtualMachine.h"
#include "VirtualMachineConfiguration.h"
#include "VirtualMachineScript.h"

#include <QList>
#include <QStringList>

#include <optional>

/**
 * A virtual machine for the tests of everything built on the layer. It runs
 * nothing: each operation records its call, refuses a state it cannot run
 * in as a real machine does, then answers from its script (after the
 * answer's delay) and moves through the same states as a real machine. A
 * successful save writes a small file at the given path. The test raises
 * the machine's events itself; one raised while an operation runs wins, as
 * on a real machine: the operation fails and the machine stays where the
 * event left it.
 *
 * @code
 * ScriptedVirtualMachine machine(configuration);
 * machine.script().enqueue(VirtualMachineScript::Operation::pause, ScriptedAnswer::failure(error));
 * QCoro::waitFor(machine.start());
 * machine.raiseGuestDidStop();
 * @endcode
 */
class ScriptedVirtualMachine final : public VirtualMachine
{
    Q_OBJECT

public:
    using Operation = VirtualMachineScript::Operation;

    explicit ScriptedVirtualMachine(VirtualMachineConfiguration configuration, VirtualMachineScript script = {}, QObject *parent = nullptr);

    QCoro::Task<> start() override;
    QCoro::Task<> stop() override;
    QCoro::Task<> pause() override;
    QCoro::Task<> resume() override;
    QCoro::Task<> validateSaveMachineStateSupport() override;
    QCoro::Task<> saveMachineStateTo(QString url, SaveStart start) override;
    QCoro::Task<> restoreMachineStateFrom(QString url) override;

    /// Whatever the test set, in every state.
    QString displaySocketPath() const override { return m_displaySocketPath; }
    void setDisplaySocketPath(const QString &path) { m_displaySocketPath = path; }

    const VirtualMachineConfiguration &configuration() const { return m_configuration; }
    VirtualMachineScript &script() { return m_script; }
    /// Every operation called, in order, refused ones included.
    const QList<Operation> &calls() const { return m_calls; }
    const QStringList &savedStateURLs() const { return m_savedStateURLs; }
    /// How each save was allowed to begin, in order.
    const QList<SaveStart> &saveStarts() const { return m_saveStarts; }
    const QStringList &restoredStateURLs() const { return m_restoredStateURLs; }

    /// What validateSaveMachineStateSupport() throws from now on; nothing when absent (the default).
    void setSaveRefusal(std::optional<VirtualizationError> refusal) { m_saveRefusal = std::move(refusal); }

    /// Puts the machine in `state` without an operation, as if it had got there.
    void forceState(State state) { setState(state); }
    /// The guest shuts down: the state becomes stopped, then guestDidStop() is emitted.
    void raiseGuestDidStop();
    /// The machine fails: the state becomes error, then didStopWithError() is emitted.
    void raiseDidStopWithError(const VirtualizationError &error);
    void raiseNetworkAttachmentDisconnected(qsizetype networkDeviceIndex, const VirtualizationError &error);
    /// The server of a shared folder ends; the machine runs on.
    void raiseDirectorySharingDeviceStopped(qsizetype deviceIndex, const VirtualizationError &error);

    /// What a successful save writes.
    static QByteArray savedStateContent();

private:
    /// Records the call, moves to `during`, waits out the answer, and moves to `after` or, on failure, `afterFailure`.
    QCoro::Task<> perform(Operation operation, State during, State after, State afterFailure);

    VirtualMachineConfiguration m_configuration;
    VirtualMachineScript m_script;
    QList<Operation> m_calls;
    QStringList m_savedStateURLs;
    QList<SaveStart> m_saveStarts;
    QStringList m_restoredStateURLs;
    QString m_displaySocketPath;
    std::optional<VirtualizationError> m_saveRefusal;
};
