// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

/**
 * Reads the primary volume descriptor of an ISO 9660 image: "CD001" at
 * byte 32769, and the volume's length (its block count times its block
 * size). Blocking; reads 2 KiB.
 */
namespace ISO9660Volume {

/// True when the file is an ISO 9660 image at least as long as its volume says.
bool isComplete(const QString &path);

} // namespace ISO9660Volume
