// SPDX-License-Identifier: MIT
#pragma once

#include <QByteArray>

#include <optional>

/**
 * The virtual hardware a macOS-style guest was installed for, kept in its
 * bundle as HardwareModel.bin and handed back unchanged whenever the VM's
 * configuration is built. Its content, the descriptor, comes from the
 * restore image the guest was installed from and is opaque to everything
 * but the code that made it.
 *
 * Its data representation, the exact content of the file, is a small
 * versioned JSON object of our own, written with the shared JSON coding:
 *
 *     {
 *         "descriptor": "<the descriptor bytes in Base64>",
 *         "format": "DuvuzodOvevav.HardwareModel",
 *         "version": 1
 *     }
 *
 * Readers accept exactly this format and version.
 */
class MacHardwareModel
{
public:
    static constexpr qint64 formatVersion = 1;

    explicit MacHardwareModel(QByteArray descriptor);

    /// The model the bytes describe, or none when they are not a data representation of one.
    static std::optional<MacHardwareModel> fromDataRepresentation(const QByteArray &data);

    QByteArray dataRepresentation() const;
    const QByteArray &descriptor() const { return m_descriptor; }

    bool operator==(const MacHardwareModel &) const = default;

private:
    QByteArray m_descriptor;
};
