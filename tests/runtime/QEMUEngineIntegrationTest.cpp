// SPDX-License-Identifier: MIT
#include "QEMUEngine.h"

#include "HostProfile.h"
#include "JSONCoding.h"
#include "LoggingService.h"
#include "QEMUExecutor.h"
#include "QEMUExecutorRegistry.h"
#include "QtPrinters.h"
#include "TaskWaiter.h"
#include "TemporaryHome.h"
#include "TestBundle.h"
#include "VMWindowsConfiguration.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>

using namespace std::chrono_literals;

/*
 * Runs the real QEMU of this host through the engine, with swtpm and the
 * AArch64 EFI firmware and no guest system: the firmware finds nothing to
 * boot on the empty disk and waits, which is all a Windows machine needs to
 * show that it runs. The registry is a member, so a failing test still ends
 * QEMU and swtpm.
 */
namespace {

constexpr quint64 gibibyte = quint64(1) << 30;

bool processExists(qint64 pid)
{
    return ::kill(pid_t(pid), 0) == 0;
}

bool isSocket(const QString &path)
{
    struct stat status {
    };
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISSOCK(status.st_mode);
}

class QEMUEngineIntegrationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_profile = QEMUEngineProfile::forHost(HostProfile::detect());
        m_profile.runtimeDirectory = m_home.path() + QStringLiteral("/run");
        // A comma in the folder's name goes through every option that names a path.
        m_bundle = TestBundle(m_home.path() + QStringLiteral("/Windows, 11.vm"))
                       .named(QStringLiteral("Windows 11"))
                       .guest(VMGuestOSType::windows)
                       .cpus(2)
                       .memory(2 * gibibyte)
                       .disk(32 * gibibyte);
        const QEMUEngine engine(m_logging, m_profile);
        if (!engine.locateQEMUBinary() || !engine.locateTPMEmulator() || !engine.locateFirmware(m_bundle))
            GTEST_SKIP() << "QEMU, swtpm or the AArch64 firmware is not installed (qemu-system-arm, swtpm, qemu-efi-aarch64)";
        ASSERT_TRUE(QDir().mkpath(m_bundle.layout().logsDirectoryURL()));
        QFile disk(m_bundle.layout().diskImageURL());
        ASSERT_TRUE(disk.open(QIODevice::WriteOnly));
        ASSERT_TRUE(disk.resize(qint64(32 * gibibyte)));
        disk.close();
        VMWindowsConfiguration configuration;
        configuration.isoPath = QStringLiteral("WindowsInstall.iso");
        configuration.enableTPM = true;
        configuration.enableSecureBoot = true;
        configuration.useHypervisorAcceleration = true;
        QFile windowsConfig(m_bundle.layout().windowsConfigURL());
        ASSERT_TRUE(windowsConfig.open(QIODevice::WriteOnly));
        windowsConfig.write(sharedJSONEncoder().encode(configuration));
    }

    QString qemuLog() const
    {
        QFile log(m_bundle.layout().logsDirectoryURL() + QStringLiteral("/qemu.log"));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
    }

    TemporaryHome m_home;
    LoggingService m_logging;
    QEMUEngineProfile m_profile;
    VMBundle m_bundle;
    QEMUExecutorRegistry m_registry;
};

TEST_F(QEMUEngineIntegrationTest, AWindowsBundleRunsWithItsTPMUntilQEMUEnds)
{
    const QEMUEngine engine(m_logging, m_profile);
    std::unique_ptr<QEMUExecutor> made = engine.makeExecutor(m_bundle);
    ASSERT_TRUE(made->arguments().contains(QStringLiteral("tpm-tis-device,tpmdev=tpm0")));
    const QPointer<QEMUExecutor> executor = made.get();
    QSignalSpy changes(&m_registry, &QEMUExecutorRegistry::runningChanged);

    const std::exception_ptr failure = TaskWaiter::failureOf(m_registry.start(std::move(made)), 60s);
    if (failure) {
        try {
            std::rethrow_exception(failure);
        } catch (const std::exception &error) {
            FAIL() << error.what() << "\n" << qemuLog().toStdString();
        }
    }
    ASSERT_TRUE(m_registry.isRunning(m_bundle.id()));
    ASSERT_TRUE(executor);
    const qint64 qemu = executor->processIdentifier().value_or(0);
    const qint64 swtpm = executor->tpmEmulatorProcessIdentifier().value_or(0);
    ASSERT_GT(qemu, 0);
    ASSERT_GT(swtpm, 0);

    const QDeadlineTimer tenSeconds(10s);
    while (!tenSeconds.hasExpired()) {
        ASSERT_TRUE(executor && executor->runtimeState() == VMRuntimeState::running) << qemuLog().toStdString();
        ASSERT_TRUE(processExists(qemu) && processExists(swtpm)) << qemuLog().toStdString();
        QTest::qWait(250);
    }
    EXPECT_TRUE(m_registry.isRunning(m_bundle.id()));
    // QEMU has initialised the TPM through swtpm, which keeps its state in the bundle.
    EXPECT_TRUE(QFileInfo(m_bundle.bundleURL + QStringLiteral("/TPM/tpm2-00.permall")).isFile());
    EXPECT_TRUE(isSocket(m_bundle.layout().tpmSocketURL()));
    EXPECT_TRUE(isSocket(m_bundle.layout().qemuMonitorSocketURL()));
    const QString displaySocket = engine.runtimeFolder(m_bundle) + QStringLiteral("/vnc.sock");
    EXPECT_TRUE(isSocket(displaySocket));

    // The firmware has no OS to obey the power button, so Stop goes on to ask QEMU to quit through its monitor.
    ASSERT_FALSE(TaskWaiter::failureOf(executor->stop(2s), 30s));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !m_registry.isRunning(m_bundle.id()); }, 20000));
    EXPECT_FALSE(qemuLog().contains(QStringLiteral("terminating on signal"))) << "QEMU quit on its own: " << qemuLog().toStdString();
    ASSERT_EQ(changes.count(), 2);
    EXPECT_EQ(changes[0][1].toBool(), true);
    EXPECT_EQ(changes[1][1].toBool(), false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !processExists(swtpm); }, 5000));
    EXPECT_FALSE(QFileInfo::exists(engine.runtimeFolder(m_bundle)));
    EXPECT_TRUE(qemuLog().startsWith(QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyy-MM-dd"))));
}

} // namespace
