// SPDX-License-Identifier: MIT
#include "ZipArchiveEnd.h"

#include "TemporaryHome.h"
#include "TestFiles.h"

#include <QByteArray>
#include <QFile>

#include <archive.h>
#include <archive_entry.h>

#include <gtest/gtest.h>

namespace {

/// A zip of two stored files written by libarchive; with `zip64`, every record in its Zip64 form.
QByteArray zipBytes(const QString &path, bool zip64, const char *comment = nullptr)
{
    archive *writer = archive_write_new();
    archive_write_set_format_zip(writer);
    archive_write_set_options(writer, zip64 ? "zip:compression=store,zip:zip64" : "zip:compression=store");
    EXPECT_EQ(archive_write_open_filename(writer, QFile::encodeName(path).constData()), ARCHIVE_OK);
    for (const char *name : {"BuildManifest.plist", "Firmware/all_flash.img"}) {
        const QByteArray content = QByteArray(name).repeated(300);
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname(entry, name);
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, content.size());
        archive_write_header(writer, entry);
        archive_write_data(writer, content.constData(), size_t(content.size()));
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
    QByteArray bytes = TestFiles::read(path);
    if (comment) {
        // The comment length is the end record's last field, and the comment follows it.
        const QByteArray text(comment);
        bytes[bytes.size() - 2] = char(text.size() & 0xFF);
        bytes[bytes.size() - 1] = char(text.size() >> 8);
        bytes += text;
    }
    return bytes;
}

TEST(ZipArchiveEnd, AWholeArchiveIsCompleteAndEveryCutOneIsNot)
{
    const TemporaryHome home;
    const QString path = home.path() + QStringLiteral("/image.ipsw");
    for (const bool zip64 : {false, true}) {
        SCOPED_TRACE(zip64 ? "Zip64" : "plain");
        const QByteArray whole = zipBytes(path, zip64, "PK\x05\x06 in a comment");
        EXPECT_EQ(whole.contains("PK\x06\x06"), zip64);
        TestFiles::write(path, whole);
        EXPECT_TRUE(ZipArchiveEnd::isComplete(path));

        // Every cut through the records at the end, and a few through the entries.
        for (qsizetype kept = whole.size() - 1; kept > 0; kept -= kept > whole.size() - 130 ? 1 : 997) {
            TestFiles::write(path, whole.left(kept));
            EXPECT_FALSE(ZipArchiveEnd::isComplete(path)) << kept << " of " << whole.size();
        }
        TestFiles::write(path, whole + "trailing bytes");
        EXPECT_FALSE(ZipArchiveEnd::isComplete(path));
    }

    for (const QByteArray &notZip : {QByteArray(), QByteArray("PK\x05\x06"), QByteArray(100000, 'z')}) {
        TestFiles::write(path, notZip);
        EXPECT_FALSE(ZipArchiveEnd::isComplete(path));
    }
    EXPECT_FALSE(ZipArchiveEnd::isComplete(home.path() + QStringLiteral("/missing.ipsw")));
}

} // namespace
