// SPDX-License-Identifier: MIT
#include "TarArchiveExtraction.h"

#include "PlatformError.h"
#include "TarGzArchive.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

using TarGzArchive::file;
using TarGzArchive::folder;
using TarGzArchive::hardLink;
using TarGzArchive::symbolicLink;

QByteArray contentOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

/// An archive and the folder it goes to, inside a parent that must stay untouched beside them.
class TarArchiveExtractionTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(target())); }

    QString target() const { return m_directory.path() + QStringLiteral("/parent/target"); }
    QString archive() const { return m_directory.path() + QStringLiteral("/package.tar.gz"); }

    void extract(const QList<TarGzArchive::Entry> &entries, int strip = 0)
    {
        TarGzArchive::write(archive(), entries);
        TarArchiveExtraction::extract(archive(), target(), strip);
    }

    /// Everything below the parent folder that is not inside the target.
    QStringList itemsOutsideTarget() const
    {
        QStringList outside;
        QDirIterator items(m_directory.path(), QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
        while (items.hasNext()) {
            const QString item = items.next();
            if (!item.startsWith(target()) && item != archive() && item != m_directory.path() + QStringLiteral("/parent"))
                outside << item;
        }
        return outside;
    }

    QTemporaryDir m_directory;
};

TEST_F(TarArchiveExtractionTest, UnpacksFilesFoldersAndLinksBelowTheStrippedComponents)
{
    extract({folder("qemu/10.2.2/"),
             file("qemu/10.2.2/bin/qemu-system-aarch64", "#!/bin/sh\necho QEMU\n", 0755),
             file("qemu/10.2.2/share/qemu/keymap", "en-us"),
             symbolicLink("qemu/10.2.2/share/qemu/default-keymap", "keymap"),
             symbolicLink("qemu/10.2.2/lib/share", "../share"),
             hardLink("qemu/10.2.2/bin/qemu-copy", "qemu/10.2.2/bin/qemu-system-aarch64"),
             file("qemu/INSTALL_RECEIPT", "too shallow: stripped away"),
             file("./qemu/./10.2.2//etc/config", "dots and doubled slashes are no components")},
            2);

    const QString program = target() + QStringLiteral("/bin/qemu-system-aarch64");
    EXPECT_EQ(contentOf(program), "#!/bin/sh\necho QEMU\n");
    EXPECT_TRUE(QFileInfo(program).isExecutable());
    EXPECT_EQ(contentOf(target() + QStringLiteral("/share/qemu/default-keymap")), "en-us");
    EXPECT_EQ(QFileInfo(target() + QStringLiteral("/share/qemu/default-keymap")).symLinkTarget(), target() + QStringLiteral("/share/qemu/keymap"));
    EXPECT_TRUE(QFileInfo(target() + QStringLiteral("/lib/share")).isSymLink());
    struct stat original {
    }, copy{};
    ASSERT_EQ(::stat(QFile::encodeName(program).constData(), &original), 0);
    ASSERT_EQ(::stat(QFile::encodeName(target() + QStringLiteral("/bin/qemu-copy")).constData(), &copy), 0);
    EXPECT_EQ(original.st_ino, copy.st_ino);
    EXPECT_EQ(contentOf(target() + QStringLiteral("/etc/config")), "dots and doubled slashes are no components");
    EXPECT_FALSE(QFileInfo::exists(target() + QStringLiteral("/INSTALL_RECEIPT")));
    EXPECT_TRUE(itemsOutsideTarget().isEmpty()) << itemsOutsideTarget().join(QLatin1Char(' ')).toStdString();
}

TEST_F(TarArchiveExtractionTest, ReplacesFilesOfAnEarlierExtraction)
{
    extract({file("bin/tool", "old", 0444)});
    extract({file("bin/tool", "new", 0755)});
    EXPECT_EQ(contentOf(target() + QStringLiteral("/bin/tool")), "new");
}

TEST_F(TarArchiveExtractionTest, RefusesEveryEntryThatWouldLandOutsideTheTarget)
{
    const struct {
        const char *what;
        QList<TarGzArchive::Entry> entries;
    } cases[] = {
        {"a name climbing out", {file("../escaped", "x")}},
        {"a name climbing out after the stripped part", {file("qemu/1/../../../escaped", "x")}},
        {"a name climbing out from a stripped component", {file("../x/escaped", "x")}},
        {"an absolute name", {file(QFile::encodeName(m_directory.path() + QStringLiteral("/parent/escaped")), "x")}},
        {"a link to an absolute path", {symbolicLink("qemu/1/escaped", QFile::encodeName(m_directory.path()))}},
        {"a link climbing out", {symbolicLink("qemu/1/bin/escaped", "../../escaped")}},
        {"a hard link to a name climbing out", {hardLink("qemu/1/escaped", "../../package.tar.gz")}},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        EXPECT_THROW(extract(testCase.entries, 2), TarArchiveExtraction::ArchiveError);
        EXPECT_TRUE(itemsOutsideTarget().isEmpty()) << itemsOutsideTarget().join(QLatin1Char(' ')).toStdString();
    }
}

TEST_F(TarArchiveExtractionTest, NeverWritesThroughALink)
{
    const QString outside = m_directory.path() + QStringLiteral("/parent/outside");
    ASSERT_TRUE(QDir().mkpath(outside));

    // A link the archive itself made, inside the target but pointing to a folder.
    EXPECT_THROW(extract({folder("data/"), symbolicLink("share", "data"), file("share/file", "x")}), PlatformError);
    EXPECT_FALSE(QFileInfo::exists(target() + QStringLiteral("/data/file")));

    // A link already in the target that leads out of it.
    ASSERT_TRUE(QFile::link(outside, target() + QStringLiteral("/bin")));
    EXPECT_THROW(extract({file("bin/qemu-system-aarch64", "x")}), PlatformError);
    EXPECT_THROW(extract({symbolicLink("bin/link", "x")}), PlatformError);
    EXPECT_TRUE(QDir(outside).isEmpty());

    // A link in place of the file itself is replaced, its target left alone.
    ASSERT_TRUE(QFile::link(outside + QStringLiteral("/victim"), target() + QStringLiteral("/tool")));
    extract({file("tool", "new")});
    EXPECT_FALSE(QFileInfo(target() + QStringLiteral("/tool")).isSymLink());
    EXPECT_FALSE(QFileInfo::exists(outside + QStringLiteral("/victim")));
}

TEST_F(TarArchiveExtractionTest, AFileThatIsNoArchiveFails)
{
    QFile notAnArchive(archive());
    ASSERT_TRUE(notAnArchive.open(QIODevice::WriteOnly));
    notAnArchive.write("definitely not gzip");
    notAnArchive.close();
    EXPECT_THROW(TarArchiveExtraction::extract(archive(), target(), 2), TarArchiveExtraction::ArchiveError);
    EXPECT_THROW(TarArchiveExtraction::extract(archive() + QStringLiteral(".missing"), target(), 2), TarArchiveExtraction::ArchiveError);
}

} // namespace
