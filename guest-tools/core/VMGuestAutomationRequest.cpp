// SPDX-License-Identifier: MIT
#include "VMGuestAutomationRequest.h"

namespace GuestTools {

void to_json(Json &json, const VMGuestAutomationRequest &request)
{
    json = Json::object();
    json["id"] = request.id.uppercaseString();
    json["command"] = std::string(toRaw(request.command));
    json["createdAt"] = ISO8601::format(request.createdAt);
    json["requestedDiskSizeBytes"] = request.requestedDiskSizeBytes;
}

void from_json(const Json &json, VMGuestAutomationRequest &request)
{
    const JSONObjectFields fields(json);
    request.id = fields.uuid("id");
    request.command = fields.rawValue("command", &commandFromRaw);
    request.createdAt = fields.date("createdAt");
    request.requestedDiskSizeBytes = fields.unsigned64("requestedDiskSizeBytes");
}

} // namespace GuestTools
