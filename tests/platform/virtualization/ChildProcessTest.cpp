// SPDX-License-Identifier: MIT
#include "ChildProcess.h"

#include "QtPrinters.h"
#include "TaskRunner.h"
#include "VirtualizationError.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

using namespace std::chrono_literals;

namespace {

class ChildProcessTest : public ::testing::Test
{
protected:
    QString logFile() const { return m_directory.path() + QStringLiteral("/helper.log"); }

    QByteArray log() const
    {
        QFile file(logFile());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    static void runShell(ChildProcess &process, const QString &script, const QString &log)
    {
        TaskRunner::run(process.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), script}, log));
    }

private:
    QTemporaryDir m_directory;
};

TEST_F(ChildProcessTest, LogsTheCommandAndItsOutputAndTellsTheTailOfThisRunOnly)
{
    {
        ChildProcess first;
        runShell(first, QStringLiteral("echo earlier run"), logFile());
        EXPECT_TRUE(TaskRunner::run(first.waitForExit(5s)));
    }
    ChildProcess process;
    bool exited = false;
    QObject::connect(&process, &ChildProcess::exited, [&exited] { exited = true; });
    runShell(process, QStringLiteral("echo out; echo err >&2; exit 3"), logFile());
    EXPECT_TRUE(TaskRunner::run(process.waitForExit(5s)));

    EXPECT_TRUE(exited);
    EXPECT_FALSE(process.isRunning());
    EXPECT_EQ(process.exitDescription(), QStringLiteral("exit status 3"));
    EXPECT_TRUE(log().contains("/bin/sh -c 'echo out; echo err >&2; exit 3'\nout\nerr\n")) << log().toStdString();
    EXPECT_EQ(process.logTail(), QStringLiteral("out\nerr"));
}

TEST_F(ChildProcessTest, TerminateEndsAProgramThatIgnoresSIGTERM)
{
    ChildProcess process;
    runShell(process, QStringLiteral("trap '' TERM; echo ready; while :; do sleep 0.05; done"), logFile());
    QTest::qWait(100);
    QElapsedTimer elapsed;
    elapsed.start();

    EXPECT_TRUE(TaskRunner::run(process.terminate(300ms)));
    EXPECT_GE(elapsed.elapsed(), 250) << "SIGKILL came before the grace period was over";
    EXPECT_FALSE(process.isRunning());
    EXPECT_EQ(process.exitDescription(), QStringLiteral("killed by a signal"));
}

TEST_F(ChildProcessTest, DestroyingTheObjectKillsTheProgram)
{
    auto process = std::make_unique<ChildProcess>();
    runShell(*process, QStringLiteral("sleep 30"), logFile());
    const qint64 pid = process->processId();
    ASSERT_GT(pid, 0);

    process.reset();
    EXPECT_EQ(::kill(pid_t(pid), 0), -1);
    EXPECT_EQ(errno, ESRCH);
}

TEST_F(ChildProcessTest, MissingProgramFailsToStart)
{
    ChildProcess process;
    try {
        TaskRunner::run(process.start(QStringLiteral("/nonexistent/qemu"), {}, logFile()));
        ADD_FAILURE() << "a missing program was started";
    } catch (const VirtualizationError &error) {
        EXPECT_TRUE(error.localizedDescription().startsWith(QStringLiteral("qemu could not be started"))) << error.what();
    }
    EXPECT_FALSE(process.isRunning());
}

TEST(ChildProcessCommandLineTest, QuotesOnlyWhatAShellWouldSplit)
{
    EXPECT_EQ(ChildProcess::commandLineText(QStringLiteral("/usr/bin/qemu"), {QStringLiteral("-m"), QStringLiteral("1024M"), QStringLiteral("a b"),
                                                                              QStringLiteral("it's"), QString()}),
              QStringLiteral("/usr/bin/qemu -m 1024M 'a b' 'it'\\''s' ''"));
}

} // namespace
