// SPDX-License-Identifier: MIT
#pragma once

#include "VMExportConfiguration.h"
#include "VMExportFormat.h"

#include <QDialog>

class OptionCard;
class QCheckBox;
class QLineEdit;

/**
 * The export sheet of one VM: the format (a bundle copy or a compressed
 * archive, the archive chosen at first), which optional contents to take and
 * the name, in a window-modal dialog of 480 × 520. It exports nothing: Export
 * (Return) closes the sheet as accepted and then emits exportRequested()
 * with the choices exactly as made (the name untrimmed, possibly empty);
 * Cancel, Escape and the window's close button emit cancelled() and reject
 * it. A receiver that shows a further dialog parents it to the pane, not to
 * the closed sheet. Open it with open().
 *
 * Children: "export.format.vmBundle", "export.format.compressedArchive",
 * "export.name", "export.includeSavedState", "export.includeSnapshots",
 * "export.includeRestoreImages", "export.includeLogs", "export.cancel",
 * "export.export".
 */
class VMExportSheet final : public QDialog
{
    Q_OBJECT

public:
    explicit VMExportSheet(const QString &vmName, QWidget *parent = nullptr);

    /// The choices as they stand.
    VMExportFormat selectedFormat() const { return m_format; }
    VMExportConfiguration configuration() const;

    void reject() override;

Q_SIGNALS:
    void exportRequested(VMExportFormat format, const VMExportConfiguration &configuration);
    void cancelled();

private:
    void requestExport();

    VMExportFormat m_format = VMExportFormat::compressedArchive;
    QLineEdit *m_name = nullptr;
    QCheckBox *m_savedState = nullptr;
    QCheckBox *m_snapshots = nullptr;
    QCheckBox *m_restoreImages = nullptr;
    QCheckBox *m_logs = nullptr;
};
