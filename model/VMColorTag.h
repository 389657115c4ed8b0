// SPDX-License-Identifier: MIT
#pragma once

#include "RawValueEnum.h"

/// The colour label a user may give a VM in the library; views draw each in the standard colour of its name.
enum class VMColorTag {
    red,
    orange,
    yellow,
    green,
    blue,
    purple,
    gray,
};

template <>
struct RawValues<VMColorTag> {
    static constexpr std::string_view typeName = "VMColorTag";
    static constexpr std::array table{
        std::pair{VMColorTag::red, std::string_view{"red"}},
        std::pair{VMColorTag::orange, std::string_view{"orange"}},
        std::pair{VMColorTag::yellow, std::string_view{"yellow"}},
        std::pair{VMColorTag::green, std::string_view{"green"}},
        std::pair{VMColorTag::blue, std::string_view{"blue"}},
        std::pair{VMColorTag::purple, std::string_view{"purple"}},
        std::pair{VMColorTag::gray, std::string_view{"gray"}},
    };
};
