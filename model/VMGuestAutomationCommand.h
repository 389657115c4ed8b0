// SPDX-License-Identifier: MIT
#pragma once

#include "RawValueEnum.h"

/// What the host asks the guest tools to do through the automation folder.
enum class VMGuestAutomationCommand {
    /// Grow the guest's system container into the space added to the virtual disk.
    expandSystemAPFSContainer,
    /// Run the CI script staged beside the request as ci-run-<ID>.sh and answer with its exit code.
    runCIScript,
};

template <>
struct RawValues<VMGuestAutomationCommand> {
    static constexpr std::string_view typeName = "VMGuestAutomationCommand";
    static constexpr std::array table{
        std::pair{VMGuestAutomationCommand::expandSystemAPFSContainer, std::string_view{"expandSystemAPFSContainer"}},
        std::pair{VMGuestAutomationCommand::runCIScript, std::string_view{"runCIScript"}},
    };
};
