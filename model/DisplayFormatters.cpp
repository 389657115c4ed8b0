// SPDX-License-Identifier: MIT
#include "DisplayFormatters.h"

#include <QLocale>
#include <QStringList>

#include <array>
#include <cmath>
#include <limits>

namespace DisplayFormatters {

namespace {

struct Unit {
    const char *name;
    double size;
    int decimals;
};

constexpr std::array units{
    Unit{"KB", 1024.0, 0},
    Unit{"MB", 1024.0 * 1024.0, 1},
    Unit{"GB", 1024.0 * 1024.0 * 1024.0, 2},
    Unit{"TB", 1024.0 * 1024.0 * 1024.0 * 1024.0, 2},
};

QString formatNumber(double value, int decimals)
{
    QString text = QString::number(value, 'f', decimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    return text;
}

} // namespace

QString byteCountText(qint64 bytes)
{
    if (bytes == 0)
        return QStringLiteral("0 bytes");
    const bool negative = bytes < 0;
    const double magnitude = std::fabs(double(bytes));

    // Pick the largest unit the value reaches, then move up when rounding
    // carries the value to 1024 of that unit (1 048 575 bytes reads "1 MB").
    size_t index = 0;
    while (index + 1 < units.size() && magnitude >= units[index + 1].size)
        ++index;
    double scaled = magnitude / units[index].size;
    double factor = std::pow(10.0, units[index].decimals);
    double rounded = std::round(scaled * factor) / factor;
    if (rounded >= 1024.0 && index + 1 < units.size()) {
        ++index;
        scaled = magnitude / units[index].size;
        factor = std::pow(10.0, units[index].decimals);
        rounded = std::round(scaled * factor) / factor;
    }
    if (index == 0 && rounded < 1.0)
        rounded = 1.0; // a handful of bytes still reads as "1 KB", never "0 KB"

    const QString number = formatNumber(rounded, units[index].decimals);
    return (negative ? QStringLiteral("-") : QString()) + number + QLatin1Char(' ') + QLatin1String(units[index].name);
}

QString byteCountText(quint64 bytes)
{
    const auto limit = quint64(std::numeric_limits<qint64>::max());
    return byteCountText(qint64(qMin(bytes, limit)));
}

QString durationText(double seconds)
{
    if (std::isnan(seconds) || std::isinf(seconds))
        return QStringLiteral("Calculating…");
    const double clamped = qMax(0.0, seconds);
    if (clamped >= double(std::numeric_limits<qint64>::max()))
        return QStringLiteral("Calculating…");

    const auto total = qint64(std::llround(clamped));
    const std::array<std::pair<qint64, const char *>, 3> parts{
        std::pair{total / 3600, "h"},
        std::pair{(total % 3600) / 60, "m"},
        std::pair{total % 60, "s"},
    };
    QStringList shown;
    for (size_t index = 0; index < parts.size(); ++index) {
        if (parts[index].first == 0)
            continue;
        shown << QString::number(parts[index].first) + QLatin1String(parts[index].second);
        // At most two adjacent units: the leading one and the one right after it.
        if (index + 1 < parts.size() && parts[index + 1].first != 0)
            shown << QString::number(parts[index + 1].first) + QLatin1String(parts[index + 1].second);
        break;
    }
    if (shown.isEmpty())
        return QStringLiteral("0s");
    return shown.join(QLatin1Char(' '));
}

} // namespace DisplayFormatters

QString formatByteRate(double bytesPerSecond)
{
    double rounded = std::round(bytesPerSecond); // halves away from zero
    if (std::isnan(rounded) || rounded < 0)
        rounded = 0;
    const double limit = double(std::numeric_limits<qint64>::max());
    const qint64 bytes = rounded >= limit ? std::numeric_limits<qint64>::max() : qint64(rounded);
    return DisplayFormatters::byteCountText(bytes) + QStringLiteral("/s");
}
