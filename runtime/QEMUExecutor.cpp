// SPDX-License-Identifier: MIT
#include "QEMUExecutor.h"

#include "ChildProcess.h"
#include "ConfinedFolder.h"
#include "HostProfile.h"
#include "QEMUHumanMonitor.h"
#include "LoggingService.h"
#include "PlatformError.h"
#include "PrivateRuntimeFolder.h"
#include "SignalWaiter.h"
#include "TPMEmulator.h"

#include <QDateTime>
#include <QPointer>
#include <QSignalBlocker>

#include <sys/prctl.h>

#include <csignal>

namespace {

VirtualMachineError abandoned()
{
    return VirtualMachineError(VirtualMachineError::Case::runtimeError, QStringLiteral("Failed to start QEMU: the start was abandoned."));
}

// Kept out of the coroutine: with UBSan and no optimisation, g++ 12 crashes on a local enumeration inside it.
enum LaunchOutcome { started, failedToStart };

} // namespace

QEMUExecutor::QEMUExecutor(QString qemuPath, QStringList arguments, VMBundle bundle, const LoggingService &loggingService,
                           Companions companions, QObject *parent)
    : QObject(parent)
    , m_qemuPath(std::move(qemuPath))
    , m_arguments(std::move(arguments))
    , m_bundle(std::move(bundle))
    , m_logging(loggingService)
    , m_companions(std::move(companions))
    , m_log(m_bundle.layout().logsDirectoryURL() + QStringLiteral("/qemu.log"), logSizeLimit)
{
    m_process.setProgram(m_qemuPath);
    m_process.setArguments(m_arguments);
    m_process.setWorkingDirectory(m_bundle.bundleURL);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardInputFile(QProcess::nullDevice());
    // SIGTERM lets QEMU close its disk cleanly should the application die without ending it.
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    connect(&m_process, &QProcess::readyReadStandardOutput, this, [this] { recordOutput(m_process.readAllStandardOutput()); });
    connect(&m_process, &QProcess::finished, this, &QEMUExecutor::handleProcessFinished);
}

QEMUExecutor::~QEMUExecutor()
{
    const QSignalBlocker blocker(m_process);
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(int(std::chrono::milliseconds(terminationGrace).count()))) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
        m_log.append(m_process.readAllStandardOutput());
    }
    releaseCompanions();
}

std::optional<qint64> QEMUExecutor::processIdentifier() const
{
    if (m_process.state() == QProcess::NotRunning)
        return std::nullopt;
    return m_process.processId();
}

std::optional<qint64> QEMUExecutor::tpmEmulatorProcessIdentifier() const
{
    if (!m_tpmEmulator || !m_tpmEmulator->isRunning())
        return std::nullopt;
    return m_tpmEmulator->processId();
}

QCoro::Task<> QEMUExecutor::start()
{
    if (m_runtimeState != VMRuntimeState::stopped)
        throw VirtualMachineError::invalidOperation(QStringLiteral("VM is already running."));
    QPointer<QEMUExecutor> self(this);
    setRuntimeState(VMRuntimeState::starting);

    try {
        // A link in place of Logs is replaced, so QEMU's output is never written elsewhere.
        ConfinedFolder::create(m_bundle.layout().logsDirectoryURL());
        if (!m_companions.runtimeFolder.isEmpty())
            m_runtimeFolder = std::make_unique<PrivateRuntimeFolder>(m_companions.runtimeFolder);
    } catch (const PlatformError &error) {
        failLaunch(error.description());
    }

    if (m_companions.tpmEmulatorProgram) {
        m_tpmEmulator = std::make_unique<TPMEmulator>(*m_companions.tpmEmulatorProgram, m_bundle.bundleURL);
        std::optional<VirtualMachineError> failure;
        try {
            co_await m_tpmEmulator->start(tpmEmulatorTimeout);
        } catch (const VirtualMachineError &error) {
            failure = error;
        }
        if (!self)
            throw abandoned();
        if (failure) {
            releaseCompanions();
            setRuntimeState(VMRuntimeState::error);
            throw *failure;
        }
    }

    const QString header = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) + QLatin1Char(' ')
                           + ChildProcess::commandLineText(m_qemuPath, m_arguments) + QLatin1Char('\n');
    m_log.append(header.toUtf8());
    SignalWaiter waiter;
    waiter.watch(&m_process, &QProcess::started, started);
    waiter.watchFailedStart(&m_process, failedToStart);
    waiter.watchDestruction(this, failedToStart);
    m_process.start();
    const std::optional<int> outcome = co_await waiter.wait(launchTimeout);
    if (!self)
        throw abandoned();
    if (outcome != started) {
        const QString description = outcome ? m_process.errorString() : QStringLiteral("it did not start within %1 seconds").arg(launchTimeout.count());
        const QSignalBlocker blocker(m_process);
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
        failLaunch(description);
    }

    setRuntimeState(VMRuntimeState::running);
    m_logging.log(QStringLiteral("Started QEMU for %1 (PID: %2)").arg(m_bundle.metadata.name).arg(m_process.processId()), QStringLiteral("QEMU"),
                  m_bundle.bundleURL);
    if (self && m_pendingExit) {
        const auto [exitCode, exitStatus] = *std::exchange(m_pendingExit, std::nullopt);
        handleTermination(exitCode, exitStatus);
    }
}

QCoro::Task<> QEMUExecutor::stop(std::chrono::milliseconds grace)
{
    if (m_process.state() != QProcess::Running)
        co_return;
    const QPointer<QEMUExecutor> self(this);
    m_stopRequested = true;
    m_logging.log(QStringLiteral("Stopping QEMU for %1").arg(m_bundle.metadata.name), QStringLiteral("QEMU"), m_bundle.bundleURL);

    bool ended = co_await endThroughMonitor(QByteArrayLiteral("system_powerdown"), grace);
    if (!self || ended)
        co_return;
    ended = co_await endThroughMonitor(QByteArrayLiteral("quit"), quitGrace);
    if (!self || ended)
        co_return;
    m_process.terminate();
    ended = co_await waitForExit(terminationGrace);
    if (!self || ended)
        co_return;
    m_process.kill();
    co_await waitForExit(terminationGrace);
}

QCoro::Task<bool> QEMUExecutor::endThroughMonitor(QByteArray command, std::chrono::milliseconds grace)
{
    const QPointer<QEMUExecutor> self(this);
    const bool taken = co_await sendMonitorCommand(std::move(command));
    if (!self)
        co_return true; // gone, and QEMU with it
    if (!taken)
        co_return false;
    co_return co_await waitForExit(grace);
}

QCoro::Task<bool> QEMUExecutor::waitForExit(std::chrono::milliseconds timeout)
{
    enum { exited };
    SignalWaiter waiter;
    waiter.watch(&m_process, &QProcess::finished, exited);
    waiter.watchDestruction(this, exited);
    if (m_process.state() == QProcess::NotRunning)
        co_return true;
    co_return co_await waiter.wait(timeout) == exited;
}

QCoro::Task<bool> QEMUExecutor::sendMonitorCommand(QByteArray command)
{
    constexpr std::chrono::seconds monitorTimeout{2};
    co_return co_await QEMUHumanMonitor::send(m_bundle.layout().qemuMonitorSocketURL(), std::move(command), monitorTimeout);
}

void QEMUExecutor::setRuntimeState(VMRuntimeState state)
{
    m_runtimeState = state;
    if (onStateChanged)
        onStateChanged(state);
}

void QEMUExecutor::failLaunch(const QString &detail)
{
    releaseCompanions();
    setRuntimeState(VMRuntimeState::error);
    throw VirtualMachineError(VirtualMachineError::Case::runtimeError, QStringLiteral("Failed to start QEMU: ") + detail);
}

void QEMUExecutor::handleProcessFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    recordOutput(m_process.readAllStandardOutput());
    if (m_runtimeState == VMRuntimeState::starting) {
        m_pendingExit = std::pair{exitCode, exitStatus};
        return;
    }
    if (m_runtimeState == VMRuntimeState::running)
        handleTermination(exitCode, exitStatus);
}

void QEMUExecutor::handleTermination(int exitCode, QProcess::ExitStatus exitStatus)
{
    releaseCompanions();
    QPointer<QEMUExecutor> self(this);
    // A signal counts as a failure, unless the stop sent it; Qt reports its number as the code.
    if (!m_stopRequested && (exitStatus == QProcess::CrashExit || exitCode != 0)) {
        QString message = QStringLiteral("QEMU exited with code %1").arg(exitCode);
        if (const std::optional<QString> advice = HostProfile::missingFileAdvice(QString::fromUtf8(m_recentOutput)))
            message += QStringLiteral(". ") + *advice;
        setRuntimeState(VMRuntimeState::error);
        if (self && onError)
            onError(VirtualMachineError(VirtualMachineError::Case::runtimeError, message));
    } else {
        setRuntimeState(VMRuntimeState::stopped);
        if (self && onStopped)
            onStopped();
    }
    if (self)
        Q_EMIT processExited();
}

void QEMUExecutor::recordOutput(const QByteArray &output)
{
    // A few lines are enough to explain why QEMU gave up; the log keeps the rest.
    constexpr qsizetype recentOutputLimit = 4096;
    m_log.append(output);
    m_recentOutput.append(output);
    if (m_recentOutput.size() > recentOutputLimit)
        m_recentOutput.remove(0, m_recentOutput.size() - recentOutputLimit);
}

void QEMUExecutor::releaseCompanions()
{
    m_tpmEmulator.reset();
    m_runtimeFolder.reset();
}
