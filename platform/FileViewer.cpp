// SPDX-License-Identifier: MIT
#include "FileViewer.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QUrl>

#include <memory>
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
    // Not detached, so that its exit status tells whether a folder opened; it is never waited for. A file manager
    // that xdg-open keeps running in the foreground outlives the object, which is only deleted once it ends.
    auto *opener = new QProcess;
    opener->setProgram(folderOpener);
    opener->setArguments({QFileInfo(path).path()});
    opener->setStandardInputFile(QProcess::nullDevice());
    opener->setStandardOutputFile(QProcess::nullDevice());
    opener->setStandardErrorFile(QProcess::nullDevice());
    auto tell = std::make_shared<FailureHandler>(std::move(failed));
    QObject::connect(opener, &QProcess::errorOccurred, opener, [opener, path, tell](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        if (*tell)
            (*tell)(failureText(path));
        opener->deleteLater();
    });
    QObject::connect(opener, &QProcess::finished, opener, [opener, path, tell](int exitCode, QProcess::ExitStatus status) {
        if ((status != QProcess::NormalExit || exitCode != 0) && *tell)
            (*tell)(failureText(path));
        opener->deleteLater();
    });
    opener->start();
}
