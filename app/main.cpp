// SPDX-License-Identifier: MIT
#include "LoggingService.h"
#include "MainWindow.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("DuvuzodOvevav"));
    QApplication::setApplicationDisplayName(QStringLiteral("Zovozu VM Lab"));
    QApplication::setApplicationVersion(QStringLiteral(ZOVOZU_VERSION));

    const LoggingService logging;
    logging.log(QStringLiteral("Zovozu VM Lab %1 started").arg(QApplication::applicationVersion()), QStringLiteral("App"));

    MainWindow window;
    window.show();
    return QApplication::exec();
}
