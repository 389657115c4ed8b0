// SPDX-License-Identifier: MIT
#pragma once

#include "LabPanel.h"

#include <QString>

#include <memory>

class DropZoneArea;
class FileDropTransferViewModel;
class QLabel;
class QVBoxLayout;
struct TransferredFile;

/**
 * The file-transfer panel of a VM's pane: files dropped on its zone are
 * copied into the host folder of the VM's first shared folder, and the ten
 * newest transfers are listed with their size and outcome. Without a shared
 * folder the zone says so and refuses drops. The list lives as long as the
 * panel, which owns its view model. A failed copy also comes out of
 * failed() for the pane's banner.
 *
 * Children: "drop.count", "drop.progress", the zone "drop.zone" (a
 * DropZoneArea), "drop.recent" with rows "drop.row" holding "drop.row.name",
 * "drop.row.size" and "drop.row.status".
 */
class FileDropTransferView : public LabPanel
{
    Q_OBJECT

public:
    explicit FileDropTransferView(std::unique_ptr<FileDropTransferViewModel> viewModel, QWidget *parent = nullptr);
    ~FileDropTransferView() override;

    FileDropTransferViewModel &viewModel() const { return *m_viewModel; }

Q_SIGNALS:
    /// A dropped item could not be copied; `message` names it and the reason.
    void failed(const QString &message);

protected:
    void changeEvent(QEvent *event) override;

private:
    void showZone();
    void showTransfers();
    QWidget *transferRow(const TransferredFile &transfer) const;

    std::unique_ptr<FileDropTransferViewModel> m_viewModel;
    QLabel *m_count;
    QLabel *m_progress;
    DropZoneArea *m_zone;
    QWidget *m_recent;
    QVBoxLayout *m_rows;
};
