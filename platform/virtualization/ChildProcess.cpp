// SPDX-License-Identifier: MIT
#include "ChildProcess.h"

#include "SignalWaiter.h"
#include "VirtualizationError.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSignalBlocker>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/prctl.h>
#include <sys/wait.h>

namespace {

enum Outcome { started, failed, ended };

QString quotedForShell(const QString &argument)
{
    static const QString plain = QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789-_./=:,@+%");
    const bool needsQuotes = argument.isEmpty() || std::any_of(argument.begin(), argument.end(), [](QChar c) { return !plain.contains(c); });
    if (!needsQuotes)
        return argument;
    QString quoted = argument;
    quoted.replace(QLatin1Char('\''), QLatin1String("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

ChildProcess::ChildProcess(QObject *parent)
    : QObject(parent)
{
    connect(&m_process, &QProcess::finished, this, &ChildProcess::exited);
    m_process.setChildProcessModifier([this] {
        // A helper must not outlive the application that drives it.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // Runs in the child only: the parent's descriptor stays closed on any other exec.
        if (m_inheritedDescriptor >= 0)
            ::fcntl(m_inheritedDescriptor, F_SETFD, 0);
    });
}

ChildProcess::~ChildProcess()
{
    const QSignalBlocker blocker(m_process);
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QCoro::Task<> ChildProcess::start(QString program, QStringList arguments, QString logFile, std::chrono::milliseconds timeout)
{
    m_logFile = logFile;
    QFile log(logFile);
    if (!log.open(QIODevice::WriteOnly | QIODevice::Append))
        throw VirtualizationError(VirtualizationError::Code::internalError,
                                  QStringLiteral("The log file %1 cannot be written: %2").arg(logFile, log.errorString()));
    const QString header = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs) + QLatin1Char(' ')
                           + commandLineText(program, arguments) + QLatin1Char('\n');
    log.write(header.toUtf8());
    m_logMark = log.pos();
    log.close();

    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.setStandardOutputFile(logFile, QIODevice::Append);
    m_process.setStandardErrorFile(logFile, QIODevice::Append);

    QPointer<ChildProcess> self(this);
    SignalWaiter waiter;
    waiter.watch(&m_process, &QProcess::started, started);
    waiter.watch(&m_process, &QProcess::errorOccurred, failed, [](QProcess::ProcessError error) { return error == QProcess::FailedToStart; });
    waiter.watchDestruction(this, failed);
    m_process.start(program, arguments);
    const auto outcome = co_await waiter.wait(timeout);
    if (!self || outcome != started) {
        const QString reason = self ? m_process.errorString() : QStringLiteral("it was abandoned");
        throw VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("%1 could not be started: %2").arg(QFileInfo(program).fileName(), reason));
    }
}

bool ChildProcess::isRunning() const
{
    return m_process.state() != QProcess::NotRunning;
}

qint64 ChildProcess::processId() const
{
    return m_process.processId();
}

bool ChildProcess::hasEnded() const
{
    if (!isRunning())
        return true;
    const auto pid = pid_t(m_process.processId());
    if (pid <= 0)
        return false;
    // WNOWAIT only looks: the child stays for QProcess to reap and report.
    siginfo_t info{};
    if (::waitid(P_PID, id_t(pid), &info, WEXITED | WNOHANG | WNOWAIT) != 0)
        return errno == ECHILD;
    return info.si_pid == pid;
}

QCoro::Task<bool> ChildProcess::waitForExit(std::chrono::milliseconds timeout)
{
    if (!isRunning())
        co_return true;
    QPointer<ChildProcess> self(this);
    SignalWaiter waiter;
    waiter.watch(this, &ChildProcess::exited, ended);
    waiter.watchDestruction(this, ended);
    co_await waiter.wait(timeout);
    co_return !self || !self->isRunning();
}

QCoro::Task<bool> ChildProcess::terminate(std::chrono::milliseconds grace)
{
    QPointer<ChildProcess> self(this);
    if (!isRunning())
        co_return true;
    m_process.terminate();
    if (co_await waitForExit(grace))
        co_return true;
    if (!self)
        co_return true;
    m_process.kill();
    co_return co_await waitForExit(grace);
}

void ChildProcess::kill()
{
    if (isRunning())
        m_process.kill();
}

QString ChildProcess::logTail(qsizetype maximumBytes) const
{
    QFile log(m_logFile);
    if (m_logFile.isEmpty() || !log.open(QIODevice::ReadOnly))
        return {};
    const qint64 start = std::max(m_logMark, log.size() - maximumBytes);
    if (!log.seek(start))
        return {};
    QByteArray tail = log.readAll();
    if (start > m_logMark) {
        const qsizetype newline = tail.indexOf('\n');
        tail = newline >= 0 ? tail.mid(newline + 1) : QByteArray();
    }
    return QString::fromUtf8(tail).trimmed();
}

QString ChildProcess::exitDescription() const
{
    if (m_process.exitStatus() == QProcess::CrashExit)
        return QStringLiteral("killed by a signal");
    return QStringLiteral("exit status %1").arg(m_process.exitCode());
}

QString ChildProcess::commandLineText(const QString &program, const QStringList &arguments)
{
    QStringList words{quotedForShell(program)};
    for (const QString &argument : arguments)
        words << quotedForShell(argument);
    return words.join(QLatin1Char(' '));
}
