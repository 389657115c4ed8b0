// SPDX-License-Identifier: MIT
#include "VirtualMachineCoordinator.h"

#include "CoordinatorIntegrationFixture.h"
#include "DiskImageService.h"
#include "FileMeasurements.h"
#include "HostNetworkService.h"
#include "HostProfile.h"
#include "MachineIdentityService.h"
#include "QemuVirtualMachineFactory.h"
#include "RuntimeIntegrationHelpers.h"
#include "TaskOutcome.h"
#include "TaskWaiter.h"
#include "VirtualMachineError.h"
#include "VirtualMachineSessionTable.h"
#include "VMBundleOperations.h"
#include "VMCloneService.h"
#include "VMConfigurationBuilder.h"
#include "VMDiskAnalyticsService.h"
#include "VMExportService.h"
#include "VMGuestAutomationService.h"
#include "VMLinuxGuestToolsService.h"
#include "VMLinuxService.h"
#include "VMRuntimeService.h"
#include "VMSaveRestoreService.h"
#include "VMSharedFolderService.h"
#include "VMSnapshotService.h"

#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTest>

#include <exception>
#include <memory>

using namespace std::chrono_literals;

/*
 * Starts a Linux bundle on the real QEMU of this host through the
 * coordinator, which shares the VM's automation folder through virtiofsd,
 * and stops it the way the views do: the runtime service stops the machine,
 * the coordinator stores its state. The firmware finds nothing on the empty
 * disk and waits, which is all a start and a stop need.
 */
namespace {

constexpr quint64 mebibyte = quint64(1) << 20;
constexpr quint64 gibibyte = quint64(1) << 30;

using RuntimeIntegration::describe;
using RuntimeIntegration::keep;

class VirtualMachineCoordinatorIntegrationTest : public CoordinatorIntegrationTest
{
protected:
    void SetUp() override
    {
        HostProfile profile = HostProfile::detect();
        if (profile.qemuProgram.isEmpty() || profile.firmwareCodePath.isEmpty() || profile.firmwareVariablesTemplatePath.isEmpty())
            GTEST_SKIP() << "QEMU or its AArch64 firmware is not installed (qemu-system-arm, qemu-efi-aarch64)";
        if (profile.virtiofsdProgram.isEmpty() || profile.unshareProgram.isEmpty())
            GTEST_SKIP() << "virtiofsd (built by scripts/dev.sh) or unshare (util-linux) is not installed, so the automation folder cannot be shared";
        if (QProcess::execute(profile.unshareProgram, {QStringLiteral("-Urm"), QStringLiteral("true")}) != 0)
            GTEST_SKIP() << "this host does not permit `unshare -Urm`, so the automation folder every started VM shares cannot be served";
        startServices(profile);

        addLinuxBundle(QStringLiteral("Debian"), VMHardwareProfile{1, 512 * mebibyte, 32 * gibibyte, 1280, 800, 80},
                       [this](const QString &disk) { m_disks.createDisk(disk, 32 * gibibyte); });
    }

    /// The run state as Metadata.json on disk holds it.
    QString storedRuntimeState() const
    {
        return QJsonDocument::fromJson(read(m_bundle.layout().metadataURL()).toUtf8()).object().value(QStringLiteral("runtimeState")).toString();
    }

    static void run(QCoro::Task<> task)
    {
        const std::exception_ptr failure = TaskWaiter::failureOf(std::move(task), 120s);
        ASSERT_FALSE(failure) << describe(failure).toStdString();
    }

};

TEST_F(VirtualMachineCoordinatorIntegrationTest, StoresRunningAfterAStartAndStoppedAfterAStop)
{
    ASSERT_EQ(storedRuntimeState(), QStringLiteral("stopped"));

    std::shared_ptr<VirtualMachineSession> session;
    run(keep(m_coordinator->start(m_bundle.id(), false), session));
    ASSERT_TRUE(session);
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::running);
    EXPECT_FALSE(session->configuration().directorySharingDevices.isEmpty()) << "the automation folder is shared";
    EXPECT_EQ(storedRuntimeState(), QStringLiteral("running"));

    run(m_runtime->stop(*session));
    m_coordinator->finalizeStoppedSession(*session);
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::stopped);
    EXPECT_EQ(storedRuntimeState(), QStringLiteral("stopped"));
    EXPECT_EQ(session->bundle(), *store().bundle(m_bundle.id()));
    EXPECT_TRUE(QDir(m_home.path() + QStringLiteral("/run")).entryList(QDir::Dirs | QDir::NoDotAndDotDot).isEmpty())
        << "QEMU and virtiofsd left their runtime folder behind";
}

TEST_F(VirtualMachineCoordinatorIntegrationTest, AReloadKeepsARunningVMRunningAndItsSnapshotIsTakenWhilePaused)
{
    const QByteArray pattern(1 << 20, 'Z');
    const qint64 farOffset = qint64(16 * gibibyte);
    {
        QFile disk(m_bundle.layout().diskImageURL());
        ASSERT_TRUE(disk.open(QIODevice::ReadWrite));
        disk.write(pattern);
        ASSERT_TRUE(disk.seek(farOffset));
        disk.write(pattern);
    }
    std::shared_ptr<VirtualMachineSession> session;
    run(keep(m_coordinator->start(m_bundle.id(), false), session));
    ASSERT_TRUE(session);

    run(store().reload());
    EXPECT_EQ(store().bundle(m_bundle.id())->metadata.runtimeState, VMRuntimeState::running);
    EXPECT_EQ(m_coordinator->effectiveRuntimeState(m_bundle.id()), VMRuntimeState::running);

    VMSnapshotService snapshots(m_disks, m_logging);
    VMExportService exports(m_logging, store());
    const VMDiskAnalyticsService analytics(m_disks, m_logging);
    VMBundleOperations operations({*m_coordinator, store(), *m_runtime, snapshots, exports, analytics});
    const TaskOutcome<VMSnapshot> taken = waitForOutcome(operations.createSnapshot(m_bundle.id(), QStringLiteral("Live"), QString(), false));
    ASSERT_FALSE(taken.failure) << describe(taken.failure).toStdString();
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::running) << "the VM runs on after the copy";
    EXPECT_EQ(session->virtualMachine().state(), VirtualMachine::State::running);

    run(m_runtime->pause(*session));
    QFile source(m_bundle.layout().diskImageURL());
    QFile copy(m_bundle.bundleURL + QLatin1Char('/') + taken.get().diskRelativePath);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly));
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.size(), source.size());
    for (const qint64 offset : {qint64(0), farOffset, farOffset - qint64(pattern.size())}) {
        ASSERT_TRUE(source.seek(offset));
        ASSERT_TRUE(copy.seek(offset));
        EXPECT_EQ(copy.read(pattern.size()), source.read(pattern.size())) << offset;
    }
    EXPECT_LT(FileMeasurements::allocatedSize(copy.fileName()), quint64(64) << 20) << "the snapshot stays sparse";
}

TEST_F(VirtualMachineCoordinatorIntegrationTest, AVMThatSharesItsAutomationFolderSavesAndResumesPausedThenRuns)
{
    std::shared_ptr<VirtualMachineSession> session;
    run(keep(m_coordinator->start(m_bundle.id(), false), session));
    ASSERT_TRUE(session);
    ASSERT_FALSE(session->configuration().directorySharingDevices.isEmpty()) << "the automation folder is shared";

    run(m_coordinator->recordSavedState(m_bundle.id()));
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::paused);
    const VMBundle saved = *store().bundle(m_bundle.id());
    ASSERT_TRUE(saved.metadata.savedState);
    EXPECT_TRUE(saved.metadata.hasSavedState);
    EXPECT_EQ(storedRuntimeState(), QStringLiteral("paused"));
    const QString stateFile = m_bundle.layout().savedStateFileURL();
    // The file is as long as the guest's memory, but only what the guest used takes space; that is the size recorded.
    EXPECT_GE(FileMeasurements::fileSize(stateFile), 512 * mebibyte);
    // What the file system counts may still grow by a block or so of its own bookkeeping while the data is written back.
    const double recorded = double(saved.metadata.savedState->fileSizeBytes.value_or(0));
    EXPECT_NEAR(recorded, double(FileMeasurements::allocatedSize(stateFile)), 256 * 1024);
    EXPECT_LT(saved.metadata.savedState->fileSizeBytes.value_or(0), FileMeasurements::fileSize(stateFile) / 2);

    run(m_runtime->stop(*session));
    m_coordinator->finalizeStoppedSession(*session);
    EXPECT_TRUE(store().bundle(m_bundle.id())->metadata.hasSavedState) << "stopping a saved VM keeps its state";

    std::shared_ptr<VirtualMachineSession> resumed;
    run(keep(m_coordinator->start(m_bundle.id(), true), resumed));
    ASSERT_TRUE(resumed);
    EXPECT_EQ(resumed->runtimeState(), VMRuntimeState::paused);
    EXPECT_EQ(resumed->virtualMachine().state(), VirtualMachine::State::paused);
    EXPECT_FALSE(store().bundle(m_bundle.id())->metadata.hasSavedState) << "a saved state is used once";
    EXPECT_FALSE(QFileInfo::exists(stateFile));

    run(m_runtime->resume(*resumed));
    m_coordinator->finalizeStoppedSession(*resumed);
    EXPECT_EQ(resumed->runtimeState(), VMRuntimeState::running);
    EXPECT_EQ(storedRuntimeState(), QStringLiteral("running"));
    QTest::qWait(1000);
    EXPECT_EQ(resumed->virtualMachine().state(), VirtualMachine::State::running) << "the restored machine runs on";
    run(m_runtime->stop(*resumed));
    EXPECT_EQ(resumed->runtimeState(), VMRuntimeState::stopped);
}

} // namespace
