// SPDX-License-Identifier: MIT
#pragma once

#include "ISO8601.h"
#include "JSONObjectFields.h"
#include "Uuid.h"

#include <cstdint>
#include <optional>
#include <string>

namespace GuestTools {

/// The daemon's answer to one request, written to Responses/<requestID>.json.
struct VMGuestAutomationResponse {
    Uuid requestID;
    bool success = false;
    Timestamp handledAt;
    /// One sentence for the user.
    std::string message;
    /// The exit status of a CI script that ran to its end.
    std::optional<std::int64_t> exitCode{};
    /// Present and true when a CI script was killed at its timeout.
    std::optional<bool> timedOut{};

    bool operator==(const VMGuestAutomationResponse &) const = default;
};

void to_json(Json &json, const VMGuestAutomationResponse &response);
void from_json(const Json &json, VMGuestAutomationResponse &response);

} // namespace GuestTools
