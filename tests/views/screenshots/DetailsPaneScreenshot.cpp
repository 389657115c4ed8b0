// SPDX-License-Identifier: MIT
// Shows the details pane of a VM with shared folders, a snapshot and a saved
// state under a real X server, top and bottom, in the light and the dark
// palette, and checks sampled pixels so that a blank or unpainted pane
// fails. Argument: the folder for the PNGs.
#include "AppState.h"
#include "LabPalette.h"
#include "ScreenshotSupport.h"
#include "ScriptedVirtualMachineFactory.h"
#include "Symbols.h"
#include "TemporaryHome.h"
#include "VMBundleOperations.h"
#include "VMDetailsView.h"
#include "VMDetailsViewModel.h"
#include "VMStore.h"

#include <QApplication>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QScrollArea>
#include <QScrollBar>
#include <QTest>
#include <QTextStream>

#include <algorithm>

namespace {

using ScreenshotSupport::check;

QCoro::Task<> takeSnapshot(VMBundleOperations &operations, QUuid id)
{
    try {
        co_await operations.createSnapshot(id, QStringLiteral("Before upgrade"), QStringLiteral("Clean install"), false);
    } catch (const std::exception &error) {
        check(false, QStringLiteral("the snapshot was taken: ") + QString::fromUtf8(error.what()));
    }
}

void shoot(VMDetailsView &pane, const QString &path, const QString &what)
{
    const QImage image = ScreenshotSupport::shoot(pane, path);
    check(ScreenshotSupport::distinctColours(image) > 150, what + QStringLiteral(": the pane holds more than a few flat colours"));
    const QColor background = pane.palette().color(QPalette::Window);
    const QColor corner = image.pixelColor(image.width() - 30, image.height() / 2);
    check(ScreenshotSupport::distance(corner, background) < 200, what + QStringLiteral(": the background is the window's"));

    // The folder symbols are painted in the text colour of the appearance shown, not of the one they were made in.
    const QColor text = pane.palette().color(QPalette::WindowText);
    const QList<QLabel *> symbols = pane.findChildren<QLabel *>(QStringLiteral("details.sharedFolder.symbol"));
    check(symbols.size() == 2, what + QStringLiteral(": two folder symbols"));
    for (const QLabel *symbol : symbols) {
        const QImage drawn = symbol->pixmap().toImage();
        int far = 0;
        for (int y = 0; y < drawn.height(); ++y)
            for (int x = 0; x < drawn.width(); ++x)
                if (drawn.pixelColor(x, y).alpha() == 255)
                    far = std::max(far, ScreenshotSupport::distance(drawn.pixelColor(x, y), text));
        check(!drawn.isNull() && far < 60, what + QStringLiteral(": a folder symbol is drawn in the text colour (%1 apart)").arg(far));
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setStyle(QStringLiteral("Fusion"));
    Symbols::ensureIconTheme();
    const QString folder = ScreenshotSupport::outputFolder(argc, argv);

    const TemporaryHome home;
    AppState state(ScreenshotSupport::scriptedOptions());

    VMBundle bundle = ScreenshotSupport::addBundle(state, QStringLiteral("Build Agent"), 1, [](VMMetadata &metadata) {
        metadata.guestOSType = VMGuestOSType::linux;
        metadata.guestOSDisplayName = QStringLiteral("Debian 12 (bookworm)");
        metadata.sharedFolderCount = 2;
    });
    QCoro::waitFor(takeSnapshot(state.bundleOperations(), bundle.id()));
    bundle = *state.vmStore().bundle(bundle.id());
    bundle.sharedFolders = {
        VMSharedFolder{QUuid::createUuid(), QStringLiteral("Sources"), QUrl::fromLocalFile(home.path() + QStringLiteral("/src")), true, std::nullopt},
        VMSharedFolder{QUuid::createUuid(), QStringLiteral("Build Output"), QUrl::fromLocalFile(home.path() + QStringLiteral("/out")), false, std::nullopt},
    };
    VMSavedState saved;
    saved.relativePath = QStringLiteral("SavedState/MachineState.bin");
    saved.createdAt = QDateTime(QDate(2026, 1, 2), QTime(17, 30), Qt::UTC);
    bundle.metadata.savedState = saved;
    bundle.metadata.hasSavedState = true;
    QFile stateFile(bundle.layout().savedStateFileURL());
    if (stateFile.open(QIODevice::WriteOnly))
        stateFile.write("state");
    state.vmStore().updateBundle(bundle);

    VMDetailsView pane(state.makeDetailsViewModels(bundle.id(), state.fileChooser()));
    pane.resize(980, 960);
    pane.show();
    check(QTest::qWaitForWindowExposed(&pane), QStringLiteral("the pane is shown"));
    QTest::qWait(300);
    check(pane.findChild<QLabel *>(QStringLiteral("details.title"))->text() == QStringLiteral("Build Agent"), QStringLiteral("the title names the VM"));
    check(pane.findChild<QLabel *>(QStringLiteral("details.overview.Saved State"))->text() == QStringLiteral("Available"),
          QStringLiteral("the saved state is shown"));

    QScrollBar *scroll = pane.findChild<QScrollArea *>(QStringLiteral("details.scroll"))->verticalScrollBar();
    for (const bool dark : {false, true}) {
        const QString appearance = dark ? QStringLiteral("dark") : QStringLiteral("light");
        if (dark)
            QApplication::setPalette(ScreenshotSupport::darkPalette());
        scroll->setValue(0);
        shoot(pane, folder + QStringLiteral("/details-pane-top-") + appearance + QStringLiteral(".png"), appearance + QStringLiteral(" top"));
        scroll->setValue(scroll->maximum());
        shoot(pane, folder + QStringLiteral("/details-pane-bottom-") + appearance + QStringLiteral(".png"), appearance + QStringLiteral(" bottom"));
    }

    // The pane's own sheets, in the dark palette.
    pane.openDiskExpansion();
    pane.openGuestToolsSetup();
    QTest::qWait(200);
    for (const QString &name : {QStringLiteral("diskExpansion"), QStringLiteral("details.guestToolsSheet")}) {
        QWidget *sheet = pane.findChild<QWidget *>(name);
        check(sheet && sheet->isVisible(), name + QStringLiteral(" is open"));
        if (sheet)
            ScreenshotSupport::shoot(*sheet, folder + QLatin1Char('/') + name + QStringLiteral(".png"));
    }

    QTextStream(stdout) << "Screenshots in " << folder << '\n';
    return ScreenshotSupport::exitCode();
}
