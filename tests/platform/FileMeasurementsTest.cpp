// SPDX-License-Identifier: MIT
#include "FileMeasurements.h"
#include "TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>

#include <cerrno>

namespace {

constexpr quint64 mebibyte = 1024 * 1024;

class FileMeasurementsTest : public ::testing::Test
{
protected:
    QString at(const QString &relative) const { return m_directory.path() + QLatin1Char('/') + relative; }

    QTemporaryDir m_directory;
};

TEST_F(FileMeasurementsTest, ASparseFileIsLongButHasLittleAllocated)
{
    const QString path = at(QStringLiteral("Disk.img"));
    TestFiles::write(path, QByteArray(4096, 'x'));
    ASSERT_EQ(::truncate(QFile::encodeName(path).constData(), 1024 * mebibyte), 0);

    EXPECT_EQ(FileMeasurements::fileSize(path), 1024 * mebibyte);
    EXPECT_GE(FileMeasurements::allocatedSize(path), quint64(4096));
    EXPECT_LT(FileMeasurements::allocatedSize(path), mebibyte);
}

TEST_F(FileMeasurementsTest, MeasuringAMissingFileNamesIt)
{
    const QString missing = at(QStringLiteral("missing"));
    TestFiles::expectPosixError([&] { FileMeasurements::fileSize(missing); }, ENOENT, missing);
    TestFiles::expectPosixError([&] { FileMeasurements::allocatedSize(missing); }, ENOENT, missing);
    TestFiles::expectPosixError([&] { FileMeasurements::availableSpace(missing); }, ENOENT, missing);
}

TEST_F(FileMeasurementsTest, TreeSumSkipsHiddenItemsAndNeverFollowsLinks)
{
    const QString tree = at(QStringLiteral("Snapshots"));
    TestFiles::write(tree + QStringLiteral("/one/Disk.img"), QByteArray(64 * 1024, 'a'));
    TestFiles::write(tree + QStringLiteral("/Metadata.json"), QByteArray(128 * 1024, 'b'));
    TestFiles::write(tree + QStringLiteral("/.partial"), QByteArray(mebibyte, 'c'));
    TestFiles::write(tree + QStringLiteral("/.hidden/big"), QByteArray(mebibyte, 'd'));
    TestFiles::write(at(QStringLiteral("outside/big")), QByteArray(2 * mebibyte, 'e'));
    TestFiles::makeLink(at(QStringLiteral("outside")), tree + QStringLiteral("/linked-folder"));

    const quint64 expected = FileMeasurements::allocatedSize(tree + QStringLiteral("/one/Disk.img"))
        + FileMeasurements::allocatedSize(tree + QStringLiteral("/Metadata.json"))
        + FileMeasurements::allocatedSize(tree + QStringLiteral("/linked-folder"));
    EXPECT_GE(expected, quint64(192 * 1024));
    EXPECT_EQ(FileMeasurements::allocatedSizeOfTree(tree), expected);
    EXPECT_EQ(FileMeasurements::allocatedSizeOfTree(at(QStringLiteral("missing"))), quint64(0));
    EXPECT_EQ(FileMeasurements::allocatedSizeOfTree(tree + QStringLiteral("/Metadata.json")), quint64(0));
}

TEST_F(FileMeasurementsTest, BirthTimeOfANewFileIsNowAndSpaceIsAvailable)
{
    const QDateTime before = QDateTime::currentDateTimeUtc().addSecs(-2);
    TestFiles::write(at(QStringLiteral("MachineState.bin")), "x");
    const QDateTime born = FileMeasurements::birthTime(at(QStringLiteral("MachineState.bin")));
    EXPECT_GE(born, before);
    EXPECT_LE(born, QDateTime::currentDateTimeUtc().addSecs(2));
    EXPECT_GT(FileMeasurements::availableSpace(m_directory.path()), quint64(0));
}

} // namespace
