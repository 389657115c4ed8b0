// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <QtGlobal>

/**
 * The byte-count, duration and rate texts used throughout the interface.
 *
 * Byte counts use decimal units (1 KB = 1000 bytes) from kilobytes to
 * terabytes with adaptive precision: whole kilobytes, one decimal for
 * megabytes, two for gigabytes and terabytes, trailing zeros dropped
 * ("Zero KB", "512 KB", "1.5 MB", "64 GB", "2.25 TB").
 * Durations show at most two of hours, minutes and seconds ("1h 5m", "42s").
 */
namespace DisplayFormatters {

QString byteCountText(qint64 bytes);

/// An unsigned count; counts beyond the signed range read as the largest signed count.
QString byteCountText(quint64 bytes);

/// Negative durations read as zero; a duration that cannot be shown reads "Calculating…".
QString durationText(double seconds);

} // namespace DisplayFormatters

/// Bytes per second as text, e.g. "12.4 MB/s"; negative and NaN rates read as zero.
QString formatByteRate(double bytesPerSecond);
