// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>
#include <QtEndian>

#include <array>

/// Builds a big-endian RFB message, field by field.
class RfbMessage
{
public:
    RfbMessage &u8(quint8 value)
    {
        m_bytes.append(char(value));
        return *this;
    }
    RfbMessage &u16(quint16 value)
    {
        std::array<char, 2> raw {};
        qToBigEndian(value, raw.data());
        m_bytes.append(raw.data(), raw.size());
        return *this;
    }
    RfbMessage &u32(quint32 value)
    {
        std::array<char, 4> raw {};
        qToBigEndian(value, raw.data());
        m_bytes.append(raw.data(), raw.size());
        return *this;
    }
    RfbMessage &padding(int count)
    {
        m_bytes.append(count, '\0');
        return *this;
    }
    const QByteArray &bytes() const { return m_bytes; }

private:
    QByteArray m_bytes;
};
