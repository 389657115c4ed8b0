// SPDX-License-Identifier: MIT
#include "VMGuestAutomationRequest.h"

void to_json(Json &json, const VMGuestAutomationRequest &request)
{
    JSONObjectWriter writer;
    writer.set("id", request.id);
    writer.set("command", request.command);
    writer.set("createdAt", request.createdAt);
    writer.set("requestedDiskSizeBytes", request.requestedDiskSizeBytes);
    writer.set("timeoutSeconds", request.timeoutSeconds);
    writer.set("environment", request.environment);
    writer.set("captureOutput", request.captureOutput);
    json = writer.take();
}

void from_json(const Json &json, VMGuestAutomationRequest &request)
{
    const JSONObjectReader reader(json);
    request.id = reader.required<QUuid>("id");
    request.command = reader.required<VMGuestAutomationCommand>("command");
    request.createdAt = reader.required<QDateTime>("createdAt");
    request.requestedDiskSizeBytes = reader.required<quint64>("requestedDiskSizeBytes");
    request.timeoutSeconds = reader.optional<qint64>("timeoutSeconds");
    request.environment = reader.optional<QMap<QString, QString>>("environment");
    request.captureOutput = reader.optional<bool>("captureOutput");
}
