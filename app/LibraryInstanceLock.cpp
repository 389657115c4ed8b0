// SPDX-License-Identifier: MIT
#include "LibraryInstanceLock.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QSysInfo>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int answerTimeoutMs = 2000;
const QByteArray activationRequest = QByteArrayLiteral("activate\n");
/// Other starts may clear or take the lock's file between our steps; each retry begins anew.
constexpr int attempts = 5;

/// Local socket names are global to the user's temporary folder: the name is made from the lock's path, so each library has its own.
QString serverNameFor(const QString &lockPath)
{
    return QStringLiteral("DuvuzodOvevav-")
        + QString::fromLatin1(QCryptographicHash::hash(QFile::encodeName(lockPath), QCryptographicHash::Sha256).toHex().left(16));
}

QString errorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool isSameItem(const struct stat &one, const struct stat &other)
{
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

/// Errors of opening the lock's path that say something other than a lock file lies there.
bool meansNotALockFile(int error)
{
    return error == ELOOP || error == EISDIR || error == EACCES || error == EPERM || error == ENXIO || error == ETXTBSY;
}

/// Removes whatever lies at `path`, without following a link; true when nothing is left there.
bool clearAway(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    struct stat status {
    };
    if (::lstat(name.constData(), &status) != 0)
        return errno == ENOENT;
    if (S_ISDIR(status.st_mode))
        return QDir(path).removeRecursively();
    return ::unlink(name.constData()) == 0 || errno == ENOENT;
}

/// Where the file system has no flock: whether the owner the file names still runs on this machine.
bool namedOwnerRuns(int descriptor)
{
    char buffer[256];
    const ssize_t length = ::pread(descriptor, buffer, sizeof buffer, 0);
    if (length <= 0)
        return false;
    const QList<QByteArray> lines = QByteArray(buffer, length).split('\n');
    bool isNumber = false;
    const qint64 owner = lines.constFirst().toLongLong(&isNumber);
    if (!isNumber || owner <= 0 || owner == ::getpid() || lines.size() < 3 || QString::fromUtf8(lines.at(2)) != QSysInfo::machineHostName())
        return false;
    return ::kill(pid_t(owner), 0) == 0 || errno == EPERM;
}

/// Who holds the lock, for a person who looks at the file; nothing depends on it but namedOwnerRuns().
QByteArray ownerRecord()
{
    return QByteArray::number(qint64(::getpid())) + '\n' + QCoreApplication::applicationName().toUtf8() + '\n'
        + QSysInfo::machineHostName().toUtf8() + '\n';
}

} // namespace

LibraryInstanceLock::LibraryInstanceLock(const QString &dataRoot, QObject *parent)
    : LibraryInstanceLock(dataRoot, QString(), parent)
{
}

LibraryInstanceLock::LibraryInstanceLock(const QString &dataRoot, const QString &whyMissing, QObject *parent)
    : QObject(parent)
    , m_whyMissing(whyMissing)
{
    if (dataRoot.isEmpty())
        return;
    m_dataRoot = QDir(dataRoot).absolutePath();
    m_lockPath = QDir(m_dataRoot).absoluteFilePath(QStringLiteral("Library.lock"));
    m_serverName = serverNameFor(m_lockPath);
    connect(&m_server, &QLocalServer::newConnection, this, &LibraryInstanceLock::acceptConnection);
}

LibraryInstanceLock::~LibraryInstanceLock() = default;

LibraryInstanceLock::Acquisition LibraryInstanceLock::acquire()
{
    if (m_lock.isValid())
        return Acquisition::acquired;
    if (m_lockPath.isEmpty())
        return refuse(QStringLiteral("Zovozu VM Lab cannot open its library because it has no data folder%1. Make sure the folder of "
                                     "application data (XDG_DATA_HOME, else ~/.local/share) can be written to, and start again.")
                          .arg(m_whyMissing.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(m_whyMissing)));
    if (::access(QFile::encodeName(m_dataRoot).constData(), W_OK | X_OK) != 0) {
        const int error = errno;
        return refuse(QStringLiteral("Zovozu VM Lab cannot open its library because its data folder cannot be written to: %1 (%2).")
                          .arg(QDir::toNativeSeparators(m_dataRoot), errorText(error)));
    }

    const QByteArray path = QFile::encodeName(m_lockPath);
    for (int attempt = 0; attempt < attempts; ++attempt) {
        // Non-blocking, so that a pipe in the lock's place cannot hang the open.
        FileDescriptor lock(::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
        const int openError = errno;
        if (!lock.isValid() && !meansNotALockFile(openError))
            return refuse(QStringLiteral("Zovozu VM Lab cannot open its library because its lock file cannot be created: %1 (%2).")
                              .arg(QDir::toNativeSeparators(m_lockPath), errorText(openError)));
        struct stat opened {
        };
        if (!lock.isValid() || ::fstat(lock.get(), &opened) != 0 || !S_ISREG(opened.st_mode)) {
            // A running instance holds an open regular file here; whatever else lies in its place is left over.
            if (!clearAway(m_lockPath)) {
                const int clearError = errno;
                return refuse(QStringLiteral("Zovozu VM Lab cannot open its library because %1 is in the way and cannot be removed (%2). "
                                             "Remove it and start again.")
                                  .arg(QDir::toNativeSeparators(m_lockPath), errorText(clearError)));
            }
            continue;
        }
        if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0 && (errno == EWOULDBLOCK || namedOwnerRuns(lock.get())))
            return Acquisition::heldElsewhere;
        // Another start may have cleared the file meanwhile and made a new one: only the file at the path guards the library.
        struct stat current {
        };
        if (::lstat(path.constData(), &current) != 0 || !isSameItem(opened, current))
            continue;

        const QByteArray owner = ownerRecord();
        if (::ftruncate(lock.get(), 0) != 0 || ::pwrite(lock.get(), owner.constData(), size_t(owner.size()), 0) != owner.size()) {
            // The record only informs a person who looks; the held lock is what counts.
        }
        m_lock = std::move(lock);
        // A socket file left by an instance that crashed would stop us listening; the lock says it is not in use.
        QLocalServer::removeServer(m_serverName);
        m_server.setSocketOptions(QLocalServer::UserAccessOption);
        m_server.listen(m_serverName);
        return Acquisition::acquired;
    }
    return refuse(QStringLiteral(
        "Zovozu VM Lab cannot open its library because its lock file %1 keeps being replaced; another start may be under way.")
                      .arg(QDir::toNativeSeparators(m_lockPath)));
}

LibraryInstanceLock::Acquisition LibraryInstanceLock::refuse(const QString &text)
{
    m_unavailableText = text;
    return Acquisition::unavailable;
}

bool LibraryInstanceLock::bringRunningInstanceForward() const
{
    if (m_lockPath.isEmpty())
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
