// SPDX-License-Identifier: MIT
#include "FileViewer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

namespace {

void openParentFolder(const QString &path) { QProcess::startDetached(QStringLiteral("xdg-open"), { QFileInfo(path).path() }); }

} // namespace

void DesktopFileViewer::revealItem(const QString &path)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openParentFolder(path);
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"), QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList { QUrl::fromLocalFile(path).toString() } << QString();
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, [path](QDBusPendingCallWatcher *finished) {
        if (finished->isError())
            openParentFolder(path);
        finished->deleteLater();
    });
}
