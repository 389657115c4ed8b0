// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QStringList>

#include <archive.h>
#include <archive_entry.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

/**
 * Reads a zip archive back with libarchive, for the tests of what writes
 * one. Small files keep their content; every file's data can also be
 * checked block by block, so that gigabytes need not be held in memory.
 */
namespace ZipArchiveContents {

struct Item {
    QString path;
    mode_t type = 0;
    mode_t permissions = 0;
    qint64 size = 0;
    QString linkTarget;
    /// The data of files up to 1 MiB.
    QByteArray content;
};

using DataCheck = std::function<void(const Item &item, qint64 offset, const char *data, size_t size)>;

inline QList<Item> read(const QString &archivePath, const DataCheck &check = {})
{
    struct Reader {
        void operator()(struct archive *archive) const { archive_read_free(archive); }
    };
    const std::unique_ptr<struct archive, Reader> archive(archive_read_new());
    archive_read_support_format_zip(archive.get());
    QList<Item> items;
    if (archive_read_open_filename(archive.get(), QFile::encodeName(archivePath).constData(), 1 << 16) != ARCHIVE_OK) {
        ADD_FAILURE() << "cannot open " << archivePath.toStdString() << ": " << archive_error_string(archive.get());
        return items;
    }
    std::vector<char> buffer(1 << 20);
    for (;;) {
        archive_entry *entry = nullptr;
        const int status = archive_read_next_header(archive.get(), &entry);
        if (status == ARCHIVE_EOF)
            break;
        if (status != ARCHIVE_OK && status != ARCHIVE_WARN) {
            ADD_FAILURE() << "bad entry: " << archive_error_string(archive.get());
            break;
        }
        Item item;
        const char *utf8 = archive_entry_pathname_utf8(entry);
        item.path = QString::fromUtf8(utf8 ? utf8 : archive_entry_pathname(entry));
        item.type = archive_entry_filetype(entry);
        item.permissions = archive_entry_perm(entry);
        item.size = archive_entry_size(entry);
        if (const char *target = archive_entry_symlink_utf8(entry))
            item.linkTarget = QString::fromUtf8(target);
        qint64 offset = 0;
        for (;;) {
            const la_ssize_t got = archive_read_data(archive.get(), buffer.data(), buffer.size());
            if (got < 0) {
                ADD_FAILURE() << "bad data in " << item.path.toStdString() << ": " << archive_error_string(archive.get());
                break;
            }
            if (got == 0)
                break;
            if (check)
                check(item, offset, buffer.data(), size_t(got));
            if (item.size <= (1 << 20))
                item.content.append(buffer.data(), got);
            offset += got;
        }
        EXPECT_EQ(offset, item.type == AE_IFREG ? item.size : 0) << item.path.toStdString();
        items.append(item);
    }
    return items;
}

inline QStringList paths(const QList<Item> &items)
{
    QStringList list;
    for (const Item &item : items)
        list << item.path;
    return list;
}

inline const Item *find(const QList<Item> &items, const QString &path)
{
    for (const Item &item : items) {
        if (item.path == path)
            return &item;
    }
    return nullptr;
}

/**
 * A data check that compares the entry at `entryPath` with the file at
 * `sourcePath`, byte for byte; `compared` counts the bytes it saw.
 */
inline DataCheck sameAs(const QString &entryPath, const QString &sourcePath, qint64 &compared)
{
    const std::shared_ptr<int> source(new int(::open(QFile::encodeName(sourcePath).constData(), O_RDONLY | O_CLOEXEC)), [](int *file) {
        ::close(*file);
        delete file;
    });
    auto expected = std::make_shared<std::vector<char>>();
    return [=, &compared](const Item &item, qint64 offset, const char *data, size_t size) {
        if (item.path != entryPath)
            return;
        expected->resize(size);
        const ssize_t got = ::pread(*source, expected->data(), size, offset);
        ASSERT_EQ(got, ssize_t(size)) << "source ends early at " << offset;
        ASSERT_EQ(std::memcmp(expected->data(), data, size), 0) << "content differs near offset " << offset;
        compared += qint64(size);
    };
}

} // namespace ZipArchiveContents
