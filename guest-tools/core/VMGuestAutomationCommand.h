// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string_view>

namespace GuestTools {

/// What the host asks the guest daemon to do; stored as its raw text.
enum class VMGuestAutomationCommand {
    /// Grow the guest's system APFS container into all free space behind it.
    expandSystemAPFSContainer,
    /// Run the CI script the host staged in the root as ci-run-<ID>.sh and answer with its exit status.
    runCIScript,
};

constexpr std::string_view toRaw(VMGuestAutomationCommand command)
{
    switch (command) {
    case VMGuestAutomationCommand::expandSystemAPFSContainer:
        return "expandSystemAPFSContainer";
    case VMGuestAutomationCommand::runCIScript:
        return "runCIScript";
    }
    return {};
}

/// Exact, case-sensitive match of the raw text.
constexpr std::optional<VMGuestAutomationCommand> commandFromRaw(std::string_view raw)
{
    if (raw == toRaw(VMGuestAutomationCommand::expandSystemAPFSContainer))
        return VMGuestAutomationCommand::expandSystemAPFSContainer;
    if (raw == toRaw(VMGuestAutomationCommand::runCIScript))
        return VMGuestAutomationCommand::runCIScript;
    return std::nullopt;
}

} // namespace GuestTools
