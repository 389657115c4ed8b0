// SPDX-License-Identifier: MIT
#include "VMFirstBootConfig.h"

void to_json(Json &json, const VMFirstBootConfig &config)
{
    JSONObjectWriter writer;
    writer.set("enabled", config.enabled);
    writer.set("scriptRelativePath", config.scriptRelativePath);
    writer.set("additionalFilesRelativePaths", config.additionalFilesRelativePaths);
    writer.set("runOnce", config.runOnce);
    writer.set("notes", config.notes);
    json = writer.take();
}

void from_json(const Json &json, VMFirstBootConfig &config)
{
    const JSONObjectReader reader(json);
    config.enabled = reader.required<bool>("enabled");
    config.scriptRelativePath = reader.optional<QString>("scriptRelativePath");
    config.additionalFilesRelativePaths = reader.required<QList<QString>>("additionalFilesRelativePaths");
    config.runOnce = reader.required<bool>("runOnce");
    config.notes = reader.required<QString>("notes");
}
