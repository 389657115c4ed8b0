// SPDX-License-Identifier: MIT
#include "Uuid.h"

#include <random>

namespace GuestTools {

namespace {

constexpr bool isHyphenPosition(size_t index)
{
    return index == 8 || index == 13 || index == 18 || index == 23;
}

int hexValue(char character)
{
    if (character >= '0' && character <= '9')
        return character - '0';
    if (character >= 'a' && character <= 'f')
        return character - 'a' + 10;
    if (character >= 'A' && character <= 'F')
        return character - 'A' + 10;
    return -1;
}

} // namespace

std::optional<Uuid> Uuid::parse(std::string_view text)
{
    if (text.size() != 36)
        return std::nullopt;
    Uuid uuid;
    size_t nibble = 0;
    for (size_t index = 0; index < text.size(); ++index) {
        if (isHyphenPosition(index)) {
            if (text[index] != '-')
                return std::nullopt;
            continue;
        }
        const int value = hexValue(text[index]);
        if (value < 0)
            return std::nullopt;
        uuid.m_bytes[nibble / 2] = std::uint8_t(uuid.m_bytes[nibble / 2] | (nibble % 2 == 0 ? value << 4 : value));
        ++nibble;
    }
    return uuid;
}

Uuid Uuid::random()
{
    // random_device reads the kernel's random source; a generator seeded once would repeat after a fork.
    std::random_device device;
    Uuid uuid;
    for (size_t index = 0; index < uuid.m_bytes.size(); index += 4) {
        const auto word = std::uint32_t(device());
        for (size_t byte = 0; byte < 4; ++byte)
            uuid.m_bytes[index + byte] = std::uint8_t(word >> (8 * byte));
    }
    uuid.m_bytes[6] = std::uint8_t((uuid.m_bytes[6] & 0x0F) | 0x40);
    uuid.m_bytes[8] = std::uint8_t((uuid.m_bytes[8] & 0x3F) | 0x80);
    return uuid;
}

std::string Uuid::uppercaseString() const
{
    static constexpr char digits[] = "0123456789ABCDEF";
    std::string text;
    text.reserve(36);
    for (size_t index = 0; index < m_bytes.size(); ++index) {
        if (index == 4 || index == 6 || index == 8 || index == 10)
            text.push_back('-');
        text.push_back(digits[m_bytes[index] >> 4]);
        text.push_back(digits[m_bytes[index] & 0x0F]);
    }
    return text;
}

} // namespace GuestTools
