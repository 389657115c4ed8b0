// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace GuestTools::Base64 {

/// Standard Base64 (RFC 4648 alphabet, "=" padding, one line) of the bytes.
std::string encode(std::string_view bytes);

/**
 * The bytes of standard Base64 text, or nothing when the text is not exactly
 * that: a character outside the alphabet (line breaks and blanks included),
 * a length that is not a multiple of four, or "=" anywhere but in the last
 * two places. The empty text gives no bytes.
 */
std::optional<std::string> decode(std::string_view text);

} // namespace GuestTools::Base64
