// SPDX-License-Identifier: MIT
#pragma once

#include "RawValueEnum.h"

/// Which engine runs a VM: the host's own virtualization layer, or an external QEMU process (Windows guests).
enum class VMEngineType {
    apple,
    qemu,
};

template <>
struct RawValues<VMEngineType> {
    static constexpr std::string_view typeName = "VMEngineType";
    static constexpr std::array table{
        std::pair{VMEngineType::apple, std::string_view{"apple"}},
        std::pair{VMEngineType::qemu, std::string_view{"qemu"}},
    };
};
