// SPDX-License-Identifier: MIT
#include "FileBookmarkService.h"
#include "FileViewer.h"
#include "HostSecurityScopedAccess.h"
#include "LoggingService.h"
#include "MainWindow.h"
#include "VMStore.h"

#include <QApplication>

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("DuvuzodOvevav"));
    QApplication::setApplicationDisplayName(QStringLiteral("Zovozu VM Lab"));
    QApplication::setApplicationVersion(QStringLiteral(ZOVOZU_VERSION));

    const LoggingService logging;
    logging.log(QStringLiteral("Zovozu VM Lab %1 started").arg(QApplication::applicationVersion()), QStringLiteral("App"));

    FileBookmarkService bookmarks;
    HostSecurityScopedAccess access;
    DesktopFileViewer fileViewer;
    VMStore store({logging, bookmarks, access, fileViewer});

    MainWindow window(store);
    window.show();
    return QApplication::exec();
}
