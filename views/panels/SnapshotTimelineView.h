// SPDX-License-Identifier: MIT
#pragma once

#include "LabPanel.h"
#include "VMSnapshotTimeline.h"

#include <QUuid>

#include <optional>

class CreateSnapshotDialog;
class QLabel;
class QPushButton;
class QStackedWidget;
class QVBoxLayout;
class RenameSnapshotDialog;

/**
 * The "Snapshot Timeline" panel: the VM's snapshots newest first, the
 * active one marked, each with restore, rename and delete, and "New
 * Snapshot". It holds no snapshot logic; the owner passes the timeline with
 * setTimeline() and whether a snapshot operation of the VM runs with
 * setOperationRunning() (every action is disabled meanwhile), and carries
 * out the four requests.
 *
 * Restoring replaces the VM's disk for good, so it asks first, naming the
 * snapshot; it is offered on the active snapshot too. Deleting asks first,
 * naming the snapshot and how many later snapshots go with it. Sheets and
 * confirmations are window-modal and opened with open(); the confirmations'
 * default button is Cancel. Children: "snapshots.count",
 * "snapshots.newSnapshot", "snapshots.empty", "snapshots.list", the rows
 * (SnapshotRowView), "snapshots.createSheet", "snapshots.renameSheet",
 * "snapshots.restoreAlert", "snapshots.deleteAlert".
 *
 * @code
 * connect(timeline, &SnapshotTimelineView::restoreRequested, model, [model](QUuid id) { ViewCommand::start(*model,
 * model->restoreSnapshot(id)); });
 * @endcode
 */
class SnapshotTimelineView final : public LabPanel
{
    Q_OBJECT

public:
    explicit SnapshotTimelineView(QWidget *parent = nullptr);

    void setTimeline(const VMSnapshotTimeline &timeline);
    const VMSnapshotTimeline &timeline() const { return m_timeline; }
    /// While true, New Snapshot and every row's buttons are disabled.
    void setOperationRunning(bool running);

protected:
    /// Symbols are painted in the appearance's colours: they are drawn again when it changes.
    void changeEvent(QEvent *event) override;

Q_SIGNALS:
    void restoreRequested(const QUuid &snapshotID);
    void deleteRequested(const QUuid &snapshotID);
    void renameRequested(const QUuid &snapshotID, const QString &name);
    void createRequested(const QString &name, const QString &notes);

private:
    void rebuildRows();
    void updateEnabled();
    void confirmRestore(const VMSnapshot &snapshot);
    void confirmDelete(const VMSnapshot &snapshot);

    VMSnapshotTimeline m_timeline;
    bool m_operationRunning = false;
    QLabel *m_count;
    QPushButton *m_newSnapshot;
    QStackedWidget *m_body;
    QWidget *m_rows;
    QVBoxLayout *m_rowsLayout;
    CreateSnapshotDialog *m_createSheet;
    RenameSnapshotDialog *m_renameSheet;
    /// Whether the symbols were last painted for a dark appearance.
    bool m_dark = false;
};
