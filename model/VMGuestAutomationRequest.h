// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"
#include "VMGuestAutomationCommand.h"

#include <QDateTime>
#include <QMap>
#include <QString>
#include <QUuid>

#include <optional>

/**
 * A request from the host to the guest daemon, one per file in the automation
 * folder's Requests/, named after `id`. Identified by `id`.
 */
struct VMGuestAutomationRequest {
    QUuid id;
    VMGuestAutomationCommand command = VMGuestAutomationCommand::expandSystemAPFSContainer;
    /// When the host queued it.
    QDateTime createdAt;
    /// The capacity of the VM's virtual disk when the request was queued.
    quint64 requestedDiskSizeBytes = 0;

    // Only a CI script request carries these; older guest tools ignore them.

    /// How long the script may run before the guest kills it, in seconds.
    std::optional<qint64> timeoutSeconds {};
    /// Variables added to the script's environment.
    std::optional<QMap<QString, QString>> environment {};
    /// Whether the guest keeps what the script prints, as Responses/<ID>.output.
    std::optional<bool> captureOutput {};

    bool operator==(const VMGuestAutomationRequest &) const = default;
};

void to_json(Json &json, const VMGuestAutomationRequest &request);
void from_json(const Json &json, VMGuestAutomationRequest &request);
