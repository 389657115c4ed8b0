// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

class QLineEdit;
class QPlainTextEdit;
class QPushButton;

/**
 * The "Create Snapshot" sheet: a name field (filled with the proposed name
 * on each opening) and a notes editor. "Create Snapshot" is the default
 * button, disabled while the name is blank; it emits createRequested() with
 * both texts exactly as typed and closes. Escape and "Cancel" close it
 * without a request. Children: "createSheet.name", "createSheet.notes",
 * "createSheet.create", "createSheet.cancel".
 */
class CreateSnapshotDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit CreateSnapshotDialog(QWidget *parent = nullptr);

    /// Opens the sheet window-modally with `proposedName` and empty notes.
    void openWith(const QString &proposedName);

Q_SIGNALS:
    void createRequested(const QString &name, const QString &notes);

private:
    void commit();
    void updateButtons();

    QLineEdit *m_name;
    QPlainTextEdit *m_notes;
    QPushButton *m_create = nullptr;
};
