// SPDX-License-Identifier: MIT
#include "ScriptedVirtualMachine.h"

#include <QCoroTimer>
#include <QFile>
#include <QPointer>
#include <QSaveFile>

ScriptedVirtualMachine::ScriptedVirtualMachine(VirtualMachineConfiguration configuration, VirtualMachineScript script, QObject *parent)
    : VirtualMachine(parent)
    , m_configuration(std::move(configuration))
    , m_script(std::move(script))
{
}

QCoro::Task<> ScriptedVirtualMachine::start()
{
    m_calls << Operation::start;
    requireState(canStart(), QStringLiteral("start"));
    co_await perform(Operation::start, State::starting, State::running, State::stopped);
}

QCoro::Task<> ScriptedVirtualMachine::stop()
{
    m_calls << Operation::stop;
    requireState(canStop(), QStringLiteral("stop"));
    co_await perform(Operation::stop, State::stopping, State::stopped, state());
}

QCoro::Task<> ScriptedVirtualMachine::pause()
{
    m_calls << Operation::pause;
    requireState(canPause(), QStringLiteral("pause"));
    co_await perform(Operation::pause, State::pausing, State::paused, State::running);
}

QCoro::Task<> ScriptedVirtualMachine::resume()
{
    m_calls << Operation::resume;
    requireState(canResume(), QStringLiteral("resume"));
    co_await perform(Operation::resume, State::resuming, State::running, State::paused);
}

QCoro::Task<> ScriptedVirtualMachine::validateSaveMachineStateSupport()
{
    requireState(canStop(), QStringLiteral("save its state"));
    if (m_saveRefusal)
        throw *m_saveRefusal;
    co_return;
}

QCoro::Task<> ScriptedVirtualMachine::saveMachineStateTo(QString url, SaveStart start)
{
    m_calls << Operation::saveMachineState;
    requireState(canSaveMachineState(), QStringLiteral("save its state"));
    m_savedStateURLs << url;
    m_saveStarts << start;
    const QPointer<ScriptedVirtualMachine> self(this);
    co_await perform(Operation::saveMachineState, State::saving, State::saving, State::paused);
    if (!self)
        co_return;
    QSaveFile file(url);
    const bool written = file.open(QIODevice::WriteOnly) && file.write(savedStateContent()) == savedStateContent().size() && file.commit();
    setState(State::paused);
    if (!written)
        throw VirtualizationError(VirtualizationError::Code::saveFailed, QStringLiteral("The state file cannot be written: %1").arg(url));
}

QCoro::Task<> ScriptedVirtualMachine::restoreMachineStateFrom(QString url)
{
    m_calls << Operation::restoreMachineState;
    requireState(canRestoreMachineState(), QStringLiteral("restore its state"));
    m_restoredStateURLs << url;
    co_await perform(Operation::restoreMachineState, State::restoring, State::paused, State::stopped);
}

void ScriptedVirtualMachine::raiseGuestDidStop()
{
    setState(State::stopped);
    Q_EMIT guestDidStop();
}

void ScriptedVirtualMachine::raiseDidStopWithError(const VirtualizationError &error)
{
    setState(State::error);
    Q_EMIT didStopWithError(error);
}

void ScriptedVirtualMachine::raiseNetworkAttachmentDisconnected(qsizetype networkDeviceIndex, const VirtualizationError &error)
{
    Q_EMIT networkAttachmentWasDisconnected(networkDeviceIndex, error);
}

void ScriptedVirtualMachine::raiseDirectorySharingDeviceStopped(qsizetype deviceIndex, const VirtualizationError &error)
{
    Q_EMIT directorySharingDeviceStopped(deviceIndex, error);
}

QByteArray ScriptedVirtualMachine::savedStateContent()
{
    return QByteArrayLiteral("scripted machine state\n");
}

QCoro::Task<> ScriptedVirtualMachine::perform(Operation operation, State during, State after, State afterFailure)
{
    const QPointer<ScriptedVirtualMachine> self(this);
    const ScriptedAnswer answer = m_script.next(operation);
    setState(during);
    if (answer.delay.count() > 0) {
        co_await QCoro::sleepFor(answer.delay);
        if (!self)
            throw VirtualizationError(VirtualizationError::Code::operationCancelled, QStringLiteral("The virtual machine was released."));
    }
    if (state() != during) {
        // An event meanwhile moved the machine: where it got to decides, not the script.
        if (state() == after)
            co_return;
        throw answer.error.value_or(VirtualizationError(VirtualizationError::Code::internalError,
                                                        QStringLiteral("The virtual machine stopped during the operation.")));
    }
    if (answer.error) {
        setState(afterFailure);
        throw *answer.error;
    }
    setState(after);
}
