// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string_view>

namespace GuestTools {

/// Which side wrote a clipboard message; stored as its raw text.
enum class VMClipboardMessageSource {
    host,
    guest,
};

constexpr std::string_view toRaw(VMClipboardMessageSource source)
{
    switch (source) {
    case VMClipboardMessageSource::host:
        return "host";
    case VMClipboardMessageSource::guest:
        return "guest";
    }
    return {};
}

/// Exact, case-sensitive match of the raw text.
constexpr std::optional<VMClipboardMessageSource> sourceFromRaw(std::string_view raw)
{
    for (const auto source : {VMClipboardMessageSource::host, VMClipboardMessageSource::guest}) {
        if (raw == toRaw(source))
            return source;
    }
    return std::nullopt;
}

} // namespace GuestTools
