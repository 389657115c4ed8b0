// SPDX-License-Identifier: MIT
#include "QemuVirtualMachine.h"

#include "FileMeasurements.h"
#include "FirmwareGuestFolder.h"
#include "QtPrinters.h"
#include "TaskRunner.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <memory>
#include <optional>
#include <unistd.h>

using namespace std::chrono_literals;

/*
 * These tests run the real QEMU with the AArch64 EFI firmware and no guest
 * system: the firmware finds nothing to boot on the empty disk and settles in
 * its shell, which is enough to drive every operation. Under tcg emulation
 * the firmware needs about ten seconds to reach its shell.
 */
namespace {

using State = VirtualMachine::State;
constexpr quint64 gibibyte = quint64(1) << 30;

class QemuVirtualMachineTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (const auto missing = FirmwareGuestFolder::missingTools(m_profile))
            GTEST_SKIP() << *missing;
        ASSERT_TRUE(m_folder.prepare(m_profile, qint64(8 * gibibyte)));
        ASSERT_TRUE(QDir().mkpath(bundle(QStringLiteral("SavedState"))));
    }

    QString path(const QString &relative) const { return m_folder.path(relative); }
    QString bundle(const QString &relative) const { return m_folder.bundle(relative); }
    QString console() const { return bundle(QStringLiteral("Logs/console.log")); }
    QString stateFile() const { return bundle(QStringLiteral("SavedState/MachineState.bin")); }

    /// A small machine: generic platform, EFI, 2 CPUs, 1 GiB, an empty 8 GiB disk, NAT and a console.
    VirtualMachineConfiguration configuration() const
    {
        VirtualMachineConfiguration configuration;
        configuration.bootLoader = EFIBootLoader{EFIVariableStore(bundle(QStringLiteral("EFIVariableStore.bin")))};
        configuration.cpuCount = 2;
        configuration.memorySize = gibibyte;
        configuration.storageDevices << StorageDeviceConfiguration{StorageDeviceConfiguration::Kind::virtioBlock, {bundle(QStringLiteral("Disk.img"))}};
        configuration.networkDevices << NetworkDeviceConfiguration{NATNetworkDeviceAttachment{}, std::nullopt};
        configuration.entropyDevices << EntropyDeviceConfiguration{};
        configuration.serialPorts << SerialPortConfiguration{console()};
        return configuration;
    }

    /// configuration() with the bundle's automation folder shared as the application shares it; none where folders cannot be shared here.
    std::optional<VirtualMachineConfiguration> sharingConfiguration() const
    {
        if (m_profile.virtiofsdProgram.isEmpty() || m_profile.unshareProgram.isEmpty()
            || QProcess::execute(m_profile.unshareProgram, {QStringLiteral("-Urm"), QStringLiteral("true")}) != 0)
            return std::nullopt;
        QDir().mkpath(path(QStringLiteral("Guest.vm/Automation")));
        VirtualMachineConfiguration sharing = configuration();
        MultipleDirectoryShare share;
        share.insert(QStringLiteral("KestrumAutomation"), {bundle(QStringLiteral("Automation")), false});
        sharing.directorySharingDevices << VirtioFileSystemDeviceConfiguration{QStringLiteral("duvuzodovevav-shared"), share};
        return sharing;
    }

    /// The machine lives in the fixture, so a failing test still kills its QEMU.
    QemuVirtualMachine &makeMachine(const VirtualMachineConfiguration &configuration)
    {
        m_machine = std::make_unique<QemuVirtualMachine>(configuration, m_profile, bundle(QStringLiteral("Logs")));
        QObject::connect(m_machine.get(), &VirtualMachine::guestDidStop, [this] { events << QStringLiteral("guest stopped"); });
        QObject::connect(m_machine.get(), &VirtualMachine::didStopWithError,
                         [this](const VirtualizationError &error) { events << QStringLiteral("error: ") + error.localizedDescription(); });
        return *m_machine;
    }

    /// The console text without terminal escapes.
    QString consoleText() const
    {
        QFile file(console());
        if (!file.open(QIODevice::ReadOnly))
            return {};
        static const QRegularExpression escapes(QStringLiteral("\x1b\\[[0-9;=?]*[A-Za-z]"));
        return QString::fromUtf8(file.readAll()).remove(escapes);
    }

    static bool waitUntil(const std::function<bool()> &condition, std::chrono::milliseconds timeout)
    {
        const QDeadlineTimer deadline(timeout);
        while (!condition()) {
            if (deadline.hasExpired())
                return false;
            QTest::qWait(50);
        }
        return true;
    }

    bool waitForConsole(const QString &text, std::chrono::milliseconds timeout = 90s) const
    {
        return waitUntil([&] { return consoleText().contains(text); }, timeout);
    }

    QStringList runtimeFolders() const { return QDir(m_profile.runtimeDirectory).entryList(QDir::Dirs | QDir::NoDotAndDotDot); }

    /// An executable shell script in the test folder with `body` after its first line; its path.
    QString standIn(const QString &name, const QString &body) const
    {
        const QString file = path(name);
        QFile script(file);
        if (!script.open(QIODevice::WriteOnly))
            return {};
        script.write("#!/bin/sh\n" + body.toUtf8());
        script.close();
        script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        return file;
    }

    HostProfile m_profile = HostProfile::detect();
    FirmwareGuestFolder m_folder;
    std::unique_ptr<QemuVirtualMachine> m_machine;
    QStringList events;
};

TEST_F(QemuVirtualMachineTest, StartsPausesSavesStopsAndRestoresAMachine)
{
    QemuVirtualMachine &machine = makeMachine(configuration());
    TaskRunner::run(machine.start(), 60s);
    EXPECT_EQ(machine.state(), State::running);
    ASSERT_TRUE(waitForConsole(QStringLiteral("UEFI firmware"))) << consoleText().toStdString();
    EXPECT_EQ(runtimeFolders().size(), 1);

    TaskRunner::run(machine.pause());
    EXPECT_EQ(machine.state(), State::paused);
    TaskRunner::run(machine.resume());
    EXPECT_EQ(machine.state(), State::running);

    TaskRunner::run(machine.pause());
    TaskRunner::run(machine.saveMachineStateTo(stateFile(), VirtualMachine::SaveStart::keepPaused), 120s);
    EXPECT_EQ(machine.state(), State::paused);
    EXPECT_GT(QFileInfo(stateFile()).size(), 0);
    EXPECT_EQ(QDir(bundle(QStringLiteral("SavedState"))).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("MachineState.bin")});

    // The saved machine runs on: the firmware goes on to its shell.
    TaskRunner::run(machine.resume());
    EXPECT_EQ(machine.state(), State::running);
    ASSERT_TRUE(waitForConsole(QStringLiteral("Shell>"))) << consoleText().toStdString();
    TaskRunner::run(machine.stop());
    EXPECT_EQ(machine.state(), State::stopped);
    EXPECT_EQ(machine.processId(), 0);
    EXPECT_TRUE(runtimeFolders().isEmpty()) << "sockets and pid file were left behind";

    TaskRunner::run(machine.restoreMachineStateFrom(stateFile()), 120s);
    EXPECT_EQ(machine.state(), State::paused);
    EXPECT_GT(machine.processId(), 0);
    TaskRunner::run(machine.resume());
    EXPECT_EQ(machine.state(), State::running);
    TaskRunner::run(machine.stop());
    EXPECT_EQ(machine.state(), State::stopped);
    EXPECT_TRUE(events.isEmpty()) << events.join(QLatin1Char('\n')).toStdString();

    QFile log(bundle(QStringLiteral("Logs/qemu.log")));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QByteArray logged = log.readAll();
    EXPECT_EQ(logged.count("qemu-system-aarch64 -nodefaults"), 2) << logged.toStdString();
    EXPECT_TRUE(logged.contains("-incoming defer"));
}

TEST_F(QemuVirtualMachineTest, ShuttingDownFromTheFirmwareShellIsAGuestStop)
{
    QemuVirtualMachine &machine = makeMachine(configuration());
    TaskRunner::run(machine.start(), 60s);
    ASSERT_TRUE(waitForConsole(QStringLiteral("Shell>"))) << consoleText().toStdString();

    QLocalSocket serial;
    serial.connectToServer(machine.serialConsoleSocketPath());
    ASSERT_TRUE(serial.waitForConnected(5000)) << serial.errorString().toStdString();
    serial.write("reset -s\r");
    ASSERT_TRUE(serial.waitForBytesWritten(5000));

    EXPECT_TRUE(waitUntil([&] { return !events.isEmpty(); }, 30s));
    EXPECT_EQ(events, QStringList{QStringLiteral("guest stopped")});
    EXPECT_EQ(machine.state(), State::stopped);
    EXPECT_TRUE(runtimeFolders().isEmpty());
}

TEST_F(QemuVirtualMachineTest, AQemuThatDiesIsAStopWithError)
{
    QemuVirtualMachine &machine = makeMachine(configuration());
    TaskRunner::run(machine.start(), 60s);
    ASSERT_TRUE(waitForConsole(QStringLiteral("UEFI firmware")));

    ASSERT_EQ(::kill(pid_t(machine.processId()), SIGKILL), 0);
    EXPECT_TRUE(waitUntil([&] { return !events.isEmpty(); }, 30s));
    ASSERT_EQ(events.size(), 1);
    EXPECT_TRUE(events.first().startsWith(QStringLiteral("error: QEMU stopped unexpectedly (killed by a signal)"))) << events.first().toStdString();
    EXPECT_EQ(machine.state(), State::error);
    EXPECT_TRUE(machine.canStart());
    EXPECT_TRUE(runtimeFolders().isEmpty());
}

TEST_F(QemuVirtualMachineTest, ASaveIsRefusedBeforeAnythingIsWrittenWhenQemuOrADaemonCannotMigrate)
{
    const std::optional<VirtualMachineConfiguration> sharing = sharingConfiguration();
    if (!sharing)
        GTEST_SKIP() << "virtiofsd (built by scripts/dev.sh) or unshare (util-linux) is missing, or this host does not permit `unshare -Urm`";

    // Stand-ins: a QEMU with a device that blocks migration (ivshmem in peer mode), and a
    // daemon that serves the folder but, like QEMU 7.2's, lists no migration among its features.
    const HostProfile real = m_profile;
    const QString blockedQemu = standIn(QStringLiteral("qemu-with-blocker"),
                                        QStringLiteral("exec '%1' \"$@\" -object memory-backend-ram,id=blocker,size=1M,share=on "
                                                       "-device ivshmem-plain,memdev=blocker,master=off\n").arg(real.qemuProgram));
    const QString oldDaemon = standIn(QStringLiteral("virtiofsd-without-migration"),
                                      QStringLiteral("if [ \"$1\" = --print-capabilities ]; then echo '{\"type\":\"fs\"}'; exit 0; fi\n"
                                                     "exec '%1' \"$@\"\n").arg(real.virtiofsdProgram));
    const struct {
        QString qemu;
        QString daemon;
        QString refusal;
    } cases[] = {
        {blockedQemu, real.virtiofsdProgram, QStringLiteral("QEMU cannot save this virtual machine's state: Migration is disabled")},
        {real.qemuProgram, oldDaemon, QStringLiteral("The shared-folder server %1 cannot hand its state over").arg(oldDaemon)},
    };
    for (const auto &[qemu, daemon, refusal] : cases) {
        SCOPED_TRACE(refusal.toStdString());
        m_profile.qemuProgram = qemu;
        m_profile.virtiofsdProgram = daemon;
        QemuVirtualMachine &machine = makeMachine(*sharing);
        TaskRunner::run(machine.start(), 60s);
        TaskRunner::run(machine.pause());
        try {
            TaskRunner::run(machine.saveMachineStateTo(stateFile(), VirtualMachine::SaveStart::keepPaused));
            ADD_FAILURE() << "a machine that cannot migrate was saved";
        } catch (const VirtualizationError &error) {
            EXPECT_EQ(error.code(), VirtualizationError::Code::notSupported);
            EXPECT_TRUE(error.localizedDescription().startsWith(refusal)) << error.what();
        }
        EXPECT_EQ(machine.state(), State::paused);
        EXPECT_TRUE(QDir(bundle(QStringLiteral("SavedState"))).entryList(QDir::Files | QDir::Hidden).isEmpty());
        // The machine runs on as if nothing had been asked.
        TaskRunner::run(machine.resume());
        EXPECT_EQ(machine.state(), State::running);
        TaskRunner::run(machine.stop());
    }
    EXPECT_TRUE(runtimeFolders().isEmpty());
    EXPECT_TRUE(events.isEmpty()) << events.join(QLatin1Char('\n')).toStdString();
}

/// The programs named `name` that this test process started itself.
QList<pid_t> ownChildrenNamed(const QByteArray &name)
{
    QList<pid_t> found;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs)) {
        bool isProcess = false;
        const pid_t pid = pid_t(entry.toInt(&isProcess));
        QFile stat(QStringLiteral("/proc/%1/stat").arg(entry));
        if (!isProcess || !stat.open(QIODevice::ReadOnly))
            continue;
        const QByteArray line = stat.readAll();
        const qsizetype open = line.indexOf('(');
        const qsizetype close = line.lastIndexOf(')');
        const QList<QByteArray> fields = line.mid(close + 2).split(' ');
        if (open >= 0 && close > open && line.mid(open + 1, close - open - 1) == name && fields.size() > 1 && fields[1].toInt() == ::getpid())
            found << pid;
    }
    return found;
}

TEST_F(QemuVirtualMachineTest, ASharedFolderServerThatEndsIsReportedAndTheMachineRefusesToSaveAtOnce)
{
    const std::optional<VirtualMachineConfiguration> sharing = sharingConfiguration();
    if (!sharing)
        GTEST_SKIP() << "virtiofsd (built by scripts/dev.sh) or unshare (util-linux) is missing, or this host does not permit `unshare -Urm`";
    QemuVirtualMachine &machine = makeMachine(*sharing);
    QObject::connect(&machine, &VirtualMachine::directorySharingDeviceStopped, [this](qsizetype index, const VirtualizationError &error) {
        events << QStringLiteral("share %1 stopped: ").arg(index) + error.localizedDescription();
    });
    TaskRunner::run(machine.start(), 60s);

    // A failed save says why, without a sentence of its own before it: whoever shows it puts theirs first.
    TaskRunner::run(machine.pause());
    try {
        TaskRunner::run(machine.saveMachineStateTo(path(QStringLiteral("Missing/MachineState.bin")), VirtualMachine::SaveStart::keepPaused));
        ADD_FAILURE() << "a state was saved into a folder that does not exist";
    } catch (const VirtualizationError &error) {
        EXPECT_EQ(error.code(), VirtualizationError::Code::saveFailed);
        EXPECT_FALSE(error.localizedDescription().contains(QStringLiteral("could not be saved"))) << error.what();
        EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("Missing"))) << error.what();
    }
    TaskRunner::run(machine.resume());

    const QList<pid_t> servers = ownChildrenNamed("virtiofsd");
    ASSERT_EQ(servers.size(), 1);
    ASSERT_EQ(::kill(servers.first(), SIGKILL), 0);
    EXPECT_TRUE(waitUntil([&] { return !events.isEmpty(); }, 30s));
    ASSERT_EQ(events.size(), 1) << events.join(QLatin1Char('\n')).toStdString();
    // A killed server says nothing as it ends; what it noted when it started is no part of the news.
    EXPECT_EQ(events.first(), QStringLiteral("share 0 stopped: The server of the shared folder \"duvuzodovevav-shared\" ended (killed by a signal)."));
    EXPECT_EQ(machine.state(), State::running) << "QEMU runs on without the share";

    try {
        TaskRunner::run(machine.validateSaveMachineStateSupport(), 5s);
        ADD_FAILURE() << "a machine whose share lost its server was offered a save";
    } catch (const VirtualizationError &error) {
        EXPECT_EQ(error.code(), VirtualizationError::Code::notSupported);
        EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("its state cannot be saved"))) << error.what();
    }
    TaskRunner::run(machine.stop());
    EXPECT_EQ(events.size(), 1) << "stopping the machine is no further news: " << events.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(runtimeFolders().isEmpty());
}

/// What the largest memfd QEMU holds takes on the host: its shared guest memory.
quint64 sharedMemoryBytes(qint64 pid)
{
    quint64 largest = 0;
    for (const QFileInfo &entry : QDir(QStringLiteral("/proc/%1/fd").arg(pid)).entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot)) {
        struct stat status {
        };
        if (entry.symLinkTarget().startsWith(QLatin1String("/memfd:")) && ::stat(QFile::encodeName(entry.filePath()).constData(), &status) == 0)
            largest = std::max(largest, quint64(status.st_blocks) * 512);
    }
    return largest;
}

// The firmware touches a small part of the guest's memory; a save that read the rest would make the host allocate all of it.
TEST_F(QemuVirtualMachineTest, AMachineWithASharedFolderSavesOnlyTheMemoryItsGuestUsedAndRunsOnFromIt)
{
    const std::optional<VirtualMachineConfiguration> sharing = sharingConfiguration();
    if (!sharing)
        GTEST_SKIP() << "virtiofsd (built by scripts/dev.sh) or unshare (util-linux) is missing, or this host does not permit `unshare -Urm`";
    QemuVirtualMachine &machine = makeMachine(*sharing);
    TaskRunner::run(machine.start(), 60s);
    ASSERT_TRUE(waitForConsole(QStringLiteral("UEFI firmware"))) << consoleText().toStdString();
    TaskRunner::run(machine.pause());
    const quint64 before = sharedMemoryBytes(machine.processId());
    ASSERT_GT(before, 0u) << "the guest's memory is shared";
    ASSERT_LT(before, gibibyte / 2);

    TaskRunner::run(machine.saveMachineStateTo(stateFile(), VirtualMachine::SaveStart::mayRunBriefly), 120s);
    EXPECT_LT(sharedMemoryBytes(machine.processId()), before + 64 * (quint64(1) << 20)) << "before the save: " << before;
    EXPECT_LT(FileMeasurements::allocatedSize(stateFile()), before + 64 * (quint64(1) << 20));
    TaskRunner::run(machine.stop());

    // The restored firmware runs on from the memory it had: it reaches its shell.
    TaskRunner::run(machine.restoreMachineStateFrom(stateFile()), 120s);
    EXPECT_LT(sharedMemoryBytes(machine.processId()), before + 64 * (quint64(1) << 20));
    TaskRunner::run(machine.resume());
    ASSERT_TRUE(waitForConsole(QStringLiteral("Shell>"))) << consoleText().toStdString();
    EXPECT_EQ(machine.state(), State::running);
    TaskRunner::run(machine.stop());
    EXPECT_TRUE(events.isEmpty()) << events.join(QLatin1Char('\n')).toStdString();
}

TEST_F(QemuVirtualMachineTest, AQemuThatRefusesToStartIsReportedWithWhatItSaid)
{
    VirtualMachineConfiguration bridged = configuration();
    bridged.networkDevices << NetworkDeviceConfiguration{BridgedNetworkDeviceAttachment{QStringLiteral("zovozu-none0")}, std::nullopt};
    QemuVirtualMachine &machine = makeMachine(bridged);
    try {
        TaskRunner::run(machine.start(), 60s);
        ADD_FAILURE() << "QEMU started on a bridge that does not exist";
    } catch (const VirtualizationError &error) {
        EXPECT_EQ(error.code(), VirtualizationError::Code::internalError);
        EXPECT_TRUE(error.localizedDescription().startsWith(QStringLiteral("QEMU could not start the virtual machine: "))) << error.what();
        EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("bridge"))) << error.what();
    }
    EXPECT_EQ(machine.state(), State::stopped);
    EXPECT_EQ(machine.processId(), 0);
    EXPECT_TRUE(runtimeFolders().isEmpty());
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(QemuVirtualMachineTest, AMissingROMIsNamedWithThePackageThatHoldsIt)
{
    // A stand-in for a QEMU whose option ROMs were never installed.
    const QString standIn = path(QStringLiteral("qemu-without-roms"));
    QFile script(standIn);
    ASSERT_TRUE(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\necho 'qemu-system-aarch64: -device virtio-net-pci: failed to find romfile \"efi-virtio.rom\"' >&2\nexit 1\n");
    script.close();
    ASSERT_TRUE(script.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner));
    m_profile.qemuProgram = standIn;

    QemuVirtualMachine &machine = makeMachine(configuration());
    try {
        TaskRunner::run(machine.start(), 60s);
        ADD_FAILURE() << "a QEMU without its ROM started";
    } catch (const VirtualizationError &error) {
        EXPECT_TRUE(error.localizedDescription().startsWith(
            QStringLiteral("QEMU could not start the virtual machine: QEMU cannot find the file efi-virtio.rom from the package ipxe-qemu. "
                           "Install it with: sudo apt install ipxe-qemu\n")))
            << error.what();
        EXPECT_TRUE(error.localizedDescription().contains(QStringLiteral("failed to find romfile"))) << error.what();
    }
    EXPECT_EQ(machine.state(), State::stopped);
}

TEST_F(QemuVirtualMachineTest, ADamagedStateFileFailsTheRestoreAndLeavesTheMachineStopped)
{
    QFile damaged(stateFile());
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(4096, 'x'));
    damaged.close();
    QemuVirtualMachine &machine = makeMachine(configuration());
    try {
        TaskRunner::run(machine.restoreMachineStateFrom(stateFile()), 60s);
        ADD_FAILURE() << "a damaged state was restored";
    } catch (const VirtualizationError &error) {
        EXPECT_EQ(error.code(), VirtualizationError::Code::savedStateRejected) << "QEMU itself found the state unusable: " << error.what();
        EXPECT_TRUE(error.localizedDescription().startsWith(QStringLiteral("QEMU could not read the saved state: "))) << error.what();
    }
    EXPECT_EQ(machine.state(), State::stopped);
    EXPECT_EQ(machine.processId(), 0);
    EXPECT_TRUE(runtimeFolders().isEmpty());
    EXPECT_TRUE(events.isEmpty());
}

TEST_F(QemuVirtualMachineTest, WithoutQemuStartingFailsWithTheInstallAdvice)
{
    m_profile.qemuProgram.clear();
    QemuVirtualMachine &machine = makeMachine(configuration());
    try {
        TaskRunner::run(machine.start());
        ADD_FAILURE() << "started without QEMU";
    } catch (const VirtualizationError &error) {
        EXPECT_EQ(error.code(), VirtualizationError::Code::notSupported);
        EXPECT_EQ(error.localizedDescription(), HostProfile::qemuMissingAdvice());
    }
    EXPECT_EQ(machine.state(), State::stopped);
}

} // namespace
