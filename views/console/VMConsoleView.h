// SPDX-License-Identifier: MIT
#pragma once

#include "ConsoleFrame.h"

#include <memory>

class QPushButton;
class VMConsoleViewModel;

/**
 * The content of a VM's console window: the VM's name and run state, the
 * buttons that drive it (which ones exist follows the run state and the saved
 * state; which can be pressed follows the details pane's rule, so none
 * while an action runs), and its live display, covered by a
 * placeholder while the VM is stopped. It shows the session its view model
 * drives now and follows it when the view model adopts another one; it
 * connects to the session's display while the VM starts, runs, is paused
 * or is restored, and disconnects when it stops. A display that cannot be
 * reached or breaks puts its message into the view model's banner.
 *
 * Buttons: "console.button.start", ".resumeSavedState", ".pause", ".resume",
 * ".saveState", ".discardSavedState", ".stop", ".close".
 */
class VMConsoleView final : public ConsoleFrame
{
    Q_OBJECT

public:
    explicit VMConsoleView(
        std::shared_ptr<VMConsoleViewModel> viewModel, QWidget *parent = nullptr, std::unique_ptr<GuestDisplayConnection> connection = {});
    ~VMConsoleView() override;

    VMConsoleViewModel &viewModel() const { return *m_viewModel; }

private:
    void showSession(bool newRun);
    void showButtons();

    std::shared_ptr<VMConsoleViewModel> m_viewModel;
    QPushButton *m_start;
    QPushButton *m_resumeSavedState;
    QPushButton *m_pause;
    QPushButton *m_resume;
    QPushButton *m_saveState;
    QPushButton *m_discardSavedState;
    QPushButton *m_stop;
    QPushButton *m_close;
};
