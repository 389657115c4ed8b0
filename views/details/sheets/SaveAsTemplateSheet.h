// SPDX-License-Identifier: MIT
#pragma once

#include "VMTemplateCategory.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

/**
 * The sheet that turns one VM's configuration into a template: a name
 * ("<VM name> Template" at first), a description and a category ("Custom"
 * at first), in a window-modal dialog 440 wide. It creates nothing: "Save
 * Template" (Return) emits saveRequested() with the name and description
 * exactly as typed and closes the sheet as accepted; it is disabled while
 * the name holds only blanks. Cancel, Escape and the window's close button
 * emit cancelled() and reject it. Open it with open().
 *
 * Children: "template.name", "template.description", "template.category",
 * "template.cancel", "template.save".
 */
class SaveAsTemplateSheet final : public QDialog
{
    Q_OBJECT

public:
    explicit SaveAsTemplateSheet(const QString &vmName, QWidget *parent = nullptr);

    void reject() override;

Q_SIGNALS:
    void saveRequested(const QString &name, const QString &description, VMTemplateCategory category);
    void cancelled();

private:
    void requestSave();
    void updateSaveButton();

    QLineEdit *m_name = nullptr;
    QPlainTextEdit *m_description = nullptr;
    QComboBox *m_category = nullptr;
    QPushButton *m_save = nullptr;
};
