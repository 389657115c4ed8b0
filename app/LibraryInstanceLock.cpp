// SPDX-License-Identifier: MIT
#include "LibraryInstanceLock.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>

namespace {

constexpr int answerTimeoutMs = 2000;
const QByteArray activationRequest = QByteArrayLiteral("activate\n");

/// Local socket names are global to the user's temporary folder: the name is made from the lock's path, so each library has its own.
QString serverNameFor(const QString &lockPath)
{
    return QStringLiteral("DuvuzodOvevav-")
        + QString::fromLatin1(QCryptographicHash::hash(QFile::encodeName(lockPath), QCryptographicHash::Sha256).toHex().left(16));
}

} // namespace

LibraryInstanceLock::LibraryInstanceLock(const QString &dataRoot, QObject *parent)
    : QObject(parent)
{
    if (dataRoot.isEmpty())
        return;
    const QString lockPath = QDir(dataRoot).absoluteFilePath(QStringLiteral("Library.lock"));
    m_lock = std::make_unique<QLockFile>(lockPath);
    // Held for as long as the application runs: only a lock whose process has ended is stale, never an old one.
    m_lock->setStaleLockTime(0);
    m_serverName = serverNameFor(lockPath);
    connect(&m_server, &QLocalServer::newConnection, this, &LibraryInstanceLock::acceptConnection);
}

LibraryInstanceLock::~LibraryInstanceLock() = default;

bool LibraryInstanceLock::acquire()
{
    if (!m_lock)
        return true;
    if (!m_lock->tryLock(0))
        return false;
    // A socket file left by an instance that crashed would stop us listening; the lock says it is not in use.
    QLocalServer::removeServer(m_serverName);
    m_server.setSocketOptions(QLocalServer::UserAccessOption);
    m_server.listen(m_serverName);
    return true;
}

bool LibraryInstanceLock::bringRunningInstanceForward() const
{
    if (!m_lock)
        return false;
    QLocalSocket socket;
    socket.connectToServer(m_serverName);
    if (!socket.waitForConnected(answerTimeoutMs))
        return false;
    socket.write(activationRequest);
    const bool sent = socket.waitForBytesWritten(answerTimeoutMs);
    socket.disconnectFromServer();
    return sent;
}

QString LibraryInstanceLock::alreadyRunningText(bool broughtForward)
{
    return broughtForward ? QStringLiteral("Zovozu VM Lab is already running with this library; its window was brought to the front.")
                          : QStringLiteral("Zovozu VM Lab is already running with this library.");
}

void LibraryInstanceLock::acceptConnection()
{
    while (QLocalSocket *connection = m_server.nextPendingConnection()) {
        connect(connection, &QLocalSocket::disconnected, connection, &QObject::deleteLater);
        connect(connection, &QLocalSocket::readyRead, this, [this, connection] {
            while (connection->canReadLine()) {
                if (connection->readLine(activationRequest.size() + 1) == activationRequest)
                    Q_EMIT activationRequested();
            }
            // The one request is a short line; anything else is not from a start of ours.
            if (connection->bytesAvailable() > activationRequest.size())
                connection->abort();
        });
    }
}
