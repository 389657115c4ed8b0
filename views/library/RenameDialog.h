// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

class QLineEdit;
class QPushButton;

/**
 * The window-modal rename sheet: "Rename Virtual Machine", the name field
 * and Cancel / Rename. Rename is disabled while the field holds only spaces
 * and tabs; Return in the field commits whatever it holds (the owner decides
 * what a blank name does); Escape cancels.
 */
class RenameDialog final : public QDialog
{
    Q_OBJECT

public:
    explicit RenameDialog(QWidget *parent = nullptr);

    void setText(const QString &text);
    QString text() const;

    /// Whether `text` is empty once spaces and tabs are trimmed from both ends.
    static bool isBlank(const QString &text);

Q_SIGNALS:
    /// The user asked to rename to the field's text.
    void committed(const QString &text);

private:
    QLineEdit *m_field;
    QPushButton *m_rename;
};
