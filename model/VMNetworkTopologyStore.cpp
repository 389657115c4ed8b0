// SPDX-License-Identifier: MIT
#include "VMNetworkTopologyStore.h"

void to_json(Json &json, const VMNetworkTopologyStore &store)
{
    JSONObjectWriter writer;
    writer.set("privateNetworks", store.privateNetworks);
    json = writer.take();
}

void from_json(const Json &json, VMNetworkTopologyStore &store)
{
    store.privateNetworks = JSONObjectReader(json).required<QList<VMPrivateNetwork>>("privateNetworks");
}
