// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <archive.h>
#include <archive_entry.h>

#include <stdexcept>

/**
 * Writes a gzip-compressed tar archive from a list of entries, names taken
 * exactly as given (including absolute ones and ".."), for tests of
 * extraction. Tests that use it link libarchive (through zovozu_platform).
 *
 *     TarGzArchive::write(path, {TarGzArchive::file("qemu/1/bin/tool", "#!/bin/sh\n", 0755)});
 */
namespace TarGzArchive {

struct Entry {
    enum class Kind { file, folder, symbolicLink, hardLink };
    Kind kind = Kind::file;
    QByteArray name;
    QByteArray content;
    int mode = 0644;
    /// The link's text, or the hard link's entry name.
    QByteArray target;
};

inline Entry file(const QByteArray &name, const QByteArray &content, int mode = 0644)
{
    return {Entry::Kind::file, name, content, mode, {}};
}
inline Entry folder(const QByteArray &name)
{
    return {Entry::Kind::folder, name, {}, 0755, {}};
}
inline Entry symbolicLink(const QByteArray &name, const QByteArray &target)
{
    return {Entry::Kind::symbolicLink, name, {}, 0777, target};
}
inline Entry hardLink(const QByteArray &name, const QByteArray &target)
{
    return {Entry::Kind::hardLink, name, {}, 0644, target};
}

inline void write(const QString &path, const QList<Entry> &entries)
{
    archive *writer = archive_write_new();
    archive_write_add_filter_gzip(writer);
    archive_write_set_format_pax_restricted(writer);
    if (archive_write_open_filename(writer, QFile::encodeName(path).constData()) != ARCHIVE_OK) {
        archive_write_free(writer);
        throw std::runtime_error("the test archive cannot be created");
    }
    for (const Entry &item : entries) {
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname(entry, item.name.constData());
        archive_entry_set_perm(entry, item.mode);
        switch (item.kind) {
        case Entry::Kind::file:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_size(entry, item.content.size());
            break;
        case Entry::Kind::folder:
            archive_entry_set_filetype(entry, AE_IFDIR);
            break;
        case Entry::Kind::symbolicLink:
            archive_entry_set_filetype(entry, AE_IFLNK);
            archive_entry_set_symlink(entry, item.target.constData());
            break;
        case Entry::Kind::hardLink:
            archive_entry_set_filetype(entry, AE_IFREG);
            archive_entry_set_hardlink(entry, item.target.constData());
            break;
        }
        archive_write_header(writer, entry);
        if (item.kind == Entry::Kind::file && !item.content.isEmpty())
            archive_write_data(writer, item.content.constData(), size_t(item.content.size()));
        archive_entry_free(entry);
    }
    archive_write_close(writer);
    archive_write_free(writer);
}

/// The archive's bytes, for serving it.
inline QByteArray bytes(const QString &path, const QList<Entry> &entries)
{
    write(path, entries);
    QFile archive(path);
    if (!archive.open(QIODevice::ReadOnly))
        throw std::runtime_error("the test archive cannot be read back");
    return archive.readAll();
}

} // namespace TarGzArchive
