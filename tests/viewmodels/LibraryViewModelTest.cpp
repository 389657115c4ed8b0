// SPDX-License-Identifier: MIT
#include "LibraryViewModel.h"

#include "ViewModelTestFixture.h"

#include <QDir>
#include <QSignalSpy>

#include <limits>

using namespace std::chrono_literals;

namespace {

using namespace CoordinatorTesting;

class LibraryViewModelTest : public ViewModelTest
{
protected:
    /// The view model, after the store's first list has arrived.
    LibraryViewModel &library()
    {
        if (!m_library) {
            m_library = std::make_unique<LibraryViewModel>(LibraryViewModel::Services{store(), coordinator(), m_operations, m_chooser, m_viewer, m_logging});
            settle();
        }
        return *m_library;
    }

    QStringList shownNames()
    {
        QStringList names;
        for (const VMBundle &bundle : library().bundles())
            names << bundle.metadata.name;
        return names;
    }

    /// An installed VM created on day `day` of 2026, with the given disk size, guest and tag.
    VMBundle vm(const QString &name, int day, quint64 diskSize = 32 * gibibyte, VMGuestOSType guest = VMGuestOSType::linux,
                std::optional<VMColorTag> tag = std::nullopt)
    {
        return storeChanged(installedBundle(name).id(), [&](VMBundle &changed) {
            changed.metadata.createdAt = QDateTime(QDate(2026, 1, day), QTime(9, 0), Qt::UTC);
            changed.metadata.diskSizeBytes = diskSize;
            changed.metadata.hardwareProfile.diskSizeBytes = diskSize;
            changed.metadata.guestOSType = guest;
            changed.metadata.colorTag = tag;
        });
    }

    std::unique_ptr<LibraryViewModel> m_library;
};

TEST_F(LibraryViewModelTest, SearchMatchesNameGuestRunStateAndTag)
{
    vm(QStringLiteral("Build Agent"), 1);
    vm(QStringLiteral("Desktop"), 2, 32 * gibibyte, VMGuestOSType::windows, VMColorTag::red);
    vm(QStringLiteral("Shredder"), 3, 32 * gibibyte, VMGuestOSType::macOS);
    const struct {
        const char *query;
        QStringList names;
    } cases[] = {
        {"", {QStringLiteral("Shredder"), QStringLiteral("Desktop"), QStringLiteral("Build Agent")}},
        {"   ", {QStringLiteral("Shredder"), QStringLiteral("Desktop"), QStringLiteral("Build Agent")}},
        {"  LINUX ", {QStringLiteral("Build Agent")}},
        {"windows", {QStringLiteral("Desktop")}},
        {"red", {QStringLiteral("Shredder"), QStringLiteral("Desktop")}},
        {"stopped", {QStringLiteral("Shredder"), QStringLiteral("Desktop"), QStringLiteral("Build Agent")}},
        {"zz", {}},
    };
    for (const auto &[query, names] : cases) {
        SCOPED_TRACE(query);
        library().setSearchText(QString::fromUtf8(query));
        library().applyFilterAndSort();
        EXPECT_EQ(shownNames(), names);
    }
}

TEST_F(LibraryViewModelTest, EveryOrderIsStableAndTheSelectionStays)
{
    vm(QStringLiteral("beta"), 2, 10 * gibibyte);
    vm(QStringLiteral("Alpha"), 1, std::numeric_limits<quint64>::max());
    vm(QStringLiteral("BETA"), 2, 10 * gibibyte);
    const std::optional<QUuid> selected = library().selectedBundleID();
    ASSERT_TRUE(selected);
    const QStringList storeOrder = shownNames(); // newest first; the two "beta" share a date
    ASSERT_EQ(storeOrder.last(), QStringLiteral("Alpha"));

    const struct {
        VMSortOrder order;
        QStringList names;
    } cases[] = {
        {VMSortOrder::dateCreatedNewest, storeOrder},
        {VMSortOrder::dateCreatedOldest, {QStringLiteral("Alpha"), storeOrder[0], storeOrder[1]}},
        {VMSortOrder::name, {QStringLiteral("Alpha"), storeOrder[0], storeOrder[1]}},
        {VMSortOrder::diskSize, {QStringLiteral("Alpha"), storeOrder[0], storeOrder[1]}},
    };
    for (const auto &[order, names] : cases) {
        SCOPED_TRACE(toRaw(order).toStdString());
        library().setSortOrder(order);
        library().applyFilterAndSort();
        EXPECT_EQ(shownNames(), names);
        EXPECT_EQ(library().selectedBundleID(), selected);
    }
}

TEST_F(LibraryViewModelTest, TheSelectionFollowsTheLibraryNotTheSearch)
{
    const VMBundle older = vm(QStringLiteral("Older"), 1);
    const VMBundle newer = vm(QStringLiteral("Newer"), 2);
    EXPECT_EQ(library().selectedBundleID(), newer.id()) << "the VM created last is selected first";

    library().setSearchText(QStringLiteral("older"));
    library().applyFilterAndSort();
    EXPECT_EQ(library().selectedBundleID(), newer.id());
    EXPECT_FALSE(library().selectedBundle());
    EXPECT_FALSE(library().isSelectedBundleStopped());

    store().deleteBundle(newer.id());
    settle();
    EXPECT_EQ(library().selectedBundleID(), older.id()) << "the selected VM left the library";
    library().setSearchText(QStringLiteral("zz"));
    library().applyFilterAndSort();
    store().deleteBundle(older.id());
    settle();
    EXPECT_EQ(library().selectedBundleID(), std::nullopt);
}

TEST_F(LibraryViewModelTest, TheListShowsWhatEachVMIsDoingNow)
{
    const VMBundle windows = vm(QStringLiteral("Windows"), 1, 32 * gibibyte, VMGuestOSType::windows);
    library().setSelectedBundleID(windows.id());
    EXPECT_TRUE(library().isSelectedBundleStopped());

    ASSERT_FALSE(waitForOutcome(coordinator().startWithQEMU(windows.id())).failure);
    EXPECT_EQ(library().selectedBundle()->metadata.runtimeState, VMRuntimeState::running);
    EXPECT_FALSE(library().isSelectedBundleStopped());
    waitForOutcome(store().reload()).get();
    settle();
    EXPECT_EQ(library().selectedBundle()->metadata.runtimeState, VMRuntimeState::running) << "a reload keeps it running";

    library().setPendingDeletionBundleID(windows.id());
    waitForOutcome(library().deletePendingBundle()).get();
    EXPECT_EQ(library().bannerMessage(), refused("Stop the virtual machine before deleting it."));
    EXPECT_EQ(library().pendingDeletionBundleID(), std::nullopt);
    EXPECT_EQ(library().selectedBundleID(), windows.id());
    EXPECT_TRUE(appLog().contains(QStringLiteral("[Library] This action cannot be completed: Stop the virtual machine before deleting it.")));

    waitForOutcome(library().stop(windows.id())).get();
    EXPECT_EQ(library().bannerMessage(), std::nullopt);
    EXPECT_TRUE(library().isSelectedBundleStopped());
}

TEST_F(LibraryViewModelTest, StopNeverWedgesAVMAndDeletingTheSelectedOneSelectsAnother)
{
    const VMBundle kept = vm(QStringLiteral("Kept"), 1);
    const VMBundle doomed = vm(QStringLiteral("Doomed"), 2);
    library().setSelectedBundleID(doomed.id());
    waitForOutcome(library().stop(doomed.id())).get();
    EXPECT_EQ(library().bannerMessage(), std::nullopt) << "stopping a stopped VM is no error";

    library().setPendingDeletionBundleID(doomed.id());
    waitForOutcome(library().deletePendingBundle()).get();
    EXPECT_EQ(library().bannerMessage(), std::nullopt);
    EXPECT_EQ(library().selectedBundleID(), kept.id()) << "the list still shows the deleted VM, which is never picked";
    settle();
    EXPECT_EQ(shownNames(), QStringList{QStringLiteral("Kept")});
}

TEST_F(LibraryViewModelTest, AVMWhoseFolderHasGoneLeavesTheListWithTheReasonWhicheverScreenStartedIt)
{
    vm(QStringLiteral("Kept"), 1);
    const VMBundle gone = vm(QStringLiteral("Gone"), 2);
    library().setSelectedBundleID(gone.id());
    ASSERT_TRUE(QDir(gone.bundleURL).removeRecursively());

    // The details pane starts through the coordinator, and goes with the VM; the library keeps the reason.
    const QString failure = failureText([&] { waitForOutcome(coordinator().start(gone.id(), false)).get(); });
    EXPECT_TRUE(failure.contains(QStringLiteral("no longer exists"))) << failure.toStdString();
    settle();
    EXPECT_EQ(library().bannerMessage(), failure);
    EXPECT_EQ(shownNames(), QStringList{QStringLiteral("Kept")});
    EXPECT_NE(library().selectedBundleID(), gone.id());
    EXPECT_FALSE(QFileInfo::exists(gone.bundleURL));
}

TEST_F(LibraryViewModelTest, StoppedSharedFoldersOfARunningVMAreToldInTheBanner)
{
    const VMBundle bundle = vm(QStringLiteral("Build Agent"), 1);
    library();
    ASSERT_EQ(startFailure(bundle.id(), false), QString());
    m_machines.lastMachine()->raiseDirectorySharingDeviceStopped(
        0, VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("virtiofsd ended (killed by a signal).")));
    EXPECT_EQ(library().bannerMessage(),
              QStringLiteral("The shared folders of “Build Agent” stopped working: their file server ended, so the guest can no longer use them. "
                             "Shut the guest down and start the VM again to get them back."));
    EXPECT_EQ(library().bannerKind(), MessageKind::failure);

    // Stopping leaves the advice standing; the next run serves the shares again, and the news goes.
    waitForOutcome(coordinator().stop(bundle.id())).get();
    EXPECT_TRUE(library().bannerMessage().has_value());
    ASSERT_EQ(startFailure(bundle.id(), false), QString());
    EXPECT_EQ(library().bannerMessage(), std::nullopt);
}

TEST_F(LibraryViewModelTest, ANewRunOfAnotherVMLeavesTheNewsOfStoppedSharedFoldersAlone)
{
    const VMBundle failing = vm(QStringLiteral("Build Agent"), 1);
    const VMBundle other = vm(QStringLiteral("Other"), 2);
    library();
    ASSERT_EQ(startFailure(failing.id(), false), QString());
    m_machines.lastMachine()->raiseDirectorySharingDeviceStopped(
        0, VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("virtiofsd ended (killed by a signal).")));
    const std::optional<QString> news = library().bannerMessage();
    ASSERT_TRUE(news.has_value());
    ASSERT_EQ(startFailure(other.id(), false), QString());
    EXPECT_EQ(library().bannerMessage(), news);
}

TEST_F(LibraryViewModelTest, ASecondPressOfARunningActionIsIgnored)
{
    const VMBundle bundle = vm(QStringLiteral("Dev"), 1);
    m_machines.script().enqueue(Operation::start, ScriptedAnswer::success(std::chrono::milliseconds(200)));
    QSignalSpy busy(&library(), &LibraryViewModel::busyChanged);
    QCoro::Task<> first = library().start(bundle.id(), false);
    EXPECT_TRUE(library().isBusy(bundle.id()));
    EXPECT_EQ(busy.count(), 1);
    waitForOutcome(library().start(bundle.id(), false)).get();
    EXPECT_EQ(library().bannerMessage(), std::nullopt) << "no false \"already active\"";
    waitForOutcome(std::move(first)).get();
    EXPECT_FALSE(library().isBusy(bundle.id()));
    EXPECT_EQ(busy.count(), 2) << "the ignored press neither began nor ended anything";
    EXPECT_EQ(library().bannerMessage(), std::nullopt);
    EXPECT_EQ(coordinator().effectiveRuntimeState(bundle.id()), VMRuntimeState::running);
    EXPECT_EQ(m_machines.configurations().size(), 1);
}

TEST_F(LibraryViewModelTest, EveryKindOfVMStartsTheSameWayAndAsksForItsConsole)
{
    const struct {
        const char *what;
        VMGuestOSType guest;
    } cases[] = {
        {"Linux", VMGuestOSType::linux},
        {"Windows", VMGuestOSType::windows},
    };
    QSignalSpy console(&library(), &LibraryViewModel::consoleRequested);
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        console.clear();
        const VMBundle bundle = vm(QString::fromUtf8(testCase.what), 1, 32 * gibibyte, testCase.guest);
        waitForOutcome(library().start(bundle.id(), false)).get();
        EXPECT_EQ(library().bannerMessage(), std::nullopt);
        EXPECT_EQ(coordinator().effectiveRuntimeState(bundle.id()), VMRuntimeState::running);
        ASSERT_EQ(console.count(), 1) << "the console opens as it does for the details pane's Start";
        EXPECT_EQ(console.first().first().toUuid(), bundle.id());

        // A start that is refused opens nothing.
        waitForOutcome(library().start(bundle.id(), false)).get();
        EXPECT_EQ(library().bannerMessage(), refused("The virtual machine is already active."));
        EXPECT_EQ(console.count(), 1);
        waitForOutcome(library().stop(bundle.id())).get();
        EXPECT_EQ(coordinator().effectiveRuntimeState(bundle.id()), VMRuntimeState::stopped);
    }
}

TEST_F(LibraryViewModelTest, AStopFromTheMenuWhileThePaneIsStoppingTheVMShowsNoFailure)
{
    const VMBundle bundle = vm(QStringLiteral("Dev"), 1);
    waitForOutcome(library().start(bundle.id(), false)).get();
    const std::shared_ptr<VirtualMachineSession> session = coordinator().sessions().session(bundle.id());
    static_cast<ScriptedVirtualMachine &>(session->virtualMachine()).script().enqueue(Operation::stop, ScriptedAnswer::success(20ms));
    const std::unique_ptr<VMDetailsViewModel> pane = makeDetails(bundle.id());

    QCoro::Task<> paneStop = pane->stop();
    ASSERT_EQ(session->runtimeState(), VMRuntimeState::stopping);
    waitForOutcome(library().stop(bundle.id())).get();
    waitForOutcome(std::move(paneStop)).get();
    EXPECT_EQ(library().bannerMessage(), std::nullopt);
    EXPECT_EQ(pane->errorMessage(), std::nullopt);
    EXPECT_EQ(coordinator().effectiveRuntimeState(bundle.id()), VMRuntimeState::stopped);
}

TEST_F(LibraryViewModelTest, RenameTrimsAndIgnoresBlanks)
{
    const VMBundle bundle = vm(QStringLiteral("Dev"), 1);
    library().setBannerMessage(QStringLiteral("earlier"));
    library().renameBundle(bundle.id(), QStringLiteral("   "));
    EXPECT_EQ(store().bundle(bundle.id())->metadata.name, QStringLiteral("Dev"));
    library().renameBundle(bundle.id(), QStringLiteral("  Build Agent \n"));
    EXPECT_EQ(store().bundle(bundle.id())->metadata.name, QStringLiteral("Build Agent"));
    EXPECT_EQ(library().bannerMessage(), QStringLiteral("earlier"));
    EXPECT_TRUE(appLog().contains(QStringLiteral("[Library] Renamed VM to 'Build Agent'")));

    library().setColorTag(bundle.id(), VMColorTag::green);
    EXPECT_EQ(store().bundle(bundle.id())->metadata.colorTag, VMColorTag::green);
    library().setColorTag(bundle.id(), std::nullopt);
    EXPECT_EQ(store().bundle(bundle.id())->metadata.colorTag, std::nullopt);
}

TEST_F(LibraryViewModelTest, ImportBackupAndCloneReportTheirOutcome)
{
    const VMBundle bundle = vm(QStringLiteral("Dev"), 1);
    library();

    // A backup of a VM in the library, imported again: it comes in as a VM of its own under a free name, the original untouched.
    const QString backups = m_home.path() + QStringLiteral("/Backups");
    m_chooser.answers = {backups};
    waitForOutcome(library().backupBundle(bundle.id())).get();
    EXPECT_EQ(library().bannerMessage(), QStringLiteral("Backed up Dev"));
    EXPECT_EQ(library().bannerKind(), MessageKind::information);
    ASSERT_EQ(m_viewer.revealed.size(), 1);
    EXPECT_EQ(m_chooser.requests.last().title, QStringLiteral("Choose Backup Folder"));
    EXPECT_EQ(m_chooser.requests.last().message, QStringLiteral("Zovozu VM Lab will copy the full .vm bundle into this folder for backup."))
        << "the dialog shows its text as it is";
    EXPECT_EQ(m_chooser.requests.last().startFolder, QDir::homePath()) << "not inside the library, where a backup is refused";

    const QString backup = m_viewer.revealed.first();
    m_chooser.answers = {backup};
    waitForOutcome(library().importBundle()).get();
    EXPECT_EQ(library().bannerMessage(), QStringLiteral("Imported Dev 2"));
    EXPECT_EQ(library().bannerKind(), MessageKind::information);
    ASSERT_TRUE(library().selectedBundleID());
    const std::optional<VMBundle> imported = store().bundle(*library().selectedBundleID());
    ASSERT_TRUE(imported);
    EXPECT_NE(imported->id(), bundle.id());
    EXPECT_EQ(QDir::cleanPath(imported->bundleURL), QDir::cleanPath(backup));
    EXPECT_EQ(imported->metadata.name, QStringLiteral("Dev 2"));
    EXPECT_EQ(store().bundle(bundle.id())->bundleURL, bundle.bundleURL);
    EXPECT_EQ(store().bundle(bundle.id())->metadata.name, QStringLiteral("Dev"));
    EXPECT_EQ(store().bundles().size(), 2);
    // The copy keeps its own identity and name on disk: the next launch sees two VMs, not one twice.
    EXPECT_EQ(store().loadBundle(backup, false).id(), imported->id());
    EXPECT_EQ(store().loadBundle(backup, false).metadata.name, QStringLiteral("Dev 2"));
    m_chooser.answers = {backup};
    waitForOutcome(library().importBundle()).get();
    EXPECT_EQ(m_chooser.requests.last().message, QStringLiteral("Choose a .vm bundle from any drive, including backups and external SSDs."));
    EXPECT_EQ(store().bundles().size(), 2) << "the same bundle imported again from its place stays one VM";
    EXPECT_EQ(store().bundle(imported->id())->metadata.name, QStringLiteral("Dev 2")) << "its own name does not count as taken";

    // A second backup of the original takes the next free name.
    m_viewer.revealed.clear();
    m_chooser.answers = {m_home.path() + QStringLiteral("/Backups 2")};
    waitForOutcome(library().backupBundle(bundle.id())).get();
    ASSERT_EQ(m_viewer.revealed.size(), 1);
    m_chooser.answers = {m_viewer.revealed.first()};
    waitForOutcome(library().importBundle()).get();
    EXPECT_EQ(library().bannerMessage(), QStringLiteral("Imported Dev 3"));
    EXPECT_EQ(store().bundles().size(), 3);

    m_chooser.answers = {std::nullopt};
    library().setBannerMessage(std::nullopt);
    waitForOutcome(library().importBundle()).get();
    EXPECT_EQ(library().bannerMessage(), std::nullopt) << "a cancelled choice says nothing";

    waitForOutcome(library().cloneBundle(bundle.id())).get();
    EXPECT_EQ(library().bannerMessage(), QStringLiteral("Created Dev Copy"));
    EXPECT_EQ(library().bannerKind(), MessageKind::information);
    EXPECT_NE(library().selectedBundleID(), bundle.id());
    EXPECT_EQ(store().bundle(*library().selectedBundleID())->metadata.name, QStringLiteral("Dev Copy"));
}

TEST_F(LibraryViewModelTest, AFileManagerThatDoesNotAnswerIsToldInTheBanner)
{
    const VMBundle bundle = vm(QStringLiteral("Dev"), 1);
    library();
    m_viewer.failure = QStringLiteral("No file manager could be opened to show it.");
    library().revealBundle(bundle.id());
    EXPECT_EQ(m_viewer.revealed, QStringList{bundle.bundleURL});
    EXPECT_EQ(library().bannerMessage(), m_viewer.failure);
    EXPECT_EQ(library().bannerKind(), MessageKind::failure);

    // The backup itself is made: the banner says so, and then why its folder is not shown.
    m_chooser.answers = {m_home.path() + QStringLiteral("/Backups")};
    waitForOutcome(library().backupBundle(bundle.id())).get();
    EXPECT_EQ(library().bannerMessage(), QStringLiteral("Backed up Dev. No file manager could be opened to show it."));
    EXPECT_EQ(library().bannerKind(), MessageKind::information);
}

TEST_F(LibraryViewModelTest, ABackupNeverGoesIntoTheLibraryOrABundle)
{
    const VMBundle bundle = vm(QStringLiteral("Dev"), 1);
    library();
    // A copy keeps the VM's id: in the library folder it could load in place of the original.
    const QList<QString> refused{root(), root() + QStringLiteral("/"), bundle.bundleURL, bundle.bundleURL + QStringLiteral("/Logs")};
    for (const QString &destination : refused) {
        m_chooser.answers = {destination};
        library().setBannerMessage(std::nullopt);
        waitForOutcome(library().backupBundle(bundle.id())).get();
        ASSERT_TRUE(library().bannerMessage()) << destination.toStdString();
        EXPECT_TRUE(library().bannerMessage()->startsWith(QStringLiteral("Choose a backup folder outside"))) << destination.toStdString();
        EXPECT_EQ(library().bannerKind(), MessageKind::failure);
    }
    EXPECT_EQ(QDir(root()).entryList({QStringLiteral("*.vm")}, QDir::Dirs), QStringList{QStringLiteral("Dev.vm")});
    EXPECT_TRUE(m_viewer.revealed.isEmpty());
}

} // namespace

TEST_F(LibraryViewModelTest, AMessageBelongsToTheActionThatCausedItAndTheNextActionOrSelectionReplacesIt)
{
    const VMBundle older = vm(QStringLiteral("Older"), 1);
    const VMBundle newer = vm(QStringLiteral("Newer"), 2);
    library();
    ASSERT_EQ(library().selectedBundleID(), newer.id());
    const QString noSelection = QStringLiteral("No VM is selected. Select a VM in the list to see its CI Runner.");

    // Picking the VM already selected keeps the message; picking another one, or a new VM, takes it away.
    library().setBannerMessage(noSelection, MessageKind::information);
    library().select(newer.id());
    EXPECT_EQ(library().bannerMessage(), noSelection);
    library().select(older.id());
    EXPECT_EQ(library().bannerMessage(), std::nullopt);
    EXPECT_EQ(library().selectedBundleID(), older.id());
    // A search that hid the selection and is cleared again shows the VM: the sentence that none is selected goes with it.
    library().setSearchText(QStringLiteral("zz"));
    library().applyFilterAndSort();
    library().setBannerMessage(noSelection, MessageKind::information);
    library().setSearchText(QString());
    library().applyFilterAndSort();
    EXPECT_EQ(library().bannerMessage(), std::nullopt);
    EXPECT_EQ(library().selectedBundle()->id(), older.id());

    // Each action of the library clears the message as it begins.
    const struct {
        const char *name;
        std::function<QCoro::Task<>()> action;
    } actions[] = {
        {"start", [&] { return library().start(older.id(), false); }},
        {"stop", [&] { return library().stop(older.id()); }},
        {"clone", [&] { return library().cloneBundle(older.id()); }},
    };
    for (const auto &action : actions) {
        SCOPED_TRACE(action.name);
        library().setBannerMessage(QStringLiteral("Imported Older"), MessageKind::information);
        QStringList seen;
        const QMetaObject::Connection watch = QObject::connect(&library(), &LibraryViewModel::bannerMessageChanged,
            [&] { seen << library().bannerMessage().value_or(QStringLiteral("none")); });
        waitForOutcome(action.action()).get();
        QObject::disconnect(watch);
        ASSERT_FALSE(seen.isEmpty());
        EXPECT_EQ(seen.first(), QStringLiteral("none"));
        EXPECT_NE(library().bannerMessage(), QStringLiteral("Imported Older"));
    }

    // The details pane and the library show one message at a time: each replaces the other's.
    library().select(older.id());
    settle();
    std::unique_ptr<VMDetailsViewModel> details = makeDetails(older.id());
    library().shareBannerWith(*details);
    library().setBannerMessage(QStringLiteral("Imported Older"), MessageKind::information);
    details->announce(QStringLiteral("Saved the state of Older"));
    EXPECT_EQ(library().bannerMessage(), std::nullopt);
    library().setBannerMessage(QStringLiteral("Backed up Older"), MessageKind::information);
    EXPECT_EQ(details->errorMessage(), std::nullopt);
    EXPECT_EQ(library().bannerMessage(), QStringLiteral("Backed up Older"));
    // An action the pane begins clears its own message, and with it the library's.
    waitForOutcome(details->start()).get();
    EXPECT_EQ(library().bannerMessage(), std::nullopt);
    ASSERT_FALSE(waitForOutcome(coordinator().stop(older.id())).failure);
}
