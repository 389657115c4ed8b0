// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <chrono>

/**
 * One helper program (QEMU, virtiofsd) owned by this object. It starts with
 * its input from /dev/null and its output appended to a log file, after a
 * line with the time and the whole command; it dies with the application
 * (PR_SET_PDEATHSIG), and it is killed for sure when the object goes.
 * GUI thread only.
 *
 * @code
 * ChildProcess qemu;
 * co_await qemu.start(program, arguments, layout.logsDirectoryURL() + "/qemu.log");
 * ...
 * co_await qemu.terminate(5s); // SIGTERM, then SIGKILL
 * @endcode
 */
class ChildProcess final : public QObject
{
    Q_OBJECT

public:
    explicit ChildProcess(QObject *parent = nullptr);
    /// Kills the program with SIGKILL and reaps it when it still runs.
    ~ChildProcess() override;

    /**
     * Starts the program and waits up to `timeout` for it to run. Throws
     * VirtualizationError (internalError) when it cannot be started or the
     * log cannot be written.
     */
    QCoro::Task<> start(QString program, QStringList arguments, QString logFile, std::chrono::milliseconds timeout = std::chrono::seconds(30));

    /// Lets the program started next keep the open descriptor `descriptor` (-1: none), which is otherwise closed on exec.
    void inheritDescriptor(int descriptor) { m_inheritedDescriptor = descriptor; }

    bool isRunning() const;
    qint64 processId() const;
    /**
     * Whether the program has ended, also when its exit has not been
     * reported yet: exited() comes on a later turn of the event loop, while
     * the program may already be gone.
     */
    bool hasEnded() const;

    /// Waits up to `timeout` for the program to exit by itself; true once it has.
    QCoro::Task<bool> waitForExit(std::chrono::milliseconds timeout);

    /**
     * Asks the program to end with SIGTERM, and after `grace` ends it with
     * SIGKILL; true once it has exited (at most twice `grace`).
     */
    QCoro::Task<bool> terminate(std::chrono::milliseconds grace);

    /// Ends the program at once with SIGKILL; exited() follows.
    void kill();

    /**
     * About the last `maximumBytes` the program wrote to its log since this
     * start, cut at a line boundary and trimmed; what QEMU says before it
     * gives up is the best description of why it did.
     */
    QString logTail(qsizetype maximumBytes = 1024) const;

    /// "exit status 1" or "killed by a signal".
    QString exitDescription() const;

    /// The command as it is logged, each argument quoted for a shell where it needs it.
    static QString commandLineText(const QString &program, const QStringList &arguments);

Q_SIGNALS:
    /// The program has ended, whatever the reason.
    void exited();

private:
    QProcess m_process;
    QString m_logFile;
    qint64 m_logMark = 0;
    int m_inheritedDescriptor = -1;
};
