// SPDX-License-Identifier: MIT
#include "SizeText.h"

#include "DisplayFormatters.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace SizeText {

namespace {

    /// The largest double below 2^63: every value up to it converts to a signed 64-bit count.
    constexpr double largestCount = 9223372036854774784.0;
    /// Beyond 2^53 a double no longer holds every whole number.
    constexpr double largestWholeGB = 9007199254740992.0;

} // namespace

double gigabytes(quint64 count)
{
    return double(count) / double(bytesPerGB);
}

QString bytes(quint64 count)
{
    return DisplayFormatters::byteCountText(count);
}

QString bytes(qint64 count)
{
    return DisplayFormatters::byteCountText(std::max<qint64>(count, 0));
}

QString bytes(double count)
{
    const double whole = std::trunc(count);
    if (!(whole > 0)) // NaN too
        return DisplayFormatters::byteCountText(qint64(0));
    if (whole >= largestCount)
        return DisplayFormatters::byteCountText(std::numeric_limits<qint64>::max());
    return DisplayFormatters::byteCountText(qint64(whole));
}

QString rate(double bytesPerSecond)
{
    return formatByteRate(bytesPerSecond);
}

QString wholeGB(double gigabytes)
{
    const double whole = std::trunc(gigabytes);
    const double shown = whole > 0 ? std::min(whole, largestWholeGB) : 0.0; // NaN reads 0
    return QString::number(qint64(shown)) + QStringLiteral(" GB");
}

} // namespace SizeText
