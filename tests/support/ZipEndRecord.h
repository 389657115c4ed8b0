// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

/**
 * Makes test bytes end the way a zip archive (and so a restore image) ends:
 * `content` followed by the end record of a central directory with no
 * entries. The whole reads as a complete archive; any cut loses the record.
 *
 *     const QByteArray image = ZipEndRecord::appendedTo(QByteArray(600000, 'I'));
 */
namespace ZipEndRecord {

inline QByteArray appendedTo(QByteArray content)
{
    const qint64 directoryOffset = content.size(); // the empty directory begins where the content ends
    QByteArray record("PK\x05\x06", 4);
    record += QByteArray(12, '\0'); // disk numbers, entry counts and directory size: all 0
    for (int shift = 0; shift < 32; shift += 8)
        record += char((directoryOffset >> shift) & 0xFF);
    record += QByteArray(2, '\0'); // no comment
    return content + record;
}

} // namespace ZipEndRecord
