// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QtGlobal>

/**
 * How the screens count and show sizes. One GB is 2^30 bytes, both in the
 * figures a user types (memory, disk capacity) and in every size shown, so a
 * figure reads back as it was entered: 6 GB typed is stored as 6 × 2^30
 * bytes and shown as "6 GB" in the settings, the wizard, the disk sheet, the
 * analytics and the overview alike. Byte counts go through the data model's
 * shared byte-count text; nothing else on the screens formats a size.
 *
 * @code
 * memoryLabel->setText(SizeText::bytes(metadata.memorySizeBytes)); // "6 GB"
 * newSizeLabel->setText(SizeText::wholeGB(plan.normalized(typed)));  // "104 GB"
 * @endcode
 */
namespace SizeText {

inline constexpr quint64 bytesPerGB = quint64(1) << 30;

/// `count` bytes in GB, with a fraction when it is not whole.
double gigabytes(quint64 count);

/// A byte count, e.g. "157.7 MB", "6 GB" or "0 bytes".
QString bytes(quint64 count);
/// A negative count reads "0 bytes": no size shown is below zero.
QString bytes(qint64 count);
/// Truncated to whole bytes; NaN and negative values read "0 bytes", values beyond 64 bits the largest count.
QString bytes(double count);

/// A transfer rate, e.g. "11.8 MB/s": rounded to whole bytes; NaN and negative rates read as zero, rates beyond 64 bits as the largest
/// count.
QString rate(double bytesPerSecond);

/// A figure in whole GB as typed, e.g. "16 GB": truncated toward zero; NaN and negative values read "0 GB", beyond 2^53 as 2^53.
QString wholeGB(double gigabytes);

} // namespace SizeText
