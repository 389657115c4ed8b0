// SPDX-License-Identifier: MIT
// Shows the main window on a hand-made library under a real X server, saves
// it as PNGs in the light and the dark palette, and checks sampled pixels so
// that a blank or unpainted window fails. Argument: the folder for the PNGs.
#include "AppState.h"
#include "LabPalette.h"
#include "LibraryView.h"
#include "MainWindow.h"
#include "MenuCommands.h"
#include "ScreenshotSupport.h"
#include "ScriptedVirtualMachine.h"
#include "SidebarVMListView.h"
#include "TemporaryHome.h"

#include <QApplication>
#include <QStyle>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QTest>
#include <QTextStream>

#include <functional>

namespace {

using ScreenshotSupport::check;

void shoot(MainWindow &window, const QString &path, const QString &appearance)
{
    const QImage image = ScreenshotSupport::shoot(window, path);

    // The background differs from the card of the selected VM and from the banner.
    const QListView *list = window.findChild<QListView *>(QStringLiteral("sidebar.list"));
    const QPoint listOrigin = list->viewport()->mapTo(&window, QPoint(0, 0));
    const QRect firstCard = list->visualRect(list->model()->index(0, 0)).translated(listOrigin);
    const QColor cardFill = image.pixelColor(firstCard.left() + 40, firstCard.bottom() - 14);
    const QColor windowBackground = window.palette().color(QPalette::Window);
    check(list->model()->rowCount() == 4, appearance + QStringLiteral(": four cards"));
    check(ScreenshotSupport::distance(cardFill, image.pixelColor(firstCard.right() - 4, firstCard.bottom() - 1)) > 0 || ScreenshotSupport::distance(cardFill, windowBackground) > 0,
          appearance + QStringLiteral(": the selected card is painted"));
    const QWidget *banner = window.findChild<QWidget *>(QStringLiteral("library.banner"));
    const QPoint bannerPoint = banner->mapTo(&window, QPoint(4, 20));
    const QColor bannerFill = image.pixelColor(bannerPoint);
    // News of something done, in the neutral style: bluish slate, never the failure's red.
    check(bannerFill.blue() > bannerFill.red() && bannerFill.red() < 140, appearance + QStringLiteral(": the banner is slate"));

    // Many distinct colours: text, icons and gradients were drawn.
    check(ScreenshotSupport::distinctColours(image) > 200, appearance + QStringLiteral(": the window holds more than a few flat colours"));
}

/// The enabled items of a menu, by object name.
QStringList enabledItems(const QMenu &menu)
{
    QStringList names;
    for (const QAction *item : menu.actions())
        if (!item->isSeparator() && item->isEnabled() && !item->objectName().isEmpty())
            names << item->objectName();
    return names;
}

/// Pops up a card's context menu as the right mouse button would, saves it, and checks what it offers.
void walkContextMenu(MainWindow &window, const VMBundle &bundle, const QString &path, const QStringList &offered)
{
    std::unique_ptr<QMenu> menu = window.libraryView().sidebar()->contextMenu(bundle);
    menu->popup(window.mapToGlobal(QPoint(200, 200)));
    check(QTest::qWaitForWindowExposed(menu.get()), QStringLiteral("the context menu of ") + bundle.metadata.name + QStringLiteral(" shows"));
    ScreenshotSupport::shoot(*menu, path);
    check(enabledItems(*menu) == offered,
          bundle.metadata.name + QStringLiteral(": the context menu offers ") + offered.join(u' ') + QStringLiteral(", not ") + enabledItems(*menu).join(u' '));
    menu->close();
}

/// Opens the VM menu of the menu bar with the VM selected, saves it, and checks whether it can start the VM.
void walkVMMenu(MainWindow &window, AppState &state, const VMBundle &bundle, const QString &path, bool canStart)
{
    state.libraryViewModel().setSelectedBundleID(bundle.id());
    auto *vm = window.menuBar()->findChild<QMenu *>(QStringLiteral("menu.vm"));
    window.menuBar()->setActiveAction(vm->menuAction());
    check(QTest::qWaitForWindowExposed(vm), QStringLiteral("the VM menu shows"));
    ScreenshotSupport::shoot(*vm, path);
    check(window.commands().startSelected()->isEnabled() == canStart,
          bundle.metadata.name + (canStart ? QStringLiteral(": the VM menu can start it") : QStringLiteral(": the VM menu cannot start it")));
    vm->close();
    QTest::qWait(100);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    ScreenshotSupport::prepareApplication();
    const QString folder = ScreenshotSupport::outputFolder(argc, argv);

    const TemporaryHome home;
    AppState state(ScreenshotSupport::scriptedOptions());

    const VMBundle agent = ScreenshotSupport::addBundle(state, QStringLiteral("Build Agent"), 1, [](VMMetadata &metadata) {
        metadata.guestOSType = VMGuestOSType::linux;
        metadata.guestOSDisplayName = QStringLiteral("Debian 12");
        metadata.colorTag = VMColorTag::green;
        metadata.sharedFolderCount = 2;
    });
    const VMBundle running = ScreenshotSupport::addBundle(state, QStringLiteral("Windows Desktop"), 2, [](VMMetadata &metadata) {
        metadata.guestOSType = VMGuestOSType::windows;
        metadata.guestOSDisplayName = QStringLiteral("Windows 11");
        metadata.colorTag = VMColorTag::blue;
    });
    ScreenshotSupport::addBundle(state, QStringLiteral("Sonoma <b>Lab & Co"), 3, [](VMMetadata &metadata) {
        metadata.guestOSType = VMGuestOSType::linux;
        metadata.colorTag = VMColorTag::purple;
        metadata.sharedFolderCount = 1;
        metadata.hardwareProfile.cpuCount = 1;
    });
    ScreenshotSupport::addBundle(state, QStringLiteral("Half Installed"), 4, [](VMMetadata &metadata) { metadata.installState = VMInstallState::failed; });
    ScreenshotSupport::addSession(state, running, VMRuntimeState::running);

    MainWindow window(state);
    window.resize(1280, 800);
    window.show();
    check(QTest::qWaitForWindowExposed(&window), QStringLiteral("the window is shown"));
    QTest::qWait(300);
    state.libraryViewModel().setBannerMessage(QStringLiteral("Backed up Build Agent"), MessageKind::information);

    shoot(window, folder + QStringLiteral("/main-window-light.png"), QStringLiteral("light"));
    QApplication::setPalette(ScreenshotSupport::darkPalette());
    shoot(window, folder + QStringLiteral("/main-window-dark.png"), QStringLiteral("dark"));

    // The menus that act on one VM offer what its details pane would.
    QApplication::setPalette(QApplication::style()->standardPalette());
    state.libraryViewModel().setBannerMessage(std::nullopt);
    const auto listed = [&state](const QUuid &id) {
        for (const VMBundle &bundle : state.libraryViewModel().bundles())
            if (bundle.id() == id)
                return bundle;
        check(false, QStringLiteral("the library lists every VM"));
        return VMBundle();
    };
    const VMBundle listedAgent = listed(agent.id());
    const VMBundle listedRunning = listed(running.id());
    walkContextMenu(window, listedAgent, folder + QStringLiteral("/context-menu-stopped.png"),
                    {QStringLiteral("sidebar.menu.rename"), QStringLiteral("sidebar.menu.start"), QStringLiteral("sidebar.menu.duplicate"),
                     QStringLiteral("sidebar.menu.backup"), QStringLiteral("sidebar.menu.colorTag"), QStringLiteral("sidebar.menu.reveal"),
                     QStringLiteral("sidebar.menu.delete")});
    walkContextMenu(window, listedRunning, folder + QStringLiteral("/context-menu-running.png"),
                    {QStringLiteral("sidebar.menu.rename"), QStringLiteral("sidebar.menu.openConsole"), QStringLiteral("sidebar.menu.stop"),
                     QStringLiteral("sidebar.menu.colorTag"), QStringLiteral("sidebar.menu.reveal"), QStringLiteral("sidebar.menu.delete")});
    walkVMMenu(window, state, agent, folder + QStringLiteral("/vm-menu-stopped.png"), true);
    walkVMMenu(window, state, running, folder + QStringLiteral("/vm-menu-running.png"), false);

    QTextStream(stdout) << "Screenshots in " << folder << '\n';
    return ScreenshotSupport::exitCode();
}
