// SPDX-License-Identifier: MIT
#include "VMLinuxBootConfiguration.h"

void to_json(Json &json, const VMLinuxBootConfiguration &configuration)
{
    JSONObjectWriter writer;
    writer.set("kernelPath", configuration.kernelPath);
    writer.set("initialRamdiskPath", configuration.initialRamdiskPath);
    writer.set("commandLine", configuration.commandLine);
    writer.set("useRosetta", configuration.useRosetta);
    json = writer.take();
}

void from_json(const Json &json, VMLinuxBootConfiguration &configuration)
{
    const JSONObjectReader reader(json);
    configuration.kernelPath = reader.required<QString>("kernelPath");
    configuration.initialRamdiskPath = reader.optional<QString>("initialRamdiskPath");
    configuration.commandLine = reader.required<QString>("commandLine");
    configuration.useRosetta = reader.required<bool>("useRosetta");
}
