// SPDX-License-Identifier: MIT
#include "CappedLogFile.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(CappedLogFileTest, KeepsTheNewestOutputWithinTwiceTheLimit)
{
    const QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("qemu.log"));
    CappedLogFile log(path, 100);

    log.append(QByteArray(60, 'a'));
    log.append(QByteArray(30, 'b'));
    EXPECT_EQ(contentOf(path), QByteArray(60, 'a') + QByteArray(30, 'b'));

    log.append(QByteArray(20, 'c'));
    EXPECT_EQ(contentOf(path + QStringLiteral(".1")), QByteArray(60, 'a') + QByteArray(30, 'b'));
    EXPECT_EQ(contentOf(path), QByteArray(20, 'c'));

    log.append(QByteArray(150, 'd') + QByteArray(100, 'e'));
    EXPECT_EQ(contentOf(path), QByteArray(100, 'e'));
    EXPECT_EQ(contentOf(path + QStringLiteral(".1")), QByteArray(20, 'c'));

    // A log that exists already counts towards the limit.
    CappedLogFile reopened(path, 150);
    reopened.append(QByteArray(60, 'f'));
    EXPECT_EQ(contentOf(path), QByteArray(60, 'f'));
}

TEST(CappedLogFileTest, NeverWritesThroughALinkOrIntoAFIFO)
{
    const QTemporaryDir folder;
    const QString victim = folder.filePath(QStringLiteral("victim"));
    QFile(victim).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QFile::link(victim, folder.filePath(QStringLiteral("linked.log"))));
    CappedLogFile(folder.filePath(QStringLiteral("linked.log")), 100).append("output");
    EXPECT_TRUE(contentOf(victim).isEmpty());

    const QString fifo = folder.filePath(QStringLiteral("fifo.log"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    CappedLogFile(fifo, 100).append("output"); // returns at once instead of waiting for a reader
}

} // namespace
