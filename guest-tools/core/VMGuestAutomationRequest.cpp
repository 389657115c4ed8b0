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
    if (request.timeoutSeconds)
        json["timeoutSeconds"] = *request.timeoutSeconds;
    if (request.environment)
        json["environment"] = *request.environment;
    if (request.captureOutput)
        json["captureOutput"] = *request.captureOutput;
}

void from_json(const Json &json, VMGuestAutomationRequest &request)
{
    const JSONObjectFields fields(json);
    request.id = fields.uuid("id");
    request.command = fields.rawValue("command", &commandFromRaw);
    request.createdAt = fields.date("createdAt");
    request.requestedDiskSizeBytes = fields.unsigned64("requestedDiskSizeBytes");
    request.timeoutSeconds = fields.optionalSigned64("timeoutSeconds");
    request.environment = fields.optionalStringMap("environment");
    request.captureOutput = fields.optionalBoolean("captureOutput");
}

} // namespace GuestTools
