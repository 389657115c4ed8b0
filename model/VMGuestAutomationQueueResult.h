// SPDX-License-Identifier: MIT
#pragma once

#include "VMGuestAutomationAvailability.h"
#include "VMGuestAutomationRequest.h"

/// The result of queueing a request for the guest: the request written, and whether the guest tools had reported then.
struct VMGuestAutomationQueueResult {
    VMGuestAutomationRequest request;
    VMGuestAutomationAvailability availability = VMGuestAutomationAvailability::notInstalled;

    bool operator==(const VMGuestAutomationQueueResult &) const = default;
};
