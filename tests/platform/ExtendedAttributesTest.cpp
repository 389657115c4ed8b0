// SPDX-License-Identifier: MIT
#include "ExtendedAttributes.h"
#include "FileDescriptor.h"
#include "TestFiles.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <sys/xattr.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace {

class ExtendedAttributesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const QString probe = at(QStringLiteral(".probe"));
        TestFiles::write(probe, "x");
        m_userAttributesSupported = ::setxattr(QFile::encodeName(probe).constData(), "user.zovozu.probe", "1", 1, 0) == 0;
    }

    QString at(const QString &relative) const { return m_directory.path() + QLatin1Char('/') + relative; }

    void requireUserAttributes() const
    {
        if (!m_userAttributesSupported)
            GTEST_SKIP() << "the temporary folder's file system keeps no user attributes";
    }

    static void quarantine(const QString &path)
    {
        static constexpr char value[] = "0081;00000000;Browser;";
        ASSERT_EQ(::setxattr(QFile::encodeName(path).constData(), ExtendedAttributes::quarantineAttribute, value, sizeof value - 1, 0), 0)
            << path.toStdString() << ": " << std::strerror(errno);
    }

    static bool isQuarantined(const QString &path)
    {
        return ::lgetxattr(QFile::encodeName(path).constData(), ExtendedAttributes::quarantineAttribute, nullptr, 0) >= 0;
    }

    QTemporaryDir m_directory;
    bool m_userAttributesSupported = false;
};

TEST_F(ExtendedAttributesTest, RemovingTheQuarantineOfAMarkedItemClearsIt)
{
    requireUserAttributes();
    const QString file = at(QStringLiteral("Disk.img"));
    const QString folder = at(QStringLiteral("Bundle.vm"));
    TestFiles::write(file, "x");
    ASSERT_TRUE(QDir().mkpath(folder));
    quarantine(file);
    quarantine(folder);

    ExtendedAttributes::removeQuarantine(file);
    ExtendedAttributes::removeQuarantine(folder);

    EXPECT_FALSE(isQuarantined(file));
    EXPECT_FALSE(isQuarantined(folder));
}

TEST_F(ExtendedAttributesTest, NothingToRemoveCountsAsDone)
{
    TestFiles::write(at(QStringLiteral("clean")), "x");
    TestFiles::makeFifo(at(QStringLiteral("pipe")));
    TestFiles::makeLink(at(QStringLiteral("nowhere")), at(QStringLiteral("dangling")));

    const FileDescriptor socketFile(::socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un address {};
    address.sun_family = AF_UNIX;
    const QByteArray socketPath = QFile::encodeName(at(QStringLiteral("qmp.sock")));
    ASSERT_LT(size_t(socketPath.size()), sizeof address.sun_path);
    std::memcpy(address.sun_path, socketPath.constData(), size_t(socketPath.size()));
    ASSERT_EQ(::bind(socketFile.get(), reinterpret_cast<const sockaddr *>(&address), sizeof address), 0);

    for (const char *name : { "clean", "missing", "pipe", "dangling", "qmp.sock" })
        EXPECT_NO_THROW(ExtendedAttributes::removeQuarantine(at(QString::fromLatin1(name)))) << name;
}

TEST_F(ExtendedAttributesTest, ALinkIsNotFollowedSoItsTargetKeepsTheQuarantine)
{
    requireUserAttributes();
    const QString target = at(QStringLiteral("target"));
    TestFiles::write(target, "x");
    quarantine(target);
    TestFiles::makeLink(target, at(QStringLiteral("link")));

    ExtendedAttributes::removeQuarantine(at(QStringLiteral("link")));

    EXPECT_TRUE(isQuarantined(target));
}

TEST_F(ExtendedAttributesTest, AnyOtherFailureCarriesErrnoAndPath)
{
    TestFiles::write(at(QStringLiteral("file")), "x");
    const QString impossible = at(QStringLiteral("file/child"));
    TestFiles::expectPosixError([&] { ExtendedAttributes::removeQuarantine(impossible); }, ENOTDIR, impossible);
    TestFiles::expectPosixError(
        [&] { ExtendedAttributes::removeQuarantineRecursively(at(QStringLiteral("file"))); }, ENOTDIR, at(QStringLiteral("file")));
    TestFiles::expectPosixError(
        [&] { ExtendedAttributes::setExcludedFromBackup(at(QStringLiteral("missing"))); }, ENOENT, at(QStringLiteral("missing")));
}

TEST_F(ExtendedAttributesTest, RecursiveStripClearsVisibleItemsBelowTheFolderOnly)
{
    requireUserAttributes();
    const QString bundle = at(QStringLiteral("Bundle.vm"));
    const QStringList cleared { bundle + QStringLiteral("/Metadata.json"), bundle + QStringLiteral("/Logs"),
        bundle + QStringLiteral("/Logs/app.log") };
    const QStringList kept { bundle, bundle + QStringLiteral("/.hidden"), bundle + QStringLiteral("/.hidden/file"),
        bundle + QStringLiteral("/.dot-file"), at(QStringLiteral("outside/file")), at(QStringLiteral("outside")) };
    for (const QString &path : { cleared[0], cleared[2], kept[2], kept[3], kept[4] })
        TestFiles::write(path, "x");
    for (const QString &path : cleared + kept)
        quarantine(path);
    TestFiles::makeLink(at(QStringLiteral("outside")), bundle + QStringLiteral("/linked-folder"));
    TestFiles::makeLink(at(QStringLiteral("outside/file")), bundle + QStringLiteral("/linked-file"));
    TestFiles::makeFifo(bundle + QStringLiteral("/pipe"));

    ExtendedAttributes::removeQuarantineRecursively(bundle);

    for (const QString &path : cleared)
        EXPECT_FALSE(isQuarantined(path)) << path.toStdString();
    for (const QString &path : kept)
        EXPECT_TRUE(isQuarantined(path)) << path.toStdString();
    EXPECT_NO_THROW(ExtendedAttributes::removeQuarantineRecursively(at(QStringLiteral("missing"))));
}

TEST_F(ExtendedAttributesTest, ExcludedFromBackupIsMarkedTrue)
{
    requireUserAttributes();
    const QString path = at(QStringLiteral("Disk.img"));
    TestFiles::write(path, "x");

    ExtendedAttributes::setExcludedFromBackup(path);

    char value[16] = {};
    const ssize_t length
        = ::getxattr(QFile::encodeName(path).constData(), ExtendedAttributes::excludedFromBackupAttribute, value, sizeof value);
    EXPECT_EQ(QByteArray(value, int(std::max<ssize_t>(length, 0))), QByteArray("true"));
}

} // namespace
