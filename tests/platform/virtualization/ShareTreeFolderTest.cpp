// SPDX-License-Identifier: MIT
#include "ShareTreeFolder.h"

#include "PlatformError.h"
#include "QtPrinters.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

ino_t inodeOf(const QString &path)
{
    struct stat status {
    };
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? status.st_ino : 0;
}

void write(const QString &path, const QByteArray &content)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(content);
}

class ShareTreeFolderTest : public ::testing::Test
{
protected:
    QString path(const QString &relative = {}) const { return m_directory.path() + QStringLiteral("/Guest.vm/.SharedFolderTree") + relative; }
    QStringList entries() const { return QDir(path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name); }

    QTemporaryDir m_directory;
    QTemporaryDir m_outside;
};

TEST_F(ShareTreeFolderTest, HoldsOneEmptyFolderPerNameAndStaysTheSameFolderFromOneStartToTheNext)
{
    ASSERT_TRUE(QDir().mkpath(m_directory.path() + QStringLiteral("/Guest.vm")));
    ShareTreeFolder::prepare(path(), {QStringLiteral("KestrumAutomation"), QStringLiteral("Projects 2")});
    EXPECT_EQ(entries(), QStringList({QStringLiteral("KestrumAutomation"), QStringLiteral("Projects 2")}));
    const ino_t tree = inodeOf(path());
    const ino_t automation = inodeOf(path(QStringLiteral("/KestrumAutomation")));

    ShareTreeFolder::prepare(path(), {QStringLiteral("Music"), QStringLiteral("KestrumAutomation")});

    EXPECT_EQ(entries(), QStringList({QStringLiteral("KestrumAutomation"), QStringLiteral("Music")})) << "a share no longer there goes";
    EXPECT_EQ(inodeOf(path()), tree);
    EXPECT_EQ(inodeOf(path(QStringLiteral("/KestrumAutomation"))), automation);
}

/*
 * The folder lies in a bundle, which may come from anywhere: nothing in it
 * is followed, and nothing but an empty folder or a stray item is removed.
 */
TEST_F(ShareTreeFolderTest, ReplacesLinksAndStrayFilesAndKeepsAFolderThatHoldsSomething)
{
    ASSERT_TRUE(QDir().mkpath(path()));
    ASSERT_TRUE(QDir().mkpath(path(QStringLiteral("/Old/inside"))));
    write(path(QStringLiteral("/Notes.txt")), "stray");
    write(path(QStringLiteral("/Bootstrap")), "a file where a folder belongs");
    ASSERT_TRUE(QFile::link(m_outside.path(), path(QStringLiteral("/KestrumAutomation"))));

    ShareTreeFolder::prepare(path(), {QStringLiteral("KestrumAutomation"), QStringLiteral("Bootstrap")});

    EXPECT_EQ(entries(), QStringList({QStringLiteral("Bootstrap"), QStringLiteral("KestrumAutomation"), QStringLiteral("Old")}));
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("/Bootstrap"))).isDir());
    EXPECT_FALSE(QFileInfo(path(QStringLiteral("/KestrumAutomation"))).isSymLink());
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("/KestrumAutomation"))).isDir());
    EXPECT_TRUE(QFileInfo::exists(m_outside.path())) << "the link's target is not touched";
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("/Old/inside"))).isDir());
}

TEST_F(ShareTreeFolderTest, ALinkInPlaceOfTheFolderIsReplacedByAFolderOfItsOwn)
{
    ASSERT_TRUE(QDir().mkpath(m_directory.path() + QStringLiteral("/Guest.vm")));
    ASSERT_TRUE(QFile::link(m_outside.path(), path()));

    ShareTreeFolder::prepare(path(), {QStringLiteral("KestrumAutomation")});

    EXPECT_FALSE(QFileInfo(path()).isSymLink());
    EXPECT_TRUE(QFileInfo(path(QStringLiteral("/KestrumAutomation"))).isDir());
    EXPECT_TRUE(QDir(m_outside.path()).isEmpty()) << "nothing was made through the link";
}

TEST_F(ShareTreeFolderTest, AFolderThatCannotBeMadeIsThrown)
{
    EXPECT_THROW(ShareTreeFolder::prepare(m_directory.path() + QStringLiteral("/missing/tree"), {QStringLiteral("KestrumAutomation")}), PlatformError);
}

} // namespace
