// SPDX-License-Identifier: MIT
#include "../viewmodels/ViewModelTestFixture.h"

#include "EventLoopWait.h"
#include "GuestDisplayConnection.h"
#include "LibraryView.h"
#include "LibraryViewModel.h"
#include "MenuCommands.h"
#include "QEMUConsoleView.h"
#include "QEMUConsoleViewModel.h"
#include "QEMUEngine.h"
#include "ScriptedVirtualMachine.h"
#include "SidebarVMListView.h"
#include "VMConsoleView.h"
#include "VMConsoleViewModel.h"
#include "VMDetailsActions.h"
#include "VMDetailsViewModel.h"
#include "VirtualMachineSession.h"

#include <QAction>
#include <QLabel>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>

#include <vector>

namespace {

using namespace CoordinatorTesting;

/// Where a VM's actions are offered, beside its details pane.
enum class Place { menu, contextMenu, console };

/// An action offered somewhere, with the details pane's button it must agree with.
struct Offer {
    Place place;
    QString objectName;
    VMDetailsAction rule;
};

const QList<Offer> offers {
    { Place::menu, QStringLiteral("command.startSelected"), VMDetailsAction::start },
    { Place::contextMenu, QStringLiteral("sidebar.menu.start"), VMDetailsAction::start },
    { Place::contextMenu, QStringLiteral("sidebar.menu.resume"), VMDetailsAction::resumeSavedState },
    { Place::contextMenu, QStringLiteral("sidebar.menu.duplicate"), VMDetailsAction::clone },
    { Place::contextMenu, QStringLiteral("sidebar.menu.stop"), VMDetailsAction::stop },
    { Place::console, QStringLiteral("console.button.start"), VMDetailsAction::start },
    { Place::console, QStringLiteral("console.button.resumeSavedState"), VMDetailsAction::resumeSavedState },
    { Place::console, QStringLiteral("console.button.pause"), VMDetailsAction::pause },
    { Place::console, QStringLiteral("console.button.resume"), VMDetailsAction::resume },
    { Place::console, QStringLiteral("console.button.saveState"), VMDetailsAction::saveState },
    { Place::console, QStringLiteral("console.button.discardSavedState"), VMDetailsAction::discardSavedState },
    { Place::console, QStringLiteral("console.button.stop"), VMDetailsAction::stop },
};

/// The library window and a VM's console over the real store and coordinator.
class VMActionRulesTest : public ViewModelTest
{
protected:
    VMActionRulesTest()
    {
        m_profile.runtimeDirectory = m_home.path() + QStringLiteral("/run");
        m_library = std::make_unique<LibraryViewModel>(
            LibraryViewModel::Services { store(), coordinator(), m_operations, m_chooser, m_viewer, m_logging });
        LibraryView::Actions actions;
        actions.makeDetailsView = [](const QUuid &) { return new QLabel; };
        actions.openConsole = [](const QUuid &) {};
        m_view = new LibraryView(*m_library, std::move(actions));
        m_window.setCentralWidget(m_view);
        m_commands = new MenuCommands(m_window, *m_view, *m_library);
    }

    /// What each place offers for the VM now: object name to enabled; an item that is not offered is absent.
    QMap<QString, bool> offered(QWidget *console) const
    {
        QMap<QString, bool> found;
        found.insert(QStringLiteral("command.startSelected"), m_commands->startSelected()->isEnabled());
        const std::unique_ptr<QMenu> menu = m_view->sidebar()->contextMenu(*m_library->selectedBundle());
        for (QAction *item : menu->actions())
            if (!item->objectName().isEmpty())
                found.insert(item->objectName(), item->isEnabled());
        if (console)
            for (QPushButton *button : console->findChildren<QPushButton *>())
                if (button->objectName().startsWith(QStringLiteral("console.button.")) && button->isVisibleTo(console))
                    found.insert(button->objectName(), button->isEnabled());
        return found;
    }

    QEMUEngineProfile m_profile;
    QMainWindow m_window;
    std::unique_ptr<LibraryViewModel> m_library;
    LibraryView *m_view = nullptr;
    MenuCommands *m_commands = nullptr;
};

} // namespace

TEST_F(VMActionRulesTest, MenuContextMenuAndConsoleAgreeWithTheDetailsPanesButtons)
{
    enum class Busy { no, library, console };
    const struct {
        const char *what;
        VMInstallState install;
        std::optional<VMRuntimeState> run; // none: no session, as after a reload
        bool savedState;
        VMGuestOSType guest;
        Busy busy;
        /// Anchors the rule itself: the enabled items of the menu, the context menu and the console.
        std::vector<const char *> enabled;
    } cases[] = {
        { "stopped", VMInstallState::installed, VMRuntimeState::stopped, false, VMGuestOSType::linux, Busy::no,
            { "command.startSelected", "sidebar.menu.start", "sidebar.menu.duplicate", "console.button.start" } },
        { "stopped with a saved state", VMInstallState::installed, VMRuntimeState::stopped, true, VMGuestOSType::linux, Busy::no,
            { "command.startSelected", "sidebar.menu.start", "sidebar.menu.resume", "sidebar.menu.duplicate", "console.button.start",
                "console.button.resumeSavedState", "console.button.discardSavedState" } },
        { "running", VMInstallState::installed, VMRuntimeState::running, false, VMGuestOSType::linux, Busy::no,
            { "sidebar.menu.stop", "console.button.pause", "console.button.saveState", "console.button.stop" } },
        { "paused", VMInstallState::installed, VMRuntimeState::paused, true, VMGuestOSType::linux, Busy::no,
            { "sidebar.menu.stop", "console.button.resume", "console.button.saveState", "console.button.stop" } },
        { "running while the library stops it", VMInstallState::installed, VMRuntimeState::running, false, VMGuestOSType::linux,
            Busy::library, { "console.button.stop" } },
        { "running while the console stops it", VMInstallState::installed, VMRuntimeState::running, false, VMGuestOSType::linux,
            Busy::console, { "sidebar.menu.stop" } },
        { "not installed", VMInstallState::preparingBundle, std::nullopt, false, VMGuestOSType::linux, Busy::no, {} },
        { "a stopped Windows guest", VMInstallState::installed, std::nullopt, false, VMGuestOSType::windows, Busy::no,
            { "command.startSelected", "sidebar.menu.start", "sidebar.menu.duplicate" } },
        { "a running Windows guest", VMInstallState::installed, VMRuntimeState::running, false, VMGuestOSType::windows, Busy::no,
            { "sidebar.menu.stop", "console.button.stop" } },
    };
    for (const auto &item : cases) {
        SCOPED_TRACE(item.what);
        VMBundle bundle = storeChanged(installedBundle(QString::fromUtf8(item.what)).id(), [&](VMBundle &changed) {
            changed.metadata.installState = item.install;
            changed.metadata.guestOSType = item.guest;
        });
        if (item.savedState)
            bundle = withSavedState(bundle.id());
        const QEMUEngine engine(m_logging, m_profile);
        std::shared_ptr<QWidget> console;
        std::shared_ptr<VMConsoleViewModel> sessionConsole;
        if (item.guest == VMGuestOSType::windows) {
            if (item.run)
                waitForOutcome(m_qemu.start(bundle)).get();
            console = std::make_shared<QEMUConsoleView>(
                std::make_shared<QEMUConsoleViewModel>(bundle, coordinator(), engine, m_logging, [] {}));
        } else if (item.run) {
            const std::shared_ptr<VirtualMachineSession> session = addSession(bundle, *item.run);
            if (item.busy != Busy::no) {
                // The machine runs, and its stop answers on a later turn of the event loop: the stop is still running when the places are
                // read.
                auto &machine = dynamic_cast<ScriptedVirtualMachine &>(session->virtualMachine());
                waitForOutcome(machine.start()).get();
                session->setRuntimeState(*item.run);
                machine.script().enqueue(VirtualMachineScript::Operation::stop, ScriptedAnswer::success(std::chrono::milliseconds(1)));
            }
            sessionConsole
                = std::make_shared<VMConsoleViewModel>(coordinator().session(bundle.id()), coordinator(), m_runtime, m_logging, [] {});
            console = std::make_shared<VMConsoleView>(sessionConsole);
        }
        settle();
        m_library->setSelectedBundleID(bundle.id());
        ASSERT_TRUE(m_library->selectedBundle());

        // The details pane's view of the VM; its buttons are asked below with each place's own busy flag.
        const std::unique_ptr<VMDetailsViewModel> details = makeDetails(bundle.id());
        VMBundle shown = *details->bundle();

        // A stop that has begun and not ended yet keeps its view model busy (no event is handled until the places are read).
        std::optional<QCoro::Task<>> pending;
        if (item.busy == Busy::library)
            pending = m_library->stop(bundle.id());
        if (item.busy == Busy::console)
            pending = sessionConsole->stop();
        ASSERT_EQ(m_library->isBusy(bundle.id()), item.busy == Busy::library);

        const QMap<QString, bool> found = offered(console.get());
        // The VM as the places show it: a stop that runs has moved it to stopping.
        shown.metadata.runtimeState = coordinator().effectiveRuntimeState(bundle.id());
        QStringList enabled;
        for (const Offer &offer : offers) {
            if (!found.contains(offer.objectName))
                continue;
            const bool busy = offer.place == Place::console ? item.busy == Busy::console : item.busy == Busy::library;
            EXPECT_EQ(found.value(offer.objectName), VMDetailsActions::isEnabled({ shown, busy, {}, {}, {} }, offer.rule))
                << offer.objectName.toStdString();
            if (found.value(offer.objectName))
                enabled << offer.objectName;
        }
        QStringList expected;
        for (const char *name : item.enabled)
            expected << QString::fromUtf8(name);
        EXPECT_EQ(enabled, expected);

        if (pending)
            waitForOutcome(std::move(*pending)).get();
        settle();
        if (item.guest == VMGuestOSType::windows && item.run)
            waitForOutcome(m_qemu.stop(bundle.id())).get();
    }
}
