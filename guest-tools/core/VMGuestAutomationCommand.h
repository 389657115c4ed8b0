// SPDX-License-Identifier: MIT
#pragma once

#include <optional>
#include <string_view>

namespace GuestTools {

/// What the host asks the guest daemon to do; stored as its raw text.
enum class VMGuestAutomationCommand {
    /// Grow the guest's system APFS container into all free space behind it.
    expandSystemAPFSContainer,
};

constexpr std::string_view toRaw(VMGuestAutomationCommand command)
{
    switch (command) {
    case VMGuestAutomationCommand::expandSystemAPFSContainer:
        return "expandSystemAPFSContainer";
    }
    return {};
}

/// Exact, case-sensitive match of the raw text.
constexpr std::optional<VMGuestAutomationCommand> commandFromRaw(std::string_view raw)
{
    if (raw == toRaw(VMGuestAutomationCommand::expandSystemAPFSContainer))
        return VMGuestAutomationCommand::expandSystemAPFSContainer;
    return std::nullopt;
}

} // namespace GuestTools
