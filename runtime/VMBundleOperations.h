// SPDX-License-Identifier: MIT
#pragma once

#include "ReclaimAction.h"
#include "VMBundle.h"
#include "VMExportConfiguration.h"
#include "VMExportFormat.h"
#include "VMSnapshot.h"

#include <QCoroTask>
#include <QString>
#include <QUuid>

class VMDiskAnalyticsService;
class VMExportService;
class VMRuntimeService;
class VMSnapshotService;
class VMStore;
class VirtualMachineCoordinator;

/**
 * The operations that copy, replace or remove a VM's files while the
 * application goes on: snapshots, backup, export and reclaiming space. Each
 * asks the coordinator what the VM is doing now, never the stored metadata
 * alone, and holds the VM's lease for as long as it runs, so no start,
 * delete, settings change or second copy lands in the middle.
 *
 * A snapshot of a running VM pauses it first (QEMU flushes the disk when it
 * stops the guest), copies, and resumes it, also when the copy fails; a
 * paused VM stays paused. Every other operation is refused while the VM is
 * active, with the sentence the user reads. Refusals are VirtualMachineError
 * invalidOperation; the services' own errors pass through. GUI thread only;
 * the services and the coordinator must outlive the tasks.
 *
 * @code
 * const VMSnapshot snapshot = co_await operations.createSnapshot(id, QStringLiteral("Before upgrade"), {}, false);
 * @endcode
 */
class VMBundleOperations final
{
public:
    struct Services {
        VirtualMachineCoordinator &coordinator;
        VMStore &store;
        const VMRuntimeService &runtime;
        const VMSnapshotService &snapshots;
        VMExportService &exports;
        const VMDiskAnalyticsService &analytics;
    };

    explicit VMBundleOperations(Services services);

    /// Takes a snapshot of the VM's disk (and saved state), pausing a running VM for the copy.
    QCoro::Task<VMSnapshot> createSnapshot(QUuid id, QString name, QString notes, bool isAutoSnapshot);
    /**
     * Puts a snapshot back in place of the disk of a VM no machine runs, then records the saved state and disk size
     * it brought. A VM whose last run failed (recorded or left in the error state) is restored too, and is stopped
     * afterwards.
     */
    QCoro::Task<> restoreSnapshot(QUuid id, QUuid snapshotID);
    /// Removes a snapshot and its descendants; the VM may run.
    void deleteSnapshot(const QUuid &id, const QUuid &snapshotID);
    /// Copies a stopped VM's bundle into `destination`; returns where the copy lies.
    QCoro::Task<QString> backup(QUuid id, QString destination);
    /// Exports a stopped VM as the export sheet asks; returns the result's location.
    QCoro::Task<QString> exportVM(QUuid id, QString destinationDir, VMExportFormat format, VMExportConfiguration configuration);
    /// Removes what `action` names from a stopped VM's bundle.
    void reclaim(const QUuid &id, ReclaimAction action);

private:
    /// The stored bundle; "The selected VM could not be found." when the store has none.
    VMBundle requireBundle(const QUuid &id) const;
    /// Refuses with `sentence` while the VM is active.
    void requireStopped(const QUuid &id, const char *sentence) const;
    /// Copies the saved state and disk size a restore brought into the metadata.
    void recordRestoredFiles(const QUuid &id);

    VirtualMachineCoordinator &m_coordinator;
    VMStore &m_store;
    const VMRuntimeService &m_runtime;
    const VMSnapshotService &m_snapshots;
    VMExportService &m_exports;
    const VMDiskAnalyticsService &m_analytics;
};
