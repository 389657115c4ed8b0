// SPDX-License-Identifier: MIT
#include "AppDirectories.h"
#include "AppState.h"
#include "LabPalette.h"
#include "LibraryInstanceLock.h"
#include "LoggingService.h"
#include "MainWindow.h"
#include "Symbols.h"

#include <QApplication>
#include <QMessageBox>

#include <cstdio>

namespace {

/// The data folder whose library this instance would use, or why it cannot be had.
struct DataRoot {
    QString path;
    QString whyMissing;
};

DataRoot dataRoot()
{
    try {
        return {AppDirectories::applicationSupportRoot(), {}};
    } catch (const std::exception &error) {
        return {{}, QString::fromUtf8(error.what())};
    }
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("DuvuzodOvevav"));
    QApplication::setApplicationDisplayName(QStringLiteral("Zovozu VM Lab"));
    QApplication::setApplicationVersion(QStringLiteral(ZOVOZU_VERSION));
    Symbols::ensureIconTheme();

    // Before anything reads or writes the library: two instances on one library remove each other's work.
    const DataRoot root = dataRoot();
    LibraryInstanceLock instance(root.path, root.whyMissing);
    switch (instance.acquire()) {
    case LibraryInstanceLock::Acquisition::acquired:
        break;
    case LibraryInstanceLock::Acquisition::heldElsewhere:
        // The running instance's window comes forward; that is what the user sees.
        std::fprintf(stderr, "%s\n", qPrintable(LibraryInstanceLock::alreadyRunningText(instance.bringRunningInstanceForward())));
        return 1;
    case LibraryInstanceLock::Acquisition::unavailable:
        // No window of ours will appear, so the reason is shown as well as printed.
        std::fprintf(stderr, "%s\n", qPrintable(instance.unavailableText()));
        QMessageBox box(QMessageBox::Critical, QApplication::applicationDisplayName(), instance.unavailableText());
        box.setTextFormat(Qt::PlainText);
        box.setObjectName(QStringLiteral("libraryUnavailable"));
        box.exec();
        return 1;
    }

    AppState state;
    state.loggingService().log(QStringLiteral("Zovozu VM Lab %1 started").arg(QApplication::applicationVersion()), QStringLiteral("App"));

    // Controls take the accent as their tint.
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Highlight, LabPalette::accent(palette));
    QApplication::setPalette(palette);

    MainWindow window(state);
    QObject::connect(&instance, &LibraryInstanceLock::activationRequested, &window, [&window, &state] {
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
        window.show();
        window.raise();
        window.activateWindow();
        state.loggingService().log(QStringLiteral("Brought the window to the front for a second start"), QStringLiteral("App"));
    });
    window.show();
    return QApplication::exec();
}
