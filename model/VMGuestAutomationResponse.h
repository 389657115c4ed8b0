// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

/// The guest daemon's answer to one request, read from the automation folder's Responses/.
struct VMGuestAutomationResponse {
    /// The `id` of the request answered.
    QUuid requestID;
    /// Whether the guest carried the command out.
    bool success = false;
    /// When the guest finished.
    QDateTime handledAt;
    /// A sentence for the user, written by the guest tools.
    QString message;

    bool operator==(const VMGuestAutomationResponse &) const = default;
};

void to_json(Json &json, const VMGuestAutomationResponse &response);
void from_json(const Json &json, VMGuestAutomationResponse &response);
