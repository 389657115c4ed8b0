// SPDX-License-Identifier: MIT
#pragma once

#include "ISO8601.h"
#include "JSONObjectFields.h"
#include "Uuid.h"
#include "VMGuestAutomationCommand.h"

#include <cstdint>

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

    bool operator==(const VMGuestAutomationRequest &) const = default;
};

void to_json(Json &json, const VMGuestAutomationRequest &request);
void from_json(const Json &json, VMGuestAutomationRequest &request);

} // namespace GuestTools
