// SPDX-License-Identifier: MIT
#include "QemuVirtualMachine.h"

#include "QtPrinters.h"
#include "TaskRunner.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>

using namespace std::chrono_literals;

/*
 * The save of a machine, driven against a stand-in QEMU that records the
 * monitor commands it is sent: what the real one does with them is the
 * business of the qemu-labelled tests.
 */
namespace {

using State = VirtualMachine::State;
using SaveStart = VirtualMachine::SaveStart;

class QemuMachineSaveTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_directory.isValid());
        ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("run"))));
        ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("Logs"))));
        for (const QString &file : {QStringLiteral("EFIVariableStore.bin"), QStringLiteral("Disk.img"), QStringLiteral("firmware.fd")}) {
            QFile empty(path(file));
            ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
        }
        m_profile.qemuProgram = QStringLiteral(FAKE_QEMU_PROGRAM);
        m_profile.firmwareCodePath = path(QStringLiteral("firmware.fd"));
        m_profile.runtimeDirectory = path(QStringLiteral("run"));
        qputenv("FAKE_QEMU_COMMANDS", QFile::encodeName(path(QStringLiteral("commands.txt"))));
    }

    void TearDown() override
    {
        qunsetenv("FAKE_QEMU_COMMANDS");
        qunsetenv("FAKE_QEMU_MIGRATION");
        qunsetenv("FAKE_QEMU_BALLOON_DRIVER");
    }

    QString path(const QString &relative) const { return m_directory.path() + QLatin1Char('/') + relative; }

    VirtualMachineConfiguration configuration(bool balloon) const
    {
        VirtualMachineConfiguration configuration;
        configuration.bootLoader = EFIBootLoader{EFIVariableStore(path(QStringLiteral("EFIVariableStore.bin")))};
        configuration.cpuCount = 2;
        configuration.memorySize = quint64(1) << 30;
        configuration.storageDevices << StorageDeviceConfiguration{StorageDeviceConfiguration::Kind::virtioBlock, {path(QStringLiteral("Disk.img"))}};
        if (balloon)
            configuration.memoryBalloonDevices << MemoryBalloonDeviceConfiguration{};
        return configuration;
    }

    /// The monitor commands sent since the last call, without the set-up ones.
    QStringList takeCommands()
    {
        QFile file(path(QStringLiteral("commands.txt")));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        const QStringList all = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        const QStringList fresh = all.mid(m_commandsSeen);
        m_commandsSeen = all.size();
        return fresh;
    }

    /// A started machine, paused, with the commands so far taken.
    QemuVirtualMachine &pausedMachine(bool balloon)
    {
        m_machine = std::make_unique<QemuVirtualMachine>(configuration(balloon), m_profile, path(QStringLiteral("Logs")));
        TaskRunner::run(m_machine->start());
        TaskRunner::run(m_machine->pause());
        takeCommands();
        return *m_machine;
    }

    QTemporaryDir m_directory;
    HostProfile m_profile;
    std::unique_ptr<QemuVirtualMachine> m_machine;
    qsizetype m_commandsSeen = 0;
};

// A paused guest cannot name its free pages, so a save would read (and, with shared memory, allocate) every one of them.
TEST_F(QemuMachineSaveTest, AGuestThatNamesFreePagesRunsWhileItsSaveBeginsAndEndsPaused)
{
    struct Case {
        const char *name;
        bool balloon;
        bool driver;
        SaveStart start;
        QStringList commands;
    };
    const QString query = QStringLiteral("x-query-virtio-status");
    const QList<Case> cases{
        {"balloon and driver", true, true, SaveStart::mayRunBriefly,
         {QStringLiteral("query-migrate"), QStringLiteral("query-status"), query, QStringLiteral("cont"), QStringLiteral("migrate")}},
        {"balloon and driver, paused by its user", true, true, SaveStart::keepPaused,
         {QStringLiteral("query-migrate"), QStringLiteral("query-status"), QStringLiteral("migrate")}},
        {"balloon, firmware only", true, false, SaveStart::mayRunBriefly,
         {QStringLiteral("query-migrate"), QStringLiteral("query-status"), query, QStringLiteral("migrate")}},
        {"no balloon", false, false, SaveStart::mayRunBriefly, {QStringLiteral("query-migrate"), QStringLiteral("query-status"), QStringLiteral("migrate")}},
    };
    for (const Case &example : cases) {
        SCOPED_TRACE(example.name);
        if (example.driver)
            qputenv("FAKE_QEMU_BALLOON_DRIVER", "1");
        else
            qunsetenv("FAKE_QEMU_BALLOON_DRIVER");
        QemuVirtualMachine &machine = pausedMachine(example.balloon);
        const QString stateFile = path(QStringLiteral("MachineState.bin"));
        TaskRunner::run(machine.saveMachineStateTo(stateFile, example.start));
        EXPECT_EQ(takeCommands(), example.commands);
        EXPECT_EQ(machine.state(), State::paused);
        EXPECT_TRUE(QFile::exists(stateFile));
        TaskRunner::run(machine.stop());
    }
}

TEST_F(QemuMachineSaveTest, AGuestThatRanForAFailedSaveIsPausedAgain)
{
    qputenv("FAKE_QEMU_MIGRATION", "failed");
    qputenv("FAKE_QEMU_BALLOON_DRIVER", "1");
    QemuVirtualMachine &machine = pausedMachine(true);
    EXPECT_THROW(TaskRunner::run(machine.saveMachineStateTo(path(QStringLiteral("MachineState.bin")), SaveStart::mayRunBriefly)), VirtualizationError);
    const QStringList commands = takeCommands();
    ASSERT_TRUE(commands.contains(QStringLiteral("migrate")));
    // QEMU lets the guest run on after a failed migration; the machine that says it is paused must be.
    EXPECT_EQ(commands.last(), QStringLiteral("stop")) << commands.join(QLatin1Char(' ')).toStdString();
    EXPECT_EQ(machine.state(), State::paused);
    EXPECT_FALSE(QFile::exists(path(QStringLiteral("MachineState.bin"))));
    TaskRunner::run(machine.stop());
}

} // namespace
