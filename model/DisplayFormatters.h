// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <QtGlobal>

/**
 * The byte-count, duration and rate texts used throughout the interface.
 *
 * Byte counts use binary units (1 KB = 1024 bytes, 1 GB = 2^30 bytes), the
 * same GB in which sizes are typed on the screens, so that 6 GB entered
 * reads back as "6 GB". Kilobytes to terabytes with adaptive precision:
 * whole kilobytes, one decimal for megabytes, two for gigabytes and
 * terabytes, trailing zeros dropped ("0 bytes", "512 KB", "1.5 MB", "64 GB",
 * "2.25 TB"); any other count below 1 KB reads "1 KB".
 * Durations show at most two of hours, minutes and seconds ("1h 5m", "42s").
 */
namespace DisplayFormatters {

QString byteCountText(qint64 bytes);

/// An unsigned count; counts beyond the signed range read as the largest signed count.
QString byteCountText(quint64 bytes);

/// Negative durations read as zero; a duration that cannot be shown reads "Calculating…".
QString durationText(double seconds);

} // namespace DisplayFormatters

/// Bytes per second as text, e.g. "12.4 MB/s"; negative and NaN rates read as zero ("0 bytes/s").
QString formatByteRate(double bytesPerSecond);
