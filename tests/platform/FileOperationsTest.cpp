// SPDX-License-Identifier: MIT
#include "FileOperations.h"
#include "RawNames.h"
#include "TestFiles.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>

namespace {

class FileOperationsTest : public ::testing::Test
{
protected:
    QString at(const QString &relative) const { return m_directory.path() + QLatin1Char('/') + relative; }

    QTemporaryDir m_directory;
};

TEST_F(FileOperationsTest, AtomicWriteReplacesTheContentKeepsPermissionsAndLeavesNoTemporaryFile)
{
    const QString path = at(QStringLiteral("Metadata.json"));
    TestFiles::write(path, "old content that is longer");
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0640), 0);

    FileOperations::writeAtomically(path, "new");

    EXPECT_EQ(TestFiles::read(path), QByteArray("new"));
    EXPECT_EQ(TestFiles::permissions(path), mode_t(0640));
    const QStringList everything
        = QDir(m_directory.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    EXPECT_EQ(everything, QStringList { QStringLiteral("Metadata.json") });
}

TEST_F(FileOperationsTest, AtomicWriteIntoAMissingFolderNamesTheFile)
{
    const QString path = at(QStringLiteral("missing/Metadata.json"));
    TestFiles::expectPosixError([&] { FileOperations::writeAtomically(path, "x"); }, ENOENT, path);
}

TEST_F(FileOperationsTest, ReadFileReadsOnlyRegularFilesUpToTheLimit)
{
    TestFiles::write(at(QStringLiteral("Metadata.json")), "0123456789");
    TestFiles::makeLink(at(QStringLiteral("Metadata.json")), at(QStringLiteral("link")));
    TestFiles::makeFifo(at(QStringLiteral("pipe")));

    EXPECT_EQ(FileOperations::readFile(at(QStringLiteral("Metadata.json"))), QByteArray("0123456789"));
    EXPECT_EQ(FileOperations::readFile(at(QStringLiteral("Metadata.json")), 10), QByteArray("0123456789"));
    TestFiles::expectPosixError(
        [&] { FileOperations::readFile(at(QStringLiteral("Metadata.json")), 9); }, EFBIG, at(QStringLiteral("Metadata.json")));
    TestFiles::expectPosixError([&] { FileOperations::readFile(at(QStringLiteral("link"))); }, ELOOP, at(QStringLiteral("link")));
    TestFiles::expectPosixError([&] { FileOperations::readFile(at(QStringLiteral("pipe"))); }, EINVAL, at(QStringLiteral("pipe")));
    TestFiles::expectPosixError([&] { FileOperations::readFile(m_directory.path()); }, EISDIR, m_directory.path());
}

TEST_F(FileOperationsTest, AnInspectedReadSeesEachPieceBeforeReadingOnAndCanStopIt)
{
    const QString path = at(QStringLiteral("SharedFolders.json"));
    QByteArray content(3 * 1024 * 1024 + 5, 'a');
    for (qsizetype index = 0; index < content.size(); index += 4093)
        content[index] = char('0' + index % 10);
    TestFiles::write(path, content);

    QByteArray inspected;
    qsizetype largestPiece = 0;
    EXPECT_EQ(FileOperations::readFile(path, content.size(), [&](QByteArrayView piece) {
        inspected += piece;
        largestPiece = std::max(largestPiece, piece.size());
    }),
              content);
    EXPECT_EQ(inspected, content);
    EXPECT_LE(largestPiece, 64 * 1024);

    // A refusal at the first piece ends the read there: the rest is never read in.
    struct Refused {
    };
    int pieces = 0;
    EXPECT_THROW(FileOperations::readFile(path, content.size(), [&](QByteArrayView) {
        ++pieces;
        throw Refused{};
    }),
                 Refused);
    EXPECT_EQ(pieces, 1);

    const auto nothing = [](QByteArrayView) {};
    TestFiles::write(at(QStringLiteral("empty")), "");
    EXPECT_EQ(FileOperations::readFile(at(QStringLiteral("empty")), 0, nothing), QByteArray());
    TestFiles::expectPosixError([&] { FileOperations::readFile(path, content.size() - 1, nothing); }, EFBIG, path);
    TestFiles::makeLink(path, at(QStringLiteral("link")));
    TestFiles::makeFifo(at(QStringLiteral("pipe")));
    TestFiles::expectPosixError([&] { FileOperations::readFile(at(QStringLiteral("link")), 10, nothing); }, ELOOP, at(QStringLiteral("link")));
    TestFiles::expectPosixError([&] { FileOperations::readFile(at(QStringLiteral("pipe")), 10, nothing); }, EINVAL, at(QStringLiteral("pipe")));
    TestFiles::expectPosixError([&] { FileOperations::readFile(m_directory.path(), 10, nothing); }, EISDIR, m_directory.path());
}

TEST_F(FileOperationsTest, FolderEntriesListsHiddenNamesToo)
{
    TestFiles::write(at(QStringLiteral("Bootstrap/firstboot.sh")), "x");
    TestFiles::write(at(QStringLiteral("Bootstrap/.hidden")), "x");

    QStringList names = FileOperations::folderEntries(at(QStringLiteral("Bootstrap")));
    names.sort();
    EXPECT_EQ(names, (QStringList { QStringLiteral(".hidden"), QStringLiteral("firstboot.sh") }));
    TestFiles::expectPosixError(
        [&] { FileOperations::folderEntries(at(QStringLiteral("missing"))); }, ENOENT, at(QStringLiteral("missing")));
}

TEST_F(FileOperationsTest, CreateFoldersMakesParentsAndAcceptsWhatExists)
{
    const QString deep = at(QStringLiteral("a/b/c"));
    FileOperations::createFolders(deep);
    EXPECT_TRUE(QFileInfo(deep).isDir());
    FileOperations::createFolders(deep);
    FileOperations::createFolders(deep + QLatin1Char('/'));

    TestFiles::makeLink(deep, at(QStringLiteral("link")));
    FileOperations::createFolders(at(QStringLiteral("link/d")));
    EXPECT_TRUE(QFileInfo(deep + QStringLiteral("/d")).isDir());
}

TEST_F(FileOperationsTest, CreateFoldersReportsTheRealErrnoAndPath)
{
    TestFiles::write(at(QStringLiteral("file")), "x");
    TestFiles::expectPosixError([&] { FileOperations::createFolders(at(QStringLiteral("file"))); }, EEXIST, at(QStringLiteral("file")));
    TestFiles::expectPosixError(
        [&] { FileOperations::createFolders(at(QStringLiteral("file/sub/deeper"))); }, ENOTDIR, at(QStringLiteral("file/sub/deeper")));
}

TEST_F(FileOperationsTest, HardLinkSharesTheFileAndIsSameFileComparesTheItemsThemselves)
{
    const QString disk = at(QStringLiteral("Disk.img"));
    const QString mirror = at(QStringLiteral("mirror/Disk.img"));
    TestFiles::write(disk, "data");
    FileOperations::createFolders(at(QStringLiteral("mirror")));

    FileOperations::createHardLink(disk, mirror);

    EXPECT_TRUE(FileOperations::isSameFile(disk, mirror));
    TestFiles::write(disk, "changed");
    EXPECT_EQ(TestFiles::read(mirror), QByteArray("changed"));

    const QString copy = at(QStringLiteral("copy.img"));
    const QString link = at(QStringLiteral("link.img"));
    TestFiles::write(copy, "changed");
    TestFiles::makeLink(disk, link);
    EXPECT_FALSE(FileOperations::isSameFile(disk, copy));
    EXPECT_FALSE(FileOperations::isSameFile(disk, link));
    EXPECT_FALSE(FileOperations::isSameFile(disk, at(QStringLiteral("missing"))));

    TestFiles::expectPosixError([&] { FileOperations::createHardLink(disk, copy); }, EEXIST, copy);
}

TEST_F(FileOperationsTest, ItemExistsSeesADanglingLink)
{
    TestFiles::makeLink(at(QStringLiteral("nowhere")), at(QStringLiteral("dangling")));
    EXPECT_TRUE(FileOperations::itemExists(at(QStringLiteral("dangling"))));
    EXPECT_FALSE(FileOperations::itemExists(at(QStringLiteral("nowhere"))));
}

TEST_F(FileOperationsTest, RemoveItemDeletesTheTreeButNeverFollowsALinkOutOfIt)
{
    const QString outside = at(QStringLiteral("outside"));
    TestFiles::write(outside + QStringLiteral("/keep.txt"), "keep");
    const QString tree = at(QStringLiteral("Bundle.vm"));
    TestFiles::write(tree + QStringLiteral("/Disk.img"), "disk");
    TestFiles::write(tree + QStringLiteral("/Logs/.hidden/log"), "log");
    TestFiles::makeLink(outside, tree + QStringLiteral("/Logs/folder-link"));
    TestFiles::makeLink(outside + QStringLiteral("/keep.txt"), tree + QStringLiteral("/file-link"));
    TestFiles::makeFifo(tree + QStringLiteral("/pipe"));

    FileOperations::removeItem(tree);

    EXPECT_FALSE(FileOperations::itemExists(tree));
    EXPECT_EQ(TestFiles::read(outside + QStringLiteral("/keep.txt")), QByteArray("keep"));
}

TEST_F(FileOperationsTest, RemovalsReachNamesThatAreNotUTF8)
{
    RawNames::plant(at(QStringLiteral("Tree")));
    FileOperations::removeItem(at(QStringLiteral("Tree")));
    EXPECT_FALSE(FileOperations::itemExists(at(QStringLiteral("Tree"))));

    RawNames::plant(at(QStringLiteral("Logs")));
    TestFiles::write(at(QStringLiteral("Logs/keep.log")), "kept");
    FileOperations::removeEntries(at(QStringLiteral("Logs")), [](const QString &name) { return !name.endsWith(QStringLiteral(".log")); });
    EXPECT_EQ(RawNames::tree(at(QStringLiteral("Logs"))), (QMap<QByteArray, QByteArray> {{"keep.log", "kept"}}));
}

TEST_F(FileOperationsTest, RemoveItemOfALinkRemovesOnlyTheLinkAndAMissingItemIsAnError)
{
    const QString folder = at(QStringLiteral("folder"));
    TestFiles::write(folder + QStringLiteral("/file"), "x");
    TestFiles::makeLink(folder, at(QStringLiteral("link")));

    FileOperations::removeItem(at(QStringLiteral("link")));

    EXPECT_FALSE(FileOperations::itemExists(at(QStringLiteral("link"))));
    EXPECT_TRUE(QFile::exists(folder + QStringLiteral("/file")));
    TestFiles::expectPosixError([&] { FileOperations::removeItem(at(QStringLiteral("link"))); }, ENOENT, at(QStringLiteral("link")));
}

} // namespace
