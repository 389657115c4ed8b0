// SPDX-License-Identifier: MIT
#pragma once

#include "ISO8601.h"
#include "JSONObjectFields.h"

#include <optional>
#include <string>

namespace GuestTools {

/// The daemon's status file, GuestAgentStatus.json, rewritten on every pass.
struct VMGuestAutomationHeartbeat {
    std::string agentVersion;
    /// When the status was written.
    Timestamp lastSeenAt;
    /// Left out of the file when absent; a missing key or a null reads as absent.
    std::optional<std::string> guestComputerName;

    bool operator==(const VMGuestAutomationHeartbeat &) const = default;
};

void to_json(Json &json, const VMGuestAutomationHeartbeat &heartbeat);
void from_json(const Json &json, VMGuestAutomationHeartbeat &heartbeat);

} // namespace GuestTools
