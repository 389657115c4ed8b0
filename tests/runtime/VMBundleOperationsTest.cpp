// SPDX-License-Identifier: MIT
#include "VMBundleOperations.h"

#include "BusyThreadPool.h"
#include "CoordinatorTestFixture.h"
#include "FileOperations.h"
#include "VMDiskAnalyticsService.h"
#include "VMExportService.h"
#include "VMSnapshotService.h"

#include <QFile>

namespace {

using namespace CoordinatorTesting;

class VMBundleOperationsTest : public VirtualMachineCoordinatorTest
{
protected:
    /// Starts the VM on the scripted backend; the session runs.
    std::shared_ptr<VirtualMachineSession> started(const VMBundle &bundle)
    {
        std::shared_ptr<VirtualMachineSession> session;
        EXPECT_EQ(startFailure(bundle.id(), false, &session), QString());
        return session;
    }

    static QList<Operation> callsOf(const VirtualMachineSession &session)
    {
        return static_cast<const ScriptedVirtualMachine &>(session.virtualMachine()).calls();
    }

    QByteArray diskContent(const VMBundle &bundle, qint64 length = 4096) const
    {
        QFile disk(bundle.layout().diskImageURL());
        return disk.open(QIODevice::ReadOnly) ? disk.read(length) : QByteArray();
    }

    void writeDisk(const VMBundle &bundle, const QByteArray &content) const
    {
        QFile disk(bundle.layout().diskImageURL());
        ASSERT_TRUE(disk.open(QIODevice::ReadWrite));
        disk.write(content);
    }

    VMSnapshotService m_snapshots{m_disks, m_logging};
    VMExportService m_exports{m_logging, store()};
    const VMDiskAnalyticsService m_analytics{m_disks, m_logging};
    VMBundleOperations m_operations{{coordinator(), store(), m_runtime, m_snapshots, m_exports, m_analytics}};
};

TEST_F(VMBundleOperationsTest, ASnapshotOfARunningVMIsTakenWhileItIsPausedAndItRunsOnAfterwards)
{
    const VMBundle bundle = installedBundle();
    writeDisk(bundle, QByteArray(4096, 'A'));
    const auto session = started(bundle);

    QCoro::Task<VMSnapshot> taking = m_operations.createSnapshot(bundle.id(), QStringLiteral("Before upgrade"), QString(), false);
    EXPECT_EQ(startFailure(bundle.id(), false), refused("A snapshot of this virtual machine is in progress."));
    const VMSnapshot snapshot = waitForOutcome(std::move(taking)).get();

    EXPECT_EQ(callsOf(*session), (QList<Operation>{Operation::start, Operation::pause, Operation::resume}));
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::running);
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::running);
    EXPECT_EQ(coordinator().leases().operation(bundle.id()), std::nullopt);
    QFile copy(bundle.bundleURL + QLatin1Char('/') + snapshot.diskRelativePath);
    ASSERT_TRUE(copy.open(QIODevice::ReadOnly));
    EXPECT_EQ(copy.read(4096), QByteArray(4096, 'A'));
}

TEST_F(VMBundleOperationsTest, APausedVMStaysPausedAndAFailedCopyStillResumesARunningOne)
{
    const VMBundle bundle = installedBundle();
    const auto session = started(bundle);
    ASSERT_FALSE(waitForOutcome(m_runtime.pause(*session)).failure);
    ASSERT_FALSE(waitForOutcome(m_operations.createSnapshot(bundle.id(), QStringLiteral("Paused"), QString(), false)).failure);
    EXPECT_EQ(callsOf(*session), (QList<Operation>{Operation::start, Operation::pause}));
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::paused);

    ASSERT_FALSE(waitForOutcome(m_runtime.resume(*session)).failure);
    // A file where the snapshots folder belongs makes the copy fail.
    FileOperations::removeItem(bundle.layout().snapshotsDirectoryURL());
    write(bundle.layout().snapshotsDirectoryURL(), QByteArray("not a folder"));
    EXPECT_TRUE(waitForOutcome(m_operations.createSnapshot(bundle.id(), QStringLiteral("Doomed"), QString(), false)).failure);
    EXPECT_EQ(callsOf(*session).mid(3), (QList<Operation>{Operation::pause, Operation::resume}));
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::running);
    EXPECT_EQ(coordinator().leases().operation(bundle.id()), std::nullopt);
}

TEST_F(VMBundleOperationsTest, WhatMustNotTouchARunningDiskIsRefusedWhateverTheStoredStateSays)
{
    const VMBundle bundle = installedBundle();
    const VMSnapshot snapshot = waitForOutcome(m_operations.createSnapshot(bundle.id(), QStringLiteral("Base"), QString(), false)).get();
    writeDisk(bundle, QByteArray(4096, 'B'));
    const QString destination = m_home.path() + QStringLiteral("/Backups");

    const std::vector<std::pair<const char *, std::function<void()>>> operations{
        {"Stop the virtual machine before restoring a snapshot.",
         [&] { waitForOutcome(m_operations.restoreSnapshot(bundle.id(), snapshot.id)).get(); }},
        {"Stop the virtual machine before creating a bundle backup.", [&] { waitForOutcome(m_operations.backup(bundle.id(), destination)).get(); }},
        {"Stop the VM before exporting.",
         [&] { waitForOutcome(m_operations.exportVM(bundle.id(), destination, VMExportFormat::vmBundle, VMExportConfiguration())).get(); }},
        {"Stop the virtual machine before reclaiming disk space.", [&] { m_operations.reclaim(bundle.id(), ReclaimAction::deleteSnapshots); }},
        {"Stop the virtual machine before taking a snapshot.",
         [&] { waitForOutcome(m_operations.createSnapshot(bundle.id(), QStringLiteral("Live"), QString(), false)).get(); }},
    };
    // A Windows VM under QEMU has no session, and its stored state is whatever was last written.
    ASSERT_FALSE(waitForOutcome(m_qemu.start(bundle)).failure);
    storeChanged(bundle.id(), [](VMBundle &changed) { changed.metadata.runtimeState = VMRuntimeState::stopped; });
    for (const auto &[sentence, operation] : operations) {
        SCOPED_TRACE(sentence);
        EXPECT_EQ(failureText(operation), refused(sentence));
    }
    EXPECT_EQ(diskContent(bundle), QByteArray(4096, 'B')) << "the running disk is untouched";
    EXPECT_FALSE(QFileInfo::exists(destination));
    EXPECT_EQ(m_snapshots.loadTimeline(bundle).snapshots.size(), 1);
    EXPECT_EQ(coordinator().leases().operation(bundle.id()), std::nullopt);
}

TEST_F(VMBundleOperationsTest, ARestoreRecordsTheSavedStateAndDiskSizeItBrought)
{
    const VMBundle bundle = installedBundle();
    const VMSnapshot snapshot = waitForOutcome(m_operations.createSnapshot(bundle.id(), QStringLiteral("Base"), QString(), false)).get();
    // Later the disk grew and a state was saved; both belong to the disk the restore replaces.
    m_disks.resizeDisk(bundle.layout().diskImageURL(), 48 * gibibyte);
    const VMBundle grown = withSavedState(storeChanged(bundle.id(), [](VMBundle &changed) {
                                              changed.metadata.hardwareProfile.diskSizeBytes = 48 * gibibyte;
                                              changed.metadata.diskSizeBytes = 48 * gibibyte;
                                          }).id());

    ASSERT_FALSE(waitForOutcome(m_operations.restoreSnapshot(bundle.id(), snapshot.id)).failure);
    const VMBundle restored = *store().bundle(bundle.id());
    EXPECT_EQ(restored.metadata.savedState, std::nullopt);
    EXPECT_FALSE(restored.metadata.hasSavedState);
    EXPECT_FALSE(QFileInfo::exists(grown.layout().savedStateFileURL()));
    EXPECT_EQ(restored.metadata.hardwareProfile.diskSizeBytes, 32 * gibibyte);
    EXPECT_EQ(restored.metadata.diskSizeBytes, 32 * gibibyte);
}

TEST_F(VMBundleOperationsTest, AVMWhoseLastRunFailedIsRestoredFromASnapshotOnlyOnceItsMachineHasStopped)
{
    const auto recordFailure = [this](const VMBundle &bundle) {
        storeChanged(bundle.id(), [](VMBundle &changed) { changed.metadata.runtimeState = VMRuntimeState::error; });
    };
    const struct {
        const char *what;
        std::function<void(const VMBundle &)> fail;
        QString refusal;
    } cases[] = {
        {"recorded as failed, no session", recordFailure, {}},
        {"its session failed and the machine stopped",
         [&](const VMBundle &bundle) {
             addSession(bundle, VMRuntimeState::error);
             recordFailure(bundle);
         },
         {}},
        {"its session failed while the machine runs on",
         [&](const VMBundle &bundle) {
             const auto session = started(bundle);
             static_cast<ScriptedVirtualMachine &>(session->virtualMachine())
                 .script()
                 .enqueue(Operation::pause, ScriptedAnswer::failure(VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("hung"))));
             EXPECT_TRUE(waitForOutcome(coordinator().pause(bundle.id())).failure);
         },
         refused("Stop the virtual machine before restoring a snapshot.")},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        const VMBundle bundle = installedBundle(QString::fromUtf8(testCase.what));
        writeDisk(bundle, QByteArray(4096, 'A'));
        const VMSnapshot snapshot = waitForOutcome(m_operations.createSnapshot(bundle.id(), QStringLiteral("Good"), QString(), false)).get();
        writeDisk(bundle, QByteArray(4096, 'B'));
        testCase.fail(bundle);
        ASSERT_EQ(coordinator().effectiveRuntimeState(bundle.id()), VMRuntimeState::error);

        EXPECT_EQ(failureText([&] { waitForOutcome(m_operations.restoreSnapshot(bundle.id(), snapshot.id)).get(); }), testCase.refusal);
        if (!testCase.refusal.isEmpty()) {
            EXPECT_EQ(diskContent(bundle), QByteArray(4096, 'B')) << "the disk under the machine is untouched";
            continue;
        }
        EXPECT_EQ(diskContent(bundle), QByteArray(4096, 'A'));
        EXPECT_EQ(coordinator().effectiveRuntimeState(bundle.id()), VMRuntimeState::stopped) << "the restored VM can be started";
        EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::stopped);
        EXPECT_EQ(startFailure(bundle.id(), false), QString());
    }
}

TEST_F(VMBundleOperationsTest, BackupExportAndReclaimOfAStoppedVMHoldTheLeaseUntilTheyEnd)
{
    const VMBundle bundle = installedBundle();
    const QString destination = m_home.path() + QStringLiteral("/Backups");

    // The copy waits for the pool, so the backup is still running when the start is tried.
    BusyThreadPool busy;
    QCoro::Task<QString> backingUp = m_operations.backup(bundle.id(), destination);
    EXPECT_EQ(startFailure(bundle.id(), false), refused("A backup of this virtual machine is in progress."));
    busy.release();
    const QString backup = waitForOutcome(std::move(backingUp)).get();
    EXPECT_TRUE(QFileInfo(backup + QStringLiteral("/Disk.img")).isFile());

    VMExportConfiguration configuration;
    configuration.archiveName = QStringLiteral("Shared");
    const QString exported =
        waitForOutcome(m_operations.exportVM(bundle.id(), destination, VMExportFormat::vmBundle, configuration)).get();
    EXPECT_TRUE(exported.endsWith(QStringLiteral("/Shared.vm")));

    write(bundle.layout().logsDirectoryURL() + QStringLiteral("/old.log"), QByteArray("old"));
    m_operations.reclaim(bundle.id(), ReclaimAction::clearLogs);
    EXPECT_FALSE(QFileInfo::exists(bundle.layout().logsDirectoryURL() + QStringLiteral("/old.log")));
    EXPECT_EQ(coordinator().leases().operation(bundle.id()), std::nullopt);
    EXPECT_EQ(startFailure(bundle.id(), false), QString());
}

} // namespace
