// SPDX-License-Identifier: MIT
#include "QemuRuntimeDirectory.h"

#include "FileOperations.h"
#include "PlatformError.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr QStringView lockFileName = u"lock";
/// The longest name of anything inside the folder ("serial.sock", "fs99.sock").
constexpr qsizetype longestItemName = 11;
constexpr qsizetype folderNameLength = 6;
/// A folder this old without a lock file was abandoned between being made and being locked.
constexpr qint64 unlockedGraceSeconds = 60;

QByteArray encoded(const QString &path)
{
    return QFile::encodeName(path);
}

bool fits(const QString &base)
{
    return encoded(base).size() + 1 + folderNameLength + 1 + longestItemName <= QemuRuntimeDirectory::maximumSocketPathLength;
}

/// /tmp is shared with every user, so a folder there must be ours alone before we put sockets in it.
QString privateTemporaryBase()
{
    const QString base = QDir::tempPath() + QStringLiteral("/zovozu-%1").arg(::getuid());
    const QByteArray path = encoded(base);
    if (::mkdir(path.constData(), 0700) != 0 && errno != EEXIST)
        throw PlatformError::posix(errno, base);
    struct stat status {
    };
    if (::lstat(path.constData(), &status) != 0)
        throw PlatformError::posix(errno, base);
    if (!S_ISDIR(status.st_mode) || status.st_uid != ::getuid() || (status.st_mode & 077) != 0)
        throw PlatformError::posix(EPERM, base);
    return base;
}

QString usableBase(const QString &base)
{
    if (!base.isEmpty() && fits(base)) {
        FileOperations::createFolders(base);
        return base;
    }
    return privateTemporaryBase();
}

bool isAbandoned(const QString &folder)
{
    const QString lockPath = folder + QLatin1Char('/') + lockFileName.toString();
    const int descriptor = ::open(encoded(lockPath).constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (descriptor < 0)
        return errno == ENOENT && QFileInfo(folder).lastModified().secsTo(QDateTime::currentDateTime()) > unlockedGraceSeconds;
    const FileDescriptor lock(descriptor);
    return ::flock(lock.get(), LOCK_EX | LOCK_NB) == 0;
}

} // namespace

QemuRuntimeDirectory::QemuRuntimeDirectory(const QString &base)
{
    const QString parent = usableBase(base);
    removeStale(parent);
    QByteArray pattern = encoded(parent + QStringLiteral("/XXXXXX"));
    if (!::mkdtemp(pattern.data()))
        throw PlatformError::posix(errno, parent);
    m_path = QFile::decodeName(pattern);
    const QString lockPath = item(lockFileName);
    m_lock = FileDescriptor(::open(encoded(lockPath).constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
    if (!m_lock.isValid() || ::flock(m_lock.get(), LOCK_EX) != 0) {
        const int error = errno;
        FileOperations::removeItem(m_path);
        throw PlatformError::posix(error, lockPath);
    }
}

QemuRuntimeDirectory::~QemuRuntimeDirectory()
{
    try {
        FileOperations::removeItem(m_path);
    } catch (const PlatformError &) {
        // Whatever is left is removed with the stale folders of the next run.
    }
}

QString QemuRuntimeDirectory::fileSystemSocketPath(qsizetype device) const
{
    return item(QStringLiteral("fs%1.sock").arg(device));
}

QString QemuRuntimeDirectory::fileSystemRootPath(qsizetype device) const
{
    return item(QStringLiteral("fs%1").arg(device));
}

void QemuRuntimeDirectory::removeStale(const QString &base)
{
    const QDir folder(base);
    for (const QString &name : folder.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::NoSymLinks)) {
        const QString path = folder.filePath(name);
        if (!isAbandoned(path))
            continue;
        try {
            FileOperations::removeItem(path);
        } catch (const PlatformError &) {
            // Someone else's or busy; it is tried again next time.
        }
    }
}

QString QemuRuntimeDirectory::item(QStringView name) const
{
    return m_path + QLatin1Char('/') + name.toString();
}
