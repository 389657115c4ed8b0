// SPDX-License-Identifier: MIT
#include "VMConsoleView.h"

#include "../viewmodels/ViewModelTestFixture.h"
#include "ConsoleDisplayArea.h"
#include "EventLoopWait.h"
#include "GuestDisplayWidget.h"
#include "QEMUConsoleView.h"
#include "QEMUConsoleViewModel.h"
#include "QEMUEngine.h"
#include "RfbConnection.h"
#include "StandInRfbServer.h"
#include "VMConsoleViewModel.h"

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace {

using namespace CoordinatorTesting;
using namespace std::chrono_literals;
using EventLoopWait::waitUntil;

const QStringList buttonNames { QStringLiteral("start"), QStringLiteral("resumeSavedState"), QStringLiteral("pause"),
    QStringLiteral("resume"), QStringLiteral("saveState"), QStringLiteral("discardSavedState"), QStringLiteral("stop"),
    QStringLiteral("close") };

class VMConsoleViewTest : public ViewModelTest
{
protected:
    VMConsoleView &open(const QUuid &id, std::unique_ptr<GuestDisplayConnection> connection = {})
    {
        auto model
            = std::make_shared<VMConsoleViewModel>(coordinator().session(id), coordinator(), m_runtime, m_logging, [this] { ++m_closes; });
        m_view = std::make_unique<VMConsoleView>(model, nullptr, std::move(connection));
        m_view->resize(1100, 800);
        m_view->show();
        return *m_view;
    }

    template <typename Widget = QWidget> Widget *child(const QString &name) const
    {
        Widget *found = m_view->findChild<Widget *>(name);
        EXPECT_NE(found, nullptr) << name.toStdString();
        return found;
    }
    QPushButton *button(const QString &name) const { return child<QPushButton>(QStringLiteral("console.button.") + name); }
    QString text(const QString &name) const { return child<QLabel>(name)->text(); }
    bool placeholderShown() const { return child(QStringLiteral("console.placeholder"))->isVisibleTo(m_view.get()); }
    bool bannerShown() const { return child(QStringLiteral("console.banner"))->isVisibleTo(m_view.get()); }

    /// The buttons in the row, in order, "(off)" after a disabled one.
    QStringList buttonRow() const
    {
        QStringList row;
        for (const QString &name : buttonNames) {
            const QPushButton *found = button(name);
            if (found && found->isVisibleTo(m_view.get()))
                row << found->text() + (found->isEnabled() ? QString() : QStringLiteral(" (off)"));
        }
        return row;
    }

    std::unique_ptr<VMConsoleView> m_view;
    int m_closes = 0;
};

TEST_F(VMConsoleViewTest, ShowsTheButtonsLabelAndPlaceholderOfEachRunState)
{
    const struct {
        VMRuntimeState state;
        bool savedState;
        const char *buttons;
        const char *label;
    } cases[] = {
        { VMRuntimeState::stopped, false, "Start|Save State (off)|Stop (off)|Close", "Stopped" },
        { VMRuntimeState::stopped, true, "Start|Resume Saved State|Save State (off)|Discard Saved State|Stop (off)|Close", "Stopped" },
        { VMRuntimeState::running, true, "Pause|Save State|Stop|Close", "Running" },
        { VMRuntimeState::paused, false, "Resume|Save State|Stop|Close", "Paused" },
        { VMRuntimeState::starting, false, "Save State (off)|Stop|Close", "Starting" },
        { VMRuntimeState::saving, false, "Save State (off)|Stop|Close", "Saving State" },
        { VMRuntimeState::restoring, false, "Save State (off)|Stop|Close", "Restoring State" },
        { VMRuntimeState::stopping, false, "Save State (off)|Stop|Close", "Stopping" },
        { VMRuntimeState::error, false, "Save State (off)|Stop|Close", "Error" },
    };
    const VMBundle plain = installedBundle(QStringLiteral("<u>Plain & Co"));
    const VMBundle saved = withSavedState(installedBundle(QStringLiteral("Saved")).id());
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.label);
        const VMBundle &bundle = testCase.savedState ? saved : plain;
        coordinator().removeSession(bundle.id());
        addSession(bundle, testCase.state);
        open(bundle.id());
        EXPECT_EQ(buttonRow().join(u'|'), QString::fromUtf8(testCase.buttons));
        EXPECT_EQ(text(QStringLiteral("console.state")), QString::fromUtf8(testCase.label));
        EXPECT_EQ(text(QStringLiteral("console.name")), bundle.metadata.name) << "shown as plain text";
        EXPECT_EQ(placeholderShown(), testCase.state == VMRuntimeState::stopped);
        if (testCase.state == VMRuntimeState::stopped) {
            const QLabel *hint = child<QLabel>(QStringLiteral("console.placeholder.hint"));
            EXPECT_GE(hint->height(), hint->heightForWidth(hint->width())) << "the whole hint shows, however it wraps";
            EXPECT_EQ(text(QStringLiteral("console.placeholder.hint")),
                testCase.savedState ? QStringLiteral("Start with a cold boot or resume the saved state from this console.")
                                    : QStringLiteral("Start the virtual machine to attach the live Linux display here."));
        }
    }
    EXPECT_EQ(child<QLabel>(QStringLiteral("console.name"))->textFormat(), Qt::PlainText);
}

TEST_F(VMConsoleViewTest, TheBannerShowsTheViewModelsMessageUntilDismissedAndCloseCallsTheHandler)
{
    const VMBundle bundle = installedBundle();
    VMConsoleView &view = open(bundle.id());
    EXPECT_FALSE(bannerShown());
    view.viewModel().setErrorMessage(QStringLiteral("<img src=\"/dev/zero\"> failed"));
    EXPECT_TRUE(bannerShown());
    EXPECT_EQ(text(QStringLiteral("banner.message")), QStringLiteral("<img src=\"/dev/zero\"> failed"));
    EXPECT_EQ(child<QLabel>(QStringLiteral("banner.message"))->textFormat(), Qt::PlainText);
    const QStringList before = buttonRow();
    QTest::mouseClick(child<QPushButton>(QStringLiteral("banner.dismiss")), Qt::LeftButton);
    EXPECT_FALSE(bannerShown());
    EXPECT_EQ(view.viewModel().errorMessage(), std::nullopt);
    EXPECT_EQ(buttonRow(), before);

    button(QStringLiteral("close"))->click();
    EXPECT_EQ(m_closes, 1);
}

TEST_F(VMConsoleViewTest, StartingShowsTheGuestsFrameAndStoppingLetsGoOfIt)
{
    StandInRfbServer server(QSize(640, 480));
    ASSERT_TRUE(server.listen());
    m_machines.setDisplaySocketPath(server.path());
    const VMBundle bundle = installedBundle();
    VMConsoleView &view = open(bundle.id());
    QTest::qWait(50);
    EXPECT_FALSE(server.hasClient()) << "a stopped VM has no display";

    // The session is dropped by a settings change while the console is open; Start then adopts the new one.
    coordinator().removeSession(bundle.id());
    m_machines.script().enqueue(VirtualMachineScript::Operation::start, ScriptedAnswer::success(100ms));
    button(QStringLiteral("start"))->click();
    ASSERT_TRUE(waitUntil([&] { return text(QStringLiteral("console.state")) == QStringLiteral("Starting"); }));
    EXPECT_FALSE(button(QStringLiteral("start"))->isVisibleTo(&view)) << "no second Start while one runs";

    ASSERT_TRUE(waitUntil([&] { return text(QStringLiteral("console.state")) == QStringLiteral("Running"); }));
    EXPECT_EQ(view.viewModel().errorMessage(), std::nullopt);
    EXPECT_FALSE(placeholderShown());
    ASSERT_TRUE(waitUntil([&] { return server.isReady(); }));

    const ConsoleDisplayArea &area = *view.displayArea();
    QImage frame(640, 480, QImage::Format_RGB32);
    frame.fill(QColor(20, 120, 220));
    server.send(StandInRfbServer::rawUpdate(QPoint(0, 0), frame));
    ASSERT_TRUE(waitUntil([&] { return area.connection().framebuffer().pixel(639, 479) == qRgb(20, 120, 220); }));
    const QImage painted = area.display()->grab().toImage();
    EXPECT_EQ(QColor(painted.pixel(painted.rect().center())), QColor(20, 120, 220));

    button(QStringLiteral("stop"))->click();
    ASSERT_TRUE(waitUntil([&] { return text(QStringLiteral("console.state")) == QStringLiteral("Stopped"); }));
    EXPECT_TRUE(waitUntil([&] { return !server.hasClient(); })) << "the console let go of the display";
    EXPECT_TRUE(placeholderShown());
    EXPECT_EQ(area.connection().status(), GuestDisplayConnection::Status::closed);
    EXPECT_EQ(view.viewModel().errorMessage(), std::nullopt);
}

TEST_F(VMConsoleViewTest, TheGuestDisplayKeepsTheKeyboardThroughTheBannerPauseAndResume)
{
    StandInRfbServer server(QSize(640, 480));
    ASSERT_TRUE(server.listen());
    m_machines.setDisplaySocketPath(server.path());
    const VMBundle bundle = installedBundle();
    VMConsoleView &view = open(bundle.id());
    view.viewModel().setErrorMessage(QStringLiteral("Something failed."));
    QApplication::setActiveWindow(&view);
    QWidget *display = view.displayArea()->display();
    const auto state = [&] { return text(QStringLiteral("console.state")); };
    EXPECT_EQ(QApplication::focusWidget(), display) << "an opened console gives the keyboard to the guest, banner or not";
    QTest::mouseClick(child<QPushButton>(QStringLiteral("banner.dismiss")), Qt::LeftButton);
    ASSERT_FALSE(bannerShown());
    EXPECT_EQ(QApplication::focusWidget(), display);

    QTest::mouseClick(button(QStringLiteral("start")), Qt::LeftButton);
    const GuestDisplayConnection &connection = view.displayArea()->connection();
    ASSERT_TRUE(waitUntil(
        [&] { return state() == QStringLiteral("Running") && connection.status() == GuestDisplayConnection::Status::connected; }));
    for (const char *press : {"pause", "resume"}) {
        SCOPED_TRACE(press);
        const QString before = state();
        QTest::mouseClick(button(QString::fromLatin1(press)), Qt::LeftButton);
        ASSERT_TRUE(waitUntil([&] { return state() != before && !view.viewModel().isBusy(); }));
        EXPECT_EQ(QApplication::focusWidget(), display);
    }
    ASSERT_EQ(state(), QStringLiteral("Running"));

    // The next key goes to the guest; it does not press a header button.
    server.clearMessages();
    ASSERT_NE(QApplication::focusWidget(), nullptr);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
    EXPECT_EQ(m_closes, 0);
    EXPECT_EQ(state(), QStringLiteral("Running"));
    EXPECT_TRUE(waitUntil([&] {
        return server.messagesOfType(StandInRfbServer::keyEvent).size() + server.messagesOfType(StandInRfbServer::qemuMessage).size() >= 2;
    })) << "Space down and up reach the guest";
}

TEST_F(VMConsoleViewTest, ABrokenDisplayIsReportedInTheBanner)
{
    StandInRfbServer server(QSize(640, 480));
    ASSERT_TRUE(server.listen());
    m_machines.setDisplaySocketPath(server.path());
    const VMBundle bundle = installedBundle();
    VMConsoleView &view = open(bundle.id());
    button(QStringLiteral("start"))->click();
    ASSERT_TRUE(waitUntil([&] { return server.isReady(); }));
    server.send(StandInRfbServer::rawUpdate(QPoint(600, 400), QImage(100, 100, QImage::Format_RGB32)));
    ASSERT_TRUE(waitUntil([&] { return bannerShown(); }));
    EXPECT_EQ(view.viewModel().errorMessage(), QStringLiteral("The guest display sent a rectangle outside its screen."));
    EXPECT_EQ(text(QStringLiteral("console.state")), QStringLiteral("Running")) << "the VM runs on";
}

TEST_F(VMConsoleViewTest, ADisplayThatFallsSilentInTheMiddleOfAnUpdateIsReportedInTheBanner)
{
    StandInRfbServer server(QSize(640, 480));
    ASSERT_TRUE(server.listen());
    m_machines.setDisplaySocketPath(server.path());
    const VMBundle bundle = installedBundle();
    // Long enough that a loaded machine never lets the handshake itself look like a silence.
    VMConsoleView &view = open(bundle.id(), std::make_unique<RfbConnection>(nullptr, 1s));
    button(QStringLiteral("start"))->click();
    ASSERT_TRUE(waitUntil([&] { return server.isReady(); }));
    server.send(StandInRfbServer::rawUpdate(QPoint(), QImage(100, 100, QImage::Format_RGB32)).left(1000));
    ASSERT_TRUE(waitUntil([&] { return bannerShown(); }));
    EXPECT_EQ(view.viewModel().errorMessage(), QStringLiteral("The guest display stopped responding."));
    EXPECT_EQ(view.displayArea()->connection().status(), GuestDisplayConnection::Status::closed);
}

TEST_F(VMConsoleViewTest, AStopOrAGuestShutdownEndsTheDisplayWithoutABanner)
{
    auto server = std::make_unique<StandInRfbServer>(QSize(640, 480));
    ASSERT_TRUE(server->listen());
    m_machines.setDisplaySocketPath(server->path());
    const VMBundle bundle = installedBundle();
    VMConsoleView &view = open(bundle.id());
    const auto state = [&] { return text(QStringLiteral("console.state")); };

    // Stop: QEMU closes the display while the machine is stopping.
    button(QStringLiteral("start"))->click();
    ASSERT_TRUE(waitUntil([&] { return server->isReady(); }));
    m_machines.lastMachine()->script().enqueue(VirtualMachineScript::Operation::stop, ScriptedAnswer::success(300ms));
    button(QStringLiteral("stop"))->click();
    ASSERT_TRUE(waitUntil([&] { return state() == QStringLiteral("Stopping"); }));
    server.reset();
    ASSERT_TRUE(waitUntil([&] { return state() == QStringLiteral("Stopped"); }));
    QTest::qWait(50);
    EXPECT_EQ(view.viewModel().errorMessage(), std::nullopt);
    EXPECT_FALSE(bannerShown());

    // The guest shuts itself down: QEMU closes the display before the machine reports that it stopped.
    server = std::make_unique<StandInRfbServer>(QSize(640, 480));
    ASSERT_TRUE(server->listen());
    m_machines.lastMachine()->setDisplaySocketPath(server->path());
    button(QStringLiteral("start"))->click();
    ASSERT_TRUE(waitUntil([&] { return server->isReady(); }));
    server.reset();
    QTest::qWait(150);
    m_machines.lastMachine()->raiseGuestDidStop();
    ASSERT_TRUE(waitUntil([&] { return state() == QStringLiteral("Stopped"); }));
    QTest::qWait(50);
    EXPECT_EQ(view.viewModel().errorMessage(), std::nullopt);
    EXPECT_FALSE(bannerShown());
    EXPECT_EQ(view.displayArea()->connection().status(), GuestDisplayConnection::Status::closed);
}

TEST_F(VMConsoleViewTest, ADisplayClosedUnderARunningVMIsConnectedAgainOnceAndThenReported)
{
    StandInRfbServer first(QSize(640, 480));
    ASSERT_TRUE(first.listen());
    m_machines.setDisplaySocketPath(first.path());
    const VMBundle bundle = installedBundle();
    VMConsoleView &view = open(bundle.id());
    button(QStringLiteral("start"))->click();
    ASSERT_TRUE(waitUntil([&] { return first.isReady(); }));

    StandInRfbServer second(QSize(640, 480));
    ASSERT_TRUE(second.listen());
    m_machines.lastMachine()->setDisplaySocketPath(second.path());
    first.client()->disconnectFromServer();
    ASSERT_TRUE(waitUntil([&] { return second.isReady(); })) << "the console connects again";
    EXPECT_EQ(view.viewModel().errorMessage(), std::nullopt);

    second.client()->disconnectFromServer();
    ASSERT_TRUE(waitUntil([&] { return bannerShown(); }));
    EXPECT_EQ(view.viewModel().errorMessage(), QStringLiteral("The guest display closed the connection."));
    EXPECT_EQ(text(QStringLiteral("console.state")), QStringLiteral("Running"));
}

TEST_F(VMConsoleViewTest, AWindowsConsoleShowsQEMUsDisplayAndStopsThroughTheCoordinator)
{
    QEMUEngineProfile profile;
    profile.runtimeDirectory = m_home.path() + QStringLiteral("/run");
    const QEMUEngine engine(m_logging, profile);
    const VMBundle bundle
        = storeChanged(installedBundle(QStringLiteral("Win")).id(), [](VMBundle &changed) { changed.metadata.guestOSType = VMGuestOSType::windows; });
    QDir().mkpath(engine.runtimeFolder(bundle));
    QLocalServer::removeServer(engine.runtimeFolder(bundle) + QStringLiteral("/vnc.sock"));
    QLocalServer listener;
    ASSERT_TRUE(listener.listen(engine.runtimeFolder(bundle) + QStringLiteral("/vnc.sock")));

    auto model = std::make_shared<QEMUConsoleViewModel>(bundle, coordinator(), engine, m_logging, [this] { ++m_closes; });
    auto view = std::make_unique<QEMUConsoleView>(model);
    view->show();
    const auto find = [&](const QString &name) { return view->findChild<QWidget *>(name); };
    const auto state = [&] { return view->findChild<QLabel *>(QStringLiteral("console.state"))->text(); };
    EXPECT_EQ(state(), QStringLiteral("Stopped"));
    EXPECT_FALSE(find(QStringLiteral("console.button.stop"))->isEnabled());
    EXPECT_EQ(find(QStringLiteral("console.button.start")), nullptr);
    EXPECT_EQ(view->findChild<QLabel *>(QStringLiteral("console.placeholder.hint"))->text(),
              QStringLiteral("Start the virtual machine to attach the live Windows display here."));

    waitForOutcome(m_qemu.start(bundle)).get();
    ASSERT_TRUE(waitUntil([&] { return state() == QStringLiteral("Running"); }));
    EXPECT_FALSE(find(QStringLiteral("console.placeholder"))->isVisibleTo(view.get()));
    ASSERT_TRUE(waitUntil([&] { return listener.hasPendingConnections(); })) << "the console connects to QEMU's socket";

    qobject_cast<QPushButton *>(find(QStringLiteral("console.button.stop")))->click();
    ASSERT_TRUE(waitUntil([&] { return state() == QStringLiteral("Stopped"); }));
    EXPECT_FALSE(m_qemu.isRunning(bundle.id()));
    EXPECT_EQ(view->displayArea()->connection().status(), GuestDisplayConnection::Status::closed);
    EXPECT_TRUE(find(QStringLiteral("console.placeholder"))->isVisibleTo(view.get()));
}

TEST_F(VMConsoleViewTest, AWindowSmallerThanTheGuestScreenShowsAllOfItScaled)
{
    StandInRfbServer server(QSize(1024, 768));
    ASSERT_TRUE(server.listen());
    m_machines.setDisplaySocketPath(server.path());
    const VMBundle bundle = installedBundle(QStringLiteral("Debian Workstation"));
    VMConsoleView &view = open(bundle.id());
    button(QStringLiteral("start"))->click();
    ASSERT_TRUE(waitUntil([&] { return server.isReady(); }));
    ASSERT_TRUE(waitUntil([&] { return view.displayArea()->connection().framebuffer().size() == QSize(1024, 768); }));

    for (const QSize windowSize : {QSize(640, 460), QSize(1100, 800)}) {
        SCOPED_TRACE(windowSize.width());
        view.resize(windowSize);
        QTest::qWait(50);
        const GuestDisplayWidget &display = *view.displayArea()->display();
        const QRectF frame = display.frameArea();
        const QRect shown(display.mapTo(&view, frame.topLeft().toPoint()), frame.size().toSize());
        EXPECT_EQ(view.size(), windowSize) << "the content asks for no more room than the window has";
        EXPECT_TRUE(view.rect().contains(shown)) << shown.x() << "," << shown.y() << " " << shown.width() << "x" << shown.height();
        EXPECT_NEAR(frame.width() / frame.height(), 1024.0 / 768.0, 0.01);
    }
}

/// With ZOVOZU_CONSOLE_SCREENSHOT set to a PNG path: a running VM's console fed a known pattern, as the screen shows it.
TEST_F(VMConsoleViewTest, ScreenshotOfARunningConsole)
{
    const QString target = qEnvironmentVariable("ZOVOZU_CONSOLE_SCREENSHOT");
    if (target.isEmpty())
        GTEST_SKIP() << "set ZOVOZU_CONSOLE_SCREENSHOT to a PNG path (under Xvfb) to take it";
    StandInRfbServer server(QSize(1024, 768));
    ASSERT_TRUE(server.listen());
    m_machines.setDisplaySocketPath(server.path());
    const VMBundle bundle = installedBundle(QStringLiteral("Debian Workstation"));
    VMConsoleView &view = open(bundle.id());
    view.resize(1280, 900);
    button(QStringLiteral("start"))->click();
    ASSERT_TRUE(waitUntil([&] { return server.isReady(); }));

    // Four quadrants and a white frame: stride, byte order and scaling errors all show.
    QImage pattern(1024, 768, QImage::Format_RGB32);
    pattern.fill(Qt::white);
    const QColor quadrants[] = { QColor(220, 40, 40), QColor(40, 180, 60), QColor(40, 80, 220), QColor(240, 200, 40) };
    for (int quadrant = 0; quadrant < 4; ++quadrant)
        for (int y = 8; y < 376; ++y)
            for (int x = 8; x < 504; ++x)
                pattern.setPixel(x + (quadrant % 2) * 512, y + (quadrant / 2) * 384, quadrants[quadrant].rgb());
    server.send(StandInRfbServer::rawUpdate(QPoint(0, 0), pattern));
    const GuestDisplayWidget &display = *view.displayArea()->display();
    ASSERT_TRUE(waitUntil([&] { return view.displayArea()->connection().framebuffer().pixel(1000, 700) == quadrants[3].rgb(); }));
    QTest::qWait(300);

    const QImage shot = QGuiApplication::platformName() == QStringLiteral("xcb") ? view.screen()->grabWindow(view.winId()).toImage()
                                                                                 : view.grab().toImage();
    ASSERT_TRUE(shot.save(target));
    const QRectF area = display.frameArea();
    const qreal scale = shot.width() / qreal(view.width());
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        const QPointF guest(256 + (quadrant % 2) * 512, 192 + (quadrant / 2) * 384);
        const QPointF inDisplay = area.topLeft() + QPointF(guest.x() * area.width() / 1024, guest.y() * area.height() / 768);
        const QPoint inWindow = (QPointF(display.mapTo(&view, inDisplay.toPoint())) * scale).toPoint();
        EXPECT_EQ(QColor(shot.pixel(inWindow)), quadrants[quadrant]) << quadrant;
    }
}

} // namespace
