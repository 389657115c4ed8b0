// SPDX-License-Identifier: MIT
#include "Base64.h"

#include <cstdint>

namespace GuestTools::Base64 {

namespace {

constexpr std::string_view alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int sextet(char character)
{
    const auto position = alphabet.find(character);
    return position == std::string_view::npos ? -1 : int(position);
}

} // namespace

std::string encode(std::string_view bytes)
{
    std::string text;
    text.reserve((bytes.size() + 2) / 3 * 4);
    for (size_t index = 0; index < bytes.size(); index += 3) {
        const size_t available = bytes.size() - index;
        std::uint32_t group = std::uint32_t(std::uint8_t(bytes[index])) << 16;
        if (available > 1)
            group |= std::uint32_t(std::uint8_t(bytes[index + 1])) << 8;
        if (available > 2)
            group |= std::uint8_t(bytes[index + 2]);
        text.push_back(alphabet[(group >> 18) & 0x3F]);
        text.push_back(alphabet[(group >> 12) & 0x3F]);
        text.push_back(available > 1 ? alphabet[(group >> 6) & 0x3F] : '=');
        text.push_back(available > 2 ? alphabet[group & 0x3F] : '=');
    }
    return text;
}

std::optional<std::string> decode(std::string_view text)
{
    if (text.size() % 4 != 0)
        return std::nullopt;
    size_t padding = 0;
    if (!text.empty() && text.back() == '=')
        padding = text[text.size() - 2] == '=' ? 2 : 1;

    std::string bytes;
    bytes.reserve(text.size() / 4 * 3);
    for (size_t index = 0; index < text.size(); index += 4) {
        const bool lastGroup = index + 4 == text.size();
        const size_t dataCharacters = lastGroup ? 4 - padding : 4;
        std::uint32_t group = 0;
        for (size_t offset = 0; offset < 4; ++offset) {
            int value = 0;
            if (offset < dataCharacters) {
                value = sextet(text[index + offset]);
                if (value < 0)
                    return std::nullopt;
            }
            group = (group << 6) | std::uint32_t(value);
        }
        bytes.push_back(char((group >> 16) & 0xFF));
        if (dataCharacters > 2)
            bytes.push_back(char((group >> 8) & 0xFF));
        if (dataCharacters > 3)
            bytes.push_back(char(group & 0xFF));
    }
    return bytes;
}

} // namespace GuestTools::Base64
