// SPDX-License-Identifier: MIT
#pragma once

#include "CappedLogFile.h"

#include <QCoroTask>
#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <chrono>

/**
 * The swtpm process that serves one machine's TPM 2.0 on the bundle's
 * tpm.sock, which QEMU's TPM device connects to. It runs in the bundle
 * folder with its state in the bundle's TPM folder, so the guest keeps its
 * TPM from one start to the next; its output goes to a capped
 * Logs/swtpm.log. swtpm ends by itself once QEMU has disconnected; the
 * object ends it for sure when it goes, and it dies with the application.
 * GUI thread only.
 *
 * @code
 * TPMEmulator tpm(QStringLiteral("/usr/bin/swtpm"), bundle.bundleURL);
 * co_await tpm.start(10s); // returns once tpm.sock is served
 * @endcode
 */
class TPMEmulator final : public QObject
{
    Q_OBJECT

public:
    static constexpr QStringView stateFolderName = u"TPM";
    static constexpr qint64 logSizeLimit = 1024 * 1024;

    TPMEmulator(QString program, QString bundleFolder, QObject *parent = nullptr);
    /// Ends swtpm when it still runs: SIGTERM, then SIGKILL.
    ~TPMEmulator() override;

    /// The arguments of swtpm, relative to the bundle folder.
    static QStringList arguments();

    /**
     * Removes a socket left behind, starts swtpm and returns once its socket
     * is there, waiting at most `timeout`. Throws VirtualMachineError
     * (runtimeError) when swtpm cannot be started, exits early or serves no
     * socket in time; swtpm is ended then.
     */
    QCoro::Task<> start(std::chrono::milliseconds timeout);

    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }
    qint64 processId() const { return m_process.processId(); }
    QString socketPath() const;

private:
    /// Makes the state folder and removes a socket left behind.
    void prepare();
    [[noreturn]] void fail(const QString &reason);
    void stop();

    QString m_program;
    QString m_bundleFolder;
    CappedLogFile m_log;
    QProcess m_process;
};
