// SPDX-License-Identifier: MIT
#include "../viewmodels/ViewModelTestFixture.h"

#include "EmptyStateView.h"
#include "ErrorBannerView.h"
#include "LibraryView.h"
#include "LibraryViewModel.h"
#include "NoSelectionView.h"
#include "MenuCommands.h"
#include "RenameDialog.h"
#include "SidebarVMListView.h"
#include "VMCardDelegate.h"
#include "VMStore.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QStackedWidget>
#include <QTest>

#include <functional>

namespace {

using namespace CoordinatorTesting;

/// The library window over the real store and coordinator, with a stub in the detail column.
class LibraryWindowTest : public ViewModelTest
{
protected:
    LibraryWindowTest()
    {
        m_library = std::make_unique<LibraryViewModel>(LibraryViewModel::Services{store(), coordinator(), m_operations, m_chooser, m_viewer, m_logging});
        LibraryView::Actions actions;
        actions.makeDetailsView = [this](const QUuid &id) {
            auto *details = new QLabel(id.toString());
            details->setObjectName(QStringLiteral("details.stub"));
            ++m_detailsMade;
            return details;
        };
        m_window.resize(1000, 700);
        m_view = new LibraryView(*m_library, std::move(actions));
        m_window.setCentralWidget(m_view);
        m_commands = new MenuCommands(m_window, *m_view, *m_library);
        settle();
    }

    template <typename Widget>
    Widget *find(const QString &objectName) const
    {
        auto *widget = m_window.findChild<Widget *>(objectName);
        EXPECT_TRUE(widget) << objectName.toStdString();
        return widget;
    }

    SidebarVMListView &sidebar() const { return *m_view->sidebar(); }
    QListView &list() const { return *find<QListView>(QStringLiteral("sidebar.list")); }

    QStringList rowNames() const
    {
        QStringList names;
        for (int row = 0; row < list().model()->rowCount(); ++row)
            names << list().model()->index(row, 0).data().toString();
        return names;
    }

    /// The context menu's items: object names, "-" for a separator.
    QStringList menuItems(const VMBundle &bundle) const
    {
        const std::unique_ptr<QMenu> menu = sidebar().contextMenu(bundle);
        QStringList items;
        for (QAction *action : menu->actions())
            items << (action->isSeparator() ? QStringLiteral("-") : action->objectName().remove(QStringLiteral("sidebar.menu.")));
        return items;
    }

    VMBundle vm(const QString &name, int day, const std::function<void(VMBundle &)> &change = {})
    {
        return storeChanged(installedBundle(name).id(), [&](VMBundle &changed) {
            changed.metadata.createdAt = QDateTime(QDate(2026, 1, day), QTime(9, 0), Qt::UTC);
            if (change)
                change(changed);
        });
    }

    QMainWindow m_window;
    std::unique_ptr<LibraryViewModel> m_library;
    LibraryView *m_view = nullptr;
    MenuCommands *m_commands = nullptr;
    int m_detailsMade = 0;
};

} // namespace

TEST_F(LibraryWindowTest, SearchAndSortShowTheViewModelsListAndQuoteAMissedSearch)
{
    vm(QStringLiteral("Alpha"), 1);
    const VMBundle bravo = vm(QStringLiteral("bravo"), 3);
    vm(QStringLiteral("Charlie"), 2);
    settle();
    m_library->setSelectedBundleID(bravo.id());
    EXPECT_EQ(rowNames(), (QStringList{QStringLiteral("bravo"), QStringLiteral("Charlie"), QStringLiteral("Alpha")}));
    EXPECT_EQ(m_library->selectedBundleID(), bravo.id());

    auto *search = find<QLineEdit>(QStringLiteral("sidebar.search"));
    auto *noMatches = find<QWidget>(QStringLiteral("sidebar.noMatches"));
    auto *noMatchesText = find<QLabel>(QStringLiteral("sidebar.noMatches.text"));
    struct Case {
        QString typed;
        QStringList rows;
    };
    const QList<Case> cases{
        {QStringLiteral("ALP"), {QStringLiteral("Alpha")}},
        {QStringLiteral("   "), {QStringLiteral("bravo"), QStringLiteral("Charlie"), QStringLiteral("Alpha")}},
        {QStringLiteral("zz "), {}},
        {QString(), {QStringLiteral("bravo"), QStringLiteral("Charlie"), QStringLiteral("Alpha")}},
    };
    for (const Case &item : cases) {
        search->setText(item.typed);
        EXPECT_EQ(rowNames(), item.rows) << item.typed.toStdString();
        EXPECT_EQ(noMatches->isVisibleTo(&m_window), item.rows.isEmpty()) << item.typed.toStdString();
    }
    search->setText(QStringLiteral("zz "));
    EXPECT_EQ(noMatchesText->text(), QStringLiteral("No VMs match \"zz \""));
    // The search hides the selected VM, but never changes the selection.
    EXPECT_EQ(m_library->selectedBundleID(), bravo.id());
    search->clear();

    auto *byName = find<QAction>(QStringLiteral("sidebar.sort.name"));
    auto *newest = find<QAction>(QStringLiteral("sidebar.sort.dateCreatedNewest"));
    EXPECT_TRUE(newest->isChecked());
    EXPECT_EQ(newest->text(), QStringLiteral("Newest First\t✓")) << "marked where the symbol hides the check";
    EXPECT_EQ(byName->text(), QStringLiteral("Name"));
    byName->trigger();
    EXPECT_EQ(rowNames(), (QStringList{QStringLiteral("Alpha"), QStringLiteral("bravo"), QStringLiteral("Charlie")}));
    EXPECT_TRUE(byName->isChecked());
    EXPECT_FALSE(newest->isChecked());
    EXPECT_EQ(byName->text(), QStringLiteral("Name\t✓"));
    EXPECT_EQ(newest->text(), QStringLiteral("Newest First"));
    EXPECT_EQ(m_library->selectedBundleID(), bravo.id());
    EXPECT_EQ(list().selectionModel()->selectedIndexes().value(0).data().toString(), QStringLiteral("bravo"));
}

TEST_F(LibraryWindowTest, TheContextMenuOffersWhatTheVMsStoredStateAllows)
{
    struct Case {
        const char *what;
        VMInstallState install;
        VMRuntimeState run;
        bool savedState;
        QStringList items;
    };
    const QStringList tail{QStringLiteral("colorTag"), QStringLiteral("reveal"), QStringLiteral("-"), QStringLiteral("delete")};
    const QList<Case> cases{
        {"not installed", VMInstallState::failed, VMRuntimeState::stopped, false, QStringList{QStringLiteral("rename"), QStringLiteral("-")} + tail},
        {"stopped", VMInstallState::installed, VMRuntimeState::stopped, false,
         QStringList{QStringLiteral("rename"), QStringLiteral("-"), QStringLiteral("start"), QStringLiteral("-"), QStringLiteral("duplicate"),
                     QStringLiteral("backup"), QStringLiteral("-")} +
             tail},
        {"stopped with saved state", VMInstallState::installed, VMRuntimeState::stopped, true,
         QStringList{QStringLiteral("rename"), QStringLiteral("-"), QStringLiteral("start"), QStringLiteral("resume"), QStringLiteral("-"),
                     QStringLiteral("duplicate"), QStringLiteral("backup"), QStringLiteral("-")} +
             tail},
        {"error", VMInstallState::installed, VMRuntimeState::error, false,
         QStringList{QStringLiteral("rename"), QStringLiteral("-"), QStringLiteral("openConsole"), QStringLiteral("stop"), QStringLiteral("-")} +
             tail},
    };
    VMBundle bundle = installedBundle();
    for (const Case &item : cases) {
        bundle.metadata.installState = item.install;
        bundle.metadata.runtimeState = item.run;
        bundle.metadata.hasSavedState = item.savedState;
        EXPECT_EQ(menuItems(bundle), item.items) << item.what;
    }

    // Without console windows, "Open Console" is there but disabled.
    const std::unique_ptr<QMenu> menu = sidebar().contextMenu(bundle);
    EXPECT_FALSE(menu->findChild<QAction *>(QStringLiteral("sidebar.menu.openConsole"))->isEnabled());

    // Exactly the stored tag carries the checkmark; "Remove Tag" only for a tagged VM.
    bundle.metadata.colorTag = VMColorTag::green;
    const std::unique_ptr<QMenu> tagged = sidebar().contextMenu(bundle);
    QStringList checked;
    for (QAction *action : tagged->findChildren<QAction *>()) {
        if (action->objectName().startsWith(QStringLiteral("sidebar.menu.colorTag.")) && action->isChecked())
            checked << action->objectName();
    }
    EXPECT_EQ(checked, QStringList{QStringLiteral("sidebar.menu.colorTag.green")});
    EXPECT_TRUE(tagged->findChild<QAction *>(QStringLiteral("sidebar.menu.colorTag.remove"))->isEnabled());
    bundle.metadata.colorTag.reset();
    EXPECT_FALSE(sidebar().contextMenu(bundle)->findChild<QAction *>(QStringLiteral("sidebar.menu.colorTag.remove"))->isEnabled());
}

TEST_F(LibraryWindowTest, TheColourTagAndRevealItemsActOnTheStore)
{
    const VMBundle alpha = vm(QStringLiteral("Alpha"), 1);
    const VMBundle bravo = vm(QStringLiteral("Bravo"), 2);
    settle();
    m_library->setSelectedBundleID(bravo.id());
    std::unique_ptr<QMenu> menu = sidebar().contextMenu(alpha);
    menu->findChild<QAction *>(QStringLiteral("sidebar.menu.colorTag.purple"))->trigger();
    EXPECT_EQ(store().bundle(alpha.id())->metadata.colorTag, VMColorTag::purple);
    menu->findChild<QAction *>(QStringLiteral("sidebar.menu.reveal"))->trigger();
    EXPECT_EQ(m_library->selectedBundleID(), alpha.id());
    EXPECT_EQ(m_viewer.revealed, QStringList{alpha.bundleURL});
}

TEST_F(LibraryWindowTest, DeletingARunningVMIsRefusedInTheBannerBeforeAnyQuestionAndAStoppedOneGoes)
{
    const VMBundle stopped = vm(QStringLiteral("Stopped"), 1);
    const VMBundle running = vm(QStringLiteral("Running"), 2);
    addSession(running, VMRuntimeState::running);
    settle();
    m_library->setSelectedBundleID(running.id());

    // The menu command, the card's menu and its trash button all refuse a running VM without asking first.
    m_window.show();
    const QModelIndex runningRow = list().model()->index(0, 0);
    ASSERT_EQ(runningRow.data().toString(), QStringLiteral("Running"));
    const std::function<void()> ways[] = {
        [&] { m_commands->deleteSelected()->trigger(); },
        [&] { sidebar().contextMenu(running)->findChild<QAction *>(QStringLiteral("sidebar.menu.delete"))->trigger(); },
        [&] {
            QTest::mouseClick(
                list().viewport(), Qt::LeftButton, {}, VMCardDelegate::trashRect(list().visualRect(runningRow)).center());
        },
    };
    for (const std::function<void()> &way : ways) {
        m_library->setBannerMessage(std::nullopt);
        way();
        settle();
        EXPECT_FALSE(sidebar().deleteAlert());
        EXPECT_EQ(m_library->bannerMessage(), refused("Stop the virtual machine before deleting it."));
        EXPECT_TRUE(m_view->banner()->isVisibleTo(&m_window));
    }
    EXPECT_EQ(rowNames(), (QStringList{QStringLiteral("Running"), QStringLiteral("Stopped")}));
    EXPECT_EQ(m_library->selectedBundleID(), running.id());
    EXPECT_FALSE(sidebar().bundleToDelete());

    // A VM that starts while its question is open is still refused when the deletion is confirmed.
    m_library->setSelectedBundleID(stopped.id());
    sidebar().requestDeleteSelected();
    ASSERT_TRUE(sidebar().deleteAlert());
    EXPECT_EQ(sidebar().deleteAlert()->windowTitle(), QStringLiteral("Delete “Stopped”?"));
    EXPECT_EQ(sidebar().deleteAlert()->text(), QStringLiteral("This removes “Stopped” and its bundle from disk: %1").arg(stopped.bundleURL));
    EXPECT_EQ(sidebar().deleteAlert()->defaultButton()->objectName(), QStringLiteral("sidebar.deleteAlert.cancel"));
    const std::shared_ptr<VirtualMachineSession> started = addSession(stopped, VMRuntimeState::running);
    sidebar().deleteAlert()->findChild<QPushButton *>(QStringLiteral("sidebar.deleteAlert.confirm"))->click();
    settle();
    EXPECT_EQ(m_library->bannerMessage(), refused("Stop the virtual machine before deleting it."));
    EXPECT_TRUE(store().bundle(stopped.id()));
    EXPECT_FALSE(sidebar().bundleToDelete());
    started->setRuntimeState(VMRuntimeState::stopped);
    settle();

    // Cancel keeps the VM; Delete removes it and selects the first VM left.
    m_library->setSelectedBundleID(stopped.id());
    sidebar().requestDeleteSelected();
    sidebar().deleteAlert()->findChild<QPushButton *>(QStringLiteral("sidebar.deleteAlert.cancel"))->click();
    settle();
    EXPECT_TRUE(store().bundle(stopped.id()));
    sidebar().requestDeleteSelected();
    sidebar().deleteAlert()->findChild<QPushButton *>(QStringLiteral("sidebar.deleteAlert.confirm"))->click();
    settle();
    EXPECT_FALSE(store().bundle(stopped.id()));
    EXPECT_EQ(rowNames(), QStringList{QStringLiteral("Running")});
    EXPECT_EQ(m_library->selectedBundleID(), running.id());

    // Nothing selected among the shown VMs: the command does nothing.
    find<QLineEdit>(QStringLiteral("sidebar.search"))->setText(QStringLiteral("nothing like it"));
    sidebar().requestDeleteSelected();
    EXPECT_FALSE(sidebar().deleteAlert());
}

TEST_F(LibraryWindowTest, TheRenameSheetTrimsBlanksAndCommitsOnce)
{
    const VMBundle bundle = vm(QStringLiteral("Old Name"), 1);
    settle();
    sidebar().requestRenameSelected();
    RenameDialog *sheet = sidebar().renameSheet();
    ASSERT_TRUE(sheet);
    auto *field = sheet->findChild<QLineEdit *>(QStringLiteral("sidebar.rename.field"));
    auto *commit = sheet->findChild<QPushButton *>(QStringLiteral("sidebar.rename.commit"));
    EXPECT_EQ(field->text(), QStringLiteral("Old Name"));
    EXPECT_TRUE(commit->isEnabled());
    field->setText(QStringLiteral(" \t "));
    EXPECT_FALSE(commit->isEnabled());
    // Return in a blank field closes the sheet and keeps the name.
    QTest::keyClick(field, Qt::Key_Return);
    settle();
    EXPECT_FALSE(sidebar().renameSheet());
    EXPECT_EQ(store().bundle(bundle.id())->metadata.name, QStringLiteral("Old Name"));

    sidebar().requestRenameSelected();
    sheet = sidebar().renameSheet();
    sheet->findChild<QLineEdit *>(QStringLiteral("sidebar.rename.field"))->setText(QStringLiteral("  New <b>Name</b> & Co  "));
    QTest::keyClick(sheet->findChild<QLineEdit *>(QStringLiteral("sidebar.rename.field")), Qt::Key_Return);
    settle();
    EXPECT_FALSE(sidebar().renameSheet());
    EXPECT_EQ(store().bundle(bundle.id())->metadata.name, QStringLiteral("New <b>Name</b> & Co"));
    EXPECT_EQ(rowNames(), QStringList{QStringLiteral("New <b>Name</b> & Co")});
    EXPECT_EQ(appLog().count(QStringLiteral("[Library] Renamed VM to")), 1);
}

TEST_F(LibraryWindowTest, ReturnRenamesOnlyFromTheListAndNeverFromTheSearchField)
{
    vm(QStringLiteral("Alpha"), 1);
    settle();
    m_window.show();
    QApplication::setActiveWindow(&m_window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));

    auto *search = find<QLineEdit>(QStringLiteral("sidebar.search"));
    search->setFocus();
    QTest::keyClick(search, Qt::Key_Return);
    EXPECT_FALSE(sidebar().renameSheet());

    list().setFocus();
    QTest::keyClick(&list(), Qt::Key_Return);
    ASSERT_TRUE(sidebar().renameSheet());
    sidebar().renameSheet()->reject();
    settle();
    EXPECT_FALSE(sidebar().bundleToRename());
}

TEST_F(LibraryWindowTest, TheSelectedVMCommandsAreOfferedOnlyWhereTheyWouldAct)
{
    // An empty library has nothing to stop, delete or rename.
    settle();
    EXPECT_FALSE(m_commands->stopSelected()->isEnabled());
    EXPECT_FALSE(m_commands->deleteSelected()->isEnabled());
    EXPECT_FALSE(m_commands->renameSelected()->isEnabled());

    const VMBundle ready = vm(QStringLiteral("Ready"), 3);
    const VMBundle preparing = vm(QStringLiteral("Preparing"), 2, [](VMBundle &changed) { changed.metadata.installState = VMInstallState::preparingBundle; });
    const VMBundle running = vm(QStringLiteral("Running"), 1);
    addSession(running, VMRuntimeState::running);
    settle();
    struct Case {
        const char *what;
        std::optional<QUuid> selected;
        QString search;
        bool start;
        bool stop;
        bool remove; // and rename
    };
    const QList<Case> cases{
        {"none", std::nullopt, {}, false, false, false},
        {"installed and stopped", ready.id(), {}, true, false, true},
        {"still preparing", preparing.id(), {}, false, false, true},
        {"running", running.id(), {}, false, true, true},
        {"hidden by the search", ready.id(), QStringLiteral("Prep"), false, false, false},
    };
    for (const Case &item : cases) {
        SCOPED_TRACE(item.what);
        find<QLineEdit>(QStringLiteral("sidebar.search"))->setText(item.search);
        m_library->setSelectedBundleID(item.selected);
        EXPECT_EQ(m_commands->startSelected()->isEnabled(), item.start);
        EXPECT_EQ(m_commands->stopSelected()->isEnabled(), item.stop);
        EXPECT_EQ(m_commands->deleteSelected()->isEnabled(), item.remove);
        EXPECT_EQ(m_commands->renameSelected()->isEnabled(), item.remove);
    }
    // Stop with nothing selected does nothing at all.
    m_library->setSelectedBundleID(std::nullopt);
    m_commands->stopSelected()->trigger();
    settle();
    EXPECT_EQ(coordinator().effectiveRuntimeState(running.id()), VMRuntimeState::running);
}

TEST_F(LibraryWindowTest, TheDetailColumnIsRebuiltOnlyWhenTheSelectionChanges)
{
    EXPECT_EQ(find<QStackedWidget>(QStringLiteral("library.detailColumn"))->currentWidget(), m_view->emptyState());
    EXPECT_FALSE(m_view->backupAction()->isEnabled());
    const VMBundle alpha = vm(QStringLiteral("Alpha"), 1);
    const VMBundle bravo = vm(QStringLiteral("Bravo"), 2);
    settle();
    // The first VM that arrived stays selected.
    QWidget *details = m_view->detailsView();
    ASSERT_TRUE(details);
    EXPECT_EQ(qobject_cast<QLabel *>(details)->text(), alpha.id().toString());
    EXPECT_TRUE(m_view->backupAction()->isEnabled());
    const int made = m_detailsMade;

    // A change to another VM republishes the list but keeps the pane.
    storeChanged(bravo.id(), [](VMBundle &changed) { changed.metadata.colorTag = VMColorTag::blue; });
    settle();
    EXPECT_EQ(m_view->detailsView(), details);
    EXPECT_EQ(m_detailsMade, made);

    m_library->setSelectedBundleID(bravo.id());
    EXPECT_EQ(qobject_cast<QLabel *>(m_view->detailsView())->text(), bravo.id().toString());
    m_library->setSelectedBundleID(std::nullopt);
    EXPECT_EQ(find<QStackedWidget>(QStringLiteral("library.detailColumn"))->currentWidget(), m_view->noSelection());
    EXPECT_FALSE(m_view->backupAction()->isEnabled());

    // Targets that are not built yet are disabled, never silent.
    EXPECT_FALSE(m_view->createAction()->isEnabled());
    EXPECT_FALSE(m_view->emptyState()->createButton()->isEnabled());
    EXPECT_TRUE(m_view->importAction()->isEnabled());
}

TEST_F(LibraryWindowTest, TheFirstRunCardIsForAnEmptyLibraryOnlyAndASearchKeepsTheSelection)
{
    auto *column = find<QStackedWidget>(QStringLiteral("library.detailColumn"));
    EXPECT_EQ(column->currentWidget(), m_view->emptyState());
    vm(QStringLiteral("Alpha"), 1);
    const VMBundle bravo = vm(QStringLiteral("Bravo"), 2);
    settle();
    m_library->setSelectedBundleID(bravo.id());
    const struct {
        QString typed;
        const char *hint;
    } cases[] = {
        {QStringLiteral("alp"), "Select a VM in the list to see its details."},
        {QStringLiteral("zz"), "No VM matches the search."},
    };
    for (const auto &test : cases) {
        find<QLineEdit>(QStringLiteral("sidebar.search"))->setText(test.typed);
        EXPECT_EQ(column->currentWidget(), m_view->noSelection()) << test.typed.toStdString();
        EXPECT_EQ(find<QLabel>(QStringLiteral("library.noSelection.hint"))->text(), QString::fromUtf8(test.hint));
        EXPECT_EQ(m_library->selectedBundleID(), bravo.id());
    }
    find<QLineEdit>(QStringLiteral("sidebar.search"))->clear();
    ASSERT_TRUE(m_view->detailsView());
    EXPECT_EQ(column->currentWidget(), m_view->detailsView());
    EXPECT_EQ(qobject_cast<QLabel *>(m_view->detailsView())->text(), bravo.id().toString());
}

TEST_F(LibraryWindowTest, QuitHasAKeyWhereThePlatformThemeBindsNone)
{
    const QKeySequence quit = find<QAction>(QStringLiteral("command.quit"))->shortcut();
    EXPECT_FALSE(quit.isEmpty());
    const QKeySequence standard(QKeySequence::Quit);
    EXPECT_EQ(quit, standard.isEmpty() ? QKeySequence(QStringLiteral("Ctrl+Q")) : standard);
}

TEST_F(LibraryWindowTest, TheBannerShowsMessagesAsPlainTextAndAFailedReload)
{
    ErrorBannerView *banner = m_view->banner();
    EXPECT_FALSE(banner->isVisibleTo(&m_window));
    m_library->setBannerMessage(QStringLiteral("<img src=\"/dev/zero\"> & more"));
    EXPECT_TRUE(banner->isVisibleTo(&m_window));
    auto *message = find<QLabel>(QStringLiteral("banner.message"));
    EXPECT_EQ(message->textFormat(), Qt::PlainText);
    EXPECT_EQ(message->text(), QStringLiteral("<img src=\"/dev/zero\"> & more"));
    EXPECT_EQ(banner->kind(), MessageKind::failure);
    // News of something done takes the same place in the neutral style.
    m_library->setBannerMessage(QStringLiteral("Backed up Alpha"), MessageKind::information);
    EXPECT_EQ(banner->kind(), MessageKind::information);
    EXPECT_EQ(message->text(), QStringLiteral("Backed up Alpha"));
    m_library->setBannerMessage(QStringLiteral("The backup failed."));
    EXPECT_EQ(banner->kind(), MessageKind::failure);
    QSignalSpy dismissed(banner, &ErrorBannerView::dismissed);
    find<QPushButton>(QStringLiteral("banner.dismiss"))->click();
    EXPECT_EQ(dismissed.size(), 1);
    EXPECT_FALSE(m_library->bannerMessage());
    EXPECT_FALSE(banner->isVisibleTo(&m_window));

    // The library folder cannot be made: the window says so rather than showing an empty library.
    vm(QStringLiteral("Alpha"), 1);
    ASSERT_TRUE(QDir(root()).removeRecursively());
    write(root(), "not a folder");
    reload();
    settle();
    ASSERT_TRUE(m_library->bannerMessage());
    EXPECT_TRUE(m_library->bannerMessage()->startsWith(QStringLiteral("The library could not be loaded: "))) << m_library->bannerMessage()->toStdString();
    EXPECT_TRUE(banner->isVisibleTo(&m_window));
    EXPECT_EQ(rowNames(), QStringList{});
}

TEST_F(LibraryWindowTest, ACardShowsItsStateSizesAndFooter)
{
    EXPECT_EQ(VMCardDelegate::badgeTitle(VMRuntimeState::restoring), QStringLiteral("Restoring State"));
    EXPECT_EQ(VMCardDelegate::badgeTitle(VMRuntimeState::saving), QStringLiteral("Saving State"));
    VMBundle bundle = installedBundle();
    bundle.metadata.cpuCount = 1;
    bundle.metadata.memorySizeBytes = 4 * gibibyte;
    bundle.metadata.diskSizeBytes = 64 * gibibyte;
    EXPECT_TRUE(VMCardDelegate::hardwareLine(bundle).startsWith(QStringLiteral("1 CPU • "))) << VMCardDelegate::hardwareLine(bundle).toStdString();
    bundle.metadata.cpuCount = 0;
    EXPECT_TRUE(VMCardDelegate::hardwareLine(bundle).startsWith(QStringLiteral("0 CPUs • ")));
    bundle.metadata.guestOSDisplayName.reset();
    // Without a name of its own a guest is described by its kind; a bundle that names none is a macOS bundle.
    const std::pair<std::optional<VMGuestOSType>, QString> kinds[] = {
        {std::nullopt, QStringLiteral("macOS virtual machine")},
        {VMGuestOSType::macOS, QStringLiteral("macOS virtual machine")},
        {VMGuestOSType::linux, QStringLiteral("Linux virtual machine")},
        {VMGuestOSType::windows, QStringLiteral("Windows virtual machine")},
    };
    for (const auto &[kind, line] : kinds) {
        bundle.metadata.guestOSType = kind;
        EXPECT_EQ(VMCardDelegate::guestLine(bundle), line);
    }

    // The trash button deletes nothing: it asks first.
    const VMBundle shown = vm(QStringLiteral("Shown"), 2);
    settle();
    m_window.show();
    const QModelIndex row = list().model()->index(0, 0);
    ASSERT_EQ(row.data().toString(), QStringLiteral("Shown"));
    const QRect trash = VMCardDelegate::trashRect(list().visualRect(row));
    QTest::mouseClick(list().viewport(), Qt::LeftButton, {}, trash.center());
    ASSERT_TRUE(sidebar().deleteAlert());
    EXPECT_EQ(sidebar().bundleToDelete()->id(), shown.id());
    EXPECT_TRUE(store().bundle(shown.id()));
    sidebar().deleteAlert()->reject();
}

TEST_F(LibraryWindowTest, RefreshLibraryAndNewFromTemplateRunTheToolbarsOwnCommands)
{
    QSignalSpy refreshed(m_view->refreshAction(), &QAction::triggered);
    QSignalSpy reloaded(&store(), &VMStore::bundlesChanged);
    m_commands->refreshLibrary()->trigger();
    EXPECT_EQ(refreshed.count(), 1);
    EXPECT_TRUE(reloaded.wait(5000)) << "the library was read again";

    // Without a template library the toolbar's command is disabled, and so is the menu's.
    EXPECT_FALSE(m_view->templateAction()->isEnabled());
    EXPECT_FALSE(m_commands->newFromTemplate()->isEnabled());
}
