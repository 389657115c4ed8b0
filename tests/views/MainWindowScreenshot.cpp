// SPDX-License-Identifier: MIT
// Shows the main window on a hand-made library under a real X server, saves
// it as PNGs in the light and the dark palette, and checks sampled pixels so
// that a blank or unpainted window fails. Argument: the folder for the PNGs.
#include "AppState.h"
#include "LabPalette.h"
#include "LibraryView.h"
#include "MainWindow.h"
#include "ScriptedVirtualMachine.h"
#include "ScriptedVirtualMachineFactory.h"
#include "Symbols.h"
#include "TemporaryHome.h"
#include "VirtualMachineSession.h"
#include "VirtualMachineSessionTable.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QListView>
#include <QTest>
#include <QTextStream>

#include <functional>

namespace {

int failures = 0;

void check(bool condition, const QString &what)
{
    if (!condition) {
        ++failures;
        QTextStream(stderr) << "FAILED: " << what << '\n';
    }
}

VMBundle addBundle(AppState &state, const QString &name, int day, const std::function<void(VMMetadata &)> &change)
{
    VMBundle bundle;
    const QString folder = QString(name).replace(QLatin1Char('/'), QLatin1Char('-')) + QStringLiteral(".vm");
    bundle.bundleURL = state.vmStore().rootURL() + QLatin1Char('/') + folder;
    VMMetadata &metadata = bundle.metadata;
    metadata.id = QUuid::createUuid();
    metadata.name = name;
    metadata.bundleName = folder;
    metadata.createdAt = QDateTime(QDate(2026, 1, day), QTime(9, 0), Qt::UTC);
    metadata.updatedAt = metadata.createdAt;
    metadata.installSource = VMInstallSource::latestSupportedAutomatic();
    metadata.installState = VMInstallState::installed;
    metadata.hardwareProfile.cpuCount = 4;
    metadata.hardwareProfile.memorySizeBytes = quint64(8) << 30;
    metadata.hardwareProfile.diskSizeBytes = quint64(64) << 30;
    change(metadata);
    metadata.normalize();
    QDir().mkpath(bundle.bundleURL);
    QFile disk(bundle.layout().diskImageURL());
    if (disk.open(QIODevice::WriteOnly))
        disk.resize(qint64(1) << 30);
    state.vmStore().updateBundle(bundle);
    return *state.vmStore().bundle(metadata.id);
}

/// How far two colours lie apart, summed over the channels.
int distance(const QColor &left, const QColor &right)
{
    return std::abs(left.red() - right.red()) + std::abs(left.green() - right.green()) + std::abs(left.blue() - right.blue());
}

void shoot(MainWindow &window, const QString &path, const QString &appearance)
{
    QTest::qWait(400);
    const QImage image = window.grab().toImage();
    check(image.save(path), QStringLiteral("saving ") + path);

    // The background differs from the card of the selected VM and from the banner.
    const QListView *list = window.findChild<QListView *>(QStringLiteral("sidebar.list"));
    const QPoint listOrigin = list->viewport()->mapTo(&window, QPoint(0, 0));
    const QRect firstCard = list->visualRect(list->model()->index(0, 0)).translated(listOrigin);
    const QColor cardFill = image.pixelColor(firstCard.left() + 40, firstCard.bottom() - 14);
    const QColor windowBackground = window.palette().color(QPalette::Window);
    check(list->model()->rowCount() == 4, appearance + QStringLiteral(": four cards"));
    check(distance(cardFill, image.pixelColor(firstCard.right() - 4, firstCard.bottom() - 1)) > 0 || distance(cardFill, windowBackground) > 0,
          appearance + QStringLiteral(": the selected card is painted"));
    const QWidget *banner = window.findChild<QWidget *>(QStringLiteral("library.banner"));
    const QPoint bannerPoint = banner->mapTo(&window, QPoint(4, 20));
    const QColor bannerFill = image.pixelColor(bannerPoint);
    check(bannerFill.red() > 200 && bannerFill.green() < 140, appearance + QStringLiteral(": the banner is red"));

    // Many distinct colours: text, icons and gradients were drawn.
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); y += 3) {
        for (int x = 0; x < image.width(); x += 3)
            colours.insert(image.pixel(x, y));
    }
    check(colours.size() > 200, appearance + QStringLiteral(": the window holds more than a few flat colours"));
}

QPalette darkPalette()
{
    QPalette palette;
    palette.setColor(QPalette::Window, QColor(36, 38, 44));
    palette.setColor(QPalette::WindowText, QColor(230, 232, 236));
    palette.setColor(QPalette::Base, QColor(28, 30, 36));
    palette.setColor(QPalette::AlternateBase, QColor(44, 46, 52));
    palette.setColor(QPalette::Text, QColor(230, 232, 236));
    palette.setColor(QPalette::Button, QColor(48, 50, 58));
    palette.setColor(QPalette::ButtonText, QColor(230, 232, 236));
    palette.setColor(QPalette::PlaceholderText, QColor(150, 154, 162));
    palette.setColor(QPalette::Mid, QColor(70, 72, 80));
    palette.setColor(QPalette::Highlight, LabPalette::accent().dark);
    palette.setColor(QPalette::HighlightedText, Qt::black);
    for (const QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, QColor(110, 112, 120));
    return palette;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    Symbols::ensureIconTheme();
    const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QDir().mkpath(folder);

    const TemporaryHome home;
    AppState::Options options;
    options.machineFactory = std::make_unique<ScriptedVirtualMachineFactory>();
    options.resources = ApplicationResources(std::nullopt);
    AppState state(std::move(options));

    addBundle(state, QStringLiteral("Build Agent"), 1, [](VMMetadata &metadata) {
        metadata.guestOSType = VMGuestOSType::linux;
        metadata.guestOSDisplayName = QStringLiteral("Debian 12");
        metadata.colorTag = VMColorTag::green;
        metadata.sharedFolderCount = 2;
    });
    const VMBundle running = addBundle(state, QStringLiteral("Windows Desktop"), 2, [](VMMetadata &metadata) {
        metadata.guestOSType = VMGuestOSType::windows;
        metadata.guestOSDisplayName = QStringLiteral("Windows 11");
        metadata.colorTag = VMColorTag::blue;
    });
    addBundle(state, QStringLiteral("Sonoma <b>Lab & Co"), 3, [](VMMetadata &metadata) {
        metadata.guestOSType = VMGuestOSType::linux;
        metadata.colorTag = VMColorTag::purple;
        metadata.sharedFolderCount = 1;
        metadata.hardwareProfile.cpuCount = 1;
    });
    addBundle(state, QStringLiteral("Half Installed"), 4, [](VMMetadata &metadata) { metadata.installState = VMInstallState::failed; });
    {
        VirtualMachineConfiguration configuration;
        auto session = std::make_shared<VirtualMachineSession>(running, configuration, std::make_unique<ScriptedVirtualMachine>(configuration),
                                                               QStringList(), state.sharedFolderService(), state.loggingService());
        session->setRuntimeState(VMRuntimeState::running);
        state.coordinator().sessions().insert(session);
    }

    MainWindow window(state);
    window.resize(1280, 800);
    window.show();
    check(QTest::qWaitForWindowExposed(&window), QStringLiteral("the window is shown"));
    QTest::qWait(300);
    state.libraryViewModel().setBannerMessage(QStringLiteral("Backed up Build Agent"));

    shoot(window, folder + QStringLiteral("/main-window-light.png"), QStringLiteral("light"));
    QApplication::setPalette(darkPalette());
    shoot(window, folder + QStringLiteral("/main-window-dark.png"), QStringLiteral("dark"));

    QTextStream(stdout) << "Screenshots in " << folder << '\n';
    return failures == 0 ? 0 : 1;
}
