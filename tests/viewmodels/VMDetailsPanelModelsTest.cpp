// SPDX-License-Identifier: MIT
// The view models of the details pane's snapshot, disk and update panels, over the pane's view model as the
// application builds them together: what each action refreshes, one snapshot operation at a time, and
// failures reported for the pane's banner.
#include "VMDetailsPaneModels.h"
#include "BusyThreadPool.h"
#include "SizeText.h"
#include "TestFiles.h"
#include "ViewModelTestFixture.h"

#include <QSignalSpy>

#include <sys/stat.h>

namespace {

using namespace CoordinatorTesting;

class VMDetailsPanelModelsTest : public ViewModelTest
{
protected:
    /// A new pane's view models for the VM; the panels' failures are collected in `m_failures`.
    VMDetailsPaneModels &pane(const QUuid &id)
    {
        m_pane.reset();
        m_pane = makeDetailsPane(id);
        m_failures.clear();
        const auto collect = [this](const QString &message) { m_failures << message; };
        QObject::connect(m_pane->snapshotTimeline.get(), &SnapshotTimelineViewModel::failed, collect);
        QObject::connect(m_pane->diskAnalytics.get(), &DiskAnalyticsViewModel::failed, collect);
        QObject::connect(m_pane->updates.get(), &MacOSUpdateViewModel::failed, collect);
        return *m_pane;
    }

    QStringList m_failures;
    std::optional<VMDetailsPaneModels> m_pane;
};

TEST_F(VMDetailsPanelModelsTest, SnapshotsAndReclaimRefreshWhatTheyChanged)
{
    const VMBundle bundle = installedBundle();
    VMDetailsPaneModels &models = pane(bundle.id());
    SnapshotTimelineViewModel &timeline = *models.snapshotTimeline;
    DiskAnalyticsViewModel &disk = *models.diskAnalytics;
    waitForOutcome(timeline.createSnapshot(QStringLiteral("Base"), QString())).get();
    ASSERT_EQ(timeline.timeline().snapshots.size(), 1);
    const QUuid base = timeline.timeline().snapshots.first().id;
    timeline.renameSnapshot(base, QStringLiteral("Clean install"));
    EXPECT_EQ(timeline.timeline().snapshots.first().name, QStringLiteral("Clean install"));

    models.details->setErrorMessage(QStringLiteral("an old failure"));
    waitForOutcome(timeline.restoreSnapshot(QUuid::createUuid())).get();
    EXPECT_EQ(m_failures, QStringList { refused("The selected snapshot could not be found.") });
    EXPECT_EQ(models.details->errorMessage(), std::nullopt) << "the busy frame cleared the banner when the restore began";
    EXPECT_TRUE(appLog().contains(QStringLiteral("[Details] ") + refused("The selected snapshot could not be found.")));
    m_failures.clear();
    QSignalSpy republished(models.details.get(), &VMDetailsViewModel::bundleChanged);
    QSignalSpy measured(models.details.get(), &VMDetailsViewModel::diskUsageChanged);
    waitForOutcome(timeline.restoreSnapshot(base)).get();
    EXPECT_TRUE(m_failures.isEmpty());
    EXPECT_EQ(republished.count(), 1) << "the restored bundle is shown at once";
    EXPECT_EQ(measured.count(), 1);

    EXPECT_FALSE(disk.recommendations().isEmpty());
    QSignalSpy reclaiming(&disk, &DiskAnalyticsViewModel::isReclaimingChanged);
    QSignalSpy busy(models.details.get(), &VMDetailsViewModel::isBusyChanged);
    waitForOutcome(disk.reclaim(ReclaimAction::deleteSnapshots)).get();
    EXPECT_TRUE(m_failures.isEmpty());
    EXPECT_EQ(disk.analytics()->snapshotUsageBytes, 0u);
    EXPECT_TRUE(timeline.timeline().snapshots.isEmpty()) << "the timeline went with the history";
    EXPECT_EQ(reclaiming.count(), 2);
    EXPECT_FALSE(disk.isReclaiming());
    EXPECT_EQ(busy.count(), 2) << "the pane was busy while it ran";
}

TEST_F(VMDetailsPanelModelsTest, FinishedActionsSayWhatTheyDidInTheNeutralBanner)
{
    const VMBundle bundle = installedBundle(QStringLiteral("Debian"));
    VMDetailsPaneModels &models = pane(bundle.id());
    VMDetailsViewModel &details = *models.details;
    SnapshotTimelineViewModel &timeline = *models.snapshotTimeline;
    const auto said = [&details]() -> std::string {
        if (!details.errorMessage())
            return "(nothing)";
        return (details.messageKind() == MessageKind::information ? "news: " : "failure: ") + details.errorMessage()->toStdString();
    };

    waitForOutcome(timeline.createSnapshot(QStringLiteral("Base"), QString())).get();
    EXPECT_EQ(said(), "news: Created snapshot “Base”");
    const QUuid base = timeline.timeline().snapshots.first().id;
    waitForOutcome(timeline.restoreSnapshot(base)).get();
    EXPECT_EQ(said(), "news: Restored snapshot “Base”");
    waitForOutcome(timeline.deleteSnapshot(base)).get();
    EXPECT_EQ(said(), "news: Deleted snapshot “Base”");

    waitForOutcome(details.cloneVM()).get();
    EXPECT_EQ(said(), "news: Created Debian Copy");

    waitForOutcome(details.start()).get();
    ASSERT_TRUE(details.isRunning());
    waitForOutcome(details.saveState()).get();
    EXPECT_EQ(said(), "news: Saved the state of Debian");
    EXPECT_TRUE(m_failures.isEmpty());
}

TEST_F(VMDetailsPanelModelsTest, WhatTheBundleGainsAfterThePaneOpenedIsCountedAsHostSpace)
{
    // The pane of a Linux VM still being made: its installer image arrives before the creation's last write.
    const VMBundle bundle = installedBundle(QStringLiteral("Debian"));
    VMDetailsPaneModels &models = pane(bundle.id());
    settle();
    ASSERT_TRUE(models.diskAnalytics->analytics());
    const quint64 otherBefore = models.diskAnalytics->analytics()->otherBytes;
    constexpr quint64 isoBytes = 3 * 1'048'576;
    write(bundle.layout().linuxInstallISOURL(), QByteArray(qsizetype(isoBytes), 'i'));
    storeChanged(bundle.id(), [](VMBundle &changed) { changed.metadata.guestOSDisplayName = QStringLiteral("Debian 12"); });
    settle();

    EXPECT_GE(models.diskAnalytics->analytics()->otherBytes, otherBefore + isoBytes);
    const quint64 bundleBytes = VMDiskAnalyticsService::allocatedSize(bundle.bundleURL);
    EXPECT_GE(bundleBytes, isoBytes);
    EXPECT_EQ(models.details->hostAllocationText(), SizeText::bytes(bundleBytes)) << "the whole bundle, not only its blank disk";
}

TEST_F(VMDetailsPanelModelsTest, OneSnapshotOperationAtATimeAndTheFlagSaysSo)
{
    const VMBundle bundle = installedBundle();
    VMDetailsPaneModels &models = pane(bundle.id());
    SnapshotTimelineViewModel &timeline = *models.snapshotTimeline;
    QSignalSpy flag(&timeline, &SnapshotTimelineViewModel::isOperationRunningChanged);
    QSignalSpy updateFlag(models.updates.get(), &MacOSUpdateViewModel::isSnapshotOperationRunningChanged);
    // The first copy is held back until the other presses are in: a free worker could finish it before createSnapshot() returns.
    BusyThreadPool pool;
    QCoro::Task<> first = timeline.createSnapshot(QStringLiteral("First"), QString());
    ASSERT_TRUE(timeline.isOperationRunning());
    EXPECT_TRUE(models.updates->isSnapshotOperationRunning()) << "the update panel waits for it too";
    EXPECT_TRUE(models.details->isBusy());
    waitForOutcome(timeline.createSnapshot(QStringLiteral("Second"), QString())).get();
    waitForOutcome(timeline.deleteSnapshot(QUuid::createUuid())).get();
    EXPECT_EQ(waitForOutcome(models.updates->createPreUpdateSnapshot(VMMacOSUpdateStrategy::snapshotThenUpdate)).get(), std::nullopt);
    EXPECT_TRUE(timeline.isOperationRunning()) << "the ignored presses leave the running one flagged";
    pool.release();
    waitForOutcome(std::move(first)).get();
    EXPECT_FALSE(timeline.isOperationRunning());
    EXPECT_FALSE(models.details->isBusy());
    EXPECT_EQ(flag.count(), 2);
    EXPECT_EQ(updateFlag.count(), 2);
    ASSERT_EQ(timeline.timeline().snapshots.size(), 1);
    EXPECT_EQ(timeline.timeline().snapshots.first().name, QStringLiteral("First"));
    EXPECT_TRUE(m_failures.isEmpty());
}

TEST_F(VMDetailsPanelModelsTest, AGrowthHistoryThatIsAFIFONeverHangsThePane)
{
    const VMBundle bundle = installedBundle();
    const QString history = bundle.bundleURL + QStringLiteral("/DiskGrowthHistory.json");
    ASSERT_EQ(::mkfifo(QFile::encodeName(history).constData(), 0600), 0);
    DiskAnalyticsViewModel &disk = *pane(bundle.id()).diskAnalytics;
    EXPECT_TRUE(disk.growthHistory().samples.isEmpty());
    EXPECT_TRUE(disk.analytics());
}

TEST_F(VMDetailsPanelModelsTest, RefreshMeasuresTheDiskAnalyticsAgain)
{
    const VMBundle bundle = installedBundle();
    VMDetailsPaneModels &models = pane(bundle.id());
    DiskAnalyticsViewModel &disk = *models.diskAnalytics;
    ASSERT_TRUE(disk.analytics());
    const quint64 logsBefore = disk.analytics()->logBytes;
    EXPECT_TRUE(disk.growthHistory().samples.isEmpty());

    write(bundle.layout().logsDirectoryURL() + QStringLiteral("/big.log"), QByteArray(1 << 20, 'l'));
    QSignalSpy analytics(&disk, &DiskAnalyticsViewModel::analyticsChanged);
    waitForOutcome(models.details->reload()).get();
    settle();
    EXPECT_GE(analytics.count(), 1);
    ASSERT_TRUE(disk.analytics());
    EXPECT_GE(disk.analytics()->logBytes, logsBefore + (1 << 20));
    EXPECT_EQ(disk.growthHistory().samples.size(), 1) << "the sample taken when the pane opened";
}

TEST_F(VMDetailsPanelModelsTest, ARemovedVMLeavesItsTimeline)
{
    const VMBundle bundle = installedBundle();
    VMDetailsPaneModels &models = pane(bundle.id());
    waitForOutcome(models.snapshotTimeline->createSnapshot(QStringLiteral("Kept"), QString())).get();
    ASSERT_TRUE(m_failures.isEmpty());
    ASSERT_EQ(models.snapshotTimeline->timeline().snapshots.size(), 1);

    store().deleteBundle(bundle.id());
    settle();
    EXPECT_FALSE(models.details->bundle());
    EXPECT_EQ(models.snapshotTimeline->timeline().snapshots.size(), 1);
}

TEST_F(VMDetailsPanelModelsTest, APreUpdateSnapshotOfARunningVMPausesItAndAFailedCheckSaysWhy)
{
    const VMBundle bundle = installedBundle();
    VMDetailsPaneModels &models = pane(bundle.id());
    VMDetailsViewModel &details = *models.details;
    MacOSUpdateViewModel &updates = *models.updates;
    waitForOutcome(details.start()).get();
    EXPECT_EQ(updates.guestOSType(), bundle.metadata.guestOSType);
    EXPECT_TRUE(updates.isVMActive());
    const std::optional<QString> guidance
        = waitForOutcome(updates.createPreUpdateSnapshot(VMMacOSUpdateStrategy::snapshotThenUpdate)).get();
    ASSERT_TRUE(guidance);
    const VMSnapshotTimeline &timeline = models.snapshotTimeline->timeline();
    EXPECT_EQ(timeline.snapshots.size(), 1);
    EXPECT_TRUE(timeline.snapshots.first().name.startsWith(QStringLiteral("Pre-Update Snapshot (")));
    const auto &calls = static_cast<const ScriptedVirtualMachine &>(details.activeConsoleSession()->virtualMachine()).calls();
    EXPECT_EQ(calls, (QList<Operation> { Operation::start, Operation::pause, Operation::resume })) << "the copy was made while paused";
    EXPECT_EQ(details.runtimeStateText(), QStringLiteral("Running"));

    // The panel's Prepare hands the same guidance to whoever shows the alert.
    QSignalSpy prepared(&updates, &MacOSUpdateViewModel::updatePrepared);
    waitForOutcome(updates.prepareUpdate(VMMacOSUpdateStrategy::snapshotThenUpdate)).get();
    ASSERT_EQ(prepared.count(), 1);
    EXPECT_EQ(prepared.first().first().toString(), *guidance);
    EXPECT_EQ(models.snapshotTimeline->timeline().snapshots.size(), 2);

    // A Linux guest whose distribution nothing matches cannot be checked: that is said, never "up to date".
    QSignalSpy answered(&updates, &MacOSUpdateViewModel::updateInfoChanged);
    waitForOutcome(updates.checkForUpdates()).get();
    EXPECT_EQ(answered.count(), 1);
    EXPECT_EQ(
        updates.updateCheckFailure(), QStringLiteral("No known Linux distribution matches this VM, so there is nothing to compare with."));
    EXPECT_FALSE(updates.isChecking());
    EXPECT_TRUE(m_failures.isEmpty());
}

} // namespace

TEST_F(VMDetailsPanelModelsTest, TheFileDropFollowsTheFirstSharedFolderAndTheNameOfItsVM)
{
    const VMBundle bundle = installedBundle(QStringLiteral("Builder"));
    VMDetailsPaneModels &models = pane(bundle.id());
    FileDropTransferViewModel &drop = *models.fileDrop;
    QCoreApplication::processEvents();
    EXPECT_FALSE(drop.acceptsDrops());
    EXPECT_EQ(drop.vmName(), QStringLiteral("Builder"));

    const QString first = root() + QStringLiteral("/First");
    const QString second = root() + QStringLiteral("/Second");
    storeChanged(bundle.id(), [&](VMBundle &changed) {
        changed.metadata.name = QStringLiteral("Builder 2");
        changed.sharedFolders = {VMSharedFolder{QUuid::createUuid(), QStringLiteral("First"), QUrl::fromLocalFile(first), false, std::nullopt},
                                 VMSharedFolder{QUuid::createUuid(), QStringLiteral("Second"), QUrl::fromLocalFile(second), true, std::nullopt}};
    });
    QCoreApplication::processEvents();
    EXPECT_EQ(drop.sharedFolder(), std::optional<QString>(first));
    EXPECT_EQ(drop.vmName(), QStringLiteral("Builder 2"));
}
