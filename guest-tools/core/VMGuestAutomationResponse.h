// SPDX-License-Identifier: MIT
#pragma once

#include "ISO8601.h"
#include "JSONObjectFields.h"
#include "Uuid.h"

#include <string>

namespace GuestTools {

/// The daemon's answer to one request, written to Responses/<requestID>.json.
struct VMGuestAutomationResponse {
    Uuid requestID;
    bool success = false;
    Timestamp handledAt;
    /// One sentence for the user.
    std::string message;

    bool operator==(const VMGuestAutomationResponse &) const = default;
};

void to_json(Json &json, const VMGuestAutomationResponse &response);
void from_json(const Json &json, VMGuestAutomationResponse &response);

} // namespace GuestTools
