// SPDX-License-Identifier: MIT
#include "VMCIRunResult.h"

#include "DisplayFormatters.h"

std::optional<QString> VMCIRunResult::durationText() const
{
    if (!durationSeconds)
        return std::nullopt;
    return DisplayFormatters::durationText(*durationSeconds);
}

std::optional<QString> VMCIRunResult::exitCodeText() const
{
    if (!exitCode)
        return std::nullopt;
    return QStringLiteral("Exit: ") + QString::number(*exitCode);
}

std::optional<VMCIRunColor> VMCIRunResult::exitCodeColor() const
{
    if (!exitCode)
        return std::nullopt;
    return *exitCode == 0 ? VMCIRunColor::green : VMCIRunColor::red;
}

void to_json(Json &json, const VMCIRunResult &result)
{
    JSONObjectWriter writer;
    writer.set("id", result.id);
    writer.set("configurationID", result.configurationID);
    writer.set("bundleID", result.bundleID);
    writer.set("status", result.status);
    writer.set("startedAt", result.startedAt);
    writer.set("completedAt", result.completedAt);
    writer.set("exitCode", result.exitCode);
    writer.set("outputPath", result.outputPath);
    writer.set("errorMessage", result.errorMessage);
    writer.set("durationSeconds", result.durationSeconds);
    json = writer.take();
}

void from_json(const Json &json, VMCIRunResult &result)
{
    const JSONObjectReader reader(json);
    result.id = reader.required<QUuid>("id");
    result.configurationID = reader.required<QUuid>("configurationID");
    result.bundleID = reader.required<QUuid>("bundleID");
    result.status = reader.required<VMCIRunStatus>("status");
    result.startedAt = reader.required<QDateTime>("startedAt");
    result.completedAt = reader.optional<QDateTime>("completedAt");
    result.exitCode = reader.optional<qint64>("exitCode");
    result.outputPath = reader.optional<QString>("outputPath");
    result.errorMessage = reader.optional<QString>("errorMessage");
    result.durationSeconds = reader.optional<double>("durationSeconds");
}
