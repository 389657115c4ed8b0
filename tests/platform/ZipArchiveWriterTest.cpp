// SPDX-License-Identifier: MIT
#include "ZipArchiveWriter.h"

#include "SparseTestFile.h"
#include "TestFiles.h"
#include "ZipArchiveContents.h"

#include <QTemporaryDir>

#include <algorithm>

using namespace TestFiles;

namespace {

class ZipArchiveWriterTest : public ::testing::Test
{
protected:
    QString path(const QString &relative) const { return m_directory.path() + QLatin1Char('/') + relative; }
    QString archivePath() const { return path(QStringLiteral("out.zip")); }

    QTemporaryDir m_directory;
};

} // namespace

TEST_F(ZipArchiveWriterTest, StoresTheFolderUnderItsEntryNameFoldersFirst)
{
    const QString root = path(QStringLiteral("source"));
    write(root + QStringLiteral("/a.txt"), "alpha");
    write(root + QStringLiteral("/.hidden"), "dot");
    write(root + QStringLiteral("/sub/b.bin"), QByteArray("\0\1\2", 3));
    write(root + QStringLiteral("/sub/deeper/c"), "");
    write(root + QStringLiteral("/skipped/x"), "never");
    ASSERT_EQ(::chmod(QFile::encodeName(root + QStringLiteral("/a.txt")).constData(), 0600), 0);
    makeLink(QStringLiteral("a.txt"), root + QStringLiteral("/link"));
    makeLink(QStringLiteral("/etc"), root + QStringLiteral("/outside"));
    makeFifo(root + QStringLiteral("/pipe"));

    QStringList asked;
    ZipArchiveWriter writer(archivePath());
    writer.addFolder(root, QStringLiteral("Top.vm"), [&](const QString &relative, const struct stat &) {
        asked << relative;
        return relative != QStringLiteral("skipped");
    });
    writer.finish();

    const auto items = ZipArchiveContents::read(archivePath());
    EXPECT_EQ(ZipArchiveContents::paths(items),
              (QStringList{QStringLiteral("Top.vm/"), QStringLiteral("Top.vm/.hidden"), QStringLiteral("Top.vm/a.txt"),
                           QStringLiteral("Top.vm/link"), QStringLiteral("Top.vm/outside"), QStringLiteral("Top.vm/sub/"),
                           QStringLiteral("Top.vm/sub/b.bin"), QStringLiteral("Top.vm/sub/deeper/"),
                           QStringLiteral("Top.vm/sub/deeper/c")}));
    EXPECT_TRUE(asked.contains(QStringLiteral("sub/deeper/c")));
    EXPECT_TRUE(asked.contains(QStringLiteral("skipped")));
    EXPECT_FALSE(asked.contains(QStringLiteral("skipped/x")));

    EXPECT_EQ(ZipArchiveContents::find(items, QStringLiteral("Top.vm/a.txt"))->content, "alpha");
    EXPECT_EQ(ZipArchiveContents::find(items, QStringLiteral("Top.vm/a.txt"))->permissions, 0600U);
    EXPECT_EQ(ZipArchiveContents::find(items, QStringLiteral("Top.vm/sub/b.bin"))->content, QByteArray("\0\1\2", 3));
    EXPECT_EQ(ZipArchiveContents::find(items, QStringLiteral("Top.vm/sub/"))->type, mode_t(AE_IFDIR));
    const auto *link = ZipArchiveContents::find(items, QStringLiteral("Top.vm/outside"));
    EXPECT_EQ(link->type, mode_t(AE_IFLNK));
    EXPECT_EQ(link->linkTarget, QStringLiteral("/etc"));
}

TEST_F(ZipArchiveWriterTest, SparseFilesKeepTheirContentAndShrink)
{
    const QString root = path(QStringLiteral("source"));
    ASSERT_TRUE(QDir().mkpath(root));
    constexpr off_t length = 96LL << 20;
    const QByteArray pattern = QByteArray("0123456789abcdef").repeated(4096 * 70); // 4.375 MiB: spans buffer boundaries
    SparseTestFile::write(root + QStringLiteral("/Disk.img"), length,
                {{0, QByteArrayLiteral("BEGIN")}, {(40LL << 20) - 7, pattern}, {length - 3, QByteArrayLiteral("END")}});

    ZipArchiveWriter writer(archivePath());
    writer.addFolder(root, QStringLiteral("Sparse.vm"));
    writer.finish();

    qint64 compared = 0;
    const auto items = ZipArchiveContents::read(
        archivePath(), ZipArchiveContents::sameAs(QStringLiteral("Sparse.vm/Disk.img"), root + QStringLiteral("/Disk.img"), compared));
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[1].size, length);
    EXPECT_EQ(compared, length);
    EXPECT_LT(QFileInfo(archivePath()).size(), 2LL << 20);
}

TEST_F(ZipArchiveWriterTest, ProgressCountsTheContentThatTravelsHolesIncludedUpToItsSize)
{
    const QString root = path(QStringLiteral("source"));
    ASSERT_TRUE(QDir().mkpath(root));
    constexpr off_t length = 24LL << 20;
    SparseTestFile::write(root + QStringLiteral("/Disk.img"), length, {{length / 2, QByteArrayLiteral("middle")}});
    write(root + QStringLiteral("/sub/notes.txt"), "twelve bytes");
    write(root + QStringLiteral("/Logs/big.log"), QByteArray(5000, 'l'));
    makeLink(QStringLiteral("sub/notes.txt"), root + QStringLiteral("/link"));
    const ZipArchiveWriter::Filter travels = [](const QString &relative, const struct stat &) { return relative != QStringLiteral("Logs"); };

    const qint64 size = ZipArchiveWriter::contentSize(root, travels);
    EXPECT_EQ(size, qint64(length) + 12) << "left-out folders and links carry no content";

    QList<qint64> reported;
    ZipArchiveWriter writer(archivePath());
    writer.setProgress([&](qint64 bytes) { reported << bytes; });
    writer.addFolder(root, QStringLiteral("Top.vm"), travels);
    writer.finish();
    ASSERT_GT(reported.size(), 2) << "reported chunk by chunk";
    EXPECT_TRUE(std::is_sorted(reported.cbegin(), reported.cend()));
    EXPECT_EQ(reported.last(), size);
}

TEST_F(ZipArchiveWriterTest, NamesAreStoredAsFlaggedUTF8)
{
    const QString root = path(QStringLiteral("source"));
    write(root + QString::fromUtf8("/R\xC3\xA9sum\xC3\xA9 \xF0\x9F\x93\x84.txt"), "text");
    ZipArchiveWriter writer(archivePath());
    writer.addFolder(root, QString::fromUtf8("B\xC3\xBCro.vm"));
    writer.finish();

    // Read as bytes: libarchive cannot read such names back under a locale that is not UTF-8.
    const QByteArray archive = read(archivePath());
    EXPECT_EQ(ZipArchiveContents::read(archivePath()).size(), 2);
    EXPECT_TRUE(archive.contains("B\xC3\xBCro.vm/R\xC3\xA9sum\xC3\xA9 \xF0\x9F\x93\x84.txt"));
    // The first local header: its flags' bit 11 says "UTF-8" to every unzip tool, and the name follows at offset 30.
    ASSERT_TRUE(archive.startsWith("PK\x03\x04"));
    EXPECT_TRUE(quint8(archive[7]) & 0x08);
    const int nameLength = quint8(archive[26]) | quint8(archive[27]) << 8;
    EXPECT_EQ(archive.mid(30, nameLength), "B\xC3\xBCro.vm/");
}

TEST_F(ZipArchiveWriterTest, NeverWritesOverAnExistingItem)
{
    write(archivePath(), "keep me");
    expectPosixError([&] { ZipArchiveWriter writer(archivePath()); }, EEXIST, archivePath());
    EXPECT_EQ(read(archivePath()), "keep me");
}

TEST_F(ZipArchiveWriterTest, AnUnfinishedArchiveIsRemoved)
{
    const QString root = path(QStringLiteral("source"));
    write(root + QStringLiteral("/a.txt"), "alpha");
    {
        ZipArchiveWriter writer(archivePath());
        writer.addFolder(root, QStringLiteral("Top.vm"));
        EXPECT_TRUE(QFileInfo::exists(archivePath()));
    }
    EXPECT_FALSE(QFileInfo::exists(archivePath()));

    {
        ZipArchiveWriter writer(archivePath());
        expectPosixError([&] { writer.addFolder(path(QStringLiteral("missing")), QStringLiteral("Top.vm")); }, ENOENT,
                         path(QStringLiteral("missing")));
    }
    EXPECT_FALSE(QFileInfo::exists(archivePath()));
}
