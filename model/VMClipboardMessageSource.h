// SPDX-License-Identifier: MIT
#pragma once

#include "RawValueEnum.h"

/// Which side of the automation folder wrote a clipboard message.
enum class VMClipboardMessageSource {
    host,
    guest,
};

template <>
struct RawValues<VMClipboardMessageSource> {
    static constexpr std::string_view typeName = "VMClipboardMessageSource";
    static constexpr std::array table{
        std::pair{VMClipboardMessageSource::host, std::string_view{"host"}},
        std::pair{VMClipboardMessageSource::guest, std::string_view{"guest"}},
    };
};
