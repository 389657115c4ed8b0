// SPDX-License-Identifier: MIT
#include "VMWindowsConfiguration.h"

void to_json(Json &json, const VMWindowsConfiguration &configuration)
{
    JSONObjectWriter writer;
    writer.set("isoPath", configuration.isoPath);
    writer.set("enableTPM", configuration.enableTPM);
    writer.set("enableSecureBoot", configuration.enableSecureBoot);
    writer.set("virtioDriversPath", configuration.virtioDriversPath);
    writer.set("useHypervisorAcceleration", configuration.useHypervisorAcceleration);
    json = writer.take();
}

void from_json(const Json &json, VMWindowsConfiguration &configuration)
{
    const JSONObjectReader reader(json);
    configuration.isoPath = reader.optional<QString>("isoPath");
    configuration.enableTPM = reader.required<bool>("enableTPM");
    configuration.enableSecureBoot = reader.required<bool>("enableSecureBoot");
    configuration.virtioDriversPath = reader.optional<QString>("virtioDriversPath");
    configuration.useHypervisorAcceleration = reader.required<bool>("useHypervisorAcceleration");
}
