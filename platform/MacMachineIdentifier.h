// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <optional>

/**
 * The unique identity of one macOS-style guest machine, kept in its bundle
 * as MachineIdentifier.bin; a clone gets a new one so that two copies of a
 * VM never present themselves as the same machine.
 *
 * The identity is 16 random bytes. Its data representation, the exact
 * content of the file, is a small versioned JSON object of our own, written
 * with the shared JSON coding:
 *
 *     {
 *         "format": "DuvuzodOvevav.MachineIdentifier",
 *         "identifier": "<the 16 bytes in Base64>",
 *         "version": 1
 *     }
 *
 * Readers accept exactly this format and version with exactly 16 bytes.
 */
class MacMachineIdentifier
{
public:
    static constexpr qsizetype byteCount = 16;
    static constexpr qint64 formatVersion = 1;

    /// A new identity from the system's cryptographically secure random source.
    static MacMachineIdentifier generate();

    /// The identity the bytes describe, or none when they are not a data representation of one.
    static std::optional<MacMachineIdentifier> fromDataRepresentation(const QByteArray &data);

    QByteArray dataRepresentation() const;
    const QByteArray &bytes() const { return m_bytes; }

    bool operator==(const MacMachineIdentifier &) const = default;

private:
    explicit MacMachineIdentifier(QByteArray bytes);

    QByteArray m_bytes;
};
