// SPDX-License-Identifier: MIT
#include "ConfinedFolder.h"

#include "TestFiles.h"

#include <QMap>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace {

class ConfinedFolderTest : public ::testing::Test
{
protected:
    QString at(const QString &relative) const { return m_root.path() + QLatin1Char('/') + relative; }

    QTemporaryDir m_root;
};

TEST_F(ConfinedFolderTest, OpeningALinkOrAFileFailsInsteadOfFollowing)
{
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("real"))));
    TestFiles::makeLink(at(QStringLiteral("real")), at(QStringLiteral("link")));
    TestFiles::write(at(QStringLiteral("file")), "x");

    TestFiles::expectPosixError([&] { ConfinedFolder::open(at(QStringLiteral("link"))); }, ENOTDIR, at(QStringLiteral("link")));
    TestFiles::expectPosixError([&] { ConfinedFolder::open(at(QStringLiteral("file"))); }, ENOTDIR, at(QStringLiteral("file")));
    const ConfinedFolder real = ConfinedFolder::open(at(QStringLiteral("real")));
    TestFiles::expectPosixError([&] { real.subfolder(QStringLiteral("missing")); }, ENOENT, at(QStringLiteral("real/missing")));
}

TEST_F(ConfinedFolderTest, CreatingReplacesALinkWithARealFolderAndLeavesItsTargetAlone)
{
    const QString outside = at(QStringLiteral("outside"));
    TestFiles::write(outside + QStringLiteral("/keep.json"), "{}");
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("bundle/Automation"))));
    TestFiles::makeLink(outside, at(QStringLiteral("bundle/Automation/Requests")));

    const ConfinedFolder requests
        = ConfinedFolder::open(at(QStringLiteral("bundle/Automation"))).createSubfolder(QStringLiteral("Requests"));
    requests.writeFileAtomically(QStringLiteral("new.json"), "{}");

    EXPECT_FALSE(QFileInfo(at(QStringLiteral("bundle/Automation/Requests"))).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(at(QStringLiteral("bundle/Automation/Requests/new.json"))));
    EXPECT_EQ(QDir(outside).entryList(QDir::Files), QStringList { QStringLiteral("keep.json") });

    // The same for a folder made by its path, and a folder that is already there stays with its content.
    TestFiles::makeLink(outside, at(QStringLiteral("top")));
    ConfinedFolder::create(at(QStringLiteral("top")));
    EXPECT_FALSE(QFileInfo(at(QStringLiteral("top"))).isSymLink());
    ASSERT_TRUE(QDir().mkpath(at(QStringLiteral("deep/er"))));
    ConfinedFolder::create(at(QStringLiteral("deep/er/folder"))).writeFileAtomically(QStringLiteral("a"), "1");
    ConfinedFolder::create(at(QStringLiteral("deep/er/folder")));
    EXPECT_EQ(TestFiles::read(at(QStringLiteral("deep/er/folder/a"))), "1");

    TestFiles::write(at(QStringLiteral("plain")), "not a folder");
    TestFiles::expectPosixError([&] { ConfinedFolder::create(at(QStringLiteral("plain"))); }, EEXIST, at(QStringLiteral("plain")));
}

TEST_F(ConfinedFolderTest, CreatingNeverMakesAMissingParent)
{
    // A folder inside a bundle folder that has gone must not bring the bundle folder back, empty.
    TestFiles::expectPosixError(
        [&] { ConfinedFolder::create(at(QStringLiteral("Gone.vm/Automation"))); }, ENOENT, at(QStringLiteral("Gone.vm")));
    TestFiles::expectPosixError([&] { ConfinedFolder::create(at(QStringLiteral("Gone.vm/Logs/deeper"))); }, ENOENT,
                                at(QStringLiteral("Gone.vm/Logs")));
    EXPECT_FALSE(QFileInfo::exists(at(QStringLiteral("Gone.vm"))));
}

TEST_F(ConfinedFolderTest, ReadsRegularFilesOnlyWithoutBlockingAndUpToTheCap)
{
    const ConfinedFolder folder = ConfinedFolder::create(at(QStringLiteral("guest")));
    TestFiles::write(folder.pathOf(QStringLiteral("secret")), "host secret");
    TestFiles::write(folder.pathOf(QStringLiteral("record.json")), "0123456789");
    TestFiles::makeLink(folder.pathOf(QStringLiteral("secret")), folder.pathOf(QStringLiteral("link.json")));
    TestFiles::makeFifo(folder.pathOf(QStringLiteral("fifo.json")));
    ASSERT_TRUE(QDir().mkpath(folder.pathOf(QStringLiteral("folder.json"))));
    {
        // 2 GiB of nothing: a cap checked only after reading would take the whole of it into memory.
        QFile sparse(folder.pathOf(QStringLiteral("sparse.json")));
        ASSERT_TRUE(sparse.open(QIODevice::WriteOnly));
        ASSERT_TRUE(sparse.resize(qint64(2) * 1024 * 1024 * 1024));
    }

    EXPECT_EQ(folder.readFile(QStringLiteral("record.json"), 10), "0123456789");
    const struct {
        const char *name;
        int error;
    } refused[] = {
        { "record.json", EFBIG }, // one byte over a cap of 9
        { "link.json", ELOOP },
        { "fifo.json", EINVAL },
        { "folder.json", EISDIR },
        { "sparse.json", EFBIG },
        { "missing.json", ENOENT },
    };
    for (const auto &[name, error] : refused) {
        SCOPED_TRACE(name);
        const QString fileName = QString::fromLatin1(name);
        TestFiles::expectPosixError([&] { folder.readFile(fileName, 9); }, error, folder.pathOf(fileName));
    }

    // Reading only the start cuts what is too long, and refuses every other item the same way.
    const auto start = [&](const char *name, qint64 cap) { return folder.readFileStart(QString::fromLatin1(name), cap); };
    EXPECT_EQ(start("record.json", 10).data, "0123456789");
    EXPECT_TRUE(start("record.json", 10).isWhole);
    EXPECT_EQ(start("record.json", 4).data, "0123");
    EXPECT_FALSE(start("record.json", 4).isWhole);
    EXPECT_EQ(start("sparse.json", 9).data, QByteArray(9, '\0'));
    EXPECT_FALSE(start("sparse.json", 9).isWhole);
    for (const auto &[name, error] : refused) {
        if (error == EFBIG)
            continue;
        SCOPED_TRACE(name);
        TestFiles::expectPosixError([&] { start(name, 9); }, error, folder.pathOf(QString::fromLatin1(name)));
    }
}

TEST_F(ConfinedFolderTest, AtomicWriteReplacesALinkInsteadOfWritingThroughIt)
{
    const ConfinedFolder folder = ConfinedFolder::create(at(QStringLiteral("guest")));
    TestFiles::write(at(QStringLiteral("host.txt")), "host data");
    TestFiles::makeLink(at(QStringLiteral("host.txt")), folder.pathOf(QStringLiteral("HostClipboard.json")));

    folder.writeFileAtomically(QStringLiteral("HostClipboard.json"), "new");

    EXPECT_EQ(TestFiles::read(at(QStringLiteral("host.txt"))), "host data");
    EXPECT_FALSE(QFileInfo(folder.pathOf(QStringLiteral("HostClipboard.json"))).isSymLink());
    EXPECT_EQ(folder.readFile(QStringLiteral("HostClipboard.json"), 100), "new");
    EXPECT_EQ(QDir(folder.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
        QStringList { QStringLiteral("HostClipboard.json") }); // no temporary file left behind
}

TEST_F(ConfinedFolderTest, ListsEntriesWithTheirOwnAttributesAndRemovesFilesButNotFolders)
{
    const ConfinedFolder folder = ConfinedFolder::create(at(QStringLiteral("guest")));
    TestFiles::write(folder.pathOf(QStringLiteral("a.json")), "abc");
    TestFiles::write(folder.pathOf(QStringLiteral(".hidden")), "");
    TestFiles::makeLink(QStringLiteral("/nowhere"), folder.pathOf(QStringLiteral("dangling")));
    ASSERT_TRUE(QDir().mkpath(folder.pathOf(QStringLiteral("sub"))));

    QMap<QString, ItemAttributes::Status::Kind> kinds;
    for (const ConfinedFolder::Entry &entry : folder.entries()) {
        ASSERT_TRUE(entry.status) << entry.name.toStdString();
        kinds.insert(entry.name, entry.status->kind);
        if (entry.name == u"a.json") {
            EXPECT_EQ(entry.status->size, 3u);
        }
    }
    using Kind = ItemAttributes::Status::Kind;
    EXPECT_EQ(kinds,
        (QMap<QString, Kind> { { QStringLiteral("a.json"), Kind::file }, { QStringLiteral(".hidden"), Kind::file },
            { QStringLiteral("dangling"), Kind::link }, { QStringLiteral("sub"), Kind::folder } }));
    EXPECT_TRUE(folder.contains(QStringLiteral("dangling")));
    EXPECT_FALSE(folder.contains(QStringLiteral("missing")));

    folder.removeFile(QStringLiteral("dangling"));
    EXPECT_FALSE(folder.contains(QStringLiteral("dangling")));
    TestFiles::expectPosixError([&] { folder.removeFile(QStringLiteral("sub")); }, EISDIR, folder.pathOf(QStringLiteral("sub")));
}

} // namespace
