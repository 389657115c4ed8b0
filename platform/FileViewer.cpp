// SPDX-License-Identifier: MIT
#include "FileViewer.h"

#include "DesktopOpener.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <utility>

DesktopFileViewer::DesktopFileViewer(QString folderOpener, bool asksFileManagerService)
    : m_folderOpener(std::move(folderOpener))
    , m_asksFileManagerService(asksFileManagerService)
{
}

QString DesktopFileViewer::failureText(const QString &path)
{
    return QStringLiteral("No file manager could be opened to show “") + QDir::toNativeSeparators(path) + QStringLiteral("”.");
}

void DesktopFileViewer::revealItem(const QString &path, FailureHandler failed)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!m_asksFileManagerService || !bus.isConnected()) {
        openParentFolder(m_folderOpener, path, std::move(failed));
        return;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.FileManager1"),
        QStringLiteral("/org/freedesktop/FileManager1"), QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    call << QStringList { QUrl::fromLocalFile(path).toString() } << QString();
    auto *watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, 5000));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
        [opener = m_folderOpener, path, failed = std::move(failed)](QDBusPendingCallWatcher *finished) {
            if (finished->isError())
                openParentFolder(opener, path, failed);
            finished->deleteLater();
        });
}

void DesktopFileViewer::openParentFolder(const QString &folderOpener, const QString &path, FailureHandler failed)
{
    DesktopOpener::open(folderOpener, QFileInfo(path).path(), [path, failed = std::move(failed)] {
        if (failed)
            failed(failureText(path));
    });
}
