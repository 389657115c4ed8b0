// SPDX-License-Identifier: MIT
// Shows what a new user meets first, under a real X server, in the light and
// the dark palette: the empty library, the wizard at its smallest size on
// each guest's source step (the macOS step with the shipped restore-image
// list), and a console window smaller than the guest's screen. Saves them as
// PNGs and checks that nothing lies outside its window and that the empty
// state's symbols stand out. Argument: the folder for the PNGs.
#include "AppState.h"
#include "ConsoleWindow.h"
#include "CreateVMWizardView.h"
#include "CreateVMWizardViewModel.h"
#include "GuestDisplayConnection.h"
#include "GuestDisplayWidget.h"
#include "MainWindow.h"
#include "ScreenshotSupport.h"
#include "ScriptedVirtualMachineFactory.h"
#include "StandInRfbServer.h"
#include "TemporaryHome.h"
#include "VMConsoleView.h"
#include "VMConsoleViewModel.h"
#include "VMConsoleWindowManager.h"
#include "VirtualMachineCoordinator.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTextStream>

#include <functional>

namespace {

using ScreenshotSupport::check;
using Step = CreateVMWizardViewModel::Step;

bool waitUntil(const std::function<bool()> &condition)
{
    for (int turn = 0; turn < 400 && !condition(); ++turn)
        QTest::qWait(50);
    return condition();
}

/// The darkest and the lightest pixel of a widget's area in the shot.
std::pair<int, int> lightnessRange(const QImage &image, const QWidget &widget, const QWidget &window)
{
    const QRect area(widget.mapTo(&window, QPoint(0, 0)), widget.size());
    int darkest = 255;
    int lightest = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const int lightness = QColor(image.pixel(x, y)).lightness();
            darkest = std::min(darkest, lightness);
            lightest = std::max(lightest, lightness);
        }
    }
    return {darkest, lightest};
}

void shootEmptyLibrary(AppState &state, const QString &path, const QString &appearance)
{
    MainWindow window(state);
    window.resize(1100, 760);
    window.show();
    check(QTest::qWaitForWindowExposed(&window), appearance + QStringLiteral(": the library window is shown"));
    QTest::qWait(300);
    const QImage image = ScreenshotSupport::shoot(window, path);
    const QWidget *empty = window.findChild<QWidget *>(QStringLiteral("library.emptyState"));
    check(empty && empty->isVisible(), appearance + QStringLiteral(": the empty state is shown"));
    // Each feature line's symbol differs clearly from the panel behind it.
    int lines = 0;
    for (const QLabel *icon : window.findChildren<QLabel *>(QStringLiteral("library.emptyState.featureIcon"))) {
        const auto [darkest, lightest] = lightnessRange(image, *icon, window);
        check(lightest - darkest > 90, appearance + QStringLiteral(": a feature symbol stands out (%1 to %2)").arg(darkest).arg(lightest));
        ++lines;
    }
    check(lines == 3, appearance + QStringLiteral(": three feature lines"));
}

void shootWizard(AppState &state, const QString &folder, const QString &appearance)
{
    auto wizard = state.makeCreateWizardViewModel();
    const WizardDesktop desktop{[](const QString &) {}, [](const QUrl &, auto) {}, [](const QString &) { return false; }};
    CreateVMWizardView sheet(wizard, desktop);
    sheet.resize(sheet.minimumSize());
    sheet.show();
    check(QTest::qWaitForWindowExposed(&sheet), appearance + QStringLiteral(": the wizard is shown"));
    const auto *scroll = sheet.findChild<QScrollArea *>(QStringLiteral("wizard.scroll"));

    const struct {
        VMGuestOSType guest;
        Step source;
        const char *name;
        const char *page;
    } guests[] = {
        {VMGuestOSType::macOS, Step::macOSSource, "macos", "wizard.macOSSourceStep"},
        {VMGuestOSType::linux, Step::linuxSource, "linux", "wizard.linuxSourceStep"},
        {VMGuestOSType::windows, Step::windowsSource, "windows", "wizard.windowsSourceStep"},
    };
    for (const auto &guest : guests) {
        const QString name = QString::fromUtf8(guest.name);
        wizard->setGuestOSType(guest.guest);
        ScreenshotSupport::shoot(sheet, folder + QStringLiteral("/wizard-general-%1-%2.png").arg(name, appearance));
        const auto shootBottom = [&](const QString &shot) {
            scroll->verticalScrollBar()->setValue(scroll->verticalScrollBar()->maximum());
            ScreenshotSupport::shoot(sheet, folder + QStringLiteral("/wizard-%1-%2-bottom-%3.png").arg(shot, name, appearance));
        };
        shootBottom(QStringLiteral("general"));
        while (wizard->currentStep() != guest.source)
            wizard->goToNextStep();
        waitUntil([&] { return !wizard->isLoadingAutomaticRestoreImages(); });
        ScreenshotSupport::shoot(sheet, folder + QStringLiteral("/wizard-%1-source-%2.png").arg(name, appearance));
        shootBottom(QStringLiteral("source"));
        const QWidget *page = sheet.findChild<QWidget *>(QString::fromUtf8(guest.page));
        // Everything on the page fits the width of the scrolled area: nothing is cut off at the right.
        check(page && page->isVisible(), name + QStringLiteral(": the source page is shown"));
        if (page && scroll)
            check(page->mapTo(scroll->viewport(), QPoint(page->width(), 0)).x() <= scroll->viewport()->width(),
                  appearance + QLatin1Char(' ') + name + QStringLiteral(": the source page fits the window's width (%1 in %2)")
                                                              .arg(page->mapTo(scroll->viewport(), QPoint(page->width(), 0)).x())
                                                              .arg(scroll->viewport()->width()));
        if (guest.guest == VMGuestOSType::macOS) {
            check(!wizard->automaticRestoreImageOptions().isEmpty(), appearance + QStringLiteral(": the shipped restore images are offered"));
            const bool tall = scroll && scroll->widget()->height() > scroll->viewport()->height();
            check(!tall || scroll->verticalScrollBar()->isVisible(), appearance + QStringLiteral(": a page taller than the window scrolls"));
        }
        wizard->goToPreviousStep();
    }
}

void shootSmallConsole(AppState &state, ScriptedVirtualMachineFactory &machines, const QString &path, const QString &appearance)
{
    StandInRfbServer server(QSize(1920, 1200));
    check(server.listen(), QStringLiteral("the stand-in display listens"));
    machines.setDisplaySocketPath(server.path());
    const VMBundle bundle = ScreenshotSupport::addBundle(state, QStringLiteral("Debian Workstation ") + appearance, 5, [](VMMetadata &metadata) {
        metadata.guestOSType = VMGuestOSType::linux;
        metadata.guestOSDisplayName = QStringLiteral("Debian 12");
        metadata.hardwareProfile.displayWidth = 1920;
        metadata.hardwareProfile.displayHeight = 1200;
    });
    const std::shared_ptr<VirtualMachineSession> session = state.coordinator().session(bundle.id());
    state.consoleWindowManager().openConsole(*session, new VMConsoleView(state.makeConsoleViewModel(session)));
    ConsoleWindow *window = state.consoleWindowManager().window(bundle.id());
    check(window, appearance + QStringLiteral(": the console window opens"));
    if (!window)
        return;
    window->resize(window->minimumSize());
    check(QTest::qWaitForWindowExposed(window), appearance + QStringLiteral(": the console window is shown"));
    window->findChild<QPushButton *>(QStringLiteral("console.button.start"))->click();
    check(waitUntil([&] { return server.isReady(); }), appearance + QStringLiteral(": the console connects to the display"));

    // Four quadrants inside a white frame: a cropped side loses its frame.
    QImage pattern(1920, 1200, QImage::Format_RGB32);
    pattern.fill(Qt::white);
    const QColor quadrants[] = {QColor(220, 40, 40), QColor(40, 180, 60), QColor(40, 80, 220), QColor(240, 200, 40)};
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        for (int y = 24; y < 576; ++y) {
            for (int x = 24; x < 936; ++x)
                pattern.setPixel(x + (quadrant % 2) * 960, y + (quadrant / 2) * 600, quadrants[quadrant].rgb());
        }
    }
    server.send(StandInRfbServer::rawUpdate(QPoint(0, 0), pattern));
    auto *display = window->findChild<GuestDisplayWidget *>(QStringLiteral("console.display"));
    waitUntil([&] { return display && !display->frameArea().isEmpty(); });
    QTest::qWait(300);
    const QImage image = ScreenshotSupport::shoot(*window, path);
    if (!display)
        return;
    const QRectF frame = display->frameArea();
    const QRect shown(display->mapTo(window, frame.topLeft().toPoint()), frame.size().toSize());
    check(window->rect().contains(shown), appearance + QStringLiteral(": the whole guest screen lies inside the console window"));
    for (int quadrant = 0; quadrant < 4; ++quadrant) {
        const QPoint centre = shown.topLeft() + QPoint(shown.width() * (1 + 2 * (quadrant % 2)) / 4, shown.height() * (1 + 2 * (quadrant / 2)) / 4);
        check(ScreenshotSupport::distance(QColor(image.pixel(centre)), quadrants[quadrant]) < 30,
              appearance + QStringLiteral(": quadrant %1 shows where it belongs").arg(quadrant));
    }
    state.consoleWindowManager().closeWindow(bundle.id());
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    ScreenshotSupport::prepareApplication();
    const QString folder = ScreenshotSupport::outputFolder(argc, argv);

    const TemporaryHome home;
    auto factory = std::make_unique<ScriptedVirtualMachineFactory>();
    ScriptedVirtualMachineFactory &machines = *factory;
    AppState::Options options;
    options.machineFactory = std::move(factory);
    options.resources = ApplicationResources::standard();
    AppState state(std::move(options));

    const std::pair<QString, QPalette> appearances[] = {{QStringLiteral("light"), QApplication::palette()},
                                                        {QStringLiteral("dark"), ScreenshotSupport::darkPalette()}};
    // The library stays empty until the consoles add their VMs.
    for (const auto &[appearance, palette] : appearances) {
        QApplication::setPalette(palette);
        shootEmptyLibrary(state, folder + QStringLiteral("/empty-library-") + appearance + QStringLiteral(".png"), appearance);
        shootWizard(state, folder, appearance);
    }
    // A dark theme that names no placeholder colour leaves Qt's own: the text colour, half transparent.
    QApplication::setPalette(QPalette(QColor(230, 232, 236), QColor(48, 50, 58), QColor(70, 72, 80), QColor(20, 20, 24), QColor(70, 72, 80),
                                      QColor(230, 232, 236), Qt::white, QColor(28, 30, 36), QColor(36, 38, 44)));
    shootEmptyLibrary(state, folder + QStringLiteral("/empty-library-dark-theme.png"), QStringLiteral("dark theme"));
    for (const auto &[appearance, palette] : appearances) {
        QApplication::setPalette(palette);
        shootSmallConsole(state, machines, folder + QStringLiteral("/console-small-") + appearance + QStringLiteral(".png"), appearance);
    }

    QTextStream(stdout) << "Screenshots in " << folder << '\n';
    return ScreenshotSupport::exitCode();
}
