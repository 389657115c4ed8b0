// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"
#include "VMPrivateNetwork.h"

#include <QList>

/**
 * The whole content of NetworkTopology.json: the user's private networks in
 * stored order, as an object whose one key is "privateNetworks" (never a
 * bare array, so an empty object does not decode).
 */
struct VMNetworkTopologyStore {
    QList<VMPrivateNetwork> privateNetworks;
};

void to_json(Json &json, const VMNetworkTopologyStore &store);
void from_json(const Json &json, VMNetworkTopologyStore &store);
