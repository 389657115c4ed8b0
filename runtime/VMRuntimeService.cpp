// SPDX-License-Identifier: MIT
#include "VMRuntimeService.h"

#include "FileOperations.h"
#include "LoggingService.h"
#include "MachineOperationTimeout.h"
#include "VMConfigurationBuilder.h"
#include "VMLinuxService.h"
#include "VirtualMachineError.h"
#include "VirtualMachineFactory.h"

#include <QPointer>

#include <exception>

namespace {

using Limit = std::chrono::milliseconds;

/// The machine's failure as the layer's error; anything else it might throw is described as it is.
VirtualizationError asVirtualizationError(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const VirtualizationError &error) {
        return error;
    } catch (const std::exception &error) {
        return VirtualizationError(VirtualizationError::Code::internalError, QString::fromUtf8(error.what()));
    }
}

VirtualMachineError sessionClosed()
{
    return VirtualMachineError(VirtualMachineError::Case::runtimeError, QStringLiteral("The virtual machine was closed before the operation finished."));
}

/// The case a machine's failure is thrown as.
using FailureCase = VirtualMachineError::Case (*)(const VirtualizationError &);

VirtualMachineError::Case runtimeFailure(const VirtualizationError &)
{
    return VirtualMachineError::Case::runtimeError;
}

/// Only a state the machine itself found unusable is a failed restore of the state; anything else failed the machine.
VirtualMachineError::Case restoreFailure(const VirtualizationError &error)
{
    return error.code() == VirtualizationError::Code::savedStateRejected ? VirtualMachineError::Case::savedStateRestoreFailed
                                                                         : VirtualMachineError::Case::runtimeError;
}

/**
 * Waits for one machine operation: on success the session's state becomes
 * `after`; a failure is recorded on the session and thrown as the case
 * `failureCase` gives it. Touches only the session after waiting, and only
 * while it exists.
 */
QCoro::Task<> drive(QPointer<VirtualMachineSession> session, QCoro::Task<> operation, Limit limit, VMRuntimeState after, FailureCase failureCase)
{
    std::exception_ptr failure;
    try {
        co_await MachineOperationTimeout::bound(std::move(operation), limit);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!session)
        throw sessionClosed();
    if (failure) {
        const VirtualizationError error = asVirtualizationError(failure);
        session->recordStopError(error);
        throw VirtualMachineError(failureCase(error), error.localizedDescription());
    }
    session->setRuntimeState(after);
}

/// Refuses an operation the machine's current state does not allow, before anything is asked of it or recorded on the session.
void requireMachineAllows(bool allowed, const VirtualMachine &machine, const QString &operation)
{
    if (!allowed)
        throw VirtualMachineError::invalidOperation(
            QStringLiteral("The virtual machine cannot %1 while it is %2.").arg(operation, VirtualMachine::stateName(machine.state())));
}

QCoro::Task<> coldStart(VirtualMachineSession &session)
{
    session.setRuntimeState(VMRuntimeState::starting);
    co_await drive(&session, session.virtualMachine().start(), MachineOperationTimeout::operationLimit,
                   VMRuntimeState::running, runtimeFailure);
}

} // namespace

VMRuntimeService::VMRuntimeService(const VMConfigurationBuilder &configurationBuilder, const VMSharedFolderService &sharedFolderService,
                                   const VMLinuxService &linuxService, const LoggingService &loggingService, VirtualMachineFactory &machineFactory)
    : m_configurationBuilder(configurationBuilder)
    , m_sharedFolderService(sharedFolderService)
    , m_linuxService(linuxService)
    , m_loggingService(loggingService)
    , m_machineFactory(machineFactory)
{
}

std::unique_ptr<VirtualMachineSession> VMRuntimeService::makeSession(const VMBundle &bundle) const
{
    const VMMetadata &metadata = bundle.metadata;
    if (metadata.installState != VMInstallState::installed)
        throw VirtualMachineError::invalidOperation(QStringLiteral("Install the operating system before starting this virtual machine."));
    if (metadata.guestOSType == VMGuestOSType::windows)
        throw VirtualMachineError::invalidOperation(
            QStringLiteral("Windows VMs use the QEMU engine. Use the \"Start with QEMU\" action to launch this VM."));
    if (!m_machineFactory.isSupported())
        throw VirtualMachineError(VirtualMachineError::Case::unsupportedHost);

    if (m_linuxService.isLinuxEFIBundle(bundle)) {
        const bool isoPresent = FileOperations::itemExists(bundle.layout().linuxInstallISOURL());
        VMBuiltConfiguration built = m_linuxService.makeConfiguration(bundle, isoPresent);
        auto session = makeSession(bundle, std::move(built.configuration), std::move(built.accessedSecurityScopedURLs));
        m_loggingService.log(QStringLiteral("Created Linux EFI runtime session for ") + metadata.name + QStringLiteral(" (ISO: ")
                                 + (isoPresent ? QStringLiteral("true") : QStringLiteral("false")) + QLatin1Char(')'),
                             QStringLiteral("Runtime"), bundle.bundleURL);
        return session;
    }

    VMBuiltConfiguration built = m_configurationBuilder.buildMacRuntimeConfiguration(bundle);
    auto session = makeSession(bundle, std::move(built.configuration), std::move(built.accessedSecurityScopedURLs));
    m_loggingService.log(QStringLiteral("Created macOS runtime session for ") + metadata.name, QStringLiteral("Runtime"), bundle.bundleURL);
    return session;
}

std::unique_ptr<VirtualMachineSession> VMRuntimeService::makeSession(const VMBundle &bundle, VirtualMachineConfiguration configuration,
                                                                     QStringList accessedSecurityScopedURLs) const
{
    std::unique_ptr<VirtualMachine> machine = m_machineFactory.makeVirtualMachine(configuration, bundle.layout().logsDirectoryURL());
    return std::make_unique<VirtualMachineSession>(bundle, std::move(configuration), std::move(machine), std::move(accessedSecurityScopedURLs),
                                                   m_sharedFolderService, m_loggingService);
}

QCoro::Task<> VMRuntimeService::start(VirtualMachineSession &session, bool resumeSavedState) const
{
    if (!restores(session.bundle(), resumeSavedState)) {
        co_await coldStart(session);
        co_return;
    }
    session.setRuntimeState(VMRuntimeState::restoring);
    co_await drive(&session, session.virtualMachine().restoreMachineStateFrom(session.bundle().layout().savedStateFileURL()),
                   MachineOperationTimeout::stateTransferLimit(session.configuration().memorySize), VMRuntimeState::paused, restoreFailure);
}

bool VMRuntimeService::restores(const VMBundle &bundle, bool resumeSavedState)
{
    return resumeSavedState && bundle.metadata.savedState && FileOperations::itemExists(bundle.layout().savedStateFileURL());
}

QCoro::Task<> VMRuntimeService::stop(VirtualMachineSession &session) const
{
    const VirtualMachine &machine = session.virtualMachine();
    if (machine.canStart()) {
        // Nothing runs: the machine never started, has stopped or has failed. Stopping it is done already.
        session.setRuntimeState(VMRuntimeState::stopped);
        co_return;
    }
    requireMachineAllows(machine.canStop(), machine, QStringLiteral("stop"));
    session.setRuntimeState(VMRuntimeState::stopping);
    co_await drive(&session, session.virtualMachine().stop(), MachineOperationTimeout::operationLimit,
                   VMRuntimeState::stopped, runtimeFailure);
}

QCoro::Task<> VMRuntimeService::pause(VirtualMachineSession &session) const
{
    requireMachineAllows(session.virtualMachine().canPause(), session.virtualMachine(), QStringLiteral("pause"));
    co_await drive(&session, session.virtualMachine().pause(), MachineOperationTimeout::operationLimit, VMRuntimeState::paused,
                   runtimeFailure);
}

QCoro::Task<> VMRuntimeService::resume(VirtualMachineSession &session) const
{
    requireMachineAllows(session.virtualMachine().canResume(), session.virtualMachine(), QStringLiteral("resume"));
    co_await drive(&session, session.virtualMachine().resume(), MachineOperationTimeout::operationLimit, VMRuntimeState::running,
                   runtimeFailure);
}
