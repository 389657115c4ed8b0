// SPDX-License-Identifier: MIT
#include "VMGuestAutomationResponse.h"

void to_json(Json &json, const VMGuestAutomationResponse &response)
{
    JSONObjectWriter writer;
    writer.set("requestID", response.requestID);
    writer.set("success", response.success);
    writer.set("handledAt", response.handledAt);
    writer.set("message", response.message);
    writer.set("exitCode", response.exitCode);
    writer.set("timedOut", response.timedOut);
    json = writer.take();
}

void from_json(const Json &json, VMGuestAutomationResponse &response)
{
    const JSONObjectReader reader(json);
    response.requestID = reader.required<QUuid>("requestID");
    response.success = reader.required<bool>("success");
    response.handledAt = reader.required<QDateTime>("handledAt");
    response.message = reader.required<QString>("message");
    response.exitCode = reader.optional<qint64>("exitCode");
    response.timedOut = reader.optional<bool>("timedOut");
}
