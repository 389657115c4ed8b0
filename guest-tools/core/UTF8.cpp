// SPDX-License-Identifier: MIT
#include "UTF8.h"

#include <cstdint>

namespace GuestTools::UTF8 {

bool isValid(std::string_view bytes)
{
    size_t index = 0;
    while (index < bytes.size()) {
        const auto lead = std::uint8_t(bytes[index]);
        size_t length = 0;
        std::uint8_t low = 0x80;
        std::uint8_t high = 0xBF;
        if (lead < 0x80) {
            ++index;
            continue;
        } else if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            if (lead == 0xE0)
                low = 0xA0; // overlong
            if (lead == 0xED)
                high = 0x9F; // surrogates
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            if (lead == 0xF0)
                low = 0x90; // overlong
            if (lead == 0xF4)
                high = 0x8F; // past U+10FFFF
        } else {
            return false;
        }
        if (index + length > bytes.size())
            return false;
        for (size_t offset = 1; offset < length; ++offset) {
            const auto continuation = std::uint8_t(bytes[index + offset]);
            const std::uint8_t minimum = offset == 1 ? low : 0x80;
            const std::uint8_t maximum = offset == 1 ? high : 0xBF;
            if (continuation < minimum || continuation > maximum)
                return false;
        }
        index += length;
    }
    return true;
}

} // namespace GuestTools::UTF8
