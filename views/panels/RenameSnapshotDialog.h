// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>
#include <QUuid>

class QLineEdit;
class QPushButton;

/**
 * The "Rename Snapshot" sheet for one snapshot, opened with its current
 * name. "Rename" is the default button, disabled while the name is blank;
 * it emits renameRequested() with the snapshot's id and the text exactly as
 * typed (also when unchanged) and closes. Children: "renameSheet.name",
 * "renameSheet.rename", "renameSheet.cancel".
 */
class RenameSnapshotDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit RenameSnapshotDialog(QWidget *parent = nullptr);

    /// Opens the sheet window-modally for the snapshot.
    void openFor(const QUuid &snapshotID, const QString &currentName);

Q_SIGNALS:
    void renameRequested(const QUuid &snapshotID, const QString &name);

private:
    void commit();
    void updateButtons();

    QUuid m_snapshotID;
    QLineEdit *m_name;
    QPushButton *m_rename = nullptr;
};
