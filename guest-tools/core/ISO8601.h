// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>

namespace GuestTools {

/// A point in time to the whole second, which is all the automation folder carries.
using Timestamp = std::chrono::sys_seconds;

namespace ISO8601 {

/// "YYYY-MM-DDTHH:MM:SSZ" in UTC.
std::string format(Timestamp time);

/**
 * Reads "YYYY-MM-DDTHH:MM:SS" followed by "Z" or a "+HH:MM" / "-HH:MM"
 * offset. Anything else, a fraction of a second included, gives nothing.
 */
std::optional<Timestamp> parse(std::string_view text);

} // namespace ISO8601
} // namespace GuestTools
