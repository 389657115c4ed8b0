// SPDX-License-Identifier: MIT
#include "AppStateFixture.h"
#include "ConsoleWindow.h"
#include "CreateVMWizardViewModel.h"
#include "DetailsPanelWiring.h"
#include "FileDropTransferView.h"
#include "FileDropTransferViewModel.h"
#include "LibraryView.h"
#include "LibraryViewModel.h"
#include "MainWindow.h"
#include "QEMUConsoleView.h"
#include "SnapshotTimelineView.h"
#include "VMConsoleView.h"
#include "VMConsoleWindowManager.h"
#include "VMDetailsView.h"
#include "VMNetworkTopologyService.h"
#include "VMNetworkTopologyView.h"

#include "TaskOutcome.h"
#include "EventLoopWait.h"
#include "ScriptedVirtualMachine.h"
#include "VMConsoleViewModel.h"
#include "VMDetailsPaneModels.h"
#include "VirtualMachineSession.h"
#include "VirtualMachineSessionTable.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QToolButton>
#include <QWidget>

#include <gtest/gtest.h>

namespace {

class AppStateTest : public AppStateFixture
{
protected:
    /// Puts a new session of the VM into the coordinator's table (as a start does), its machine running; the table keeps it.
    VirtualMachineSession *insertRunningSession(const VMBundle &bundle)
    {
        VirtualMachineConfiguration configuration;
        auto machine = std::make_unique<ScriptedVirtualMachine>(configuration);
        machine->forceState(VirtualMachine::State::running);
        auto session = std::make_shared<VirtualMachineSession>(m_state->vmStore().bundle(bundle.id()).value_or(bundle), configuration, std::move(machine),
                                                               QStringList(), m_state->sharedFolderService(), m_state->loggingService());
        session->setRuntimeState(VMRuntimeState::running);
        m_state->coordinator().sessions().insert(session);
        return session.get();
    }
};

} // namespace

TEST_F(AppStateTest, GuestFoldersArePreparedForEveryVMAndToolsStagedOnlyForLinux)
{
    const VMBundle mac = addBundle(QStringLiteral("Mac"), VMGuestOSType::macOS);
    const VMBundle linux = addBundle(QStringLiteral("Linux"), VMGuestOSType::linux);
    const VMBundle windows = addBundle(QStringLiteral("Windows"), VMGuestOSType::windows);
    // A VM whose automation folder is a file cannot be prepared; the others still are.
    const VMBundle blocked = addBundle(QStringLiteral("Blocked"), VMGuestOSType::linux);
    {
        QFile file(blocked.bundleURL + QStringLiteral("/Automation"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }
    waitForOutcome(m_state->vmStore().reload()).get();
    waitForOutcome(m_state->prepareGuestFoldersForAllBundles()).get();

    for (const VMBundle &bundle : {mac, linux, windows})
        EXPECT_TRUE(QFileInfo(bundle.bundleURL + QStringLiteral("/Automation")).isDir()) << bundle.metadata.name.toStdString();
    const auto staged = [](const VMBundle &bundle) {
        return !QDir(bundle.bundleURL + QStringLiteral("/Automation")).entryList({QStringLiteral("*linux*")}, QDir::Files).isEmpty();
    };
    EXPECT_TRUE(staged(linux));
    EXPECT_FALSE(staged(mac));
    EXPECT_FALSE(staged(windows));
    EXPECT_TRUE(QFileInfo(blocked.bundleURL + QStringLiteral("/Automation")).isFile());
}

TEST_F(AppStateTest, AVMDeletedWhileThePreparationYieldsIsNotMadeAgain)
{
    addBundle(QStringLiteral("First"), VMGuestOSType::linux);
    addBundle(QStringLiteral("Second"), VMGuestOSType::linux);
    waitForOutcome(m_state->vmStore().reload()).get();
    ASSERT_EQ(m_state->vmStore().bundles().size(), 2);
    const VMBundle later = m_state->vmStore().bundles().last();

    // The preparation has done the first VM and yields; the user deletes the other one meanwhile.
    QCoro::Task<> preparation = m_state->prepareGuestFoldersForAllBundles();
    m_state->coordinator().deleteVM(later.id());
    ASSERT_FALSE(QFileInfo::exists(later.bundleURL));
    waitForOutcome(std::move(preparation)).get();

    EXPECT_FALSE(QFileInfo::exists(later.bundleURL)) << "an empty bundle folder was made again";
    EXPECT_TRUE(QFileInfo(m_state->vmStore().bundles().first().layout().automationDirectoryURL()).isDir());
}

TEST_F(AppStateTest, ViewModelsShareTheStateServices)
{
    const VMBundle bundle = addBundle(QStringLiteral("Mac"), VMGuestOSType::macOS);
    EXPECT_EQ(&m_state->libraryViewModel().store(), &m_state->vmStore());
    const std::unique_ptr<VMDetailsViewModel> first = m_state->makeDetailsViewModels(bundle.id(), m_state->fileChooser()).details;
    const std::unique_ptr<VMDetailsViewModel> second = m_state->makeDetailsViewModels(bundle.id(), m_state->fileChooser()).details;
    EXPECT_NE(first.get(), second.get());
    EXPECT_EQ(first->bundleID(), bundle.id());
    QCoreApplication::processEvents();
    ASSERT_TRUE(second->bundle());
    EXPECT_EQ(second->bundle()->metadata.name, QStringLiteral("Mac"));
    // The coordinator is the state's: it knows the VM from the state's store.
    EXPECT_EQ(m_state->coordinator().effectiveRuntimeState(bundle.id()), VMRuntimeState::stopped);
}

TEST_F(AppStateTest, AConsoleClosesOnlyItsOwnWindowAndLeavesTheVMRunning)
{
    QList<std::shared_ptr<VirtualMachineSession>> sessions;
    for (const QString &name : {QStringLiteral("First"), QStringLiteral("Second")}) {
        const VMBundle bundle = addBundle(name, VMGuestOSType::linux);
        VirtualMachineConfiguration configuration;
        auto session = std::make_shared<VirtualMachineSession>(bundle, configuration, std::make_unique<ScriptedVirtualMachine>(configuration),
                                                               QStringList(), m_state->sharedFolderService(), m_state->loggingService());
        session->setRuntimeState(VMRuntimeState::running);
        m_state->coordinator().sessions().insert(session);
        m_state->consoleWindowManager().openConsole(*session, new QWidget);
        sessions << session;
    }
    ASSERT_EQ(m_state->consoleWindowManager().windowCount(), 2);
    const std::unique_ptr<VMConsoleViewModel> console = m_state->makeConsoleViewModel(sessions.first());
    console->close();
    QCoreApplication::processEvents();
    EXPECT_EQ(m_state->consoleWindowManager().windowCount(), 1);
    EXPECT_FALSE(m_state->consoleWindowManager().window(sessions.first()->bundle().metadata.id));
    EXPECT_TRUE(m_state->consoleWindowManager().window(sessions.last()->bundle().metadata.id));
    EXPECT_EQ(m_state->coordinator().effectiveRuntimeState(sessions.first()->bundle().metadata.id), VMRuntimeState::running);
}

TEST_F(AppStateTest, OpenConsoleShowsTheLiveConsoleOfASessionOrOfAWindowsVMsQEMU)
{
    const VMBundle linux = addBundle(QStringLiteral("Linux"), VMGuestOSType::linux);
    VirtualMachineConfiguration configuration;
    m_state->coordinator().sessions().insert(std::make_shared<VirtualMachineSession>(
        linux, configuration, std::make_unique<ScriptedVirtualMachine>(configuration), QStringList(), m_state->sharedFolderService(),
        m_state->loggingService()));
    const VMBundle windows = addBundle(QStringLiteral("Windows"), VMGuestOSType::windows, Install::withDisk);
    MainWindow window(*m_state);

    window.openConsole(linux.id());
    window.openConsole(windows.id());
    window.openConsole(linux.id()); // raises the one window again
    VMConsoleWindowManager &consoles = m_state->consoleWindowManager();
    ASSERT_EQ(consoles.windowCount(), 2);
    EXPECT_TRUE(qobject_cast<VMConsoleView *>(consoles.window(linux.id())->content()));
    EXPECT_TRUE(qobject_cast<QEMUConsoleView *>(consoles.window(windows.id())->content()));
    EXPECT_EQ(consoles.window(windows.id())->windowTitle(), QStringLiteral("Windows Console"));
    EXPECT_FALSE(consoles.window(windows.id())->session());

    window.openConsole(QUuid::createUuid()); // a VM the library does not hold opens nothing
    EXPECT_EQ(consoles.windowCount(), 2);
}

TEST_F(AppStateTest, EachWizardIsANewOneBoundToTheHost)
{
    const std::shared_ptr<CreateVMWizardViewModel> first = m_state->makeCreateWizardViewModel();
    const std::shared_ptr<CreateVMWizardViewModel> second = m_state->makeCreateWizardViewModel();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first, second);
    EXPECT_NE(first->id(), second->id());
}

TEST_F(AppStateTest, FeaturePanelsDriveTheDetailsViewModelAndShowItsAnswers)
{
    const VMBundle bundle = addBundle(QStringLiteral("Linux"), VMGuestOSType::linux);
    QFile disk(bundle.layout().diskImageURL());
    ASSERT_TRUE(disk.open(QIODevice::WriteOnly) && disk.resize(qint64(1) << 30));
    disk.close();
    VMDetailsPaneModels models = m_state->makeDetailsViewModels(bundle.id(), m_state->fileChooser());
    const std::unique_ptr<VMDetailsViewModel> &model = models.details;
    QCoreApplication::processEvents();

    SnapshotTimelineView timeline;
    DetailsPanelWiring::bind(timeline, *models.snapshotTimeline);
    QSignalSpy timelineFailures(models.snapshotTimeline.get(), &SnapshotTimelineViewModel::failed);
    timeline.findChild<QPushButton *>(QStringLiteral("snapshots.newSnapshot"))->click();
    timeline.findChild<QPushButton *>(QStringLiteral("createSheet.create"))->click();
    EXPECT_FALSE(timeline.findChild<QPushButton *>(QStringLiteral("snapshots.newSnapshot"))->isEnabled()) << "off while the copy runs";
    QDeadlineTimer deadline(5000);
    while (models.snapshotTimeline->isOperationRunning() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    ASSERT_EQ(model->errorMessage(), QStringLiteral("Created snapshot “Snapshot 1”"));
    EXPECT_EQ(model->messageKind(), MessageKind::information);
    ASSERT_EQ(timelineFailures.count(), 0);
    ASSERT_EQ(timeline.timeline().snapshots.size(), 1);
    EXPECT_EQ(timeline.timeline().snapshots.first().name, QStringLiteral("Snapshot 1"));
    EXPECT_TRUE(timeline.findChild<QPushButton *>(QStringLiteral("snapshots.newSnapshot"))->isEnabled());

    VMNetworkTopologyView network;
    DetailsPanelWiring::bind(network, *models.networkTopology);
    network.findChild<QPushButton *>(QStringLiteral("network.newNetwork"))->click();
    network.findChild<QPushButton *>(QStringLiteral("networkSheet.create"))->click();
    ASSERT_EQ(m_state->networkTopologyService().privateNetworks().size(), 1);
    const QUuid id = m_state->networkTopologyService().privateNetworks().first().id;
    const QString card = QStringLiteral("networkCard:") + id.toString(QUuid::WithoutBraces).toUpper();
    ASSERT_NE(network.findChild<QWidget *>(card), nullptr);
    network.findChild<QWidget *>(card)->findChild<QToolButton *>(QStringLiteral("networkCard.delete"))->click();
    EXPECT_EQ(network.findChild<QWidget *>(card), nullptr);
    EXPECT_TRUE(m_state->networkTopologyService().privateNetworks().isEmpty());
}

TEST_F(AppStateTest, ADroppedItemThatCannotBeCopiedSaysWhyInThePanesBanner)
{
    VMBundle bundle = addBundle(QStringLiteral("Linux"), VMGuestOSType::linux);
    const QString share = m_home.path() + QStringLiteral("/Share");
    ASSERT_TRUE(QDir().mkpath(share));
    bundle.sharedFolders = {VMSharedFolder{QUuid::createUuid(), QStringLiteral("Share"), QUrl::fromLocalFile(share), false, std::nullopt}};
    m_state->vmStore().updateBundle(bundle);
    MainWindow window(*m_state);
    m_state->libraryViewModel().setSelectedBundleID(bundle.id());
    QCoreApplication::processEvents();
    auto *details = qobject_cast<VMDetailsView *>(window.libraryView().detailsView());
    ASSERT_NE(details, nullptr);
    auto *drop = details->findChild<FileDropTransferView *>(QStringLiteral("drop"));
    ASSERT_NE(drop, nullptr);

    EXPECT_TRUE(waitForOutcome(drop->viewModel().drop({m_home.path() + QStringLiteral("/gone.txt")})).get());
    ASSERT_TRUE(details->viewModel().errorMessage());
    EXPECT_TRUE(details->viewModel().errorMessage()->startsWith(QStringLiteral("“gone.txt” could not be copied to the shared folder.")))
        << details->viewModel().errorMessage()->toStdString();
    const auto *banner = details->findChild<QWidget *>(QStringLiteral("details.banner"));
    ASSERT_NE(banner, nullptr);
    EXPECT_EQ(banner->findChild<QLabel *>(QStringLiteral("banner.message"))->text(), *details->viewModel().errorMessage());
}

TEST_F(AppStateTest, AConsoleWindowMovesWithItsConsoleToTheSessionThatReplacedTheOldOne)
{
    const VMBundle bundle = addBundle(QStringLiteral("Linux"), VMGuestOSType::linux);
    insertRunningSession(bundle);
    MainWindow window(*m_state);
    window.openConsole(bundle.id());
    ConsoleWindow *console = m_state->consoleWindowManager().window(bundle.id());
    ASSERT_TRUE(console);
    QApplication::setActiveWindow(console);
    settle();
    const VMClipboardSyncService &sync = m_state->clipboardSyncService();
    ASSERT_TRUE(sync.activeSession());
    ASSERT_EQ(sync.activeSession(), console->session());

    // After an error stop or a settings change the coordinator drops the session, and Start in this console runs a new one.
    VirtualMachineSession *replacement = insertRunningSession(bundle);
    auto *view = qobject_cast<VMConsoleView *>(console->content());
    ASSERT_TRUE(view);
    ASSERT_EQ(view->viewModel().session().get(), replacement);
    EXPECT_EQ(console->session(), replacement);
    EXPECT_EQ(sync.activeSession(), replacement) << "the clipboard follows the VM that runs now";
    QApplication::setActiveWindow(nullptr);
    QApplication::setActiveWindow(console);
    settle();
    EXPECT_EQ(sync.activeSession(), replacement) << "activating the window hands over the running session";

    VMBundle renamed = replacement->bundle();
    renamed.metadata.name = QStringLiteral("Renamed");
    replacement->setBundle(renamed);
    EXPECT_EQ(console->windowTitle(), QStringLiteral("Renamed Console"));
}

TEST_F(AppStateTest, QuittingWhileVMsRunAsksFirstAndStopsThemOnlyWhenTold)
{
    QList<VMBundle> vms;
    for (const QString &name : {QStringLiteral("Build <b>Agent</b>"), QStringLiteral("Other")}) {
        VMBundle bundle = addBundle(name, VMGuestOSType::linux);
        bundle.metadata.runtimeState = VMRuntimeState::running;
        m_state->vmStore().updateBundle(bundle);
        insertRunningSession(bundle);
        vms << bundle;
    }
    // The library window stays unshown: showing it would reload the library from disk.
    MainWindow window(*m_state);
    for (const VMBundle &vm : vms)
        window.openConsole(vm.id());
    VMConsoleWindowManager &consoles = m_state->consoleWindowManager();
    const auto question = [](const QWidget *asker) { return asker->findChild<QMessageBox *>(QStringLiteral("quit.confirmation")); };
    const auto answer = [&](const QWidget *asker, const char *button) {
        question(asker)->findChild<QPushButton *>(QString::fromUtf8(button))->click();
        settle();
    };

    // Closing one console while another window stays open is no quit.
    EXPECT_TRUE(consoles.window(vms.last().id())->close());
    settle();
    ASSERT_EQ(consoles.windowCount(), 1);
    ConsoleWindow *console = consoles.window(vms.first().id());

    // Closing the last window of all is, and so is closing the last library window: nothing would bring one back.
    for (QWidget *asker : {static_cast<QWidget *>(console), static_cast<QWidget *>(&window)}) {
        SCOPED_TRACE(asker->objectName().toStdString());
        EXPECT_FALSE(asker->close());
        ASSERT_TRUE(question(asker));
        EXPECT_TRUE(question(asker)->isVisible());
        EXPECT_EQ(question(asker)->textFormat(), Qt::PlainText);
        EXPECT_EQ(question(asker)->text().toStdString(), "These virtual machines are running:\nBuild <b>Agent</b>\nOther\n\nQuitting Zovozu VM Lab stops them.");
        EXPECT_FALSE(asker->close()) << "asked once at a time";
        EXPECT_EQ(asker->findChildren<QMessageBox *>(QStringLiteral("quit.confirmation")).size(), 1);
        answer(asker, "quit.confirmation.cancel");
        EXPECT_FALSE(question(asker));
        EXPECT_EQ(consoles.windowCount(), 1);
        for (const VMBundle &vm : vms)
            EXPECT_EQ(m_state->coordinator().effectiveRuntimeState(vm.id()), VMRuntimeState::running) << "Cancel leaves the VMs running";
    }

    EXPECT_FALSE(window.close());
    answer(&window, "quit.confirmation.stopAndQuit");
    ASSERT_TRUE(EventLoopWait::waitUntil([&] { return consoles.windowCount() == 0; })) << "every window closes once the VMs are stopped";
    for (const VMBundle &vm : vms) {
        EXPECT_EQ(m_state->coordinator().effectiveRuntimeState(vm.id()), VMRuntimeState::stopped);
        EXPECT_EQ(m_state->vmStore().bundle(vm.id())->metadata.runtimeState, VMRuntimeState::stopped);
    }
}

TEST_F(AppStateTest, AnActionAtAConsoleTakesTheLibrarysEarlierMessageAway)
{
    VMBundle bundle = addBundle(QStringLiteral("Dev"), VMGuestOSType::linux);
    bundle.metadata.runtimeState = VMRuntimeState::running;
    m_state->vmStore().updateBundle(bundle);
    insertRunningSession(bundle);
    const std::unique_ptr<VMConsoleViewModel> console = m_state->makeConsoleViewModel(m_state->coordinator().sessions().session(bundle.id()));
    LibraryViewModel &library = m_state->libraryViewModel();

    library.setBannerMessage(QStringLiteral("Imported Dev"), MessageKind::information);
    waitForOutcome(console->pause()).get();
    EXPECT_EQ(library.bannerMessage(), std::nullopt);
}
