// SPDX-License-Identifier: MIT
#include "VMPrivateNetwork.h"

void to_json(Json &json, const VMPrivateNetwork &network)
{
    JSONObjectWriter writer;
    writer.set("id", network.id);
    writer.set("name", network.name);
    writer.set("subnet", network.subnet);
    writer.set("memberBundleIDs", network.memberBundleIDs);
    writer.set("createdAt", network.createdAt);
    writer.set("isEnabled", network.isEnabled);
    json = writer.take();
}

void from_json(const Json &json, VMPrivateNetwork &network)
{
    const JSONObjectReader reader(json);
    network.id = reader.required<QUuid>("id");
    network.name = reader.required<QString>("name");
    network.subnet = reader.required<QString>("subnet");
    network.memberBundleIDs = reader.required<QList<QUuid>>("memberBundleIDs");
    network.createdAt = reader.required<QDateTime>("createdAt");
    network.isEnabled = reader.required<bool>("isEnabled");
}
