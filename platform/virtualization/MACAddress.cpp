// SPDX-License-Identifier: MIT
#include "MACAddress.h"

#include <QRandomGenerator>
#include <QStringList>

MACAddress::MACAddress(const Bytes &bytes)
    : m_bytes(bytes)
{
}

MACAddress MACAddress::randomLocallyAdministered()
{
    Bytes bytes{};
    for (quint8 &byte : bytes)
        byte = quint8(QRandomGenerator::system()->bounded(256));
    bytes[0] = quint8((bytes[0] & ~0x01) | 0x02);
    return MACAddress(bytes);
}

std::optional<MACAddress> MACAddress::fromString(QStringView text)
{
    const auto parts = text.split(u':');
    if (parts.size() != 6)
        return std::nullopt;
    Bytes bytes{};
    for (size_t index = 0; index < bytes.size(); ++index) {
        const QStringView part = parts[qsizetype(index)];
        bool ok = false;
        const uint value = part.toUInt(&ok, 16);
        if (part.size() != 2 || !ok || !part[0].isLetterOrNumber() || !part[1].isLetterOrNumber())
            return std::nullopt;
        bytes[index] = quint8(value);
    }
    return MACAddress(bytes);
}

QString MACAddress::toString() const
{
    QStringList parts;
    for (const quint8 byte : m_bytes)
        parts << QStringLiteral("%1").arg(byte, 2, 16, QLatin1Char('0'));
    return parts.join(QLatin1Char(':'));
}
