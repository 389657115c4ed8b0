// SPDX-License-Identifier: MIT
#include "ZipArchiveEnd.h"

#include <QFile>

#include <algorithm>

namespace {

constexpr qint64 endRecordSize = 22;
constexpr qint64 longestComment = 0xFFFF;
constexpr qint64 zip64LocatorSize = 20;
constexpr qint64 zip64RecordSize = 56;

quint64 littleEndian(const QByteArray &bytes, qint64 offset, int size)
{
    quint64 value = 0;
    for (int index = size - 1; index >= 0; --index)
        value = value << 8 | quint8(bytes[offset + index]);
    return value;
}

QByteArray readAt(QFile &file, qint64 offset, qint64 size)
{
    if (offset < 0 || !file.seek(offset))
        return {};
    return file.read(size);
}

struct Directory {
    quint64 entries = 0;
    quint64 size = 0;
    quint64 offset = 0;
    /// Where the records after the directory begin: the end record, or the Zip64 record.
    quint64 end = 0;
};

/// The directory a Zip64 archive names, through the locator just before its end record.
bool readZip64Directory(QFile &file, qint64 endRecordOffset, Directory &directory)
{
    const QByteArray locator = readAt(file, endRecordOffset - zip64LocatorSize, zip64LocatorSize);
    if (locator.size() != zip64LocatorSize || !locator.startsWith("PK\x06\x07"))
        return false;
    const quint64 recordOffset = littleEndian(locator, 8, 8);
    if (recordOffset > quint64(endRecordOffset - zip64LocatorSize - zip64RecordSize))
        return false;
    const QByteArray record = readAt(file, qint64(recordOffset), zip64RecordSize);
    if (record.size() != zip64RecordSize || !record.startsWith("PK\x06\x06"))
        return false;
    directory = {littleEndian(record, 32, 8), littleEndian(record, 40, 8), littleEndian(record, 48, 8), recordOffset};
    return true;
}

} // namespace

bool ZipArchiveEnd::isComplete(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 size = file.size();
    const qint64 tailStart = std::max<qint64>(0, size - endRecordSize - longestComment);
    const QByteArray tail = readAt(file, tailStart, size - tailStart);
    if (tail.size() != size - tailStart)
        return false;

    // Searched from the end: only the record whose comment reaches exactly to the end of the file counts.
    for (qint64 at = tail.size() - endRecordSize; at >= 0; --at) {
        if (tail[at] != 'P' || tail.mid(at, 4) != "PK\x05\x06" || at + endRecordSize + qint64(littleEndian(tail, at + 20, 2)) != tail.size())
            continue;
        const qint64 recordOffset = tailStart + at;
        Directory directory{littleEndian(tail, at + 10, 2), littleEndian(tail, at + 12, 4), littleEndian(tail, at + 16, 4), quint64(recordOffset)};
        const bool zip64 = directory.entries == 0xFFFF || directory.size == 0xFFFFFFFF || directory.offset == 0xFFFFFFFF;
        if (zip64 && !readZip64Directory(file, recordOffset, directory))
            return false;
        if (directory.offset > directory.end || directory.size > directory.end - directory.offset)
            return false;
        return directory.entries == 0 || readAt(file, qint64(directory.offset), 4) == "PK\x01\x02";
    }
    return false;
}
