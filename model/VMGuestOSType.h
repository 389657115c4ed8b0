// SPDX-License-Identifier: MIT
#pragma once

#include "RawValueEnum.h"

#include <QString>

/**
 * The kind of operating system a VM runs. It decides the engine and install
 * path of a bundle; its raw value is its identity and its stored text.
 * Wherever a kind is shown to a person, displayName() is the text.
 */
enum class VMGuestOSType {
    macOS,
    linux,
    windows,
};

template <>
struct RawValues<VMGuestOSType> {
    static constexpr std::string_view typeName = "VMGuestOSType";
    static constexpr std::array table{
        std::pair{VMGuestOSType::macOS, std::string_view{"macOS"}},
        std::pair{VMGuestOSType::linux, std::string_view{"linux"}},
        std::pair{VMGuestOSType::windows, std::string_view{"windows"}},
    };
};

/// The headline name, e.g. "Linux".
QString displayName(VMGuestOSType type);

/// The name of the icon shown beside the kind.
QString symbolName(VMGuestOSType type);

/// One line describing the kind, shown beneath its name when a guest is chosen.
QString subtitle(VMGuestOSType type);
