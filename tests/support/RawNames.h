// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QMap>
#include <QString>

#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

/**
 * Files and folders named as a guest may name them: in Latin-1 and other
 * bytes that are not UTF-8, beside UTF-8 and plain names. They are made
 * and read back by the bytes of their names, never through text, so a copy
 * that loses or alters a byte shows.
 */
namespace RawNames {

/// Paths relative to the planted folder; a trailing "/" marks a folder.
inline QList<QByteArray> plantedPaths()
{
    return {
        QByteArrayLiteral("bad\xE9.txt"),           // Latin-1 "é"
        QByteArrayLiteral("caf\xC3\xA9.txt"),       // the same name in UTF-8
        QByteArrayLiteral("d\xE9j\xE0/"),           // a Latin-1 folder name
        QByteArrayLiteral("d\xE9j\xE0/\xFF\xFE.bin"), // bytes that never occur in UTF-8
        QByteArrayLiteral("d\xE9j\xE0/plain.txt"),
        QByteArrayLiteral("\xC3("),                 // a cut-off UTF-8 sequence
    };
}

inline QByteArray native(const QString &path) { return QFile::encodeName(path); }

/// Makes every planted item below `folder` (created if missing), each file holding its own path.
inline void plant(const QString &folder)
{
    ASSERT_TRUE(QDir().mkpath(folder)) << folder.toStdString();
    for (const QByteArray &relative : plantedPaths()) {
        const QByteArray path = native(folder) + '/' + relative;
        if (relative.endsWith('/')) {
            ASSERT_EQ(::mkdir(path.constData(), 0755), 0) << std::strerror(errno);
            continue;
        }
        const int file = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        ASSERT_GE(file, 0) << std::strerror(errno);
        ASSERT_EQ(::write(file, relative.constData(), size_t(relative.size())), ssize_t(relative.size()));
        ::close(file);
    }
}

/// Every item below the folder, by the bytes of its relative path ("/" after folders), with the content of files.
inline QMap<QByteArray, QByteArray> tree(const QByteArray &folder, const QByteArray &prefix = {})
{
    QMap<QByteArray, QByteArray> items;
    DIR *directory = ::opendir(folder.constData());
    if (!directory) {
        ADD_FAILURE() << "cannot list " << folder.constData() << ": " << std::strerror(errno);
        return items;
    }
    while (const dirent *entry = ::readdir(directory)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QByteArray path = folder + '/' + name;
        struct stat status {
        };
        if (::lstat(path.constData(), &status) != 0)
            continue;
        if (S_ISDIR(status.st_mode)) {
            items.insert(prefix + name + '/', QByteArray());
            items.insert(tree(path, prefix + name + '/'));
        } else {
            QFile file;
            const int descriptor = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
            QByteArray content;
            if (descriptor >= 0 && file.open(descriptor, QIODevice::ReadOnly, QFile::AutoCloseHandle))
                content = file.readAll();
            items.insert(prefix + name, content);
        }
    }
    ::closedir(directory);
    return items;
}

inline QMap<QByteArray, QByteArray> tree(const QString &folder) { return tree(native(folder)); }

/// What plant() makes, as tree() reads it.
inline QMap<QByteArray, QByteArray> plantedTree()
{
    QMap<QByteArray, QByteArray> items;
    for (const QByteArray &relative : plantedPaths())
        items.insert(relative, relative.endsWith('/') ? QByteArray() : relative);
    return items;
}

} // namespace RawNames
