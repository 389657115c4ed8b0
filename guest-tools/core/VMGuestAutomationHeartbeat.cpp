// SPDX-License-Identifier: MIT
#include "VMGuestAutomationHeartbeat.h"

namespace GuestTools {

void to_json(Json &json, const VMGuestAutomationHeartbeat &heartbeat)
{
    json = Json::object();
    json["agentVersion"] = heartbeat.agentVersion;
    json["lastSeenAt"] = ISO8601::format(heartbeat.lastSeenAt);
    if (heartbeat.guestComputerName)
        json["guestComputerName"] = *heartbeat.guestComputerName;
}

void from_json(const Json &json, VMGuestAutomationHeartbeat &heartbeat)
{
    const JSONObjectFields fields(json);
    heartbeat.agentVersion = fields.string("agentVersion");
    heartbeat.lastSeenAt = fields.date("lastSeenAt");
    heartbeat.guestComputerName = fields.optionalString("guestComputerName");
}

} // namespace GuestTools
