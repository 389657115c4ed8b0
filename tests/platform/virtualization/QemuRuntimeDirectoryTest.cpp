// SPDX-License-Identifier: MIT
#include "QemuRuntimeDirectory.h"

#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <optional>

namespace {

class QemuRuntimeDirectoryTest : public ::testing::Test
{
protected:
    QString base() const { return m_directory.path() + QStringLiteral("/zovozu"); }

private:
    QTemporaryDir m_directory;
};

TEST_F(QemuRuntimeDirectoryTest, MakesAPrivateShortFolderAndRemovesItWithEverythingInside)
{
    QString path;
    {
        const QemuRuntimeDirectory directory(base());
        path = directory.path();
        EXPECT_EQ(QFileInfo(path).absolutePath(), base());
        EXPECT_EQ(QFileInfo(path).fileName().size(), 6);
        EXPECT_EQ(QFileInfo(path).permissions() & (QFile::ReadGroup | QFile::ReadOther | QFile::WriteGroup | QFile::WriteOther), 0);
        EXPECT_EQ(directory.monitorSocketPath(), path + QStringLiteral("/qmp.sock"));
        EXPECT_EQ(directory.fileSystemSocketPath(1), path + QStringLiteral("/fs1.sock"));
        EXPECT_EQ(directory.fileSystemRootPath(1), path + QStringLiteral("/fs1"));
        QFile(directory.pidFilePath()).open(QIODevice::WriteOnly);
        QDir().mkdir(directory.fileSystemRootPath(0));
    }
    EXPECT_FALSE(QFileInfo::exists(path));
}

TEST_F(QemuRuntimeDirectoryTest, RemovesFoldersOfEndedRunsButNotOfLiveOnes)
{
    std::optional<QemuRuntimeDirectory> live(base());
    const QString crashed = base() + QStringLiteral("/crashd");
    QDir().mkpath(crashed);
    QFile(crashed + QStringLiteral("/lock")).open(QIODevice::WriteOnly);
    QFile(crashed + QStringLiteral("/qmp.sock")).open(QIODevice::WriteOnly);
    const QString beingMade = base() + QStringLiteral("/newone");
    QDir().mkpath(beingMade);

    const QemuRuntimeDirectory next(base());
    EXPECT_FALSE(QFileInfo::exists(crashed));
    EXPECT_TRUE(QFileInfo::exists(live->path()));
    EXPECT_TRUE(QFileInfo::exists(beingMade)) << "a folder without its lock yet may still be getting one";
}

TEST_F(QemuRuntimeDirectoryTest, ATooDeepBaseFallsBackToAPrivateTemporaryFolder)
{
    const QString deep = base() + QLatin1Char('/') + QString(100, QLatin1Char('d'));
    const QemuRuntimeDirectory directory(deep);
    EXPECT_FALSE(directory.path().startsWith(deep));
    EXPECT_LE(QFile::encodeName(directory.serialSocketPath()).size(), QemuRuntimeDirectory::maximumSocketPathLength);
    EXPECT_EQ(QFileInfo(QFileInfo(directory.path()).absolutePath()).permissions() & (QFile::ReadOther | QFile::WriteOther | QFile::ExeOther), 0);
}

} // namespace
