// SPDX-License-Identifier: MIT
#include "IPv4Subnet.h"

#include <QStringList>

namespace IPv4Subnet {

namespace {

    /// A decimal number of at most `maximumDigits` ASCII digits, without a leading zero unless it is 0.
    std::optional<quint32> decimal(const QString &text, int maximumDigits)
    {
        if (text.isEmpty() || text.size() > maximumDigits || (text.size() > 1 && text.front() == QLatin1Char('0')))
            return std::nullopt;
        quint32 value = 0;
        for (const QChar character : text) {
            if (character < QLatin1Char('0') || character > QLatin1Char('9'))
                return std::nullopt;
            value = value * 10 + quint32(character.unicode() - u'0');
        }
        return value;
    }

    QString dotted(quint32 address)
    {
        return QStringLiteral("%1.%2.%3.%4").arg(address >> 24).arg((address >> 16) & 0xFF).arg((address >> 8) & 0xFF).arg(address & 0xFF);
    }

} // namespace

std::optional<QString> refusal(const QString &text)
{
    const QString trimmed = text.trimmed();
    const QStringList halves = trimmed.split(QLatin1Char('/'));
    const QStringList parts = halves.first().split(QLatin1Char('.'));
    if (halves.size() != 2 || parts.size() != 4)
        return QStringLiteral("Enter the subnet as an IPv4 network and its prefix length, such as 192.168.100.0/24.");

    quint32 address = 0;
    for (const QString &part : parts) {
        const std::optional<quint32> value = decimal(part, 3);
        if (!value || *value > 255)
            return QStringLiteral("“%1” cannot be part of an IPv4 address: each of the four parts is a number from 0 to 255.").arg(part);
        address = (address << 8) | *value;
    }
    const std::optional<quint32> prefix = decimal(halves.last(), 2);
    if (!prefix || *prefix > 32)
        return QStringLiteral("The prefix length after “/” must be a whole number from 0 to 32.");

    const quint32 mask = *prefix == 0 ? 0 : ~quint32(0) << (32 - *prefix);
    if ((address & ~mask) != 0)
        return QStringLiteral("%1 is an address inside a network, not the network itself: enter %2/%3.")
            .arg(trimmed, dotted(address & mask))
            .arg(*prefix);
    return std::nullopt;
}

} // namespace IPv4Subnet
