// SPDX-License-Identifier: MIT
#pragma once

#include "VMSnapshotTimeline.h"

#include <QWidget>

class QToolButton;

/**
 * One snapshot of the timeline: the painted marker (a filled accent circle
 * with a white ring for the active snapshot, a connector line to the row's
 * bottom), the name with its "ACTIVE" badge and auto symbol, the date and
 * hardware line, up to two lines of notes and the lineage line, and three
 * buttons that only emit. Names and notes are plain text. Object name
 * "snapshotRow:<UUID>"; children "snapshotRow.restore", "snapshotRow.rename",
 * "snapshotRow.delete", "snapshotRow.active", "snapshotRow.notes",
 * "snapshotRow.lineage".
 */
class SnapshotRowView final : public QWidget
{
    Q_OBJECT

public:
    SnapshotRowView(const VMSnapshotTimeline &timeline, const VMSnapshot &snapshot, QWidget *parent = nullptr);

    const VMSnapshot &snapshot() const { return m_snapshot; }
    /// Enables or disables the three buttons together.
    void setActionsEnabled(bool enabled);

Q_SIGNALS:
    void restoreRequested();
    void renameRequested();
    void deleteRequested();

private:
    VMSnapshot m_snapshot;
    QToolButton *m_restore;
    QToolButton *m_rename;
    QToolButton *m_delete;
};
