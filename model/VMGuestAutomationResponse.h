// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"

#include <QDateTime>
#include <QString>
#include <QUuid>

#include <optional>

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
    /// The exit status of a CI script that ran to its end.
    std::optional<qint64> exitCode {};
    /// Present and true when the guest killed a CI script at its timeout.
    std::optional<bool> timedOut {};

    bool operator==(const VMGuestAutomationResponse &) const = default;
};

void to_json(Json &json, const VMGuestAutomationResponse &response);
void from_json(const Json &json, VMGuestAutomationResponse &response);
