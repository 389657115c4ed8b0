// SPDX-License-Identifier: MIT
#include "QEMUExecutorRegistry.h"

#include "LoggingService.h"
#include "QEMUExecutor.h"
#include "QtPrinters.h"
#include "TaskWaiter.h"
#include "TemporaryHome.h"
#include "TestBundle.h"
#include "VirtualMachineError.h"
#include "VirtualMachineErrorExpectation.h"

#include <QDir>
#include <QFile>
#include <QPointer>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <csignal>
#include <memory>

namespace {

/// Runs until a file named "stop" appears in the bundle folder.
const QString untilStopped = QStringLiteral("while [ ! -e stop ]; do sleep 0.05; done");

class QEMUExecutorRegistryTest : public ::testing::Test
{
protected:
    QEMUExecutorRegistryTest()
    {
        m_bundle = TestBundle(m_home.path() + QStringLiteral("/Guest.vm"));
        QDir().mkpath(m_bundle.bundleURL);
        QObject::connect(&m_registry, &QEMUExecutorRegistry::runningChanged, [this](const QUuid &id, bool running) {
            EXPECT_EQ(id, m_bundle.id());
            changes << running;
        });
    }

    std::unique_ptr<QEMUExecutor> shell(const QString &script, const QString &program = QStringLiteral("/bin/sh"))
    {
        return std::make_unique<QEMUExecutor>(program, QStringList{QStringLiteral("-c"), script}, m_bundle, m_logging);
    }

    void stop() const { QFile(m_bundle.bundleURL + QStringLiteral("/stop")).open(QIODevice::WriteOnly); }

    TemporaryHome m_home;
    LoggingService m_logging;
    VMBundle m_bundle;
    QEMUExecutorRegistry m_registry;
    QList<bool> changes;
};

TEST_F(QEMUExecutorRegistryTest, HoldsTheExecutorUntilItsProcessExitsAndRefusesASecondStart)
{
    std::unique_ptr<QEMUExecutor> first = shell(untilStopped);
    bool stoppedCalled = false;
    first->onStopped = [&] { stoppedCalled = true; };
    const QPointer<QEMUExecutor> held = first.get();
    ASSERT_FALSE(TaskWaiter::failureOf(m_registry.start(std::move(first))));
    EXPECT_TRUE(m_registry.isRunning(m_bundle.id()));
    EXPECT_EQ(m_registry.executor(m_bundle.id()), held.data());
    EXPECT_FALSE(m_registry.isRunning(QUuid::createUuid()));

    const std::exception_ptr refused = TaskWaiter::failureOf(m_registry.start(shell(QStringLiteral("touch second-ran"))));
    EXPECT_EQ(thrownVirtualMachineError(refused).errorDescription(),
              QStringLiteral("This action cannot be completed: The virtual machine is already active."));
    EXPECT_EQ(m_registry.executor(m_bundle.id()), held.data());

    stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_registry.isRunning(m_bundle.id()); }, 10000));
    EXPECT_TRUE(stoppedCalled);
    EXPECT_EQ(changes, (QList<bool>{true, false}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return held.isNull(); }, 5000));
    EXPECT_FALSE(QFile::exists(m_bundle.bundleURL + QStringLiteral("/second-ran")));

    // Once released, the VM may start again.
    QFile::remove(m_bundle.bundleURL + QStringLiteral("/stop"));
    ASSERT_FALSE(TaskWaiter::failureOf(m_registry.start(shell(untilStopped))));
    EXPECT_TRUE(m_registry.isRunning(m_bundle.id()));
    stop();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m_registry.isRunning(m_bundle.id()); }, 10000));
}

TEST_F(QEMUExecutorRegistryTest, AFailedOrAnAtOnceEndedStartIsReleased)
{
    EXPECT_TRUE(TaskWaiter::failureOf(m_registry.start(shell({}, m_home.path() + QStringLiteral("/no-such-qemu")))));
    EXPECT_FALSE(m_registry.isRunning(m_bundle.id()));
    EXPECT_EQ(changes, (QList<bool>{true, false}));

    EXPECT_FALSE(TaskWaiter::failureOf(m_registry.start(shell(QStringLiteral("exit 2")))));
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m_registry.isRunning(m_bundle.id()); }, 10000));
    EXPECT_EQ(changes, (QList<bool>{true, false, true, false}));
}

TEST(QEMUExecutorRegistryLifetime, DestroyingTheRegistryEndsTheQEMUItHolds)
{
    const TemporaryHome home;
    const LoggingService logging;
    const VMBundle bundle = TestBundle(home.path());
    auto registry = std::make_unique<QEMUExecutorRegistry>();
    ASSERT_FALSE(TaskWaiter::failureOf(
        registry->start(std::make_unique<QEMUExecutor>(QStringLiteral("/bin/sh"), QStringList{QStringLiteral("-c"), QStringLiteral("exec sleep 30")},
                                                       bundle, logging))));
    const qint64 pid = registry->executor(bundle.id())->processIdentifier().value_or(0);
    ASSERT_GT(pid, 0);
    registry.reset();
    EXPECT_NE(::kill(pid_t(pid), 0), 0);
}

} // namespace
