// SPDX-License-Identifier: MIT
#pragma once

#include "VMGuestAutomationAvailability.h"
#include "VMGuestAutomationResponse.h"

#include <QDateTime>
#include <QString>

#include <optional>

/// What the VM details show about a VM's guest tools, read from its automation folder. Never stored.
struct VMGuestAutomationStatusSnapshot {
    VMGuestAutomationAvailability availability = VMGuestAutomationAvailability::notInstalled;
    /// `agentVersion` of the last heartbeat read.
    std::optional<QString> reportedVersion;
    /// `lastSeenAt` of the last heartbeat read.
    std::optional<QDateTime> lastSeenAt;
    /// Requests still waiting for the guest.
    qint64 pendingRequestCount = 0;
    /// The newest response found.
    std::optional<VMGuestAutomationResponse> latestResponse;

    /// The one snapshot of a VM of which nothing is known: not installed, nothing reported, nothing pending.
    static const VMGuestAutomationStatusSnapshot &empty();
};
