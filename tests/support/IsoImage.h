// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>

#include <archive.h>
#include <archive_entry.h>

#include <memory>
#include <utility>

/**
 * Writes small ISO 9660 images for tests with libarchive, optionally grown
 * (sparsely) to a given size afterwards, as a real installation image would
 * be large.
 */
namespace IsoImage {

using File = std::pair<QByteArray, QByteArray>; // path inside the image, content

inline bool write(const QString &path, const QList<File> &files, qint64 sparseSize = 0)
{
    const std::unique_ptr<archive, decltype(&archive_write_free)> writer(archive_write_new(), &archive_write_free);
    archive_write_set_format_iso9660(writer.get());
    if (archive_write_open_filename(writer.get(), QFile::encodeName(path).constData()) != ARCHIVE_OK)
        return false;
    for (const auto &[name, content] : files) {
        archive_entry *entry = archive_entry_new();
        archive_entry_set_pathname(entry, name.constData());
        archive_entry_set_filetype(entry, AE_IFREG);
        archive_entry_set_perm(entry, 0644);
        archive_entry_set_size(entry, content.size());
        archive_write_header(writer.get(), entry);
        archive_write_data(writer.get(), content.constData(), size_t(content.size()));
        archive_entry_free(entry);
    }
    if (archive_write_close(writer.get()) != ARCHIVE_OK)
        return false;
    return sparseSize == 0 || QFile::resize(path, sparseSize);
}

} // namespace IsoImage
