// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

/**
 * Reads an IPv4 network in CIDR notation, as a private network's subnet is
 * entered ("192.168.100.0/24"): four decimal parts from 0 to 255 without
 * leading zeros (which some tools read as octal), a slash, and a prefix
 * length from 0 to 32, with no address bits set beyond the prefix. White
 * space around the whole text is ignored.
 *
 * @code
 * IPv4Subnet::refusal(QStringLiteral("999.1.1.1/99"));
 * // "“999” cannot be part of an IPv4 address: each of the four parts is a number from 0 to 255."
 * @endcode
 */
namespace IPv4Subnet {

/// Why `text` is not an IPv4 network in CIDR notation, as a sentence; none when it is.
std::optional<QString> refusal(const QString &text);

} // namespace IPv4Subnet
