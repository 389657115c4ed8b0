// SPDX-License-Identifier: MIT
#include "AppState.h"
#include "LabPalette.h"
#include "MainWindow.h"
#include "Symbols.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("DuvuzodOvevav"));
    QApplication::setApplicationDisplayName(QStringLiteral("Zovozu VM Lab"));
    QApplication::setApplicationVersion(QStringLiteral(ZOVOZU_VERSION));
    Symbols::ensureIconTheme();

    AppState state;
    state.loggingService().log(QStringLiteral("Zovozu VM Lab %1 started").arg(QApplication::applicationVersion()), QStringLiteral("App"));

    // Controls take the accent as their tint.
    QPalette palette = QApplication::palette();
    palette.setColor(QPalette::Highlight, LabPalette::accent(palette));
    QApplication::setPalette(palette);

    MainWindow window(state);
    window.show();
    return QApplication::exec();
}
