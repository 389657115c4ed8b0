// SPDX-License-Identifier: MIT
#include "VMConsoleViewModel.h"

#include "LoggingService.h"
#include "VMRuntimeService.h"
#include "VirtualMachineCoordinator.h"
#include "VirtualMachineSession.h"
#include "VirtualMachineSessionTable.h"

#include <QPointer>

VMConsoleViewModel::VMConsoleViewModel(std::shared_ptr<VirtualMachineSession> session, VirtualMachineCoordinator &coordinator,
    const VMRuntimeService &runtime, const LoggingService &logging, std::function<void()> closeHandler, QObject *parent)
    : QObject(parent)
    , m_session(std::move(session))
    , m_coordinator(coordinator)
    , m_runtime(runtime)
    , m_logging(logging)
    , m_closeHandler(std::move(closeHandler))
{
    Q_ASSERT(m_session);
    m_inFlight.setChangeHandler([this] { Q_EMIT busyChanged(); });
    listenToSession();
    connect(&m_coordinator.sessions(), &VirtualMachineSessionTable::sessionsChanged, this, &VMConsoleViewModel::followCoordinator);
}

VMConsoleViewModel::~VMConsoleViewModel() = default;

void VMConsoleViewModel::setErrorMessage(const std::optional<QString> &message, MessageKind kind)
{
    m_errorMessage = message;
    m_messageKind = kind;
    Q_EMIT errorMessageChanged();
}

const VMBundle &VMConsoleViewModel::bundle() const
{
    return m_session->bundle();
}

VMRuntimeState VMConsoleViewModel::runtimeState() const
{
    return m_session->runtimeState();
}

VMDetailsActions::Inputs VMConsoleViewModel::actionInputs() const
{
    VMBundle shown = m_session->bundle();
    shown.metadata.runtimeState = m_session->runtimeState();
    return {std::move(shown), isBusy(), {}, {}, {}};
}

ConsoleDisplayLink VMConsoleViewModel::displayLink() const
{
    return consoleDisplayLink(m_session->runtimeState());
}

QString VMConsoleViewModel::displaySocketPath() const
{
    return m_session->virtualMachine().displaySocketPath();
}

QCoro::Task<> VMConsoleViewModel::start()
{
    co_await startVM(false, u"start");
}

QCoro::Task<> VMConsoleViewModel::resumeSavedState()
{
    co_await startVM(true, u"resumeSavedState");
}

QCoro::Task<> VMConsoleViewModel::pause()
{
    co_await runCoordinatorAction(u"pause", &VirtualMachineCoordinator::pause);
}

QCoro::Task<> VMConsoleViewModel::resume()
{
    co_await runCoordinatorAction(u"resume", &VirtualMachineCoordinator::resume);
}

QCoro::Task<> VMConsoleViewModel::stop()
{
    co_await runCoordinatorAction(u"stop", &VirtualMachineCoordinator::stop);
}

QCoro::Task<> VMConsoleViewModel::saveState()
{
    const QPointer<VMConsoleViewModel> self(this);
    const QString name = bundle().metadata.name;
    // Told where it was asked for, as the details pane does.
    if (co_await runCoordinatorAction(u"saveState", &VirtualMachineCoordinator::recordSavedState) && self)
        self->setErrorMessage(QStringLiteral("Saved the state of ") + name, MessageKind::information);
}

QCoro::Task<bool> VMConsoleViewModel::runCoordinatorAction(QStringView action, QCoro::Task<> (VirtualMachineCoordinator::*operation)(QUuid))
{
    const QUuid id = vmID();
    const std::optional<ActionsInFlight::Ticket> ticket = m_inFlight.begin(id, action);
    if (!ticket)
        co_return false;
    setErrorMessage(std::nullopt);
    const QPointer<VMConsoleViewModel> self(this);
    try {
        co_await (m_coordinator.*operation)(id);
    } catch (const std::exception &error) {
        if (self)
            report(error);
        co_return false;
    }
    co_return true;
}

QCoro::Task<> VMConsoleViewModel::discardSavedState()
{
    setErrorMessage(std::nullopt);
    try {
        m_coordinator.discardSavedState(vmID());
    } catch (const std::exception &error) {
        report(error);
    }
    co_return;
}

void VMConsoleViewModel::close() const
{
    if (m_closeHandler)
        m_closeHandler();
}

QCoro::Task<> VMConsoleViewModel::startVM(bool resumeSavedState, QStringView action)
{
    const QUuid id = vmID();
    const std::optional<ActionsInFlight::Ticket> ticket = m_inFlight.begin(id, action);
    if (!ticket)
        co_return;
    setErrorMessage(std::nullopt);
    const QPointer<VMConsoleViewModel> self(this);
    try {
        std::shared_ptr<VirtualMachineSession> started = co_await m_coordinator.start(id, resumeSavedState);
        if (self)
            adopt(std::move(started));
    } catch (const std::exception &error) {
        if (self)
            report(error);
    }
}

QUuid VMConsoleViewModel::vmID() const
{
    return m_session->id();
}

void VMConsoleViewModel::adopt(std::shared_ptr<VirtualMachineSession> session)
{
    if (!session || session == m_session)
        return;
    m_session = std::move(session);
    listenToSession();
    Q_EMIT sessionChanged();
}

void VMConsoleViewModel::listenToSession()
{
    disconnect(m_stateConnection);
    disconnect(m_bundleConnection);
    disconnect(m_sharingConnection);
    m_stateConnection = connect(m_session.get(), &VirtualMachineSession::runtimeStateChanged, this, &VMConsoleViewModel::stateChanged);
    m_bundleConnection = connect(m_session.get(), &VirtualMachineSession::bundleChanged, this, &VMConsoleViewModel::stateChanged);
    // The guest's shared folders hang from now on: the user at its console is the one to tell.
    m_sharingConnection = connect(m_session.get(), &VirtualMachineSession::sharedFoldersStopMessageChanged, this, [this] {
        if (const std::optional<QString> &message = m_session->sharedFoldersStopMessage())
            setErrorMessage(message);
    });
}

void VMConsoleViewModel::followCoordinator()
{
    adopt(m_coordinator.sessions().session(vmID()));
}

void VMConsoleViewModel::report(const std::exception &error)
{
    const QString text = QString::fromUtf8(error.what());
    setErrorMessage(text);
    m_logging.log(text, QStringLiteral("Console"));
}
