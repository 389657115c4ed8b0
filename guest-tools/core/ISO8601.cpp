// SPDX-License-Identifier: MIT
#include "ISO8601.h"

#include <cstdio>

namespace GuestTools::ISO8601 {

namespace {

/// The number written in `count` decimal digits at `offset`, or -1.
int digits(std::string_view text, size_t offset, size_t count)
{
    int value = 0;
    for (size_t index = offset; index < offset + count; ++index) {
        if (text[index] < '0' || text[index] > '9')
            return -1;
        value = value * 10 + (text[index] - '0');
    }
    return value;
}

} // namespace

std::string format(Timestamp time)
{
    const auto day = std::chrono::floor<std::chrono::days>(time);
    const std::chrono::year_month_day date{day};
    const std::chrono::hh_mm_ss clock{time - day};
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", int(date.year()), unsigned(date.month()),
                  unsigned(date.day()), int(clock.hours().count()), int(clock.minutes().count()),
                  int(clock.seconds().count()));
    return text;
}

std::optional<Timestamp> parse(std::string_view text)
{
    // Fixed layout: 19 characters of date and time, then the zone.
    if (text.size() != 20 && text.size() != 25)
        return std::nullopt;
    if (text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    const int year = digits(text, 0, 4);
    const int month = digits(text, 5, 2);
    const int day = digits(text, 8, 2);
    const int hour = digits(text, 11, 2);
    const int minute = digits(text, 14, 2);
    const int second = digits(text, 17, 2);
    if (year < 0 || month < 0 || day < 0 || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 || second > 59)
        return std::nullopt;

    std::chrono::minutes offset{0};
    if (text.size() == 20) {
        if (text[19] != 'Z')
            return std::nullopt;
    } else {
        const char sign = text[19];
        const int offsetHours = digits(text, 20, 2);
        const int offsetMinutes = digits(text, 23, 2);
        if ((sign != '+' && sign != '-') || text[22] != ':' || offsetHours < 0 || offsetHours > 23 || offsetMinutes < 0
            || offsetMinutes > 59)
            return std::nullopt;
        offset = std::chrono::hours(offsetHours) + std::chrono::minutes(offsetMinutes);
        if (sign == '-')
            offset = -offset;
    }

    const std::chrono::year_month_day date{std::chrono::year(year), std::chrono::month(unsigned(month)),
                                           std::chrono::day(unsigned(day))};
    if (!date.ok())
        return std::nullopt;
    const Timestamp local = std::chrono::sys_days(date) + std::chrono::hours(hour) + std::chrono::minutes(minute)
        + std::chrono::seconds(second);
    return local - offset;
}

} // namespace GuestTools::ISO8601
