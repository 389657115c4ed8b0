// SPDX-License-Identifier: MIT
#include "ConfinedTreeCopy.h"
#include "FileDescriptor.h"
#include "FileMeasurements.h"
#include "TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>

namespace {

class ConfinedTreeCopyTest : public ::testing::Test
{
protected:
    QString at(const QString &relative) const { return m_directory.path() + QLatin1Char('/') + relative; }

    QTemporaryDir m_directory;
};

TEST_F(ConfinedTreeCopyTest, CopiesEverythingSparseKeepsLinksAsLinksAndCountsTheBytes)
{
    TestFiles::write(at(QStringLiteral("Source/a.txt")), "12345");
    TestFiles::write(at(QStringLiteral("Source/.hidden/b")), "678");
    TestFiles::makeLink(at(QStringLiteral("Outside")), at(QStringLiteral("Source/link")));
    TestFiles::makeFifo(at(QStringLiteral("Source/pipe")));
    {
        // 1 GiB with one byte of data at its end: the copy must keep the hole.
        const FileDescriptor disk(::open(QFile::encodeName(at(QStringLiteral("Source/Disk.img"))).constData(), O_WRONLY | O_CREAT, 0640));
        ASSERT_TRUE(disk.isValid());
        ASSERT_EQ(::pwrite(disk.get(), "x", 1, (qint64(1) << 30) - 1), 1);
    }
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("Share"))));
    ::chmod(QFile::encodeName(at(QStringLiteral("Source"))).constData(), 0750);

    const quint64 bytes = ConfinedTreeCopy::copyTree(at(QStringLiteral("Source")), at(QStringLiteral("Share")), QStringLiteral(".part"));
    EXPECT_EQ(bytes, quint64(5 + 3 + (qint64(1) << 30)));
    EXPECT_EQ(TestFiles::read(at(QStringLiteral("Share/.part/a.txt"))), "12345");
    EXPECT_EQ(TestFiles::read(at(QStringLiteral("Share/.part/.hidden/b"))), "678");
    EXPECT_EQ(QFileInfo(at(QStringLiteral("Share/.part/link"))).symLinkTarget(), at(QStringLiteral("Outside")));
    EXPECT_FALSE(QFileInfo::exists(at(QStringLiteral("Share/.part/pipe"))));
    EXPECT_EQ(TestFiles::permissions(at(QStringLiteral("Share/.part"))), mode_t(0750));
    EXPECT_LT(FileMeasurements::allocatedSize(at(QStringLiteral("Share/.part/Disk.img"))), quint64(1) << 20);
}

TEST_F(ConfinedTreeCopyTest, LinksInPlaceOfEitherFolderAndAnExistingNameAreRefused)
{
    TestFiles::write(at(QStringLiteral("Source/a.txt")), "a");
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("Share/taken"))));
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("Elsewhere"))));
    TestFiles::makeLink(at(QStringLiteral("Source")), at(QStringLiteral("SourceLink")));
    TestFiles::makeLink(at(QStringLiteral("Elsewhere")), at(QStringLiteral("ShareLink")));

    TestFiles::expectPosixError([&] { ConfinedTreeCopy::copyTree(at(QStringLiteral("SourceLink")), at(QStringLiteral("Share")), QStringLiteral("x")); },
                                ENOTDIR, at(QStringLiteral("SourceLink")));
    TestFiles::expectPosixError([&] { ConfinedTreeCopy::copyTree(at(QStringLiteral("Source")), at(QStringLiteral("ShareLink")), QStringLiteral("x")); },
                                ENOTDIR, at(QStringLiteral("ShareLink")));
    TestFiles::expectPosixError([&] { ConfinedTreeCopy::copyTree(at(QStringLiteral("Source")), at(QStringLiteral("Share")), QStringLiteral("taken")); },
                                EEXIST, at(QStringLiteral("Share/taken")));
    EXPECT_TRUE(QDir(at(QStringLiteral("Elsewhere"))).isEmpty());
}

} // namespace
