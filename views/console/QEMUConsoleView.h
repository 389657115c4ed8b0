// SPDX-License-Identifier: MIT
#pragma once

#include "ConsoleFrame.h"

#include <memory>

class QPushButton;
class QEMUConsoleViewModel;

/**
 * The console of a VM that QEMU runs without a runtime session (a Windows
 * guest): the same header, banner and live display as every console, with
 * Stop and Close as its only buttons. It connects to the display QEMU serves
 * while the VM runs and disconnects when it stops.
 *
 * Buttons: "console.button.stop", "console.button.close".
 */
class QEMUConsoleView final : public ConsoleFrame
{
    Q_OBJECT

public:
    explicit QEMUConsoleView(std::shared_ptr<QEMUConsoleViewModel> viewModel, QWidget *parent = nullptr,
        std::unique_ptr<GuestDisplayConnection> connection = {});
    ~QEMUConsoleView() override;

private:
    void showState();
    /// Stop can be pressed as the details pane's Stop button could.
    void showStop();

    std::shared_ptr<QEMUConsoleViewModel> m_viewModel;
    QPushButton *m_stop;
    QPushButton *m_close;
};
