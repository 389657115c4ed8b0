// SPDX-License-Identifier: MIT
#include "ISO9660Volume.h"

#include <QFile>

namespace {
constexpr qint64 descriptorOffset = 32768;
constexpr qint64 descriptorLength = 2048;

quint32 littleEndian32(const QByteArray &bytes, int offset)
{
    return quint32(quint8(bytes[offset])) | quint32(quint8(bytes[offset + 1])) << 8 | quint32(quint8(bytes[offset + 2])) << 16
        | quint32(quint8(bytes[offset + 3])) << 24;
}

quint16 littleEndian16(const QByteArray &bytes, int offset)
{
    return quint16(quint8(bytes[offset]) | quint8(bytes[offset + 1]) << 8);
}
} // namespace

bool ISO9660Volume::isComplete(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(descriptorOffset))
        return false;
    const QByteArray descriptor = file.read(descriptorLength);
    if (descriptor.size() != descriptorLength || descriptor[0] != 1 || descriptor.mid(1, 5) != "CD001")
        return false;
    const quint64 blocks = littleEndian32(descriptor, 80);
    const quint64 blockSize = littleEndian16(descriptor, 128);
    return blockSize > 0 && quint64(file.size()) >= blocks * blockSize;
}
