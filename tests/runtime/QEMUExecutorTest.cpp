// SPDX-License-Identifier: MIT
#include "QEMUExecutor.h"

#include "LoggingService.h"
#include "QtPrinters.h"
#include "TaskWaiter.h"
#include "TemporaryHome.h"
#include "TestBundle.h"
#include "VirtualMachineError.h"
#include "VirtualMachineErrorExpectation.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <csignal>
#include <functional>
#include <memory>

namespace {

QString readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool processExists(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0;
}

/// A Windows bundle in a temporary home, run by /bin/sh scripts in place of QEMU.
class QEMUExecutorTest : public ::testing::Test
{
protected:
    QEMUExecutorTest()
    {
        m_bundle = TestBundle(m_home.path() + QStringLiteral("/Guest.vm"));
        QDir().mkpath(m_bundle.bundleURL);
    }

    /// An executor that runs `script` with sh, recording every state and callback in `events`.
    std::unique_ptr<QEMUExecutor> shell(const QString &script, QEMUExecutor::Companions companions = {}, QString program = QStringLiteral("/bin/sh"))
    {
        auto executor = std::make_unique<QEMUExecutor>(program, QStringList{QStringLiteral("-c"), script}, m_bundle, m_logging, companions);
        executor->onStateChanged = [this](VMRuntimeState state) { events << QStringLiteral("state ") + toRaw(state); };
        executor->onStopped = [this] { events << QStringLiteral("stopped"); };
        executor->onError = [this](const VirtualMachineError &error) { events << QStringLiteral("error: ") + error.errorDescription(); };
        return executor;
    }

    QString inBundle(const QString &name) const { return m_bundle.bundleURL + QLatin1Char('/') + name; }
    QString bundleLog() const { return readAll(inBundle(QStringLiteral("Logs/duvuzodovevav.log"))); }
    QString qemuLog() const { return readAll(inBundle(QStringLiteral("Logs/qemu.log"))); }

    TemporaryHome m_home;
    LoggingService m_logging;
    VMBundle m_bundle;
    QStringList events;
};

TEST_F(QEMUExecutorTest, TheExitStatusDecidesHowTheRunEnds)
{
    const struct {
        QString script;
        QStringList ending;
    } cases[] = {
        {QStringLiteral("exit 0"), {QStringLiteral("state stopped"), QStringLiteral("stopped")}},
        {QStringLiteral("exit 1"),
         {QStringLiteral("state error"), QStringLiteral("error: The virtual machine encountered an error: QEMU exited with code 1")}},
        {QStringLiteral("kill -KILL $$"),
         {QStringLiteral("state error"), QStringLiteral("error: The virtual machine encountered an error: QEMU exited with code 9")}},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.script.toStdString());
        events.clear();
        // Slow enough that the exit comes after the start has returned.
        const std::unique_ptr<QEMUExecutor> executor = shell(QStringLiteral("sleep 0.3; ") + testCase.script);
        QSignalSpy exited(executor.get(), &QEMUExecutor::processExited);
        ASSERT_FALSE(TaskWaiter::failureOf(executor->start()));
        EXPECT_EQ(executor->runtimeState(), VMRuntimeState::running);
        const std::optional<qint64> pid = executor->processIdentifier();
        ASSERT_TRUE(pid);
        EXPECT_TRUE(bundleLog().contains(QStringLiteral("[QEMU] Started QEMU for Guest (PID: %1)").arg(*pid)));

        ASSERT_TRUE(exited.wait(10000));
        EXPECT_EQ(events, QStringList({QStringLiteral("state starting"), QStringLiteral("state running")}) + testCase.ending);
        EXPECT_EQ(exited.count(), 1);
        EXPECT_FALSE(executor->processIdentifier());
    }
}

TEST_F(QEMUExecutorTest, AnExitDuringTheLaunchIsReportedAfterIt)
{
    const std::unique_ptr<QEMUExecutor> executor = shell(QStringLiteral("exit 3"));
    QSignalSpy exited(executor.get(), &QEMUExecutor::processExited);
    ASSERT_FALSE(TaskWaiter::failureOf(executor->start()));
    ASSERT_TRUE(exited.count() == 1 || exited.wait(10000));
    EXPECT_EQ(events, (QStringList{QStringLiteral("state starting"), QStringLiteral("state running"), QStringLiteral("state error"),
                                   QStringLiteral("error: The virtual machine encountered an error: QEMU exited with code 3")}));
}

TEST_F(QEMUExecutorTest, AMissingROMIsNamedWithItsPackage)
{
    const std::unique_ptr<QEMUExecutor> executor =
        shell(QStringLiteral("echo 'qemu-system-aarch64: -device virtio-net-pci,netdev=net0: failed to find romfile \"efi-virtio.rom\"'; exit 1"));
    QSignalSpy exited(executor.get(), &QEMUExecutor::processExited);
    ASSERT_FALSE(TaskWaiter::failureOf(executor->start()));
    ASSERT_TRUE(exited.count() == 1 || exited.wait(10000));
    EXPECT_EQ(events.value(events.size() - 1),
              QStringLiteral("error: The virtual machine encountered an error: QEMU exited with code 1. QEMU cannot find the file efi-virtio.rom from "
                             "the package ipxe-qemu. Install it with: sudo apt install ipxe-qemu"));
    EXPECT_TRUE(qemuLog().contains(QStringLiteral("failed to find romfile")));
}

TEST_F(QEMUExecutorTest, ARunningExecutorRefusesAnotherStartAndEndsQEMUWhenItGoes)
{
    std::unique_ptr<QEMUExecutor> executor = shell(QStringLiteral("exec sleep 30"));
    ASSERT_FALSE(TaskWaiter::failureOf(executor->start()));
    const qint64 pid = executor->processIdentifier().value_or(0);
    ASSERT_GT(pid, 0);

    const VirtualMachineError second = thrownVirtualMachineError(TaskWaiter::failureOf(executor->start()));
    EXPECT_EQ(second.errorCase(), VirtualMachineError::Case::invalidOperation);
    EXPECT_EQ(second.detail(), QStringLiteral("VM is already running."));
    EXPECT_EQ(executor->runtimeState(), VMRuntimeState::running);

    executor.reset();
    EXPECT_FALSE(processExists(pid));
}

/// QEMU's human monitor as the test plays it: a greeting and a prompt, each command line recorded and answered by `answer`.
class FakeHumanMonitor
{
public:
    FakeHumanMonitor(const QString &socketPath, std::function<void(const QByteArray &command)> answer)
        : m_answer(std::move(answer))
    {
        EXPECT_TRUE(m_server.listen(socketPath)) << m_server.errorString().toStdString();
        QObject::connect(&m_server, &QLocalServer::newConnection, [this] {
            QLocalSocket *const client = m_server.nextPendingConnection();
            client->write("QEMU 7.2.0 monitor - type 'help' for more information\r\n(qemu) ");
            QObject::connect(client, &QLocalSocket::readyRead, client, [this, client] {
                m_buffer += client->readAll();
                while (m_buffer.contains('\n')) {
                    const QByteArray line = m_buffer.left(m_buffer.indexOf('\n')).trimmed();
                    m_buffer.remove(0, m_buffer.indexOf('\n') + 1);
                    commands << QString::fromUtf8(line);
                    client->write(line + "\r\n(qemu) ");
                    m_answer(line);
                }
            });
        });
    }

    QStringList commands;

private:
    QLocalServer m_server;
    QByteArray m_buffer;
    std::function<void(const QByteArray &)> m_answer;
};

TEST_F(QEMUExecutorTest, StopAsksTheGuestToPowerDownThenQEMUToQuitAndEndsAsStopped)
{
    // The guest shuts down when asked; then a guest that ignores the power button, so QEMU is told to quit.
    for (const QByteArray &ending : {QByteArrayLiteral("system_powerdown"), QByteArrayLiteral("quit")}) {
        SCOPED_TRACE(ending.toStdString());
        events.clear();
        QFile::remove(inBundle(QStringLiteral("ended")));
        FakeHumanMonitor monitor(inBundle(QStringLiteral("qemu-monitor.sock")), [&](const QByteArray &command) {
            if (command == ending)
                QFile(inBundle(QStringLiteral("ended"))).open(QIODevice::WriteOnly);
        });
        const std::unique_ptr<QEMUExecutor> executor = shell(QStringLiteral("while [ ! -e ended ]; do sleep 0.05; done"));
        ASSERT_FALSE(TaskWaiter::failureOf(executor->start()));
        ASSERT_FALSE(TaskWaiter::failureOf(executor->stop(std::chrono::milliseconds(300))));
        const QStringList expected = ending == "quit" ? QStringList{QStringLiteral("system_powerdown"), QStringLiteral("quit")}
                                                      : QStringList{QStringLiteral("system_powerdown")};
        EXPECT_EQ(monitor.commands, expected);
        EXPECT_FALSE(executor->processIdentifier());
        EXPECT_EQ(events.mid(2), (QStringList{QStringLiteral("state stopped"), QStringLiteral("stopped")}));
        QFile::remove(inBundle(QStringLiteral("qemu-monitor.sock")));
    }
}

TEST_F(QEMUExecutorTest, StopWithoutAMonitorTerminatesQEMUAndIsNoError)
{
    const std::unique_ptr<QEMUExecutor> executor = shell(QStringLiteral("exec sleep 30"));
    ASSERT_FALSE(TaskWaiter::failureOf(executor->start()));
    ASSERT_FALSE(TaskWaiter::failureOf(executor->stop(std::chrono::milliseconds(100))));
    EXPECT_FALSE(executor->processIdentifier());
    EXPECT_EQ(executor->runtimeState(), VMRuntimeState::stopped);
    EXPECT_EQ(events.mid(2), (QStringList{QStringLiteral("state stopped"), QStringLiteral("stopped")})) << "the signal was ours, not a crash";
    ASSERT_FALSE(TaskWaiter::failureOf(executor->stop(std::chrono::milliseconds(100)))) << "a second stop has nothing to do";
}

TEST_F(QEMUExecutorTest, ALaunchThatFailsEndsInTheErrorStateWithoutCallingOnError)
{
    const std::unique_ptr<QEMUExecutor> executor = shell({}, {}, m_home.path() + QStringLiteral("/no-such-qemu"));
    const VirtualMachineError error = thrownVirtualMachineError(TaskWaiter::failureOf(executor->start()));
    EXPECT_EQ(error.errorCase(), VirtualMachineError::Case::runtimeError);
    EXPECT_TRUE(error.detail().startsWith(QStringLiteral("Failed to start QEMU: "))) << error.detail().toStdString();
    EXPECT_GT(error.detail().size(), 22);
    EXPECT_EQ(events, (QStringList{QStringLiteral("state starting"), QStringLiteral("state error")}));
    EXPECT_EQ(executor->runtimeState(), VMRuntimeState::error);
    EXPECT_FALSE(bundleLog().contains(QStringLiteral("Started QEMU")));
}

TEST_F(QEMUExecutorTest, OutputIsDrainedIntoTheBundlesLogSoQEMUNeverBlocks)
{
    // Far more than a pipe holds: unread, the script would block on its first 64 KiB.
    const std::unique_ptr<QEMUExecutor> executor =
        shell(QStringLiteral("pwd; head -c 2097152 /dev/zero | tr '\\0' x; echo; echo finished >&2"));
    QSignalSpy exited(executor.get(), &QEMUExecutor::processExited);
    ASSERT_FALSE(TaskWaiter::failureOf(executor->start()));
    ASSERT_TRUE(exited.count() == 1 || exited.wait(10000));

    EXPECT_EQ(executor->runtimeState(), VMRuntimeState::stopped);
    const QString log = qemuLog();
    const QStringList lines = log.split(QLatin1Char('\n'));
    ASSERT_GE(lines.size(), 4);
    EXPECT_TRUE(lines[0].endsWith(QStringLiteral(" /bin/sh -c 'pwd; head -c 2097152 /dev/zero | tr '\\''\\0'\\'' x; echo; echo finished >&2'")))
        << lines[0].toStdString();
    EXPECT_EQ(lines[1], m_bundle.bundleURL); // QEMU runs in the bundle folder
    EXPECT_EQ(lines[2].size(), 2097152);
    EXPECT_TRUE(log.endsWith(QStringLiteral("finished\n")));
    EXPECT_EQ(executor->logFilePath(), inBundle(QStringLiteral("Logs/qemu.log")));
}

TEST_F(QEMUExecutorTest, TheRuntimeFolderIsPrivateWhileQEMURuns)
{
    const QString folder = m_home.path() + QStringLiteral("/run/") + m_bundle.id().toString(QUuid::WithoutBraces);
    const std::unique_ptr<QEMUExecutor> executor = shell(QStringLiteral("stat -c 'mode %a' '%1'").arg(folder), {folder, std::nullopt});
    QSignalSpy exited(executor.get(), &QEMUExecutor::processExited);
    ASSERT_FALSE(TaskWaiter::failureOf(executor->start()));
    ASSERT_TRUE(exited.count() == 1 || exited.wait(10000));
    EXPECT_TRUE(qemuLog().contains(QStringLiteral("\nmode 700\n"))) << qemuLog().toStdString();
    EXPECT_FALSE(QFileInfo::exists(folder));
}

TEST_F(QEMUExecutorTest, ATPMEmulatorThatFailsStopsTheLaunchBeforeQEMU)
{
    const std::unique_ptr<QEMUExecutor> executor = shell(QStringLiteral("touch qemu-ran"), {{}, QStringLiteral("/bin/false")});
    EXPECT_EQ(thrownVirtualMachineError(TaskWaiter::failureOf(executor->start())).errorDescription(),
              QStringLiteral("The virtual machine encountered an error: Failed to start the TPM emulator: "
                             "swtpm exited before it served tpm.sock (see Logs/swtpm.log)."));
    EXPECT_EQ(events, (QStringList{QStringLiteral("state starting"), QStringLiteral("state error")}));
    EXPECT_FALSE(QFileInfo::exists(inBundle(QStringLiteral("qemu-ran"))));
}

TEST_F(QEMUExecutorTest, SwtpmServesTheSocketBeforeQEMUStartsAndEndsWithIt)
{
    const QString swtpm = QStringLiteral("/usr/bin/swtpm");
    if (!QFileInfo(swtpm).isExecutable())
        GTEST_SKIP() << "swtpm is not installed";
    // A stale socket from an earlier run must not count as served.
    QFile(inBundle(QStringLiteral("tpm.sock"))).open(QIODevice::WriteOnly);

    const std::unique_ptr<QEMUExecutor> executor = shell(QStringLiteral("test -S tpm.sock && sleep 0.3"), {{}, swtpm});
    std::optional<qint64> swtpmPid;
    executor->onStateChanged = [&](VMRuntimeState state) {
        if (state == VMRuntimeState::running)
            swtpmPid = executor->tpmEmulatorProcessIdentifier();
    };
    QSignalSpy exited(executor.get(), &QEMUExecutor::processExited);
    ASSERT_FALSE(TaskWaiter::failureOf(executor->start()));
    ASSERT_TRUE(swtpmPid);
    EXPECT_TRUE(processExists(*swtpmPid));
    ASSERT_TRUE(exited.wait(10000));

    EXPECT_EQ(executor->runtimeState(), VMRuntimeState::stopped); // the script found the socket
    EXPECT_FALSE(executor->tpmEmulatorProcessIdentifier());
    EXPECT_FALSE(processExists(*swtpmPid));
    EXPECT_TRUE(QFileInfo(inBundle(QStringLiteral("TPM"))).isDir());
}

} // namespace
