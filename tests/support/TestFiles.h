// SPDX-License-Identifier: MIT
#pragma once

#include "PlatformError.h"
#include "QtPrinters.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
#include <ostream>


/// Small file helpers for the platform tests; failures are reported through gtest.
namespace TestFiles {

inline void write(const QString &path, const QByteArray &content)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).absolutePath())) << path.toStdString();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
    ASSERT_EQ(file.write(content), content.size());
}

inline QByteArray read(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline void makeLink(const QString &target, const QString &link)
{
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()), 0) << link.toStdString();
}

inline void makeFifo(const QString &path) { ASSERT_EQ(::mkfifo(QFile::encodeName(path).constData(), 0600), 0) << path.toStdString(); }

inline mode_t permissions(const QString &path)
{
    struct stat status {
    };
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
}

/// Runs `operation` and checks that it throws a POSIX PlatformError with `code` naming `path`.
template <typename Operation> void expectPosixError(Operation &&operation, int code, const QString &path)
{
    try {
        operation();
        ADD_FAILURE() << "no error; expected " << std::strerror(code) << " for " << path.toStdString();
    } catch (const PlatformError &error) {
        EXPECT_EQ(error.domain(), PlatformError::Domain::posix);
        EXPECT_EQ(error.code(), code) << error.what();
        EXPECT_EQ(error.path(), path);
    }
}

} // namespace TestFiles
