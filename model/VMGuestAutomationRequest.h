// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"
#include "VMGuestAutomationCommand.h"

#include <QDateTime>
#include <QUuid>

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

    bool operator==(const VMGuestAutomationRequest &) const = default;
};

void to_json(Json &json, const VMGuestAutomationRequest &request);
void from_json(const Json &json, VMGuestAutomationRequest &request);
