// SPDX-License-Identifier: MIT
#include "VMSaveRestoreService.h"

#include "ConfinedFolder.h"
#include "FileMeasurements.h"
#include "FileOperations.h"
#include "LoggingService.h"
#include "MachineOperationTimeout.h"
#include "PlatformError.h"
#include "SavedStateOrigin.h"
#include "StagingFolder.h"
#include "VMBundle.h"
#include "VirtualMachineError.h"
#include "VirtualMachineSession.h"

#include <QFile>
#include <QPointer>

#include <cerrno>
#include <cstdio>
#include <exception>

namespace {

/// The name of the state file as QEMU writes it, inside its staging folder, before it replaces the old state.
const QString partialStateFileName = QStringLiteral("MachineState.bin");

VirtualMachineError sessionClosed()
{
    return VirtualMachineError(VirtualMachineError::Case::runtimeError, QStringLiteral("The virtual machine was closed before its state was saved."));
}

void removeIfPresent(const QString &path) noexcept
{
    try {
        if (FileOperations::itemExists(path))
            FileOperations::removeItem(path);
    } catch (const PlatformError &) {
        // A stray partial file is harmless: the next save overwrites it.
    }
}

void replaceFile(const QString &replacement, const QString &target)
{
    if (std::rename(QFile::encodeName(replacement).constData(), QFile::encodeName(target).constData()) != 0)
        throw PlatformError::posix(errno, target);
}

/**
 * A machine that is still there stays paused after a failed save. One that
 * failed or stopped meanwhile has told the session so through its events,
 * and the session keeps showing that: never a paused machine that no longer
 * exists. (An end still on its way arrives as an event after this.)
 */
void showStateAfterFailedSave(VirtualMachineSession &session)
{
    if (!session.virtualMachine().canStart())
        session.setRuntimeState(VMRuntimeState::paused);
}

/// The description of what the machine threw: the layer's own, or whatever else it was.
QString describe(const std::exception_ptr &failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const VirtualizationError &error) {
        return error.localizedDescription();
    } catch (const std::exception &error) {
        return QString::fromUtf8(error.what());
    }
}

} // namespace

VMSaveRestoreService::VMSaveRestoreService(const LoggingService &loggingService)
    : m_loggingService(loggingService)
{
}

QCoro::Task<VMSavedState> VMSaveRestoreService::saveState(VirtualMachineSession &session) const
{
    const LoggingService &logging = m_loggingService;
    const QPointer<VirtualMachineSession> guard(&session);
    const VMBundle bundle = session.bundle();
    const VMBundle::Layout layout = bundle.layout();
    const VirtualMachineConfiguration &configuration = session.configuration();

    try {
        configuration.validateSaveRestoreSupport();
    } catch (const VirtualizationError &refusal) {
        throw VirtualMachineError(VirtualMachineError::Case::saveStateFailed, refusal.localizedDescription());
    }
    const auto transferLimit = MachineOperationTimeout::stateTransferLimit(configuration.memorySize);
    const VirtualMachine::State machineState = session.virtualMachine().state();
    if (machineState != VirtualMachine::State::running && machineState != VirtualMachine::State::paused)
        throw VirtualMachineError::invalidOperation(
            QStringLiteral("The virtual machine cannot save its state while it is %1.").arg(VirtualMachine::stateName(machineState)));
    // The migration would wait for the share's server and fail only after seconds; the reason is known now.
    if (const std::optional<QString> &sharesStopped = session.sharedFoldersStopMessage())
        throw VirtualMachineError(VirtualMachineError::Case::saveStateFailed, *sharesStopped);

    // The running machine is asked before it is paused: a refused save leaves it running and writes nothing.
    std::exception_ptr refusal;
    try {
        co_await MachineOperationTimeout::bound(session.virtualMachine().validateSaveMachineStateSupport(), MachineOperationTimeout::operationLimit);
    } catch (...) {
        refusal = std::current_exception();
    }
    if (!guard)
        throw sessionClosed();
    if (refusal)
        throw VirtualMachineError(VirtualMachineError::Case::saveStateFailed, describe(refusal));

    // A guest paused here, not by its user, may run while the save begins and name its free pages.
    const bool pausedForTheSave = guard->virtualMachine().state() == VirtualMachine::State::running;
    if (pausedForTheSave) {
        co_await MachineOperationTimeout::bound(guard->virtualMachine().pause(), MachineOperationTimeout::operationLimit);
        if (!guard)
            throw sessionClosed();
        guard->setRuntimeState(VMRuntimeState::paused);
    }

    ConfinedFolder::create(layout.savedStateDirectoryURL());
    // The state is written inside a marked staging folder, which goes when the save ends: cut short by a crash, it is
    // found by the next library load, while a save that runs, here or in another instance, is left alone.
    const StagingFolder staging(layout.savedStateDirectoryURL(), partialStateFileName);
    const QString partialFile = staging.pathOf(partialStateFileName);
    const QString stateFile = layout.savedStateFileURL();

    guard->setRuntimeState(VMRuntimeState::saving);
    std::exception_ptr failure;
    try {
        co_await MachineOperationTimeout::bound(guard->virtualMachine().saveMachineStateTo(
                                                         partialFile, pausedForTheSave ? VirtualMachine::SaveStart::mayRunBriefly : VirtualMachine::SaveStart::keepPaused), transferLimit);
    } catch (...) {
        failure = std::current_exception();
    }
    if (failure) {
        removeIfPresent(partialFile);
        if (guard)
            showStateAfterFailedSave(*guard);
        throw VirtualMachineError(VirtualMachineError::Case::saveStateFailed, describe(failure));
    }
    if (!guard) {
        removeIfPresent(partialFile);
        throw sessionClosed();
    }

    guard->setRuntimeState(VMRuntimeState::paused);
    try {
        replaceFile(partialFile, stateFile);
    } catch (const PlatformError &) {
        removeIfPresent(partialFile);
        throw;
    }
    try {
        SavedStateOrigin::record(bundle);
    } catch (const PlatformError &error) {
        SavedStateOrigin::forget(bundle);
        logging.log(QStringLiteral("Could not record which bundle the state of %1 was saved in: %2").arg(bundle.metadata.name, error.description()),
                    QStringLiteral("SaveRestore"), bundle.bundleURL);
    }
    // The file is as long as the guest's memory but holds only the pages the guest used: what it takes on disk is the size that matters.
    const VMSavedState saved{VMBundle::Layout::savedStateFileRelativePath.toString(), FileMeasurements::birthTime(stateFile),
                             FileMeasurements::allocatedSize(stateFile)};
    logging.log(QStringLiteral("Saved VM state for ") + bundle.metadata.name, QStringLiteral("SaveRestore"), bundle.bundleURL);
    co_return saved;
}

void VMSaveRestoreService::discardSavedState(const QString &bundleURL) const
{
    const QString stateFile = VMBundle::Layout{bundleURL}.savedStateFileURL();
    if (FileOperations::itemExists(stateFile))
        FileOperations::removeItem(stateFile);
}
