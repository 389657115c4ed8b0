// SPDX-License-Identifier: MIT
#include "../viewmodels/ViewModelTestFixture.h"

#include "BusyThreadPool.h"
#include "DetailsActionsPanel.h"
#include "DiskExpansionSheet.h"
#include "ErrorBannerView.h"
#include "StatePill.h"
#include "VMDetailsView.h"
#include "VMDetailsViewModel.h"
#include "VMExportRun.h"
#include "VMTemplateService.h"

#include <QAction>
#include <QDialog>
#include <QFile>
#include <QFileInfo>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QSignalSpy>
#include <QSlider>
#include <QSpinBox>
#include <QTest>
#include <QToolBar>

#include <cmath>

namespace {

using namespace CoordinatorTesting;

/// The details pane over the real view model, store and coordinator, with scripted machines.
class VMDetailsViewTest : public ViewModelTest
{
protected:
    VMDetailsView &pane(const QUuid &id)
    {
        m_view.reset();
        m_view = std::make_unique<VMDetailsView>(makeDetailsPane(id));
        m_view->resize(900, 1400);
        m_view->show();
        settle();
        return *m_view;
    }

    template <typename Widget = QWidget>
    Widget *find(const QString &objectName) const
    {
        auto *widget = m_view->findChild<Widget *>(objectName);
        EXPECT_TRUE(widget) << objectName.toStdString();
        return widget;
    }

    QString text(const QString &objectName) const { return find<QLabel>(objectName)->text(); }

    /// The visible action buttons by key, enabled or not.
    QStringList actions(bool enabledOnly) const
    {
        QStringList keys;
        for (const VMDetailsActionState &state : VMDetailsActions::states(m_view->viewModel())) {
            QPushButton *button = find<QPushButton>(QStringLiteral("details.action.") + VMDetailsActions::key(state.action));
            EXPECT_EQ(button->text(), state.title);
            EXPECT_TRUE(button->isVisible());
            if (!enabledOnly || button->isEnabled())
                keys << VMDetailsActions::key(state.action);
        }
        return keys;
    }

    QPushButton *button(const QString &key) const { return find<QPushButton>(QStringLiteral("details.action.") + key); }

    /// The open top-level dialog named `name`, if any.
    template <typename Dialog = QDialog>
    static Dialog *dialog(const QString &name)
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == name && widget->isVisible())
                return qobject_cast<Dialog *>(widget);
        }
        return nullptr;
    }

    std::unique_ptr<VMDetailsView> m_view;
};

TEST_F(VMDetailsViewTest, APaneShowsTheVMsOverviewFoldersAndMetadata)
{
    const VMBundle bundle = storeChanged(withSavedState(installedBundle(QStringLiteral("Build <b>Agent</b>")).id()).id(), [](VMBundle &changed) {
        changed.metadata.guestOSDisplayName = QStringLiteral("Debian <i>12</i>");
        changed.metadata.guestBuildVersion = QString();
        changed.sharedFolders = {
            VMSharedFolder{QUuid::createUuid(), QStringLiteral("Sources"), QUrl::fromLocalFile(QStringLiteral("/src")), true, std::nullopt},
            VMSharedFolder{QUuid::createUuid(), QStringLiteral("Out"), QUrl::fromLocalFile(QStringLiteral("/out")), false, std::nullopt},
        };
    });
    pane(bundle.id());

    EXPECT_EQ(text(QStringLiteral("details.title")), QStringLiteral("Build <b>Agent</b>"));
    EXPECT_EQ(find<QLabel>(QStringLiteral("details.title"))->textFormat(), Qt::PlainText);
    EXPECT_EQ(text(QStringLiteral("details.subtitle")), QStringLiteral("Debian <i>12</i>"));
    EXPECT_EQ(text(QStringLiteral("details.overview.Saved State")), QStringLiteral("Available"));
    EXPECT_EQ(text(QStringLiteral("details.overview.Guest Build")), QString()) << "an empty build still has its row";
    EXPECT_EQ(text(QStringLiteral("details.overview.Camera")), QStringLiteral("Not available on this host"));
    EXPECT_EQ(text(QStringLiteral("details.bundleLayout.Disk Image")), QStringLiteral("Disk.img"));
    EXPECT_EQ(text(QStringLiteral("details.metadata.Bundle Path")), bundle.bundleURL);
    EXPECT_EQ(text(QStringLiteral("details.metadata.Storage Folder")).toStdString(), QFileInfo(bundle.bundleURL).path().toStdString());
    EXPECT_EQ(text(QStringLiteral("details.metadata.Saved State File")), QStringLiteral("SavedState/MachineState.bin"));

    QStringList folders;
    for (const QLabel *name : m_view->findChildren<QLabel *>(QStringLiteral("details.sharedFolder.name")))
        folders << name->text();
    QStringList modes;
    for (const QLabel *mode : m_view->findChildren<QLabel *>(QStringLiteral("details.sharedFolder.mode")))
        modes << mode->text();
    EXPECT_EQ(folders, (QStringList{QStringLiteral("Sources"), QStringLiteral("Out")}));
    EXPECT_EQ(modes, (QStringList{QStringLiteral("Read Only"), QStringLiteral("Read/Write")}));
    EXPECT_FALSE(m_view->findChild<QLabel *>(QStringLiteral("details.sharedFolders.empty")));
}

TEST_F(VMDetailsViewTest, WithoutItsVMThePaneShowsPlaceholdersAndAllowsNothing)
{
    pane(QUuid::createUuid());
    EXPECT_EQ(text(QStringLiteral("details.subtitle")), QStringLiteral("macOS VM"));
    EXPECT_EQ(actions(true), QStringList());
    EXPECT_EQ(actions(false).size(), 13);
    EXPECT_FALSE(find<QAction>(QStringLiteral("details.openConsole"))->isEnabled());
    EXPECT_EQ(text(QStringLiteral("details.sharedFolders.empty")), QStringLiteral("No shared folders configured yet."));
    EXPECT_EQ(text(QStringLiteral("details.metadata.Bundle Path")), QStringLiteral("Unavailable"));
    EXPECT_EQ(text(QStringLiteral("details.metadata.Created")), QStringLiteral("Unknown"));
    EXPECT_FALSE(m_view->findChild<QLabel *>(QStringLiteral("details.metadata.Saved State File")));
    EXPECT_EQ(text(QStringLiteral("details.bundleLayout.Hardware Model")), QStringLiteral("HardwareModel.bin"));

    find<QAction>(QStringLiteral("details.reveal"))->trigger();
    EXPECT_TRUE(m_viewer.revealed.isEmpty());
}

TEST_F(VMDetailsViewTest, TheButtonsFollowTheVMsRunStateAndSavedState)
{
    const VMBundle bundle = installedBundle();
    // The guest's system is on its disk: the actions of an installed system apply.
    QFile disk(bundle.layout().diskImageURL());
    ASSERT_TRUE(disk.open(QIODevice::ReadWrite));
    ASSERT_EQ(disk.write(QByteArray(65536, 's')), 65536);
    disk.close();
    VMDetailsView &view = pane(bundle.id());
    const auto keys = [](std::initializer_list<const char *> names) {
        QStringList list;
        for (const char *name : names)
            list << QString::fromLatin1(name);
        return list;
    };
    EXPECT_EQ(actions(true), keys({"start", "expandDisk", "settings", "diskGuide", "guestTools", "clone", "exportVM", "saveAsTemplate", "deleteVM"}));

    waitForOutcome(view.viewModel().start()).get();
    settle();
    EXPECT_EQ(actions(true), keys({"pause", "saveState", "stop", "diskGuide", "guestTools", "saveAsTemplate"}));
    EXPECT_EQ(button(QStringLiteral("settings"))->toolTip(), QStringLiteral("Stop the VM before changing VM settings."));

    waitForOutcome(view.viewModel().pause()).get();
    settle();
    EXPECT_EQ(actions(true), keys({"resume", "saveState", "stop", "diskGuide", "guestTools", "saveAsTemplate"}));

    waitForOutcome(view.viewModel().stop()).get();
    withSavedState(bundle.id());
    settle();
    EXPECT_EQ(actions(false).size(), 15);
    EXPECT_EQ(actions(true),
              keys({"start", "resumeSavedState", "discardSavedState", "diskGuide", "guestTools", "clone", "exportVM", "saveAsTemplate", "deleteVM"}));
    EXPECT_EQ(button(QStringLiteral("expandDisk"))->toolTip(), QStringLiteral("Discard the saved state before changing disk capacity."));
}

TEST_F(VMDetailsViewTest, OpenConsoleAsksForTheConsoleEachTimeAndTheSheetsAreAskedFor)
{
    const VMBundle bundle = installedBundle();
    VMDetailsView &view = pane(bundle.id());
    waitForOutcome(view.viewModel().start()).get();
    settle();
    QSignalSpy console(&view, &VMDetailsView::consoleRequested);
    EXPECT_EQ(console.count(), 0) << "the start's session goes to the console once";
    view.viewModel().setActiveConsoleSession(nullptr);
    find<QAction>(QStringLiteral("details.openConsole"))->trigger();
    find<QAction>(QStringLiteral("details.openConsole"))->trigger();
    ASSERT_EQ(console.count(), 2);
    EXPECT_EQ(console.first().first().toUuid(), bundle.id());
    EXPECT_EQ(view.viewModel().activeConsoleSession(), nullptr);

    find<QAction>(QStringLiteral("details.reveal"))->trigger();
    EXPECT_EQ(m_viewer.revealed, QStringList{bundle.bundleURL});

    waitForOutcome(view.viewModel().stop()).get();
    settle();
    QSignalSpy settings(&view, &VMDetailsView::settingsRequested);
    QSignalSpy exports(&view, &VMDetailsView::exportRequested);
    QSignalSpy templates(&view, &VMDetailsView::saveAsTemplateRequested);
    button(QStringLiteral("settings"))->click();
    button(QStringLiteral("exportVM"))->click();
    button(QStringLiteral("saveAsTemplate"))->click();
    EXPECT_EQ(settings.count(), 1);
    EXPECT_EQ(exports.count(), 1);
    EXPECT_EQ(templates.count(), 1);
}

TEST_F(VMDetailsViewTest, StartingMonitorsTheVMAndThePaneStopsItWhenItGoes)
{
    const VMBundle bundle = installedBundle();
    waitForOutcome(coordinator().start(bundle.id(), false)).get();
    settle();
    pane(bundle.id());
    EXPECT_TRUE(m_performance.isMonitoring()) << "a pane for a running VM monitors it at once";
    m_view.reset();
    EXPECT_FALSE(m_performance.isMonitoring());
}

TEST_F(VMDetailsViewTest, DeleteAsksFirstAndTheBannerShowsAndDismissesFailures)
{
    const VMBundle bundle = installedBundle();
    VMDetailsView &view = pane(bundle.id());
    button(QStringLiteral("deleteVM"))->click();
    QMessageBox *confirmation = view.findChild<QMessageBox *>(QStringLiteral("details.deleteConfirmation"));
    ASSERT_TRUE(confirmation);
    // The VM is named, with the folder that goes: two VMs may carry one name.
    EXPECT_EQ(confirmation->windowTitle(), QStringLiteral("Delete “%1”?").arg(bundle.metadata.name));
    EXPECT_EQ(confirmation->text(), QStringLiteral("This removes “%1” and its bundle from disk: %2").arg(bundle.metadata.name, bundle.bundleURL));
    confirmation->button(QMessageBox::Cancel)->click();
    settle();
    EXPECT_TRUE(store().bundle(bundle.id()));

    view.viewModel().setErrorMessage(QStringLiteral("Something <b>failed</b>"));
    EXPECT_TRUE(find<ErrorBannerView>(QStringLiteral("details.banner"))->isVisible());
    Q_EMIT find<ErrorBannerView>(QStringLiteral("details.banner"))->dismissed();
    EXPECT_EQ(view.viewModel().errorMessage(), std::nullopt);
    EXPECT_FALSE(find<ErrorBannerView>(QStringLiteral("details.banner"))->isVisible());

    button(QStringLiteral("deleteVM"))->click();
    confirmation = view.findChild<QMessageBox *>(QStringLiteral("details.deleteConfirmation"));
    find<QPushButton>(QStringLiteral("details.deleteConfirmation.confirm"))->click();
    settle();
    EXPECT_FALSE(store().bundle(bundle.id()));
}

TEST_F(VMDetailsViewTest, ASnapshotSaysItIsDoneAndLeavesThePaneWhereItWas)
{
    const VMBundle bundle = installedBundle();
    VMDetailsView &view = pane(bundle.id());
    view.resize(900, 700);
    settle();
    auto *scroll = find<QScrollArea>(QStringLiteral("details.scroll"));
    const QWidget *timeline = view.featurePanel(VMDetailsView::FeaturePanelSlot::snapshotTimeline);
    scroll->verticalScrollBar()->setValue(timeline->mapTo(scroll->widget(), QPoint()).y() - 20);
    const int place = scroll->verticalScrollBar()->value();
    ASSERT_GT(place, 0);

    // The button that was clicked keeps the focus while the sheet is open, and is turned off while the snapshot is taken.
    auto *newSnapshot = find<QPushButton>(QStringLiteral("snapshots.newSnapshot"));
    QTest::mouseClick(newSnapshot, Qt::LeftButton);
    ASSERT_EQ(view.window()->focusWidget(), newSnapshot);
    QSignalSpy busy(&view.viewModel(), &VMDetailsViewModel::isBusyChanged);
    // The copy waits for the pool, so a tiny one cannot end before the check.
    BusyThreadPool pool;
    find<QPushButton>(QStringLiteral("createSheet.create"))->click();
    ASSERT_TRUE(view.viewModel().isBusy()) << "the copy runs on a worker";
    pool.release();
    ASSERT_TRUE(busy.wait()) << "the snapshot is taken";
    settle();

    EXPECT_EQ(scroll->verticalScrollBar()->value(), place) << "the pane kept its place";
    auto *banner = find<ErrorBannerView>(QStringLiteral("details.banner"));
    EXPECT_TRUE(banner->isVisible());
    EXPECT_EQ(banner->kind(), MessageKind::information);
    EXPECT_TRUE(banner->message().startsWith(QStringLiteral("Created snapshot “"))) << banner->message().toStdString();
    EXPECT_FALSE(scroll->isAncestorOf(banner)) << "shown wherever the user has scrolled to";
}

TEST_F(VMDetailsViewTest, TheHeaderPillsShowTheRunStateAndWhetherAnythingIsInstalled)
{
    const VMBundle bundle = installedBundle();
    VMDetailsView &view = pane(bundle.id());
    auto *run = find<StatePill>(QStringLiteral("details.runState"));
    auto *install = find<StatePill>(QStringLiteral("details.installState"));
    EXPECT_EQ(install->text(), QStringLiteral("Ready to Install")) << "the Linux VM's disk holds nothing yet";
    EXPECT_EQ(run->text(), QStringLiteral("Stopped"));
    EXPECT_EQ(run->symbol(), QStringLiteral("stop.circle"));
    waitForOutcome(view.viewModel().start()).get();
    EXPECT_EQ(run->text(), QStringLiteral("Running"));
    EXPECT_EQ(run->symbol(), QStringLiteral("play.circle.fill"));
    waitForOutcome(view.viewModel().pause()).get();
    EXPECT_EQ(run->text(), QStringLiteral("Paused"));
    EXPECT_EQ(run->symbol(), QStringLiteral("pause.circle.fill"));
    waitForOutcome(view.viewModel().stop()).get();

    // The installer wrote to the disk.
    QFile disk(bundle.layout().diskImageURL());
    ASSERT_TRUE(disk.open(QIODevice::ReadWrite));
    disk.write(QByteArray(65536, 'd'));
    disk.close();
    view.viewModel().refreshDiskUsage();
    EXPECT_EQ(install->text(), QStringLiteral("Installed"));
}

TEST_F(VMDetailsViewTest, AnExportOverAnExistingOneAsksAndEndsWhateverTheAnswer)
{
    const VMBundle bundle = installedBundle();
    VMDetailsView &view = pane(bundle.id());
    const QString folder = outside(QStringLiteral("exports"));
    const QString result = folder + QStringLiteral("/Dev.vm");
    const struct {
        const char *answer;
        bool replaced;
    } cases[] = {{"Cancel", false}, {"Replace", true}};
    for (const auto &test : cases) {
        SCOPED_TRACE(test.answer);
        write(result + QStringLiteral("/keep.txt"), "mine");
        m_chooser.answers << folder;
        view.exportVM(VMExportFormat::vmBundle, {});
        QMessageBox *confirmation = nullptr;
        ASSERT_TRUE(QTest::qWaitFor([&] { return (confirmation = dialog<QMessageBox>(QStringLiteral("details.replaceConfirmation"))); }, 5000));
        EXPECT_TRUE(confirmation->text().startsWith(QStringLiteral("“Dev.vm” already exists")));
        for (QAbstractButton *choice : confirmation->buttons()) {
            if (choice->text() == QString::fromUtf8(test.answer))
                choice->click();
        }
        // The run ends: the Export action comes back and nothing is left "running".
        ASSERT_TRUE(QTest::qWaitFor([&] { return !view.exportRun().isRunning(); }, 5000));
        EXPECT_TRUE(button(QStringLiteral("exportVM"))->isEnabled());
        EXPECT_EQ(QFileInfo::exists(result + QStringLiteral("/keep.txt")), !test.replaced);
        EXPECT_EQ(QFileInfo(result + QStringLiteral("/Disk.img")).isFile(), test.replaced);
        if (test.replaced) {
            EXPECT_EQ(view.viewModel().errorMessage(), QStringLiteral("Exported to ") + result);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_FALSE(view.findChild<QMessageBox *>(QStringLiteral("details.replaceConfirmation"))) << "the answered box is deleted";
    }
}

TEST_F(VMDetailsViewTest, TheDiskSheetGrowsTheDiskAndShowsTheNewCapacity)
{
    const VMBundle bundle = storeChanged(installedBundle().id(), [](VMBundle &changed) { changed.metadata.guestOSType = VMGuestOSType::linux; });
    VMDetailsView &view = pane(bundle.id());
    view.openDiskExpansion();
    auto *sheet = view.findChild<DiskExpansionSheet *>(QStringLiteral("diskExpansion"));
    ASSERT_TRUE(sheet);
    const DiskExpansionPlan &plan = sheet->plan();
    EXPECT_DOUBLE_EQ(sheet->requestedCapacityGB(), plan.initialRequestGB());
    const QString before = view.viewModel().virtualCapacityText();
    sheet->findChild<QSpinBox *>(QStringLiteral("diskExpansion.field"))->setValue(101);
    EXPECT_DOUBLE_EQ(sheet->requestedCapacityGB(), 101);
    EXPECT_EQ(sheet->findChild<QLabel *>(QStringLiteral("diskExpansion.newCapacity"))->text(), QStringLiteral("104 GB"));
    waitForOutcome(sheet->applyExpansion()).get();
    const QLabel *summary = sheet->findChild<QLabel *>(QStringLiteral("diskExpansion.summary"));
    ASSERT_TRUE(summary);
    EXPECT_EQ(view.viewModel().bundle()->metadata.diskSizeBytes, 104 * gibibyte);
    EXPECT_TRUE(summary->text().startsWith(QStringLiteral("The VM disk is now ") + view.viewModel().virtualCapacityText() + QLatin1Char('.')));
    EXPECT_FALSE(summary->text().contains(before)) << "the completion names the new capacity, not the old";
    EXPECT_TRUE(sheet->findChild<QWidget *>(QStringLiteral("diskGuide"))) << "a Linux guest gets its guide";
}

TEST_F(VMDetailsViewTest, TheDiskSheetFollowsADiskGrownWhileItIsOpen)
{
    const VMBundle bundle = installedBundle();
    VMDetailsView &view = pane(bundle.id());
    view.openDiskExpansion();
    auto *sheet = view.findChild<DiskExpansionSheet *>(QStringLiteral("diskExpansion"));
    ASSERT_TRUE(sheet);

    // Another window grows the disk while this sheet is open: the range starts from the new capacity.
    ASSERT_EQ(failureText([&] { coordinator().changeDiskCapacity(bundle.id(), 200 * gibibyte); }), QString());
    settle();
    EXPECT_DOUBLE_EQ(sheet->plan().currentCapacityGB(), 200);
    EXPECT_DOUBLE_EQ(sheet->requestedCapacityGB(), 216) << "the old target lies below the grown disk";
    const auto *slider = sheet->findChild<QSlider *>(QStringLiteral("diskExpansion.slider"));
    EXPECT_EQ(slider->minimum(), 208);
    EXPECT_EQ(slider->maximum(), 600);
    EXPECT_EQ(sheet->findChild<QLabel *>(QStringLiteral("diskExpansion.range"))->text(), QStringLiteral("Range 208-600 GB"));
    EXPECT_EQ(sheet->findChild<QLabel *>(QStringLiteral("diskExpansion.added"))->text(), QStringLiteral("16 GB"));

    waitForOutcome(sheet->applyExpansion()).get();
    EXPECT_EQ(view.viewModel().errorMessage(), std::nullopt);
    EXPECT_EQ(view.viewModel().bundle()->metadata.diskSizeBytes, 216 * gibibyte);
}

TEST_F(VMDetailsViewTest, ATypedCapacityOutsideTheRangeIsBroughtIntoItInTheField)
{
    const VMBundle bundle = installedBundle();
    VMDetailsView &view = pane(bundle.id());
    view.openDiskExpansion();
    auto *sheet = view.findChild<DiskExpansionSheet *>(QStringLiteral("diskExpansion"));
    ASSERT_TRUE(sheet);
    const DiskExpansionPlan &plan = sheet->plan();
    ASSERT_EQ(plan.maximumCapacityGB(), 256);
    auto *field = sheet->findChild<QSpinBox *>(QStringLiteral("diskExpansion.field"));
    const struct {
        const char *typed;
        int shown;
    } cases[] = {{"999999", 256}, {"10", int(std::ceil(plan.minimumCapacityGB()))}, {"100", 100}};
    for (const auto &[typed, shown] : cases) {
        SCOPED_TRACE(typed);
        field->selectAll();
        QTest::keyClicks(field, QString::fromLatin1(typed));
        Q_EMIT field->editingFinished(); // Return or leaving the field
        EXPECT_EQ(field->value(), shown);
        EXPECT_EQ(field->text(), QString::number(shown));
        EXPECT_EQ(sheet->requestedCapacityGB(), shown);
    }
    EXPECT_EQ(sheet->findChild<QLabel *>(QStringLiteral("diskExpansion.newCapacity"))->text(), QStringLiteral("104 GB"));
}

TEST_F(VMDetailsViewTest, ADiskTooLargeToGrowHasItsControlsDisabled)
{
    const VMBundle bundle = storeChanged(installedBundle().id(), [](VMBundle &changed) {
        changed.metadata.hardwareProfile.diskSizeBytes = 2044 * gibibyte;
        changed.metadata.normalize();
    });
    VMDetailsView &view = pane(bundle.id());
    view.openDiskExpansion();
    auto *sheet = view.findChild<DiskExpansionSheet *>(QStringLiteral("diskExpansion"));
    ASSERT_TRUE(sheet);
    EXPECT_FALSE(sheet->findChild<QSlider *>(QStringLiteral("diskExpansion.slider"))->isEnabled());
    EXPECT_FALSE(sheet->findChild<QPushButton *>(QStringLiteral("diskExpansion.apply"))->isEnabled());
    EXPECT_TRUE(sheet->findChild<QPushButton *>(QStringLiteral("diskExpansion.cancel"))->isEnabled());
    EXPECT_LE(sheet->findChild<QSlider *>(QStringLiteral("diskExpansion.slider"))->value(), 2048);
}

TEST_F(VMDetailsViewTest, TheGuestToolsGuideShowsTheGuestsMessageAsTextAndReveals)
{
    const VMBundle bundle = installedBundle();
    VMDetailsView &view = pane(bundle.id());
    const VMGuestAutomationResponse response{QUuid::createUuid(), false, QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC), QStringLiteral("<img src=x>")};
    write(bundle.layout().automationDirectoryURL() + QStringLiteral("/Responses/A.json"), sharedJSONEncoder().encode(response));
    view.viewModel().refreshGuestAutomationStatus();

    view.openGuestToolsSetup();
    QDialog *sheet = view.findChild<QDialog *>(QStringLiteral("details.guestToolsSheet"));
    ASSERT_TRUE(sheet);
    const QLabel *message = sheet->findChild<QLabel *>(QStringLiteral("guestTools.latestMessage"));
    ASSERT_TRUE(message);
    EXPECT_EQ(message->text(), QStringLiteral("<img src=x>"));
    EXPECT_EQ(message->textFormat(), Qt::PlainText);
    EXPECT_EQ(sheet->findChild<QLabel *>(QStringLiteral("guestTools.title"))->text(), QStringLiteral("Install Kestrum Tools"));
    sheet->findChild<QPushButton *>(QStringLiteral("guestTools.reveal"))->click();
    EXPECT_EQ(m_viewer.revealed.size(), 1);
    EXPECT_TRUE(sheet->isVisible());

    view.openDiskGuide();
    QDialog *guide = view.findChild<QDialog *>(QStringLiteral("details.diskGuideSheet"));
    ASSERT_TRUE(guide);
    QStringList commands;
    for (const QLabel *command : guide->findChildren<QLabel *>(QStringLiteral("guide.command")))
        commands << command->text();
    EXPECT_TRUE(commands.contains(QStringLiteral("sudo growpart /dev/vda <partitionNumber>"))) << commands.join(QLatin1Char('|')).toStdString();
}

TEST_F(VMDetailsViewTest, FeaturePanelsTakeTheirSlotsInOrder)
{
    VMDetailsView &view = pane(installedBundle().id());
    using Slot = VMDetailsView::FeaturePanelSlot;
    // The pane builds each panel over its view model.
    const struct {
        Slot slot;
        const char *panel;
    } composed[] = {{Slot::snapshotTimeline, "snapshotTimeline"}, {Slot::performanceDashboard, "performanceDashboard"}, {Slot::diskAnalytics, "diskAnalytics"},
                    {Slot::macOSUpdate, "guestUpdates"},          {Slot::fileDrop, "drop"},                            {Slot::ciRunner, "ci"},
                    {Slot::networkTopology, "networkTopology"}};
    for (const auto &test : composed) {
        SCOPED_TRACE(test.panel);
        ASSERT_TRUE(view.featurePanel(test.slot));
        EXPECT_EQ(view.featurePanel(test.slot)->objectName(), QString::fromUtf8(test.panel));
    }

    auto *network = new QLabel(QStringLiteral("network"));
    auto *timeline = new QLabel(QStringLiteral("timeline"));
    view.insertFeaturePanel(Slot::networkTopology, network);
    view.insertFeaturePanel(Slot::snapshotTimeline, timeline);
    view.insertFeaturePanel(Slot::ciRunner, nullptr);
    EXPECT_EQ(view.featurePanel(Slot::snapshotTimeline), timeline);
    EXPECT_EQ(view.featurePanel(Slot::ciRunner), nullptr);
    settle();
    const QWidget *column = find(QStringLiteral("details.column"));
    EXPECT_LT(timeline->mapTo(column, QPoint()).y(), network->mapTo(column, QPoint()).y());
    EXPECT_LT(find(QStringLiteral("details.overviewBox"))->mapTo(column, QPoint()).y(), timeline->mapTo(column, QPoint()).y());
}

TEST_F(VMDetailsViewTest, EachPanelsFailuresReachThePanesBannerAndTheToolbarReveals)
{
    const VMBundle bundle = installedBundle();
    VMDetailsView &view = pane(bundle.id());
    // The private networks have a view model of their own; a network that cannot be stored is shown in the pane's one banner.
    const QString folder = QFileInfo(m_networks.storeURL()).absolutePath();
    QDir(folder).removeRecursively();
    write(folder, "a file where the folder should be");
    view.findChild<QPushButton *>(QStringLiteral("network.newNetwork"))->click();
    view.findChild<QPushButton *>(QStringLiteral("networkSheet.create"))->click();
    EXPECT_TRUE(view.viewModel().errorMessage().has_value());
    EXPECT_TRUE(find<ErrorBannerView>(QStringLiteral("details.banner"))->isVisible());
    EXPECT_TRUE(QFile::remove(folder));

    find<QAction>(QStringLiteral("details.reveal"))->trigger();
    EXPECT_EQ(m_viewer.revealed, QStringList{bundle.bundleURL});
}

} // namespace

namespace {

TEST_F(VMDetailsViewTest, AWindowsGuestsConsoleIsAskedForWithoutASession)
{
    const VMBundle windows =
        storeChanged(installedBundle(QStringLiteral("Windows")).id(), [](VMBundle &changed) { changed.metadata.guestOSType = VMGuestOSType::windows; });
    VMDetailsView &view = pane(windows.id());
    QSignalSpy console(&view, &VMDetailsView::consoleRequested);
    find<QAction>(QStringLiteral("details.openConsole"))->trigger();
    EXPECT_EQ(console.count(), 1);
    EXPECT_EQ(view.viewModel().errorMessage(), std::nullopt);
    EXPECT_FALSE(button(QStringLiteral("diskGuide"))->isEnabled());
    EXPECT_FALSE(button(QStringLiteral("guestTools"))->isEnabled());
}

} // namespace
