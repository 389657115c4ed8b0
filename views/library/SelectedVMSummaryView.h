// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

#include <memory>

class QFormLayout;
class QLabel;
class VMDetailsViewModel;

/**
 * A compact overview of the selected VM for the detail column: its name, run
 * and install state, hardware, network and guest-tools status, kept current
 * from its own details view model, which it owns.
 */
class SelectedVMSummaryView final : public QWidget
{
    Q_OBJECT

public:
    explicit SelectedVMSummaryView(std::unique_ptr<VMDetailsViewModel> viewModel, QWidget *parent = nullptr);
    ~SelectedVMSummaryView() override;

    VMDetailsViewModel &viewModel() const { return *m_viewModel; }

private:
    void refresh();

    std::unique_ptr<VMDetailsViewModel> m_viewModel;
    QLabel *m_title;
    QLabel *m_runState;
    QLabel *m_installState;
    QLabel *m_hardware;
    QLabel *m_network;
    QLabel *m_guestTools;
};
