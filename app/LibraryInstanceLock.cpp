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

#include <algorithm>
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

/// The most a lock file of ours holds: the owner record is a few short lines.
constexpr qsizetype maximumRecordSize = 1024;
constexpr qsizetype maximumRecordLines = 5;

/// What a person is told lies in the lock's place when it is not a lock file of ours; empty for a regular file.
QString kindOfItem(mode_t mode)
{
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISLNK(mode))
        return QStringLiteral("a link");
    if (S_ISFIFO(mode))
        return QStringLiteral("a pipe");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISREG(mode))
        return {};
    return QStringLiteral("a device file");
}

/**
 * Whether `content` is what a lock file of ours can hold: the owner record
 * (ownerRecord()), nothing (made, and not yet written, when its owner
 * ended), a start of the record that a crash cut short, or the zeros that
 * some file systems leave of a write that a power cut lost.
 */
bool holdsOwnerRecord(const QByteArray &content)
{
    if (content.size() > maximumRecordSize)
        return false;
    if (std::all_of(content.cbegin(), content.cend(), [](char byte) { return byte == '\0'; }))
        return true;
    if (content.contains('\0'))
        return false;
    // The process number, then the application's name and the machine's, a line each; earlier versions (a
    // QLockFile) added the machine's identifier and the process's start time.
    const QList<QByteArray> lines = content.split('\n');
    if (lines.size() > maximumRecordLines + 1 || (lines.size() == maximumRecordLines + 1 && !lines.constLast().isEmpty()))
        return false;
    const QByteArray &owner = lines.constFirst();
    return std::all_of(owner.cbegin(), owner.cend(), [](char byte) { return byte >= '0' && byte <= '9'; });
}

/// Whether the file open at `descriptor` is a lock file of ours: one name only, and an owner record in it.
bool isOwnLockFile(int descriptor, const struct stat &status)
{
    if (!S_ISREG(status.st_mode) || status.st_nlink != 1 || status.st_size > maximumRecordSize)
        return false;
    char buffer[maximumRecordSize + 1];
    const ssize_t length = ::pread(descriptor, buffer, sizeof buffer, 0);
    return length >= 0 && holdsOwnerRecord(QByteArray(buffer, length));
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
        // Non-blocking, so that a pipe in the lock's place cannot hang the open; never through a link.
        FileDescriptor lock(::open(path.constData(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
        const int openError = errno;
        if (!lock.isValid()) {
            struct stat found {
            };
            if (::lstat(path.constData(), &found) != 0) {
                if (errno == ENOENT)
                    continue; // another start cleared it away meanwhile
                return refuse(QStringLiteral("Zovozu VM Lab cannot open its library because its lock file cannot be created: %1 (%2).")
                                  .arg(QDir::toNativeSeparators(m_lockPath), errorText(openError)));
            }
            if (const QString kind = kindOfItem(found.st_mode); !kind.isEmpty())
                return refuseItemInTheWay(kind);
            if (openError != EACCES && openError != EPERM)
                return refuse(QStringLiteral("Zovozu VM Lab cannot open its library because its lock file cannot be opened: %1 (%2).")
                                  .arg(QDir::toNativeSeparators(m_lockPath), errorText(openError)));
            switch (clearAwayLockFileOfAnotherUser(found)) {
            case Clearance::cleared:
                continue;
            case Clearance::held:
                return Acquisition::heldElsewhere;
            case Clearance::notOurs:
                return refuseItemInTheWay(QStringLiteral("a file that it did not make"));
            case Clearance::unreadable:
                return refuse(QStringLiteral("Zovozu VM Lab cannot open its library because its lock file cannot be opened: %1 (%2). "
                                             "It was left as it is; remove it if no other Zovozu VM Lab is running, and start again.")
                                  .arg(QDir::toNativeSeparators(m_lockPath), errorText(openError)));
            }
        }
        struct stat opened {
        };
        if (::fstat(lock.get(), &opened) != 0)
            return refuse(QStringLiteral("Zovozu VM Lab cannot open its library because its lock file cannot be read: %1 (%2).")
                              .arg(QDir::toNativeSeparators(m_lockPath), errorText(errno)));
        if (const QString kind = kindOfItem(opened.st_mode); !kind.isEmpty())
            return refuseItemInTheWay(kind);
        if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0 && (errno == EWOULDBLOCK || namedOwnerRuns(lock.get())))
            return Acquisition::heldElsewhere;
        // Another start may have cleared the file meanwhile and made a new one: only the file at the path guards the library.
        struct stat current {
        };
        if (::lstat(path.constData(), &current) != 0 || !isSameItem(opened, current))
            continue;
        // Only now, with the lock held: a running instance may be writing its record.
        if (!isOwnLockFile(lock.get(), opened))
            return refuseItemInTheWay(QStringLiteral("a file that it did not make"));

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

LibraryInstanceLock::Clearance LibraryInstanceLock::clearAwayLockFileOfAnotherUser(const struct stat &found) const
{
    const QByteArray path = QFile::encodeName(m_lockPath);
    const FileDescriptor lock(::open(path.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat opened {
    };
    if (!lock.isValid() || ::fstat(lock.get(), &opened) != 0)
        return Clearance::unreadable;
    if (!isSameItem(opened, found))
        return Clearance::cleared; // replaced meanwhile: the next attempt looks again
    if (!isOwnLockFile(lock.get(), opened))
        return Clearance::notOurs;
    // Held while it goes, so that an instance that opened it cannot take it meanwhile.
    if (::flock(lock.get(), LOCK_EX | LOCK_NB) != 0 && (errno == EWOULDBLOCK || namedOwnerRuns(lock.get())))
        return Clearance::held;
    struct stat current {
    };
    if (::lstat(path.constData(), &current) == 0 && isSameItem(opened, current) && ::unlink(path.constData()) != 0)
        return Clearance::unreadable;
    return Clearance::cleared;
}

LibraryInstanceLock::Acquisition LibraryInstanceLock::refuseItemInTheWay(const QString &kind)
{
    return refuse(
        QStringLiteral("Zovozu VM Lab cannot open its library because %1 lies where it keeps its lock file: %2. Nothing there was "
                       "changed. Move it elsewhere, then start again.")
            .arg(kind, QDir::toNativeSeparators(m_lockPath)));
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
