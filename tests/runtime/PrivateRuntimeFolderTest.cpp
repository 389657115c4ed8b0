// SPDX-License-Identifier: MIT
#include "PrivateRuntimeFolder.h"

#include "PlatformError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

TEST(PrivateRuntimeFolderTest, IsMadeForThisUserAloneAndRemovedWithItsContent)
{
    const QTemporaryDir base;
    const QString path = base.filePath(QStringLiteral("zovozu/VM"));
    {
        const PrivateRuntimeFolder folder(path);
        struct stat status {
        };
        ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &status), 0);
        EXPECT_EQ(status.st_mode & 0777, 0700u);
        QFile(path + QStringLiteral("/vnc.sock")).open(QIODevice::WriteOnly);
    }
    EXPECT_FALSE(QFileInfo::exists(path));
    EXPECT_TRUE(QFileInfo(base.filePath(QStringLiteral("zovozu"))).isDir());

    // A private folder left by a crashed run is taken over.
    ASSERT_TRUE(QDir().mkpath(path));
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    EXPECT_NO_THROW(PrivateRuntimeFolder{path});
}

TEST(PrivateRuntimeFolderTest, RefusesAFolderOthersCanEnterAndALink)
{
    const QTemporaryDir base;
    const QString open = base.filePath(QStringLiteral("open"));
    ASSERT_TRUE(QDir().mkpath(open));
    ASSERT_TRUE(QFile::setPermissions(open, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
    EXPECT_THROW(PrivateRuntimeFolder{open}, PlatformError);
    EXPECT_TRUE(QFileInfo(open).isDir());

    const QString linked = base.filePath(QStringLiteral("linked"));
    ASSERT_TRUE(QFile::link(base.path(), linked));
    EXPECT_THROW(PrivateRuntimeFolder{linked}, PlatformError);
    EXPECT_TRUE(QFileInfo(linked).isSymLink());
}

} // namespace
