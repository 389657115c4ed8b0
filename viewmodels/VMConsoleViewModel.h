// SPDX-License-Identifier: MIT
#pragma once

#include "ActionsInFlight.h"
#include "ConsoleDisplayLink.h"
#include "MessageKind.h"
#include "VMBundle.h"
#include "VMDetailsActions.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

class LoggingService;
class VMRuntimeService;
class VirtualMachineCoordinator;
class VirtualMachineSession;

/**
 * The state behind one VM's console window: its runtime session, which the
 * console shows, and the console's buttons as actions on the coordinator,
 * which stores the state each one leads to (also when the console closes
 * while it waits). The view model keeps no run state of its own; it
 * publishes the session it drives and the text of the last failed action.
 *
 * The session is the one the coordinator holds for the VM: a start adopts
 * the session it returns, and a session the coordinator makes for the VM
 * elsewhere (after a settings change, a start from the library) is adopted
 * when it appears, so the console never drives a session that was dropped.
 * It relays the run state and bundle of whichever session it drives
 * (stateChanged), so the console never listens to a session itself.
 * Failures go to errorMessage and the application log ("Console"); the
 * news that the session's shared folders stopped goes to errorMessage too
 * (the session has logged it to the VM's log), and so does a saved state,
 * as news (messageKind). Each action clears the message as it begins, so a
 * message always belongs to the last action; a second
 * press of an action still running is ignored, and isBusy() says one runs.
 * Which buttons can be pressed follows the details pane's rule
 * (actionInputs() for VMDetailsActions). GUI thread only.
 *
 * @code
 * VMConsoleViewModel console(session, coordinator, runtime, logging, [&] { windows.closeWindow(id); });
 * co_await console.start();
 * @endcode
 */
class VMConsoleViewModel final : public QObject
{
    Q_OBJECT

public:
    VMConsoleViewModel(std::shared_ptr<VirtualMachineSession> session, VirtualMachineCoordinator &coordinator,
        const VMRuntimeService &runtime, const LoggingService &logging, std::function<void()> closeHandler, QObject *parent = nullptr);
    ~VMConsoleViewModel() override;

    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    /// Whether errorMessage tells of something done or of a failure.
    MessageKind messageKind() const { return m_messageKind; }
    void setErrorMessage(const std::optional<QString> &message, MessageKind kind = MessageKind::failure);
    const std::shared_ptr<VirtualMachineSession> &session() const { return m_session; }
    /// The session's bundle and run state now.
    const VMBundle &bundle() const;
    VMRuntimeState runtimeState() const;
    /// Whether one of the actions below runs now.
    bool isBusy() const { return m_inFlight.count() > 0; }
    /// What decides which actions can be pressed now: the session's bundle in its run state, and whether an action runs.
    VMDetailsActions::Inputs actionInputs() const;
    /// What the console does with the guest's display in the session's state now.
    ConsoleDisplayLink displayLink() const;
    /// The socket of the session's display now; empty while its machine has none (not yet made, stopped).
    QString displaySocketPath() const;

    QCoro::Task<> start();
    QCoro::Task<> resumeSavedState();
    QCoro::Task<> pause();
    QCoro::Task<> resume();
    QCoro::Task<> stop();
    QCoro::Task<> saveState();
    QCoro::Task<> discardSavedState();
    /// The console's Close button: closes the window; the VM goes on.
    void close() const;

Q_SIGNALS:
    void errorMessageChanged();
    /// The view model drives another session of its VM now (a new run of the VM).
    void sessionChanged();
    /// The run state or the bundle of the session changed.
    void stateChanged();
    /// An action began or ended.
    void busyChanged();

private:
    QCoro::Task<> startVM(bool resumeSavedState, QStringView action);
    /// Runs a coordinator operation on the VM, unless the same action runs already; the coordinator stores what it leads to.
    /// True when it ran and succeeded.
    QCoro::Task<bool> runCoordinatorAction(QStringView action, QCoro::Task<> (VirtualMachineCoordinator::*operation)(QUuid));
    QUuid vmID() const;
    void adopt(std::shared_ptr<VirtualMachineSession> session);
    /// Relays the session's changes as stateChanged, and no other session's.
    void listenToSession();
    /// Takes the coordinator's session for the VM when it is another one.
    void followCoordinator();
    void report(const std::exception &error);

    std::shared_ptr<VirtualMachineSession> m_session;
    VirtualMachineCoordinator &m_coordinator;
    const VMRuntimeService &m_runtime;
    const LoggingService &m_logging;
    std::function<void()> m_closeHandler;
    std::optional<QString> m_errorMessage;
    MessageKind m_messageKind = MessageKind::failure;
    ActionsInFlight m_inFlight;
    QMetaObject::Connection m_stateConnection;
    QMetaObject::Connection m_bundleConnection;
    QMetaObject::Connection m_sharingConnection;
};
