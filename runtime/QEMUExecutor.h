// SPDX-License-Identifier: MIT
#pragma once

#include "CappedLogFile.h"
#include "VMBundle.h"
#include "VMRuntimeState.h"
#include "VirtualMachineError.h"

#include <QCoroTask>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

class LoggingService;
class PrivateRuntimeFolder;
class TPMEmulator;

/**
 * Launches and watches one qemu-system-aarch64 process for a Windows bundle,
 * and turns its launch and exit into run states. Made stopped by the engine;
 * start() launches once, and the process's exit ends the executor's life.
 * The executor owns the process: destroying it ends QEMU (SIGTERM, then
 * SIGKILL), so whoever starts one keeps it until processExited() — the
 * QEMUExecutorRegistry does exactly that. QEMU also dies with the
 * application.
 *
 * Beside QEMU it runs what the command line relies on: swtpm serving
 * tpm.sock when the machine has a TPM, and the private runtime folder of the
 * display socket; both go when QEMU exits. QEMU's standard output and error
 * are drained into a capped Logs/qemu.log, after a line with the time and
 * the whole command, so a talkative QEMU never blocks on a full pipe.
 *
 * The callbacks are optional, set by the owner before start(), and run on
 * the GUI thread; they must not destroy the executor (use deleteLater()).
 *
 * @code
 * std::unique_ptr<QEMUExecutor> executor = engine.makeExecutor(bundle);
 * executor->onStopped = [] { ... };
 * co_await registry.start(std::move(executor));
 * @endcode
 */
class QEMUExecutor final : public QObject
{
    Q_OBJECT

public:
    /// What is started and made beside QEMU.
    struct Companions {
        /// The VM's private folder for its display socket, made at start and removed at exit; none when empty.
        QString runtimeFolder;
        /// swtpm, started before QEMU to serve tpm.sock; absent when the machine has no TPM.
        std::optional<QString> tpmEmulatorProgram;
    };

    using StateChangedCallback = std::function<void(VMRuntimeState)>;
    using StoppedCallback = std::function<void()>;
    using ErrorCallback = std::function<void(const VirtualMachineError &)>;

    static constexpr qint64 logSizeLimit = 8 * 1024 * 1024;
    static constexpr std::chrono::seconds launchTimeout{30};
    static constexpr std::chrono::seconds tpmEmulatorTimeout{10};
    /// How long QEMU gets to end cleanly after SIGTERM when the executor goes while it runs.
    static constexpr std::chrono::seconds terminationGrace{5};
    /// How long a Windows guest gets to shut down after the power button before QEMU is told to quit.
    static constexpr std::chrono::seconds powerdownGrace{60};
    /// How long QEMU gets to quit when its monitor asks it to.
    static constexpr std::chrono::seconds quitGrace{10};

    QEMUExecutor(QString qemuPath, QStringList arguments, VMBundle bundle, const LoggingService &loggingService, Companions companions = {},
                 QObject *parent = nullptr);
    ~QEMUExecutor() override;

    VMRuntimeState runtimeState() const { return m_runtimeState; }
    StateChangedCallback onStateChanged;
    StoppedCallback onStopped;
    ErrorCallback onError;

    const QString &qemuPath() const { return m_qemuPath; }
    const QStringList &arguments() const { return m_arguments; }
    const VMBundle &bundle() const { return m_bundle; }
    const Companions &companions() const { return m_companions; }
    /// QEMU's process identifier while it runs.
    std::optional<qint64> processIdentifier() const;
    /// swtpm's process identifier while it runs.
    std::optional<qint64> tpmEmulatorProcessIdentifier() const;
    QString logFilePath() const { return m_log.path(); }

    /**
     * Launches QEMU (after swtpm, when there is a TPM) and returns once it
     * runs; it does not wait for the guest. Throws VirtualMachineError:
     * invalidOperation "VM is already running." unless stopped, and
     * runtimeError "Failed to start QEMU: ..." (or the TPM emulator's
     * failure) after moving to the error state.
     */
    QCoro::Task<> start();

    /**
     * Ends QEMU as a user's Stop should: the guest is asked through the
     * monitor to power down and given `grace`, then QEMU is asked to
     * quit, then the process is terminated (SIGTERM, then SIGKILL). Returns
     * once the process has exited, which ends the run as stopped whatever
     * the exit status. Nothing to do unless QEMU runs; never throws.
     */
    QCoro::Task<> stop(std::chrono::milliseconds grace = powerdownGrace);

Q_SIGNALS:
    /// QEMU has exited after a successful start, and the state and the callbacks have followed.
    void processExited();

private:
    void setRuntimeState(VMRuntimeState state);
    [[noreturn]] void failLaunch(const QString &detail);
    void handleProcessFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void handleTermination(int exitCode, QProcess::ExitStatus exitStatus);
    void releaseCompanions();
    /// Whether QEMU exited within `timeout`; true when it does not run at all.
    QCoro::Task<bool> waitForExit(std::chrono::milliseconds timeout);
    /// Sends a monitor command meant to end QEMU and waits up to `grace`; whether QEMU has exited.
    QCoro::Task<bool> endThroughMonitor(QByteArray command, std::chrono::milliseconds grace);
    /// Sends one command to QEMU's monitor socket in the bundle folder; whether QEMU took it.
    QCoro::Task<bool> sendMonitorCommand(QByteArray command);
    /// Writes QEMU's output to its log and keeps its last lines for the error a failed run reports.
    void recordOutput(const QByteArray &output);

    QString m_qemuPath;
    QStringList m_arguments;
    VMBundle m_bundle;
    const LoggingService &m_logging;
    Companions m_companions;
    CappedLogFile m_log;
    QByteArray m_recentOutput;
    /// A stop was asked for: however QEMU then exits, the run ends as stopped.
    bool m_stopRequested = false;
    VMRuntimeState m_runtimeState = VMRuntimeState::stopped;
    QProcess m_process;
    std::unique_ptr<TPMEmulator> m_tpmEmulator;
    std::unique_ptr<PrivateRuntimeFolder> m_runtimeFolder;
    /// An exit seen before the launch had finished, handled once it has.
    std::optional<std::pair<int, QProcess::ExitStatus>> m_pendingExit;
};
