// SPDX-License-Identifier: MIT
#pragma once

#include "CIConfigurationForm.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;

/**
 * The sheet in which the user sets up a new CI configuration: name, script,
 * timeout (at least one second) and the two run options. It starts from the
 * given form and hands back what was typed through formChanged() on every
 * edit, so reopening it shows the last entries even after Cancel. Create
 * (Return) emits createRequested(); the owner closes the sheet when the
 * configuration was made. Create is disabled while the name holds nothing
 * but spaces and tabs. Children: "ci.sheet.name", "ci.sheet.script",
 * "ci.sheet.timeout", "ci.sheet.snapshot", "ci.sheet.shutdown",
 * "ci.sheet.cancel", "ci.sheet.create".
 */
class CIConfigurationDialog : public QDialog
{
    Q_OBJECT

public:
    explicit CIConfigurationDialog(const CIConfigurationForm &form, QWidget *parent = nullptr);

    CIConfigurationForm form() const;

Q_SIGNALS:
    void formChanged(const CIConfigurationForm &form);
    void createRequested();

private:
    void edited();

    QLineEdit *m_name;
    QPlainTextEdit *m_script;
    QSpinBox *m_timeout;
    QCheckBox *m_snapshotBefore;
    QCheckBox *m_shutdownAfter;
    QPushButton *m_create;
};
