// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <array>
#include <optional>

/// A 48-bit Ethernet address, written as six lower-case hexadecimal pairs joined by ":".
class MACAddress
{
public:
    using Bytes = std::array<quint8, 6>;

    explicit MACAddress(const Bytes &bytes);

    /// A new unicast address with the locally administered bit set, so it never collides with a vendor's.
    static MACAddress randomLocallyAdministered();

    /// The address in "aa:bb:cc:dd:ee:ff" form (either letter case); none for anything else.
    static std::optional<MACAddress> fromString(QStringView text);

    const Bytes &bytes() const { return m_bytes; }
    bool isMulticast() const { return (m_bytes[0] & 0x01) != 0; }
    bool isLocallyAdministered() const { return (m_bytes[0] & 0x02) != 0; }
    QString toString() const;

    bool operator==(const MACAddress &) const = default;

private:
    Bytes m_bytes;
};
