// SPDX-License-Identifier: MIT
#include "VirtualMachineSession.h"

#include "LoggingService.h"

VirtualMachineSession::VirtualMachineSession(VMBundle bundle, VirtualMachineConfiguration configuration, std::unique_ptr<VirtualMachine> virtualMachine,
                                             QStringList accessedSecurityScopedURLs, const VMSharedFolderService &sharedFolderService,
                                             const LoggingService &loggingService, QObject *parent)
    : QObject(parent)
    , m_bundle(std::move(bundle))
    , m_runtimeState(m_bundle.metadata.runtimeState)
    , m_configuration(std::move(configuration))
    , m_virtualMachine(std::move(virtualMachine))
    , m_accessedSecurityScopedURLs(std::move(accessedSecurityScopedURLs))
    , m_sharedFolderService(sharedFolderService)
    , m_loggingService(loggingService)
{
    Q_ASSERT(m_virtualMachine);
    connect(m_virtualMachine.get(), &VirtualMachine::guestDidStop, this, &VirtualMachineSession::guestDidStop);
    connect(m_virtualMachine.get(), &VirtualMachine::didStopWithError, this, &VirtualMachineSession::didStopWithError);
    connect(m_virtualMachine.get(), &VirtualMachine::networkAttachmentWasDisconnected, this,
            [this](qsizetype, const VirtualizationError &error) { networkAttachmentWasDisconnected(error); });
    connect(m_virtualMachine.get(), &VirtualMachine::directorySharingDeviceStopped, this,
            [this](qsizetype, const VirtualizationError &error) { directorySharingDeviceStopped(error); });
    connect(m_virtualMachine.get(), &VirtualMachine::stateChanged, this, &VirtualMachineSession::followMachineState);
}

VirtualMachineSession::~VirtualMachineSession()
{
    // The machine goes with the session; its last words are nobody's business any more.
    m_virtualMachine->disconnect(this);
}

void VirtualMachineSession::setBundle(const VMBundle &bundle)
{
    m_bundle = bundle;
    Q_EMIT bundleChanged();
}

void VirtualMachineSession::setRuntimeState(VMRuntimeState state)
{
    m_runtimeState = state;
    Q_EMIT runtimeStateChanged();
}

void VirtualMachineSession::setLastErrorMessage(const std::optional<QString> &message)
{
    m_lastErrorMessage = message;
    Q_EMIT lastErrorMessageChanged();
}

void VirtualMachineSession::recordStopError(const VirtualizationError &error)
{
    const QString description = error.localizedDescription();
    setLastErrorMessage(description);
    setRuntimeState(VMRuntimeState::error);
    m_loggingService.log(description, QStringLiteral("Runtime"), m_bundle.bundleURL);
}

void VirtualMachineSession::guestDidStop()
{
    setRuntimeState(VMRuntimeState::stopped);
    m_loggingService.log(QStringLiteral("Guest stopped VM"), QStringLiteral("Runtime"), m_bundle.bundleURL);
    notify(GuestDidStop{});
}

void VirtualMachineSession::didStopWithError(const VirtualizationError &error)
{
    recordStopError(error);
    notify(DidStopWithError{error});
}

void VirtualMachineSession::networkAttachmentWasDisconnected(const VirtualizationError &error)
{
    m_loggingService.log(error.localizedDescription(), QStringLiteral("Network"), m_bundle.bundleURL);
    notify(NetworkDisconnected{error});
}

void VirtualMachineSession::directorySharingDeviceStopped(const VirtualizationError &error)
{
    const QString message = QStringLiteral("The shared folders of “%1” stopped working: their file server ended, so the guest can no longer "
                                           "use them. Shut the guest down and start the VM again to get them back.")
                                .arg(m_bundle.metadata.name);
    m_loggingService.log(message + QLatin1Char(' ') + error.localizedDescription(), QStringLiteral("Runtime"), m_bundle.bundleURL);
    // One server that ends is news; the others of the same run add nothing the user can act on.
    if (m_sharedFoldersStopMessage)
        return;
    setSharedFoldersStopMessage(message);
    notify(SharedFoldersStopped{error});
}

void VirtualMachineSession::followMachineState(VirtualMachine::State state)
{
    // A new run serves the shared folders afresh.
    if ((state == VirtualMachine::State::starting || state == VirtualMachine::State::restoring) && m_sharedFoldersStopMessage)
        setSharedFoldersStopMessage(std::nullopt);
}

void VirtualMachineSession::setSharedFoldersStopMessage(const std::optional<QString> &message)
{
    m_sharedFoldersStopMessage = message;
    Q_EMIT sharedFoldersStopMessageChanged();
}

void VirtualMachineSession::notify(const Event &event) const
{
    if (m_eventHandler)
        m_eventHandler(event);
}
