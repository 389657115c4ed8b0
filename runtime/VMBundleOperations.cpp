// SPDX-License-Identifier: MIT
#include "VMBundleOperations.h"

#include "BundleLoader.h"
#include "FileMeasurements.h"
#include "LoggingService.h"
#include "VMDiskAnalyticsService.h"
#include "VMExportService.h"
#include "VMRuntimeService.h"
#include "VMSnapshotService.h"
#include "VMStore.h"
#include "VirtualMachineCoordinator.h"
#include "VirtualMachineError.h"
#include "VirtualMachineSession.h"
#include "VirtualMachineSessionTable.h"

#include <QPointer>

namespace {

VirtualMachineError refusal(const QString &detail)
{
    return VirtualMachineError::invalidOperation(detail);
}

} // namespace

VMBundleOperations::VMBundleOperations(Services services)
    : m_coordinator(services.coordinator)
    , m_store(services.store)
    , m_runtime(services.runtime)
    , m_snapshots(services.snapshots)
    , m_exports(services.exports)
    , m_analytics(services.analytics)
{
}

QCoro::Task<VMSnapshot> VMBundleOperations::createSnapshot(QUuid id, QString name, QString notes, bool isAutoSnapshot)
{
    const VMBundle bundle = requireBundle(id);
    const VMOperationLeases::Lease lease = m_coordinator.leases().acquire(id, QStringLiteral("A snapshot"));
    const std::shared_ptr<VirtualMachineSession> session = m_coordinator.sessions().session(id);
    const bool hasLiveSession = session && m_coordinator.sessions().isActive(id);
    if (!hasLiveSession && m_coordinator.isMachineActive(id))
        throw refusal(QStringLiteral("Stop the virtual machine before taking a snapshot."));

    const VMRuntimeState state = hasLiveSession ? session->runtimeState() : VMRuntimeState::stopped;
    if (state != VMRuntimeState::stopped && state != VMRuntimeState::running && state != VMRuntimeState::paused)
        throw refusal(QStringLiteral("The virtual machine cannot take a snapshot while it is %1.").arg(toRaw(state)));

    // A running guest keeps writing its disk: the copy is made while it is paused, which also flushes what QEMU holds.
    const bool pausedForCopy = state == VMRuntimeState::running;
    if (pausedForCopy) {
        co_await m_runtime.pause(*session);
        m_coordinator.finalizeStoppedSession(*session);
    }

    std::exception_ptr failure;
    VMSnapshot snapshot;
    try {
        snapshot = co_await m_snapshots.createSnapshotAsync(m_store.bundle(id).value_or(bundle), std::move(name), std::move(notes), isAutoSnapshot);
    } catch (...) {
        failure = std::current_exception();
    }
    // A machine stopped meanwhile stays stopped.
    if (pausedForCopy && session->virtualMachine().canResume()) {
        try {
            co_await m_runtime.resume(*session);
            m_coordinator.finalizeStoppedSession(*session);
        } catch (const std::exception &error) {
            if (!failure)
                throw;
            // The copy's failure is what the user asked about; the paused VM shows for itself.
            session->loggingService().log(QStringLiteral("Could not resume after a failed snapshot: ") + QString::fromUtf8(error.what()),
                                          QStringLiteral("Snapshot"), bundle.bundleURL);
        }
    }
    if (failure)
        std::rethrow_exception(failure);
    co_return snapshot;
}

QCoro::Task<> VMBundleOperations::restoreSnapshot(QUuid id, QUuid snapshotID)
{
    const VMBundle bundle = requireBundle(id);
    requireStopped(id, "Stop the virtual machine before restoring a snapshot.");
    const VMOperationLeases::Lease lease = m_coordinator.leases().acquire(id, QStringLiteral("A snapshot restore"));
    co_await m_snapshots.restoreSnapshotAsync(snapshotID, bundle);
    recordRestoredFiles(id);
    // A VM whose last run failed starts afresh from the snapshot: it is stopped now, so Start is offered again.
    if (m_coordinator.effectiveRuntimeState(id) == VMRuntimeState::error)
        co_await m_coordinator.stop(id);
}

void VMBundleOperations::deleteSnapshot(const QUuid &id, const QUuid &snapshotID)
{
    const VMBundle bundle = requireBundle(id);
    const VMOperationLeases::Lease lease = m_coordinator.leases().acquire(id, QStringLiteral("A snapshot deletion"));
    m_snapshots.deleteSnapshot(snapshotID, bundle);
}

QCoro::Task<QString> VMBundleOperations::backup(QUuid id, QString destination)
{
    requireBundle(id);
    requireStopped(id, "Stop the virtual machine before creating a bundle backup.");
    const VMOperationLeases::Lease lease = m_coordinator.leases().acquire(id, QStringLiteral("A backup"));
    co_return co_await m_store.backupBundleAsync(id, std::move(destination));
}

QCoro::Task<QString> VMBundleOperations::exportVM(QUuid id, QString destinationDir, VMExportFormat format, VMExportConfiguration configuration)
{
    VMBundle bundle = requireBundle(id);
    requireStopped(id, "Stop the VM before exporting.");
    const VMOperationLeases::Lease lease = m_coordinator.leases().acquire(id, QStringLiteral("An export"));
    co_return co_await m_exports.exportVM(std::move(bundle), std::move(destinationDir), format, std::move(configuration));
}

void VMBundleOperations::reclaim(const QUuid &id, ReclaimAction action)
{
    const VMBundle bundle = requireBundle(id);
    requireStopped(id, "Stop the virtual machine before reclaiming disk space.");
    const VMOperationLeases::Lease lease = m_coordinator.leases().acquire(id, QStringLiteral("A disk reclaim"));
    m_analytics.reclaim(action, bundle);
}

VMBundle VMBundleOperations::requireBundle(const QUuid &id) const
{
    std::optional<VMBundle> bundle = m_store.bundle(id);
    if (!bundle)
        throw VirtualMachineError::invalidBundle(QStringLiteral("The selected VM could not be found."));
    return std::move(*bundle);
}

void VMBundleOperations::requireStopped(const QUuid &id, const char *sentence) const
{
    if (m_coordinator.isMachineActive(id))
        throw refusal(QString::fromUtf8(sentence));
}

void VMBundleOperations::recordRestoredFiles(const QUuid &id)
{
    std::optional<VMBundle> bundle = m_store.bundle(id);
    if (!bundle)
        return;
    // The saved state belongs to the disk it was taken with: the restore either brought the snapshot's own or removed it.
    const VMBundle::Layout layout = bundle->layout();
    bundle->metadata.savedState = BundleLoader::savedStateRecord(layout);
    bundle->metadata.hasSavedState = bundle->metadata.savedState.has_value();
    const quint64 diskSize = FileMeasurements::fileSize(layout.diskImageURL());
    bundle->metadata.hardwareProfile.diskSizeBytes = diskSize;
    bundle->metadata.diskSizeBytes = diskSize;
    m_store.updateBundle(*bundle);
}
