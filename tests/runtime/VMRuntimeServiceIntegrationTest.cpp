// SPDX-License-Identifier: MIT
#include "VMRuntimeService.h"

#include "FileBookmarkService.h"
#include "FileMeasurements.h"
#include "HostNetworkService.h"
#include "HostProfile.h"
#include "HostSecurityScopedAccess.h"
#include "LoggingService.h"
#include "QemuVirtualMachineFactory.h"
#include "QtPrinters.h"
#include "RuntimeIntegrationHelpers.h"
#include "TaskWaiter.h"
#include "TemporaryHome.h"
#include "TestBundle.h"
#include "VMConfigurationBuilder.h"
#include "VMLinuxService.h"
#include "VMSaveRestoreService.h"
#include "VMSharedFolderService.h"
#include "VirtualMachineError.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <exception>
#include <memory>
#include <optional>

using namespace std::chrono_literals;

/*
 * Runs a Linux bundle on the real QEMU of this host through the runtime
 * service, with the AArch64 EFI firmware and an empty disk: the firmware
 * finds nothing to boot and waits, which is all it takes to start, pause,
 * save, stop and restore the machine. The sessions are members, so a failing
 * test still ends every QEMU it started.
 */
namespace {

constexpr quint64 mebibyte = quint64(1) << 20;

ino_t inodeOf(const QString &path)
{
    struct stat status {
    };
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

using RuntimeIntegration::describe;

class VMRuntimeServiceIntegrationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        HostProfile profile = HostProfile::detect();
        if (profile.qemuProgram.isEmpty() || profile.firmwareCodePath.isEmpty() || profile.firmwareVariablesTemplatePath.isEmpty())
            GTEST_SKIP() << "QEMU or its AArch64 firmware is not installed (qemu-system-arm, qemu-efi-aarch64)";
        profile.runtimeDirectory = m_home.path() + QStringLiteral("/run");
        m_machines = std::make_unique<QemuVirtualMachineFactory>(profile);
        m_runtime = std::make_unique<VMRuntimeService>(m_builder, m_sharedFolders, m_linux, m_logging, *m_machines);

        m_bundle = TestBundle(m_home.path() + QStringLiteral("/Debian.vm"))
                       .guest(VMGuestOSType::linux)
                       .installed()
                       .hardware({1, 512 * mebibyte, 1ull << 30, 1280, 800, 80})
                       .media({false, false});
        ASSERT_TRUE(QDir().mkpath(m_bundle.bundleURL));
        QFile disk(m_bundle.layout().diskImageURL());
        ASSERT_TRUE(disk.open(QIODevice::WriteOnly));
        ASSERT_TRUE(disk.resize(qint64(1) << 30));
    }

    void TearDown() override
    {
        // Ends any QEMU a failed test left running before its folders go.
        m_sessions.clear();
    }

    VirtualMachineSession &makeSession()
    {
        m_sessions.push_back(m_runtime->makeSession(m_bundle));
        return *m_sessions.back();
    }

    QString consoleText() const
    {
        QFile file(m_bundle.bundleURL + QStringLiteral("/Logs/console.log"));
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    }

    bool waitForConsole(const QString &text, std::chrono::milliseconds timeout) const
    {
        const QDeadlineTimer deadline(timeout);
        while (!consoleText().contains(text)) {
            if (deadline.hasExpired())
                return false;
            QTest::qWait(100);
        }
        return true;
    }

    static void run(QCoro::Task<> task, std::chrono::milliseconds timeout = 120s)
    {
        const std::exception_ptr failure = TaskWaiter::failureOf(std::move(task), timeout);
        ASSERT_FALSE(failure) << describe(failure).toStdString();
    }

    static QCoro::Task<> keep(QCoro::Task<VMSavedState> saving, std::optional<VMSavedState> &saved) { saved = co_await saving; }

    TemporaryHome m_home;
    const LoggingService m_logging{};
    FileBookmarkService m_bookmarks;
    HostSecurityScopedAccess m_access;
    const VMSharedFolderService m_sharedFolders{m_bookmarks, m_access};
    const HostNetworkService m_network;
    const VMConfigurationBuilder m_builder{m_sharedFolders, m_network, m_access};
    const VMLinuxService m_linux{m_logging, m_sharedFolders, m_network, m_access};
    const VMSaveRestoreService m_saveRestore{m_logging};
    std::unique_ptr<QemuVirtualMachineFactory> m_machines;
    std::unique_ptr<VMRuntimeService> m_runtime;
    VMBundle m_bundle;
    std::vector<std::unique_ptr<VirtualMachineSession>> m_sessions;
};

TEST_F(VMRuntimeServiceIntegrationTest, StartsPausesSavesStopsAndResumesFromTheSavedState)
{
    VirtualMachineSession &first = makeSession();
    const QString variableStore = m_bundle.layout().efiVariableStoreURL();
    ASSERT_TRUE(QFileInfo(variableStore).isFile());
    const ino_t storeInode = inodeOf(variableStore);
    EXPECT_TRUE(first.configuration().directorySharingDevices.isEmpty());

    run(m_runtime->start(first, false));
    EXPECT_EQ(first.runtimeState(), VMRuntimeState::running);
    ASSERT_TRUE(waitForConsole(QStringLiteral("UEFI firmware"), 90s)) << consoleText().toStdString();

    run(m_runtime->pause(first));
    EXPECT_EQ(first.runtimeState(), VMRuntimeState::paused);
    std::optional<VMSavedState> saved;
    run(keep(m_saveRestore.saveState(first), saved), 180s);
    ASSERT_TRUE(saved);
    EXPECT_EQ(first.runtimeState(), VMRuntimeState::paused);
    EXPECT_EQ(saved->fileSizeBytes, FileMeasurements::allocatedSize(m_bundle.layout().savedStateFileURL()));
    EXPECT_GT(saved->fileSizeBytes.value_or(0), 0u);

    run(m_runtime->resume(first));
    EXPECT_EQ(first.runtimeState(), VMRuntimeState::running);
    run(m_runtime->stop(first));
    EXPECT_EQ(first.runtimeState(), VMRuntimeState::stopped);

    // The coordinator records the saved state; a new session restores it and stays paused.
    m_bundle.metadata.savedState = saved;
    m_bundle.metadata.hasSavedState = true;
    VirtualMachineSession &second = makeSession();
    EXPECT_EQ(inodeOf(variableStore), storeInode) << "the variable store was made again";
    run(m_runtime->start(second, true), 180s);
    EXPECT_EQ(second.runtimeState(), VMRuntimeState::paused);
    EXPECT_EQ(second.virtualMachine().state(), VirtualMachine::State::paused);
    run(m_runtime->stop(second));
    EXPECT_EQ(second.runtimeState(), VMRuntimeState::stopped);
    EXPECT_EQ(inodeOf(variableStore), storeInode);
    EXPECT_TRUE(QDir(m_home.path() + QStringLiteral("/run")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty());
}

} // namespace
