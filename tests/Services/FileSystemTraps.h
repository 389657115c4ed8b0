// SPDX-License-Identifier: MIT
#pragma once

#include <QDir>
#include <QFile>
#include <QString>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

/**
 * Ways to make a file operation fail on purpose, also for a test that runs
 * as root (who ignores permission bits).
 */
namespace FileSystemTraps {

/**
 * Marks a file immutable while the object lives: nobody, root included, can
 * remove it or the folder entry that names it. Needs the privilege to set
 * the flag; isSet() says whether it could be had.
 */
class ImmutableFile
{
public:
    explicit ImmutableFile(const QString &path)
        : m_path(path)
    {
        m_set = setFlag(true);
    }
    ~ImmutableFile()
    {
        if (m_set)
            setFlag(false);
    }
    ImmutableFile(const ImmutableFile &) = delete;
    ImmutableFile &operator=(const ImmutableFile &) = delete;

    bool isSet() const { return m_set; }

private:
    bool setFlag(bool immutable) const
    {
        const int file = ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_CLOEXEC);
        if (file < 0)
            return false;
        int flags = 0;
        bool done = ::ioctl(file, FS_IOC_GETFLAGS, &flags) == 0;
        if (done) {
            flags = immutable ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
            done = ::ioctl(file, FS_IOC_SETFLAGS, &flags) == 0;
        }
        ::close(file);
        return done;
    }

    QString m_path;
    bool m_set = false;
};

/**
 * A folder, holding one file, whose mode is 000 while the object lives: a
 * guest's root can leave such a folder in its shared automation folder.
 * Root reads it all the same unless the test gives up its override
 * (WithoutAccessOverride).
 */
class UnreadableFolder
{
public:
    explicit UnreadableFolder(const QString &path)
        : m_path(path)
    {
        QDir().mkpath(path);
        QFile file(path + QStringLiteral("/secret.txt"));
        if (file.open(QIODevice::WriteOnly))
            file.write("guest");
        file.close();
        ::chmod(QFile::encodeName(path).constData(), 0);
    }
    ~UnreadableFolder() { ::chmod(QFile::encodeName(m_path).constData(), 0755); }
    UnreadableFolder(const UnreadableFolder &) = delete;
    UnreadableFolder &operator=(const UnreadableFolder &) = delete;

private:
    QString m_path;
};

/**
 * Creates nested folders below `base` until the deepest one's path is
 * exactly `length` characters long, and returns that path. A copy of the
 * tree to a place with a longer path then fails with ENAMETOOLONG once the
 * copied path reaches the system's 4096-byte limit.
 */
inline QString deepFolder(const QString &base, qsizetype length)
{
    QString path = base;
    while (path.size() < length)
        path += QLatin1Char('/') + QString(std::min<qsizetype>(200, length - path.size() - 1), QLatin1Char('d'));
    QDir().mkpath(path);
    return path;
}

} // namespace FileSystemTraps
