// SPDX-License-Identifier: MIT
#pragma once

#include "ActionsInFlight.h"
#include "CountedOperation.h"
#include "VMDetailsViewModel.h"
#include "VMSnapshotTimeline.h"

#include <QCoroTask>
#include <QObject>
#include <QString>
#include <QUuid>

#include <optional>

class LoggingService;
class VMBundleOperations;
class VMSnapshotService;

/**
 * The state and actions behind the details pane's snapshot panel: the
 * timeline of the pane's VM, read again on each of the pane's bundles and
 * after each change, and whether a snapshot operation runs. One snapshot
 * operation runs at a time (the update panel's pre-update snapshot takes
 * its turn through beginOperation()); a second press is ignored. Create,
 * restore and delete run in the pane's busy frame; a failure is logged
 * ("Details") and emitted through failed() for the pane's banner; a success
 * is told in the pane's banner. A restore has the pane publish its bundle
 * and disk usage again. GUI thread only.
 *
 * @code
 * SnapshotTimelineViewModel timeline(details, {operations, snapshots, logging});
 * co_await timeline.createSnapshot(QStringLiteral("Base"), {});
 * @endcode
 */
class SnapshotTimelineViewModel final : public QObject
{
    Q_OBJECT

public:
    struct Services {
        VMBundleOperations &operations;
        const VMSnapshotService &snapshots;
        const LoggingService &logging;
    };

    /// One snapshot operation of this VM, from beginOperation() until destroyed. Move-only.
    class Operation
    {
    public:
        Operation(Operation &&) noexcept = default;

    private:
        friend class SnapshotTimelineViewModel;
        Operation(ActionsInFlight::Ticket ticket, CountedOperation<SnapshotTimelineViewModel> counted)
            : m_ticket(std::move(ticket))
            , m_counted(std::move(counted))
        {
        }

        ActionsInFlight::Ticket m_ticket;
        CountedOperation<SnapshotTimelineViewModel> m_counted;
    };

    SnapshotTimelineViewModel(VMDetailsViewModel &pane, Services services, QObject *parent = nullptr);

    const VMSnapshotTimeline &timeline() const { return m_timeline; }
    /// A snapshot of this VM is being taken, restored or deleted (the pre-update snapshot included).
    bool isOperationRunning() const { return m_operations > 0; }

    /// Reads the VM's timeline again; a VM the library no longer holds keeps the timeline shown last.
    void refresh();
    /// Marks a snapshot operation as running until the answer is destroyed; none while another runs.
    std::optional<Operation> beginOperation();

    QCoro::Task<> createSnapshot(QString name, QString notes);
    QCoro::Task<> restoreSnapshot(QUuid snapshotID);
    QCoro::Task<> deleteSnapshot(QUuid snapshotID);
    /// Renames a snapshot; a failure is reported and the timeline is read again either way.
    void renameSnapshot(const QUuid &snapshotID, const QString &name);

Q_SIGNALS:
    void timelineChanged();
    void isOperationRunningChanged();
    /// An action failed; `message` is the banner's text.
    void failed(const QString &message);

private:
    void setOperations(int count);
    void report(const std::exception &error);
    /// The name of a snapshot on the timeline shown now; empty when it is not there.
    QString snapshotName(const QUuid &snapshotID) const;
    /// Tells in the pane's banner that `done` ("Created snapshot ") happened to the snapshot `name`.
    static void announce(const VMDetailsViewModel::BusyFrame &frame, const QString &done, const QString &name);

    VMDetailsViewModel &m_pane;
    VMBundleOperations &m_bundleOperations;
    const VMSnapshotService &m_snapshots;
    const LoggingService &m_logging;
    VMSnapshotTimeline m_timeline;
    int m_operations = 0;
    ActionsInFlight m_inFlight;
};
