// SPDX-License-Identifier: MIT
#pragma once

#include "RawValueEnum.h"

/// Whether the guest tools have reported from a VM (a heartbeat was found).
enum class VMGuestAutomationAvailability {
    notInstalled,
    installed,
};

template <>
struct RawValues<VMGuestAutomationAvailability> {
    static constexpr std::string_view typeName = "VMGuestAutomationAvailability";
    static constexpr std::array table{
        std::pair{VMGuestAutomationAvailability::notInstalled, std::string_view{"notInstalled"}},
        std::pair{VMGuestAutomationAvailability::installed, std::string_view{"installed"}},
    };
};
