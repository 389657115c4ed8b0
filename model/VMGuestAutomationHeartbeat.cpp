// SPDX-License-Identifier: MIT
#include "VMGuestAutomationHeartbeat.h"

void to_json(Json &json, const VMGuestAutomationHeartbeat &heartbeat)
{
    JSONObjectWriter writer;
    writer.set("agentVersion", heartbeat.agentVersion);
    writer.set("lastSeenAt", heartbeat.lastSeenAt);
    writer.set("guestComputerName", heartbeat.guestComputerName);
    json = writer.take();
}

void from_json(const Json &json, VMGuestAutomationHeartbeat &heartbeat)
{
    const JSONObjectReader reader(json);
    heartbeat.agentVersion = reader.required<QString>("agentVersion");
    heartbeat.lastSeenAt = reader.required<QDateTime>("lastSeenAt");
    heartbeat.guestComputerName = reader.optional<QString>("guestComputerName");
}
