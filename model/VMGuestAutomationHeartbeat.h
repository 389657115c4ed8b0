// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"

#include <QDateTime>
#include <QString>

#include <optional>

/// The guest daemon's status file, which it rewrites on every pass; the host only reads it.
struct VMGuestAutomationHeartbeat {
    /// The guest tools' version.
    QString agentVersion;
    /// When the daemon last wrote the file.
    QDateTime lastSeenAt;
    std::optional<QString> guestComputerName;

    bool operator==(const VMGuestAutomationHeartbeat &) const = default;
};

void to_json(Json &json, const VMGuestAutomationHeartbeat &heartbeat);
void from_json(const Json &json, VMGuestAutomationHeartbeat &heartbeat);
