// SPDX-License-Identifier: MIT
#include "TPMEmulator.h"

#include "ConfinedFolder.h"
#include "PlatformError.h"
#include "SignalWaiter.h"
#include "VMBundle.h"
#include "VirtualMachineError.h"

#include <QCoroTimer>
#include <QDeadlineTimer>
#include <QFile>
#include <QPointer>
#include <QSignalBlocker>

#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

using namespace std::chrono_literals;

namespace {

constexpr auto pollInterval = 25ms;

VirtualMachineError abandoned()
{
    return VirtualMachineError(VirtualMachineError::Case::runtimeError, QStringLiteral("The TPM emulator was abandoned while it started."));
}

// Kept out of the coroutine: g++ 12 crashes on the duration cast inside it.
QString notServedWithin(std::chrono::milliseconds timeout)
{
    return QStringLiteral("swtpm did not serve tpm.sock within %1 seconds.").arg(std::chrono::duration_cast<std::chrono::seconds>(timeout).count());
}

// Kept out of the coroutine too: with UBSan and no optimisation, g++ 12 crashes on a local enumeration inside it.
enum LaunchOutcome { started, failedToStart };

bool isSocket(const QString &path)
{
    struct stat status {
    };
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISSOCK(status.st_mode);
}

} // namespace

TPMEmulator::TPMEmulator(QString program, QString bundleFolder, QObject *parent)
    : QObject(parent)
    , m_program(std::move(program))
    , m_bundleFolder(std::move(bundleFolder))
    , m_log(VMBundle::Layout{m_bundleFolder}.logsDirectoryURL() + QStringLiteral("/swtpm.log"), logSizeLimit)
{
    m_process.setProgram(m_program);
    m_process.setArguments(arguments());
    m_process.setWorkingDirectory(m_bundleFolder);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardInputFile(QProcess::nullDevice());
    m_process.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); });
    connect(&m_process, &QProcess::readyReadStandardOutput, this, [this] { m_log.append(m_process.readAllStandardOutput()); });
}

TPMEmulator::~TPMEmulator()
{
    stop();
}

QStringList TPMEmulator::arguments()
{
    // Relative paths: the bundle folder may be too deep for a socket path, and may hold commas.
    return {QStringLiteral("socket"),
            QStringLiteral("--tpm2"),
            QStringLiteral("--tpmstate"),
            QStringLiteral("dir=") + stateFolderName.toString(),
            QStringLiteral("--ctrl"),
            QStringLiteral("type=unixio,path=") + VMBundle::Layout::tpmSocketFileName.toString(),
            QStringLiteral("--terminate")};
}

QString TPMEmulator::socketPath() const
{
    return VMBundle::Layout{m_bundleFolder}.tpmSocketURL();
}

QCoro::Task<> TPMEmulator::start(std::chrono::milliseconds timeout)
{
    const QDeadlineTimer deadline(timeout);
    prepare();

    QPointer<TPMEmulator> self(this);
    SignalWaiter waiter;
    waiter.watch(&m_process, &QProcess::started, started);
    waiter.watchFailedStart(&m_process, failedToStart);
    waiter.watchDestruction(this, failedToStart);
    m_process.start();
    const std::chrono::milliseconds launchTime(deadline.remainingTime());
    const std::optional<int> outcome = co_await waiter.wait(launchTime);
    if (!self)
        throw abandoned();
    if (outcome != started)
        fail(QStringLiteral("swtpm could not be started: ") + m_process.errorString());

    while (!isSocket(socketPath())) {
        if (!isRunning())
            fail(QStringLiteral("swtpm exited before it served tpm.sock (see Logs/swtpm.log)."));
        if (deadline.hasExpired())
            fail(notServedWithin(timeout));
        co_await QCoro::sleepFor(pollInterval);
        if (!self)
            throw abandoned();
    }
}

void TPMEmulator::prepare()
{
    try {
        // A link in place of the state folder is replaced, so the TPM state is never written elsewhere.
        ConfinedFolder::create(m_bundleFolder + QLatin1Char('/') + stateFolderName.toString());
        const QString socket = socketPath();
        if (::unlink(QFile::encodeName(socket).constData()) != 0 && errno != ENOENT)
            throw PlatformError::posix(errno, socket);
    } catch (const PlatformError &error) {
        fail(error.description());
    }
}

void TPMEmulator::fail(const QString &reason)
{
    stop();
    throw VirtualMachineError(VirtualMachineError::Case::runtimeError, QStringLiteral("Failed to start the TPM emulator: ") + reason);
}

void TPMEmulator::stop()
{
    const QSignalBlocker blocker(m_process);
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(2000)) {
        m_process.kill();
        m_process.waitForFinished(2000);
    }
    m_log.append(m_process.readAllStandardOutput());
}
