// SPDX-License-Identifier: MIT
#pragma once

#include "RawValueEnum.h"

/// Whether a Linux distribution is a server (command line) or a desktop (graphical) edition; the catalog is filtered by it.
enum class LinuxDistroVariant {
    server,
    desktop,
};

template <>
struct RawValues<LinuxDistroVariant> {
    static constexpr std::string_view typeName = "LinuxDistroVariant";
    static constexpr std::array table{
        std::pair{LinuxDistroVariant::server, std::string_view{"server"}},
        std::pair{LinuxDistroVariant::desktop, std::string_view{"desktop"}},
    };
};
