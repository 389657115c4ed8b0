// SPDX-License-Identifier: MIT
#pragma once

#include "ConsoleFrame.h"

#include <memory>

class QPushButton;
class VMConsoleViewModel;
class VirtualMachineSession;

/**
 * The content of a VM's console window: the VM's name and run state, the
 * buttons that drive it (which ones exist and are enabled follows the run
 * state and the saved state), and its live display, covered by a
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
    void bindSession();
    void showSession(bool newRun);
    template <typename Action> void run(Action action);

    std::shared_ptr<VMConsoleViewModel> m_viewModel;
    /// The session shown; compared only, never followed.
    const VirtualMachineSession *m_boundSession = nullptr;
    QMetaObject::Connection m_stateConnection;
    QMetaObject::Connection m_bundleConnection;
    QPushButton *m_start;
    QPushButton *m_resumeSavedState;
    QPushButton *m_pause;
    QPushButton *m_resume;
    QPushButton *m_saveState;
    QPushButton *m_discardSavedState;
    QPushButton *m_stop;
    QPushButton *m_close;
};
