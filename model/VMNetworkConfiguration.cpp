// SPDX-License-Identifier: MIT
#include "VMNetworkConfiguration.h"

QString VMNetworkConfiguration::summary() const
{
    if (mode == Mode::nat)
        return QStringLiteral("Shared NAT");
    if (!bridgedInterfaceIdentifier)
        return QStringLiteral("Bridged");
    // An empty display name is still shown: it was what the host reported.
    if (!bridgedInterfaceDisplayName)
        return QStringLiteral("Bridged via ") + *bridgedInterfaceIdentifier;
    return QStringLiteral("Bridged via ") + *bridgedInterfaceDisplayName + QStringLiteral(" (") + *bridgedInterfaceIdentifier
        + QLatin1Char(')');
}

void to_json(Json &json, const VMNetworkConfiguration &configuration)
{
    JSONObjectWriter writer;
    writer.set("mode", configuration.mode);
    writer.set("bridgedInterfaceIdentifier", configuration.bridgedInterfaceIdentifier);
    writer.set("bridgedInterfaceDisplayName", configuration.bridgedInterfaceDisplayName);
    json = writer.take();
}

void from_json(const Json &json, VMNetworkConfiguration &configuration)
{
    const JSONObjectReader reader(json);
    configuration.mode = reader.required<VMNetworkConfiguration::Mode>("mode");
    configuration.bridgedInterfaceIdentifier = reader.optional<QString>("bridgedInterfaceIdentifier");
    configuration.bridgedInterfaceDisplayName = reader.optional<QString>("bridgedInterfaceDisplayName");
}
