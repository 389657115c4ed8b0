// SPDX-License-Identifier: MIT
#include "AppDirectories.h"
#include "PlatformError.h"
#include "TemporaryHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

TEST(AppDirectoriesTest, FoldersAreCreatedUnderTheXdgHomes)
{
    const TemporaryHome home;
    EXPECT_EQ(AppDirectories::libraryRoot(), home.applicationData() + QStringLiteral("/VirtualMachines"));
    EXPECT_TRUE(QFileInfo(home.applicationData() + QStringLiteral("/VirtualMachines")).isDir());
    EXPECT_EQ(AppDirectories::logsDirectory(), home.applicationData() + QStringLiteral("/Logs"));
    EXPECT_EQ(AppDirectories::cacheDirectory(), home.cacheHome() + QStringLiteral("/Zovozu VM Lab/RestoreImageCache"));
    EXPECT_TRUE(QFileInfo(AppDirectories::cacheDirectory()).isDir());
}

TEST(AppDirectoriesTest, SecondCallKeepsTheFolderAndItsContent)
{
    const TemporaryHome home;
    const QString root = AppDirectories::libraryRoot();
    QFile marker(root + QStringLiteral("/keep.txt"));
    ASSERT_TRUE(marker.open(QIODevice::WriteOnly));
    marker.write("x");
    marker.close();

    EXPECT_EQ(AppDirectories::libraryRoot(), root);
    EXPECT_TRUE(QFile::exists(root + QStringLiteral("/keep.txt")));
}

TEST(AppDirectoriesTest, AFileInTheWayIsAPlatformError)
{
    const TemporaryHome home;
    ASSERT_TRUE(QDir().mkpath(home.applicationData()));
    QFile blocker(home.applicationData() + QStringLiteral("/Logs"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    EXPECT_THROW(AppDirectories::logsDirectory(), PlatformError);
}

TEST(AppDirectoriesTest, SanitizedFileNameReplacesOnlyTheForbiddenCharacters)
{
    EXPECT_EQ(sanitizedFileName(QStringLiteral("a/b:c")), QStringLiteral("a-b-c"));
    EXPECT_EQ(sanitizedFileName(QStringLiteral("/:\\?%*|\"<>")), QStringLiteral("----------"));
    const QString untouched = QStringLiteral("Café 🦊 VM.vm");
    EXPECT_EQ(sanitizedFileName(untouched), untouched);
}
