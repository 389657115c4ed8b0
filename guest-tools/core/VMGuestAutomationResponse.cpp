// SPDX-License-Identifier: MIT
#include "VMGuestAutomationResponse.h"

namespace GuestTools {

void to_json(Json &json, const VMGuestAutomationResponse &response)
{
    json = Json::object();
    json["requestID"] = response.requestID.uppercaseString();
    json["success"] = response.success;
    json["handledAt"] = ISO8601::format(response.handledAt);
    json["message"] = response.message;
    if (response.exitCode)
        json["exitCode"] = *response.exitCode;
    if (response.timedOut)
        json["timedOut"] = *response.timedOut;
}

void from_json(const Json &json, VMGuestAutomationResponse &response)
{
    const JSONObjectFields fields(json);
    response.requestID = fields.uuid("requestID");
    response.success = fields.boolean("success");
    response.handledAt = fields.date("handledAt");
    response.message = fields.string("message");
    response.exitCode = fields.optionalSigned64("exitCode");
    response.timedOut = fields.optionalBoolean("timedOut");
}

} // namespace GuestTools
