// SPDX-License-Identifier: MIT
#include "AppStateFixture.h"
#include "ConsoleWindow.h"
#include "ErrorBannerView.h"
#include "LibraryView.h"
#include "LibraryViewModel.h"
#include "MainWindow.h"
#include "MenuCommands.h"
#include "SidebarVMListView.h"
#include "TaskOutcome.h"
#include "VMConsoleWindowManager.h"
#include "VMDetailsView.h"
#include "VMDetailsViewModel.h"
#include "VMExportRun.h"
#include "VMStore.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

namespace {

/// The whole main window over the application state, with machines that answer from a script.
class MainWindowTest : public AppStateFixture
{
protected:
    /// An installed, stopped VM with a small disk.
    VMBundle addBundle(const QString &name, VMGuestOSType guest) { return AppStateFixture::addBundle(name, guest, Install::withDisk); }

    /// Shows the window and waits until its launch reload has put the VM's details in the pane.
    VMDetailsView &showWithSelected(const VMBundle &bundle)
    {
        m_window = std::make_unique<MainWindow>(*m_state);
        m_window->resize(1100, 720);
        m_window->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
        EXPECT_TRUE(QTest::qWaitFor([&] { return !m_state->libraryViewModel().bundles().isEmpty(); }, 5000));
        m_state->libraryViewModel().setSelectedBundleID(bundle.id());
        auto *details = qobject_cast<VMDetailsView *>(m_window->libraryView().detailsView());
        EXPECT_TRUE(details);
        // The pane fills in once its view model has the VM.
        EXPECT_TRUE(QTest::qWaitFor([&] { return details->viewModel().bundle().has_value(); }, 5000));
        QTest::qWait(50);
        return *details;
    }

    template <typename Widget = QWidget>
    static Widget *shown(const QString &objectName)
    {
        for (QWidget *widget : QApplication::topLevelWidgets()) {
            if (widget->objectName() == objectName && widget->isVisible())
                return qobject_cast<Widget *>(widget);
        }
        return nullptr;
    }

    std::optional<QString> banner() const { return m_state->libraryViewModel().bannerMessage(); }

    std::unique_ptr<MainWindow> m_window;
};

} // namespace

TEST_F(MainWindowTest, TheWindowOpensAtTheSizeItWasClosedAt)
{
    m_window = std::make_unique<MainWindow>(*m_state);
    EXPECT_EQ(m_window->size(), QSize(1100, 720)) << "the first time";
    m_window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    m_window->resize(930, 610);
    settle();
    const QSize closedAt = m_window->size();
    ASSERT_NE(closedAt, QSize(1100, 720));
    m_window->close();
    m_window.reset();
    settle();

    m_window = std::make_unique<MainWindow>(*m_state);
    EXPECT_EQ(m_window->size(), closedAt);
}

TEST_F(MainWindowTest, ANewWindowFitsTheScreensFreeArea)
{
    const QRect screen(0, 0, 1600, 1000);
    const QRect available(0, 0, 1600, 970); // a panel at the bottom
    const QMargins frame(1, 24, 1, 1);
    const struct {
        const char *what;
        QRect wanted;
        QRect placed;
    } cases[] = {
        {"fits as it is", QRect(100, 100, 1100, 720), QRect(100, 100, 1100, 720)},
        {"below the bottom edge", QRect(100, 300, 1100, 720), QRect(100, 249, 1100, 720)},
        {"past the right edge", QRect(900, 100, 1100, 720), QRect(499, 100, 1100, 720)},
        {"taller than the free area", QRect(0, 0, 1100, 1200), QRect(1, 24, 1100, 945)},
    };
    for (const auto &[what, wanted, placed] : cases) {
        SCOPED_TRACE(what);
        const QRect result = MainWindow::placedWithin(wanted, available, frame);
        EXPECT_EQ(result, placed);
        EXPECT_TRUE(available.contains(result.marginsAdded(frame))) << "frame and all";
        EXPECT_TRUE(screen.contains(result));
    }

    // File > New Window opens a window on the screen's free area, whatever the size the last one was closed at.
    m_window = std::make_unique<MainWindow>(*m_state);
    m_window->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_window.get()));
    const QRect free = m_window->screen()->availableGeometry();
    m_window->setGeometry(QRect(free.topLeft() + QPoint(0, free.height() / 4), free.size() * 3 / 4));
    settle();
    const QPointer<MainWindow> second = m_window->openNewWindow();
    ASSERT_TRUE(second);
    // Its bottom edge stays on the screen (the test screen is narrower than the window's least width).
    EXPECT_GE(second->geometry().top(), free.top());
    EXPECT_LE(second->geometry().bottom(), free.bottom()) << second->geometry().bottom() << " of " << free.bottom();
    delete second.data();
}

TEST_F(MainWindowTest, TheExportSheetsFolderChooserOutlivesTheSheetAndTheExportIsWritten)
{
    const VMBundle bundle = addBundle(QStringLiteral("Dev"), VMGuestOSType::linux);
    VMDetailsView &details = showWithSelected(bundle);
    const QString folder = m_home.path() + QStringLiteral("/exports");
    QDir().mkpath(folder);

    details.findChild<QPushButton *>(QStringLiteral("details.action.exportVM"))->click();
    QDialog *sheet = nullptr;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (sheet = shown<QDialog>(QStringLiteral("exportSheet"))); }, 5000));
    // As on a desktop, the sheet is the active window when its Export is pressed.
    sheet->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(sheet));
    sheet->findChild<QAbstractButton *>(QStringLiteral("export.format.vmBundle"))->click();
    sheet->findChild<QPushButton *>(QStringLiteral("export.export"))->click();

    QPointer<QFileDialog> chooser;
    ASSERT_TRUE(QTest::qWaitFor([&] { return (chooser = shown<QFileDialog>(QStringLiteral("fileChooser"))); }, 5000));
    // The closed sheet goes; the chooser that came after it stays.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(shown<QDialog>(QStringLiteral("exportSheet")));
    ASSERT_TRUE(chooser);
    EXPECT_EQ(chooser->parentWidget(), m_window.get());
    EXPECT_TRUE(chooser->isVisible());

    chooser->setDirectory(folder);
    QMetaObject::invokeMethod(chooser, "accept");
    ASSERT_TRUE(QTest::qWaitFor([&] { return !details.exportRun().isRunning(); }, 5000));
    EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/Dev.vm/Disk.img")).isFile());
    EXPECT_EQ(details.viewModel().errorMessage(), QStringLiteral("Exported to ") + folder + QStringLiteral("/Dev.vm"));
    EXPECT_TRUE(details.findChild<QPushButton *>(QStringLiteral("details.action.exportVM"))->isEnabled());
}

TEST_F(MainWindowTest, TheToolsCommandsBringTheSelectedVMsPanelIntoViewOrSayWhyNot)
{
    const VMBundle linux = addBundle(QStringLiteral("Linux"), VMGuestOSType::linux);
    const VMBundle windows = addBundle(QStringLiteral("Windows"), VMGuestOSType::windows);
    VMDetailsView &details = showWithSelected(linux);
    using Slot = VMDetailsView::FeaturePanelSlot;
    const struct {
        const char *command;
        Slot slot;
    } commands[] = {
        {"command.performanceMonitor", Slot::performanceDashboard}, {"command.diskAnalytics", Slot::diskAnalytics},
        {"command.checkMacOSUpdates", Slot::macOSUpdate},           {"command.ciRunner", Slot::ciRunner},
        {"command.networkTopology", Slot::networkTopology},
    };
    const auto *scroll = details.findChild<QScrollArea *>(QStringLiteral("details.scroll"));
    for (const auto &item : commands) {
        SCOPED_TRACE(item.command);
        auto *command = m_window->findChild<QAction *>(QLatin1String(item.command));
        ASSERT_TRUE(command);
        EXPECT_TRUE(command->isEnabled());
        command->trigger();
        // The panel's top edge lies within the visible part of the column.
        const QWidget *panel = details.featurePanel(item.slot);
        const int top = panel->mapTo(scroll->viewport(), QPoint()).y();
        EXPECT_GE(top, 0);
        EXPECT_LT(top, scroll->viewport()->height() / 2);
        EXPECT_EQ(banner(), std::nullopt);
    }
    EXPECT_GT(scroll->verticalScrollBar()->value(), 0);

    // The update check names the selected VM's system; a Windows guest has no update panel to show.
    auto *checkUpdates = m_window->findChild<QAction *>(QStringLiteral("command.checkMacOSUpdates"));
    EXPECT_EQ(checkUpdates->text(), QStringLiteral("Check for Linux Updates"));
    m_state->libraryViewModel().setSelectedBundleID(windows.id());
    EXPECT_EQ(checkUpdates->text(), QStringLiteral("Check for Guest Updates"));
    checkUpdates->trigger();
    EXPECT_EQ(banner(), QStringLiteral("Check for Guest Updates is not available for Windows."));

    m_state->libraryViewModel().setSelectedBundleID(std::nullopt);
    m_window->findChild<QAction *>(QStringLiteral("command.performanceMonitor"))->trigger();
    EXPECT_EQ(banner(), QStringLiteral("No VM is selected. Select a VM in the list to see its Performance Monitor."));
    EXPECT_TRUE(m_window->findChild<ErrorBannerView *>(QStringLiteral("library.banner"))->isVisible());
    EXPECT_EQ(m_window->findChild<ErrorBannerView *>(QStringLiteral("library.banner"))->kind(), MessageKind::information)
        << "a hint is no failure";
}

TEST_F(MainWindowTest, EveryStartOpensTheVMsConsoleWhereverItIsAskedFor)
{
    const VMBundle bundle = addBundle(QStringLiteral("Dev"), VMGuestOSType::linux);
    VMDetailsView &details = showWithSelected(bundle);
    auto *startButton = details.findChild<QPushButton *>(QStringLiteral("details.action.start"));
    ASSERT_TRUE(startButton);
    VMConsoleWindowManager &consoles = m_state->consoleWindowManager();
    const struct {
        const char *what;
        std::function<void()> start;
    } ways[] = {
        {"the VM menu's Start Selected VM", [&] { m_window->commands().startSelected()->trigger(); }},
        {"the card's menu",
         [&] {
             const std::unique_ptr<QMenu> menu = m_window->libraryView().sidebar()->contextMenu(*m_state->vmStore().bundle(bundle.id()));
             menu->findChild<QAction *>(QStringLiteral("sidebar.menu.start"))->trigger();
         }},
        {"the details pane's Start", [&] { startButton->click(); }},
    };
    for (const auto &way : ways) {
        SCOPED_TRACE(way.what);
        ASSERT_EQ(consoles.windowCount(), 0);
        way.start();
        EXPECT_TRUE(QTest::qWaitFor([&] { return consoles.window(bundle.id()) != nullptr; }, 5000));
        EXPECT_EQ(consoles.windowCount(), 1);
        EXPECT_EQ(banner(), std::nullopt);
        EXPECT_EQ(details.viewModel().errorMessage(), std::nullopt);
        EXPECT_EQ(m_state->coordinator().effectiveRuntimeState(bundle.id()), VMRuntimeState::running);

        consoles.closeWindow(bundle.id());
        ASSERT_FALSE(waitForOutcome(m_state->coordinator().stop(bundle.id())).failure);
        ASSERT_TRUE(QTest::qWaitFor([&] { return consoles.windowCount() == 0 && startButton->isEnabled(); }, 5000));
    }
}

TEST_F(MainWindowTest, QuitWhileVMsRunAsksBeforeAnyWindowClosesAndCancelKeepsThemAll)
{
    // Several consoles: closing every window in the application's own order would reach one of them before the library window.
    QList<VMBundle> vms;
    for (const QString &name : {QStringLiteral("Dev"), QStringLiteral("Build"), QStringLiteral("Web")})
        vms << addBundle(name, VMGuestOSType::linux);
    showWithSelected(vms.first());
    VMConsoleWindowManager &consoles = m_state->consoleWindowManager();
    QList<QPointer<QWidget>> windows;
    for (const VMBundle &vm : vms) {
        ASSERT_FALSE(waitForOutcome(m_state->coordinator().start(vm.id(), false)).failure);
        m_window->openConsole(vm.id());
        ASSERT_TRUE(QTest::qWaitFor([&] { return consoles.window(vm.id()) != nullptr; }, 5000));
        windows << QPointer<QWidget>(consoles.window(vm.id()));
    }

    m_window->findChild<QAction *>(QStringLiteral("command.quit"))->trigger();
    QTest::qWait(50);
    auto *question = m_window->findChild<QMessageBox *>(QStringLiteral("quit.confirmation"));
    ASSERT_TRUE(question);
    for (const QPointer<QWidget> &console : windows)
        EXPECT_TRUE(console && console->isVisible()) << "the question comes before any window closes";

    question->findChild<QPushButton *>(QStringLiteral("quit.confirmation.cancel"))->click();
    QTest::qWait(50);
    EXPECT_EQ(consoles.windowCount(), 3);
    for (const QPointer<QWidget> &console : windows)
        EXPECT_TRUE(console && console->isVisible());
    EXPECT_TRUE(m_window->isVisible());
    for (const VMBundle &vm : vms) {
        EXPECT_EQ(m_state->coordinator().effectiveRuntimeState(vm.id()), VMRuntimeState::running);
        consoles.closeWindow(vm.id());
        ASSERT_FALSE(waitForOutcome(m_state->coordinator().stop(vm.id())).failure);
    }
}
