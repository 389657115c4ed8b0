// SPDX-License-Identifier: MIT
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace GuestTools {

/// A 128-bit identifier in its canonical 8-4-4-4-12 hexadecimal text form. A default-made one is all zeros.
class Uuid
{
public:
    Uuid() = default;

    /// Accepts exactly the 36-character hyphenated form, in either case.
    static std::optional<Uuid> parse(std::string_view text);
    /// A new random (version 4) identifier.
    static Uuid random();

    /// The hyphenated form with upper-case digits, as every file carries it.
    std::string uppercaseString() const;

    bool operator==(const Uuid &) const = default;

private:
    std::array<std::uint8_t, 16> m_bytes{};
};

} // namespace GuestTools
