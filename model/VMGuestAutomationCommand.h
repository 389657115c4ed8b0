// SPDX-License-Identifier: MIT
#pragma once

#include "RawValueEnum.h"

/// What the host asks the guest tools to do through the automation folder.
enum class VMGuestAutomationCommand {
    /// Grow the guest's system container into the space added to the virtual disk.
    expandSystemAPFSContainer,
};

template <>
struct RawValues<VMGuestAutomationCommand> {
    static constexpr std::string_view typeName = "VMGuestAutomationCommand";
    static constexpr std::array table{
        std::pair{VMGuestAutomationCommand::expandSystemAPFSContainer, std::string_view{"expandSystemAPFSContainer"}},
    };
};
