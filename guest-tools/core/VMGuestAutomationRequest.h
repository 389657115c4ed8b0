// SPDX-License-Identifier: MIT
#pragma once

#include "ISO8601.h"
#include "JSONObjectFields.h"
#include "Uuid.h"
#include "VMGuestAutomationCommand.h"

#include <cstdint>
#include <map>
#include <optional>
#include <string>

namespace GuestTools {

/**
 * A request from the host, one per file in Requests/. Its identity is `id`,
 * whatever the file is called; the answer goes to Responses/<ID>.json.
 */
struct VMGuestAutomationRequest {
    Uuid id;
    VMGuestAutomationCommand command = VMGuestAutomationCommand::expandSystemAPFSContainer;
    Timestamp createdAt;
    /// The disk size the host asked for; the daemon grows to all free space and does not read it.
    std::uint64_t requestedDiskSizeBytes = 0;

    // Only a CI script request carries these.

    /// How long the script may run, in seconds.
    std::optional<std::int64_t> timeoutSeconds{};
    /// Variables added to the script's environment.
    std::optional<std::map<std::string, std::string>> environment{};
    /// Whether to keep what the script prints, as Responses/<ID>.output.
    std::optional<bool> captureOutput{};

    bool operator==(const VMGuestAutomationRequest &) const = default;
};

void to_json(Json &json, const VMGuestAutomationRequest &request);
void from_json(const Json &json, VMGuestAutomationRequest &request);

} // namespace GuestTools
