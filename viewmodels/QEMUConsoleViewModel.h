// SPDX-License-Identifier: MIT
#pragma once

#include "ActionsInFlight.h"
#include "ConsoleDisplayLink.h"
#include "VMBundle.h"
#include "VMDetailsActions.h"
#include "VMRuntimeState.h"

#include <QCoroTask>
#include <QObject>
#include <QString>

#include <functional>
#include <optional>

class LoggingService;
class QEMUEngine;
class VirtualMachineCoordinator;

/**
 * The state behind the console of a VM that the QEMU engine runs without a
 * runtime session (a Windows guest): its name, the live run state the
 * coordinator reports for it, the engine's display socket of the VM, and
 * the one action such a console has besides Close: Stop, through the
 * coordinator. Failures go to errorMessage and the application log
 * ("Console"); a second press while a stop runs is ignored. GUI thread only.
 *
 * @code
 * QEMUConsoleViewModel console(bundle, coordinator, engine, logging, [&] { windows.closeWindow(bundle.id()); });
 * co_await console.stop();
 * @endcode
 */
class QEMUConsoleViewModel final : public QObject
{
    Q_OBJECT

public:
    QEMUConsoleViewModel(VMBundle bundle, VirtualMachineCoordinator &coordinator, const QEMUEngine &engine, const LoggingService &logging,
        std::function<void()> closeHandler, QObject *parent = nullptr);
    ~QEMUConsoleViewModel() override;

    const VMBundle &bundle() const { return m_bundle; }
    /// What the coordinator reports: running while QEMU runs the VM.
    VMRuntimeState runtimeState() const;
    ConsoleDisplayLink displayLink() const { return consoleDisplayLink(runtimeState()); }
    /// Whether the stop runs now.
    bool isBusy() const { return m_inFlight.count() > 0; }
    /// What decides whether Stop can be pressed: the bundle in the coordinator's run state, and whether the stop runs.
    VMDetailsActions::Inputs actionInputs() const;
    /// The VNC socket QEMU serves the VM's display on while it runs; empty otherwise.
    QString displaySocketPath() const;

    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    void setErrorMessage(const std::optional<QString> &message);

    QCoro::Task<> stop();
    /// The console's Close button: closes the window; the VM goes on.
    void close() const;

Q_SIGNALS:
    void runtimeStateChanged();
    void errorMessageChanged();
    /// The stop began or ended.
    void busyChanged();

private:
    VMBundle m_bundle;
    VirtualMachineCoordinator &m_coordinator;
    const QEMUEngine &m_engine;
    const LoggingService &m_logging;
    std::function<void()> m_closeHandler;
    std::optional<QString> m_errorMessage;
    VMRuntimeState m_lastState;
    ActionsInFlight m_inFlight;
};
