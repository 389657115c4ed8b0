// SPDX-License-Identifier: MIT
// The feature panels offscreen: what they enable, what they ask before
// acting, and what they emit.
#include "MacOSUpdateView.h"
#include "PerformanceDashboardView.h"
#include "SizeText.h"
#include "SmartDiskAnalyticsView.h"
#include "SnapshotRowView.h"
#include "SnapshotTimelineView.h"
#include "NetworkTopologyTexts.h"
#include "VMNetworkTopologyView.h"

#include "QtPrinters.h"
#include "SnapshotRecords.h"
#include "TestBundle.h"

#include <QAbstractButton>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

namespace {

template <typename Widget = QWidget>
Widget *child(const QObject &parent, const QString &name)
{
    auto *widget = parent.findChild<Widget *>(name);
    EXPECT_NE(widget, nullptr) << name.toStdString();
    return widget;
}

QString rowName(const QUuid &id)
{
    return QStringLiteral("snapshotRow:") + id.toString(QUuid::WithoutBraces).toUpper();
}

using SnapshotRecords::takenAt;

/// Base (active) ← Child ← Grandchild.
VMSnapshotTimeline threeSnapshots()
{
    VMSnapshotTimeline timeline;
    const VMSnapshot base = takenAt(QStringLiteral("<b>Base</b> & Co"), 9);
    const VMSnapshot child = takenAt(QStringLiteral("Child"), 10, base.id);
    timeline.snapshots = {base, child, takenAt(QStringLiteral("Grandchild"), 11, child.id)};
    timeline.activeSnapshotID = base.id;
    return timeline;
}

/// Closes the open confirmation with the named button and lets it go.
void answer(QWidget &panel, const QString &alert, const QString &button)
{
    auto *box = child<QMessageBox>(panel, alert);
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->defaultButton()->objectName(), alert + QStringLiteral(".cancel")) << "Cancel takes Return";
    child<QAbstractButton>(*box, alert + button)->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// ---------------------------------------------------------------- snapshot timeline

TEST(SnapshotTimelineViewTest, EmptyTimelineInvitesAndProposesTheFirstName)
{
    SnapshotTimelineView panel;
    EXPECT_EQ(child<QLabel>(panel, QStringLiteral("snapshots.count"))->text(), QStringLiteral("0 snapshots"));
    EXPECT_TRUE(child(panel, QStringLiteral("snapshots.empty"))->isVisibleTo(&panel));
    child<QPushButton>(panel, QStringLiteral("snapshots.newSnapshot"))->click();
    auto *sheet = child<QDialog>(panel, QStringLiteral("snapshots.createSheet"));
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ(sheet->windowModality(), Qt::WindowModal);
    EXPECT_EQ(child<QLineEdit>(*sheet, QStringLiteral("createSheet.name"))->text(), QStringLiteral("Snapshot 1"));
}

TEST(SnapshotTimelineViewTest, RowsShowNamesAsPlainTextAndEveryActionWaitsWhileAnOperationRuns)
{
    SnapshotTimelineView panel;
    const VMSnapshotTimeline timeline = threeSnapshots();
    panel.setTimeline(timeline);
    EXPECT_EQ(child<QLabel>(panel, QStringLiteral("snapshots.count"))->text(), QStringLiteral("3 snapshots"));
    auto *base = child<SnapshotRowView>(panel, rowName(timeline.snapshots[0].id));
    auto *name = child<QLabel>(*base, QStringLiteral("snapshotRow.name"));
    EXPECT_EQ(name->text(), QStringLiteral("<b>Base</b> & Co"));
    EXPECT_EQ(name->textFormat(), Qt::PlainText);
    EXPECT_NE(base->findChild<QWidget *>(QStringLiteral("snapshotRow.active")), nullptr);
    EXPECT_EQ(panel.findChildren<QWidget *>(QStringLiteral("snapshotRow.active")).size(), 1);

    const QStringList buttons{QStringLiteral("snapshotRow.restore"), QStringLiteral("snapshotRow.rename"), QStringLiteral("snapshotRow.delete")};
    for (bool running : {true, false}) {
        panel.setOperationRunning(running);
        EXPECT_EQ(child<QPushButton>(panel, QStringLiteral("snapshots.newSnapshot"))->isEnabled(), !running);
        for (const VMSnapshot &entry : timeline.snapshots)
            for (const QString &button : buttons)
                EXPECT_EQ(child<QToolButton>(*child(panel, rowName(entry.id)), button)->isEnabled(), !running) << button.toStdString();
    }
    panel.setOperationRunning(true);
    panel.setTimeline(timeline); // a new timeline while the operation runs keeps the actions off
    EXPECT_FALSE(child<QToolButton>(*child(panel, rowName(timeline.snapshots[0].id)), QStringLiteral("snapshotRow.delete"))->isEnabled());
}

TEST(SnapshotTimelineViewTest, RestoreAsksFirstAlsoForTheActiveSnapshot)
{
    SnapshotTimelineView panel;
    const VMSnapshotTimeline timeline = threeSnapshots();
    panel.setTimeline(timeline);
    QSignalSpy restores(&panel, &SnapshotTimelineView::restoreRequested);
    auto *restore = child<QToolButton>(*child(panel, rowName(timeline.snapshots[0].id)), QStringLiteral("snapshotRow.restore"));
    ASSERT_TRUE(restore->isEnabled()) << "the active snapshot can be gone back to";

    restore->click();
    auto *box = child<QMessageBox>(panel, QStringLiteral("snapshots.restoreAlert"));
    EXPECT_TRUE(box->text().contains(QStringLiteral("\u201C<b>Base</b> & Co\u201D")));
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    QTest::keyClick(box, Qt::Key_Return); // the default button is Cancel
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(restores.count(), 0);

    restore->click();
    answer(panel, QStringLiteral("snapshots.restoreAlert"), QStringLiteral(".confirm"));
    ASSERT_EQ(restores.count(), 1);
    EXPECT_EQ(restores.first().first().toUuid(), timeline.snapshots[0].id);
}

TEST(SnapshotTimelineViewTest, DeleteNamesTheSnapshotAndItsDescendants)
{
    SnapshotTimelineView panel;
    const VMSnapshotTimeline timeline = threeSnapshots();
    panel.setTimeline(timeline);
    QSignalSpy deletes(&panel, &SnapshotTimelineView::deleteRequested);
    auto *remove = child<QToolButton>(*child(panel, rowName(timeline.snapshots[1].id)), QStringLiteral("snapshotRow.delete"));
    remove->click();
    EXPECT_EQ(deletes.count(), 0) << "nothing before the answer";
    const QString message = child<QMessageBox>(panel, QStringLiteral("snapshots.deleteAlert"))->text();
    EXPECT_TRUE(message.contains(QStringLiteral("\u201CChild\u201D")));
    EXPECT_TRUE(message.contains(QStringLiteral("1 snapshot taken after it")));
    answer(panel, QStringLiteral("snapshots.deleteAlert"), QStringLiteral(".cancel"));
    EXPECT_EQ(deletes.count(), 0);

    remove->click();
    answer(panel, QStringLiteral("snapshots.deleteAlert"), QStringLiteral(".confirm"));
    ASSERT_EQ(deletes.count(), 1);
    EXPECT_EQ(deletes.first().first().toUuid(), timeline.snapshots[1].id);
}

TEST(SnapshotTimelineViewTest, SheetsPassTextsAsTypedAndRefuseBlankNames)
{
    SnapshotTimelineView panel;
    const VMSnapshotTimeline timeline = threeSnapshots();
    panel.setTimeline(timeline);
    QSignalSpy creates(&panel, &SnapshotTimelineView::createRequested);
    QSignalSpy renames(&panel, &SnapshotTimelineView::renameRequested);

    child<QPushButton>(panel, QStringLiteral("snapshots.newSnapshot"))->click();
    auto *sheet = child<QDialog>(panel, QStringLiteral("snapshots.createSheet"));
    auto *name = child<QLineEdit>(*sheet, QStringLiteral("createSheet.name"));
    auto *create = child<QPushButton>(*sheet, QStringLiteral("createSheet.create"));
    EXPECT_EQ(name->text(), QStringLiteral("Snapshot 4"));
    EXPECT_TRUE(child<QPlainTextEdit>(*sheet, QStringLiteral("createSheet.notes"))->toPlainText().isEmpty());
    name->setText(QStringLiteral(" \t"));
    EXPECT_FALSE(create->isEnabled());
    QTest::keyClick(name, Qt::Key_Return);
    EXPECT_EQ(creates.count(), 0);
    name->setText(QStringLiteral(" Before upgrade "));
    child<QPlainTextEdit>(*sheet, QStringLiteral("createSheet.notes"))->setPlainText(QStringLiteral("line one\nline two"));
    QTest::keyClick(name, Qt::Key_Return);
    ASSERT_EQ(creates.count(), 1);
    EXPECT_EQ(creates.first()[0].toString(), QStringLiteral(" Before upgrade "));
    EXPECT_EQ(creates.first()[1].toString(), QStringLiteral("line one\nline two"));
    EXPECT_FALSE(sheet->isVisible());

    child<QToolButton>(*child(panel, rowName(timeline.snapshots[2].id)), QStringLiteral("snapshotRow.rename"))->click();
    auto *renameSheet = child<QDialog>(panel, QStringLiteral("snapshots.renameSheet"));
    auto *field = child<QLineEdit>(*renameSheet, QStringLiteral("renameSheet.name"));
    EXPECT_EQ(field->text(), QStringLiteral("Grandchild"));
    field->clear();
    EXPECT_FALSE(child<QPushButton>(*renameSheet, QStringLiteral("renameSheet.rename"))->isEnabled());
    QTest::keyClick(renameSheet, Qt::Key_Escape);
    EXPECT_FALSE(renameSheet->isVisible());
    child<QToolButton>(*child(panel, rowName(timeline.snapshots[2].id)), QStringLiteral("snapshotRow.rename"))->click();
    child<QPushButton>(*renameSheet, QStringLiteral("renameSheet.rename"))->click();
    ASSERT_EQ(renames.count(), 1) << "the unchanged name is still passed";
    EXPECT_EQ(renames.first()[0].toUuid(), timeline.snapshots[2].id);
    EXPECT_EQ(renames.first()[1].toString(), QStringLiteral("Grandchild"));
}

// ---------------------------------------------------------------- disk analytics

TEST(SmartDiskAnalyticsViewTest, HostSpaceUsedCountsTheWholeBundle)
{
    SmartDiskAnalyticsView panel;
    VMDiskAnalytics analytics;
    analytics.virtualCapacityBytes = 16 * 1'073'741'824ull;
    analytics.automationBytes = 12'288;
    analytics.otherBytes = 233 * 1'048'576ull; // an installer image and the firmware's variables beside a disk never written to
    panel.setAnalytics(analytics);
    EXPECT_EQ(child<QLabel>(panel, QStringLiteral("diskAnalytics.hostSpace.value"))->text(), SizeText::bytes(233 * 1'048'576ull + 12'288));
    EXPECT_EQ(child<QLabel>(panel, QStringLiteral("diskAnalytics.sparseSavings.value"))->text(), SizeText::bytes(16 * 1'073'741'824ull))
        << "the disk image alone is what stays sparse";
    // The percentage is how much of the capacity the disk image takes: none of it, beside savings of all of it.
    EXPECT_EQ(child<QLabel>(panel, QStringLiteral("diskAnalytics.efficiency.value"))->text(), QStringLiteral("0.0%"));
    EXPECT_EQ(child<QLabel>(panel, QStringLiteral("diskAnalytics.efficiency.title"))->text(), QStringLiteral("Capacity Used"));
}

TEST(SmartDiskAnalyticsViewTest, ReclaimAsksWithTheSizeAndWaitsForTheRunningOne)
{
    SmartDiskAnalyticsView panel;
    VMDiskAnalytics analytics;
    analytics.virtualCapacityBytes = 64'000'000'000;
    analytics.hostAllocatedBytes = 9'000'000'000;
    panel.setAnalytics(analytics);
    VMDiskGrowthHistory history;
    history.samples = {{QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC), 1'000'000'000}};
    panel.setGrowth(history, 12.0);
    EXPECT_FALSE(child(panel, QStringLiteral("diskAnalytics.reclaimSection"))->isVisibleTo(&panel)) << "no items";
    EXPECT_FALSE(child(panel, QStringLiteral("diskAnalytics.growthTrends"))->isVisibleTo(&panel)) << "one sample";

    history.samples.append({QDateTime(QDate(2026, 1, 11), QTime(0, 0), Qt::UTC), 2'000'000'000});
    panel.setGrowth(history, 12.0);
    EXPECT_TRUE(child(panel, QStringLiteral("diskAnalytics.growthTrends"))->isVisibleTo(&panel));
    EXPECT_EQ(child<QLabel>(panel, QStringLiteral("diskAnalytics.daysUntilFull"))->text(), QStringLiteral("12 days"));

    panel.setReclaimableItems({{QStringLiteral("Log files (3 MB)"), 3 * 1024 * 1024, ReclaimAction::clearLogs}});
    QList<ReclaimAction> requested;
    QObject::connect(&panel, &SmartDiskAnalyticsView::reclaimRequested, [&](ReclaimAction action) { requested.append(action); });
    auto *reclaim = child<QPushButton>(panel, QStringLiteral("reclaim:clearLogs"));
    reclaim->click();
    EXPECT_TRUE(child<QMessageBox>(panel, QStringLiteral("diskAnalytics.reclaimAlert"))->text().contains(QStringLiteral("3 MB")));
    answer(panel, QStringLiteral("diskAnalytics.reclaimAlert"), QStringLiteral(".cancel"));
    EXPECT_TRUE(requested.isEmpty());
    reclaim->click();
    answer(panel, QStringLiteral("diskAnalytics.reclaimAlert"), QStringLiteral(".confirm"));
    EXPECT_EQ(requested, QList{ReclaimAction::clearLogs});

    panel.setReclaiming(true);
    EXPECT_FALSE(reclaim->isEnabled());
    panel.setReclaimableItems({{QStringLiteral("Snapshot history (1 GB)"), 1'000'000'000, ReclaimAction::deleteSnapshots}});
    EXPECT_FALSE(child<QPushButton>(panel, QStringLiteral("reclaim:deleteSnapshots"))->isEnabled()) << "new rows start disabled too";
    panel.setReclaiming(false);
    EXPECT_TRUE(child<QPushButton>(panel, QStringLiteral("reclaim:deleteSnapshots"))->isEnabled());
}

// ---------------------------------------------------------------- performance

TEST(PerformanceDashboardViewTest, SamplesUpdateTheSameLabelsInPlace)
{
    PerformanceDashboardView panel;
    EXPECT_TRUE(child(panel, QStringLiteral("performance.empty"))->isVisibleTo(&panel));
    EXPECT_FALSE(child(panel, QStringLiteral("performance.sampleCount"))->isVisibleTo(&panel));

    VMPerformanceHistory history;
    VMPerformanceMetrics sample;
    sample.timestamp = QDateTime::currentDateTimeUtc();
    sample.cpuUsagePercent = 42;
    sample.memoryTotalBytes = 8'000'000'000;
    sample.memoryUsedBytes = 2'000'000'000;
    history.append(sample);
    panel.setHistory(history);
    auto *cpu = child<QLabel>(panel, QStringLiteral("performance.cpu.value"));
    EXPECT_EQ(cpu->text(), QStringLiteral("42.0%"));
    EXPECT_EQ(child<QLabel>(panel, QStringLiteral("performance.cpu.detail"))->text(), QStringLiteral("Avg: 42.0% \u2022 Peak: 42.0%"));
    EXPECT_EQ(child<QLabel>(panel, QStringLiteral("performance.network.value"))->text(), QStringLiteral("TX: not available"));
    EXPECT_EQ(child<QLabel>(panel, QStringLiteral("performance.sampleCount"))->text(), QStringLiteral("Last 1 samples"));

    const QList<QWidget *> before = panel.findChildren<QWidget *>();
    sample.cpuUsagePercent = 90;
    history.append(sample);
    panel.setHistory(history);
    EXPECT_EQ(panel.findChildren<QWidget *>(), before) << "no widget was rebuilt";
    EXPECT_EQ(cpu->text(), QStringLiteral("90.0%"));
    EXPECT_EQ(child<QLabel>(panel, QStringLiteral("performance.cpu.detail"))->text(), QStringLiteral("Avg: 66.0% \u2022 Peak: 90.0%"));

    auto *lastRun = child<QLabel>(panel, QStringLiteral("performance.lastRun"));
    EXPECT_FALSE(lastRun->isVisibleTo(&panel)) << "live figures carry no note";
    panel.setLastRunNote(QStringLiteral("Stopped: these figures are from the VM's last run."));
    EXPECT_TRUE(lastRun->isVisibleTo(&panel));
    EXPECT_EQ(lastRun->text(), QStringLiteral("Stopped: these figures are from the VM's last run."));
    EXPECT_EQ(cpu->text(), QStringLiteral("90.0%")) << "the figures stay";
    panel.setLastRunNote(std::nullopt);
    EXPECT_FALSE(lastRun->isVisibleTo(&panel));
}

// ---------------------------------------------------------------- network topology

TEST(VMNetworkTopologyViewTest, MembersAndCandidatesCarryTypedIdentifiers)
{
    VMNetworkTopologyView panel;
    EXPECT_TRUE(child(panel, QStringLiteral("network.empty"))->isVisibleTo(&panel));
    // The empty panel promises no more than the create sheet: the network connects nothing on this host.
    QStringList emptyTexts;
    for (const QLabel *label : child(panel, QStringLiteral("network.empty"))->findChildren<QLabel *>())
        emptyTexts << label->text();
    EXPECT_TRUE(emptyTexts.contains(NetworkTopologyTexts::emptyStateMessage()));
    EXPECT_FALSE(emptyTexts.join(QLatin1Char(' ')).contains(QStringLiteral("communicate")));
    const VMBundle member = TestBundle::in(QStringLiteral("/library"), QStringLiteral("Build Agent"));
    const VMBundle candidate = TestBundle(QStringLiteral("/library/Box.vm")).named(QStringLiteral("R&D <i>box</i>"));
    const VMPrivateNetwork network{QUuid::createUuid(), QStringLiteral("Lab"), QStringLiteral("10.0.7.0/24"), {member.id(), QUuid::createUuid()}, {}, true};
    panel.setAvailableVMs({member, candidate});
    panel.setPrivateNetworks({network});

    const QString cardName = QStringLiteral("networkCard:") + network.id.toString(QUuid::WithoutBraces).toUpper();
    auto *card = child(panel, cardName);
    EXPECT_EQ(child<QLabel>(*card, QStringLiteral("networkCard.subtitle"))->text(), QStringLiteral("Subnet: 10.0.7.0/24 \u2022 2 members"));
    EXPECT_EQ(card->findChildren<QWidget *>(QRegularExpression(QStringLiteral("^memberRow:"))).size(), 1) << "the unknown member has no row";

    QList<std::pair<QUuid, QUuid>> added, removed;
    QList<QUuid> deleted;
    QObject::connect(&panel, &VMNetworkTopologyView::addMemberRequested, [&](const VMBundleID &vm, const PrivateNetworkID &net) { added.append({vm.value, net.value}); });
    QObject::connect(&panel, &VMNetworkTopologyView::removeMemberRequested, [&](const VMBundleID &vm, const PrivateNetworkID &net) { removed.append({vm.value, net.value}); });
    QObject::connect(&panel, &VMNetworkTopologyView::deleteNetworkRequested, [&](const PrivateNetworkID &net) { deleted.append(net.value); });

    const QList<QAction *> entries = child<QToolButton>(*card, QStringLiteral("networkCard.addVM"))->menu()->actions();
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries.first()->text(), QStringLiteral("R&&D <i>box</i>")) << "shown as R&D, not as a shortcut";
    entries.first()->trigger();
    child<QToolButton>(*card, QStringLiteral("memberRow.remove"))->click();
    child<QToolButton>(*card, QStringLiteral("networkCard.delete"))->click();
    EXPECT_EQ(added, (QList<std::pair<QUuid, QUuid>>{{candidate.id(), network.id}}));
    EXPECT_EQ(removed, (QList<std::pair<QUuid, QUuid>>{{member.id(), network.id}}));
    EXPECT_EQ(deleted, QList{network.id});
}

TEST(VMNetworkTopologyViewTest, TheSheetKeepsWhatWasTypedAndPromisesNoAddresses)
{
    VMNetworkTopologyView panel;
    QSignalSpy creates(&panel, &VMNetworkTopologyView::createNetworkRequested);
    child<QPushButton>(panel, QStringLiteral("network.newNetwork"))->click();
    auto *sheet = child<QDialog>(panel, QStringLiteral("network.createSheet"));
    auto *name = child<QLineEdit>(*sheet, QStringLiteral("networkSheet.name"));
    EXPECT_EQ(name->text(), QStringLiteral("Private Network"));
    EXPECT_FALSE(child<QLabel>(*sheet, QStringLiteral("networkSheet.explanation"))->text().contains(QStringLiteral("will be assigned")));
    name->setText(QStringLiteral("   "));
    EXPECT_FALSE(child<QPushButton>(*sheet, QStringLiteral("networkSheet.create"))->isEnabled());
    name->setText(QStringLiteral(" Lab "));
    auto *subnet = child<QLineEdit>(*sheet, QStringLiteral("networkSheet.subnet"));
    auto *problem = child<QLabel>(*sheet, QStringLiteral("networkSheet.subnetProblem"));
    EXPECT_FALSE(problem->isVisibleTo(sheet)) << "the starting subnet is a network";
    // What is not an IPv4 network is refused, and the sheet says why under the field.
    for (const char *typed : {"not a subnet", "999.1.1.1/99", "10.0.7.0"}) {
        subnet->setText(QString::fromUtf8(typed));
        EXPECT_FALSE(child<QPushButton>(*sheet, QStringLiteral("networkSheet.create"))->isEnabled()) << typed;
        EXPECT_TRUE(problem->isVisibleTo(sheet)) << typed;
        EXPECT_FALSE(problem->text().isEmpty()) << typed;
    }
    subnet->setText(QStringLiteral("10.0.7.0/24 "));
    EXPECT_FALSE(problem->isVisibleTo(sheet));
    child<QPushButton>(*sheet, QStringLiteral("networkSheet.create"))->click();
    ASSERT_EQ(creates.count(), 1);
    EXPECT_EQ(creates.first()[0].toString(), QStringLiteral(" Lab "));
    EXPECT_EQ(creates.first()[1].toString(), QStringLiteral("10.0.7.0/24 "));
    child<QPushButton>(panel, QStringLiteral("network.newNetwork"))->click();
    EXPECT_EQ(name->text(), QStringLiteral(" Lab ")) << "reopened with the values typed last";
}

TEST(VMNetworkTopologyViewTest, TheSubnetReasonTakesItsOwnLinesAndTheSheetGrowsForIt)
{
    VMNetworkTopologyView panel;
    child<QPushButton>(panel, QStringLiteral("network.newNetwork"))->click();
    auto *sheet = child<QDialog>(panel, QStringLiteral("network.createSheet"));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(sheet));
    auto *problem = child<QLabel>(*sheet, QStringLiteral("networkSheet.subnetProblem"));
    auto *explanation = child<QLabel>(*sheet, QStringLiteral("networkSheet.explanation"));
    auto *create = child<QPushButton>(*sheet, QStringLiteral("networkSheet.create"));
    const auto laidOut = [&] {
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    };
    for (const char *typed : {"10.0.7.5/24", "999.1.1.1/99", "10.0.7.0/24"}) {
        SCOPED_TRACE(typed);
        child<QLineEdit>(*sheet, QStringLiteral("networkSheet.subnet"))->setText(QString::fromUtf8(typed));
        laidOut();
        // Each wrapped text has the height it needs at its width, and nothing lies over another.
        for (const QLabel *label : {problem, explanation}) {
            if (label->isVisible())
                EXPECT_GE(label->height(), label->heightForWidth(label->width())) << label->objectName().toStdString();
        }
        if (problem->isVisible())
            EXPECT_LE(problem->geometry().bottom(), explanation->geometry().top());
        EXPECT_LE(explanation->mapTo(sheet, QPoint(0, explanation->height())).y(), create->mapTo(sheet, QPoint(0, 0)).y());
    }
}

// ---------------------------------------------------------------- guest updates

TEST(MacOSUpdateViewTest, StatusesAndWhenPrepareMayBePressed)
{
    MacOSUpdateView panel;
    panel.setGuestOSType(VMGuestOSType::linux);
    EXPECT_EQ(child<QLabel>(panel, QStringLiteral("updates.title"))->text(), QStringLiteral("Guest Updates"));
    EXPECT_NE(panel.findChild<QLabel *>(QStringLiteral("updates.invitation")), nullptr);
    panel.setChecking(true);
    EXPECT_FALSE(child<QPushButton>(panel, QStringLiteral("updates.check"))->isEnabled());
    panel.setChecking(false);

    VMMacOSUpdateInfo nothingNewer;
    panel.setUpdateInfo(nothingNewer);
    panel.setCheckFailure(QStringLiteral("The catalog could not be read."));
    EXPECT_EQ(child<QLabel>(panel, QStringLiteral("updates.statusTitle"))->text(), QStringLiteral("Could not check"));
    EXPECT_EQ(child<QLabel>(panel, QStringLiteral("updates.failure"))->text(), QStringLiteral("The catalog could not be read."));
    EXPECT_EQ(panel.findChild<QLabel *>(QStringLiteral("updates.linuxExplanation")), nullptr);
    EXPECT_EQ(panel.findChild<QPushButton *>(QStringLiteral("updates.prepare")), nullptr);
    panel.setCheckFailure(std::nullopt);
    EXPECT_EQ(child<QLabel>(panel, QStringLiteral("updates.statusTitle"))->text(), QStringLiteral("Up to Date"));
    EXPECT_NE(panel.findChild<QLabel *>(QStringLiteral("updates.linuxExplanation")), nullptr);

    VMMacOSUpdateInfo newer;
    newer.currentDisplayName = QStringLiteral("Debian 12.4");
    newer.availableVersion = QStringLiteral("Debian 12.5");
    panel.setUpdateInfo(newer);
    EXPECT_EQ(child<QLabel>(panel, QStringLiteral("updates.statusTitle"))->text(), QStringLiteral("Newer ISO Available"));
    EXPECT_EQ(panel.findChild<QLabel *>(QStringLiteral("updates.downloadSize")), nullptr);
    QList<VMMacOSUpdateStrategy> prepared;
    QObject::connect(&panel, &MacOSUpdateView::prepareRequested, [&](VMMacOSUpdateStrategy strategy) { prepared.append(strategy); });
    auto *prepare = child<QPushButton>(panel, QStringLiteral("updates.prepare"));
    prepare->click();
    child<QRadioButton>(panel, QStringLiteral("strategy:manual"))->click();
    prepare->click();
    EXPECT_EQ(prepared, (QList{VMMacOSUpdateStrategy::snapshotThenUpdate, VMMacOSUpdateStrategy::manual}));

    for (const auto &[busy, running] : {std::pair{true, false}, std::pair{false, true}}) {
        panel.setSnapshotOperationRunning(busy);
        panel.setVMRunning(running);
        EXPECT_FALSE(prepare->isEnabled());
    }
    panel.setVMRunning(false);
    panel.setUpdateInfo(newer); // a later result keeps the choice and the guard
    EXPECT_TRUE(child<QRadioButton>(panel, QStringLiteral("strategy:manual"))->isChecked());
    EXPECT_TRUE(child<QPushButton>(panel, QStringLiteral("updates.prepare"))->isEnabled());

    panel.setGuestOSType(VMGuestOSType::windows);
    EXPECT_TRUE(panel.isHidden());
}

} // namespace
