// SPDX-License-Identifier: MIT
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <optional>

class QCheckBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;

/**
 * The first-boot choices of a new VM: whether a bootstrap folder is
 * prepared, its script, further files or folders copied beside it, and
 * notes. It keeps no choices of its own: it shows what setValues() gives
 * and forwards what the user does. Turning the switch off only hides the
 * rest; the owner keeps the choices.
 */
class FirstBootEditorView final : public QWidget
{
    Q_OBJECT

public:
    struct Values {
        bool isEnabled = false;
        std::optional<QString> scriptPath;
        QStringList additionalFiles;
        QString notes;
    };

    explicit FirstBootEditorView(QWidget *parent = nullptr);

    void setValues(const Values &values);

Q_SIGNALS:
    void enabledChangeRequested(bool enabled);
    void notesEdited(const QString &notes);
    void chooseScriptRequested();
    void addFilesRequested();
    /// The paths of the rows to remove, in the order they are listed.
    void removeFilesRequested(const QStringList &paths);

private:
    void removeSelectedRows();

    QCheckBox *m_enabled = nullptr;
    QWidget *m_details = nullptr;
    QLabel *m_scriptName = nullptr;
    QLabel *m_noFiles = nullptr;
    QListWidget *m_files = nullptr;
    QPlainTextEdit *m_notes = nullptr;
};
