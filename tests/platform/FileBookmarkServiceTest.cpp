// SPDX-License-Identifier: MIT
#include "FileBookmarkService.h"
#include "TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>

void PrintTo(const ResolvedBookmark &resolved, std::ostream *stream)
{
    *stream << resolved.url.toStdString() << (resolved.isStale ? " (stale)" : "");
}

namespace {

/// A disk mounted at <temp>/A/mnt that the test can "mount" elsewhere by moving the folder and changing the table.
class FileBookmarkServiceTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        TestFiles::write(item() + QStringLiteral("/Metadata.json"), "{}");
        ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("B"))));
    }

    QString at(const QString &relative) const { return m_root + QLatin1Char('/') + relative; }
    QString item() const { return at(QStringLiteral("A/mnt/vms/Linux.vm")); }

    /// Moves the disk's folder, as a disk mounted again at another place appears.
    void remount(const QString &from, const QString &to, const QString &root = QStringLiteral("/"))
    {
        ASSERT_EQ(std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()), 0);
        m_mounts[1] = { to, root, QStringLiteral("uuid:DISK") };
    }

    QTemporaryDir m_directory;
    QString m_root = QFileInfo(m_directory.path()).canonicalFilePath();
    QList<MountPoint> m_mounts { { QStringLiteral("/"), QStringLiteral("/"), QStringLiteral("uuid:ROOT") },
        { at(QStringLiteral("A/mnt")), QStringLiteral("/"), QStringLiteral("uuid:DISK") } };
    FileBookmarkService m_service { [this] { return m_mounts; } };
};

TEST_F(FileBookmarkServiceTest, ResolvesToTheSamePathWhileTheItemStaysThere)
{
    const QByteArray bookmark = m_service.makeBookmark(item() + QLatin1Char('/'));
    EXPECT_EQ(m_service.resolveBookmark(bookmark), (ResolvedBookmark { item(), false }));

    // The host's own mount table gives the same answer.
    const FileBookmarkService host;
    EXPECT_EQ(host.resolveBookmark(host.makeBookmark(item())), (ResolvedBookmark { item(), false }));
}

TEST_F(FileBookmarkServiceTest, FindsTheItemOnItsDiskMountedElsewhereAndReportsStale)
{
    const QByteArray bookmark = m_service.makeBookmark(item());

    remount(at(QStringLiteral("A/mnt")), at(QStringLiteral("B/disk")));
    EXPECT_EQ(m_service.resolveBookmark(bookmark), (ResolvedBookmark { at(QStringLiteral("B/disk/vms/Linux.vm")), true }));

    // Another mount of the same disk listed first, with a different item at that place: the same item wins.
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("D/vms/Linux.vm"))));
    m_mounts.insert(1, { at(QStringLiteral("D")), QStringLiteral("/"), QStringLiteral("uuid:DISK") });
    EXPECT_EQ(m_service.resolveBookmark(bookmark), (ResolvedBookmark { at(QStringLiteral("B/disk/vms/Linux.vm")), true }));
    m_mounts.removeAt(1);

    // Only the disk's "vms" folder is mounted (a bind mount), at a third place.
    remount(at(QStringLiteral("B/disk/vms")), at(QStringLiteral("C")), QStringLiteral("/vms"));
    EXPECT_EQ(m_service.resolveBookmark(bookmark), (ResolvedBookmark { at(QStringLiteral("C/Linux.vm")), true }));
}

TEST_F(FileBookmarkServiceTest, AnotherItemInItsPlaceResolvesButIsStale)
{
    const QByteArray bookmark = m_service.makeBookmark(item());
    // Made while the old one still exists, so it cannot reuse the old inode.
    const QString replacement = at(QStringLiteral("A/mnt/vms/replacement"));
    ASSERT_TRUE(QDir().mkpath(replacement));
    ASSERT_TRUE(QDir(item()).removeRecursively());
    ASSERT_EQ(std::rename(QFile::encodeName(replacement).constData(), QFile::encodeName(item()).constData()), 0);

    EXPECT_EQ(m_service.resolveBookmark(bookmark), (ResolvedBookmark { item(), true }));
}

TEST_F(FileBookmarkServiceTest, AGoneItemFailsWithItsLastKnownPath)
{
    const QByteArray bookmark = m_service.makeBookmark(item());
    ASSERT_TRUE(QDir(item()).removeRecursively());

    TestFiles::expectPosixError([&] { m_service.resolveBookmark(bookmark); }, ENOENT, item());
    TestFiles::expectPosixError([&] { m_service.makeBookmark(item()); }, ENOENT, item());
}

TEST_F(FileBookmarkServiceTest, DataThatIsNotABookmarkIsRefused)
{
    const QByteArray ours = m_service.makeBookmark(item());
    const QList<QByteArray> foreign {
        {},
        "book\x00mark",
        "[1, 2]",
        QByteArray(ours).replace("zovozu-bookmark", "other-bookmark"),
        QByteArray(ours).replace("\"version\": 1", "\"version\": 2"),
        QByteArray(ours).replace("\"inode\": ", "\"inode\": -"),
        QByteArray(ours).replace("\"version\": 1", "\"version\": 1e999"),
    };
    for (const QByteArray &data : foreign) {
        try {
            m_service.resolveBookmark(data);
            ADD_FAILURE() << "accepted " << data.toStdString();
        } catch (const PlatformError &error) {
            EXPECT_EQ(error.domain(), PlatformError::Domain::file) << data.toStdString();
            EXPECT_EQ(error.description(), QStringLiteral("The bookmark data isn’t in the correct format."));
        }
    }
}

} // namespace
