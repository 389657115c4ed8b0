// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>

/**
 * A named, isolated virtual network that a group of VMs share. The record
 * keeps what the user entered without checking it: the subnet is free text
 * (CIDR by convention) and members are metadata identifiers that need not
 * name a VM that is still in the library. Identified by `id`; two networks
 * with the same members in another order are different values.
 */
struct VMPrivateNetwork {
    QUuid id;
    QString name;
    /// The address range as entered, e.g. "192.168.100.0/24".
    QString subnet;
    /// The VMs on the network, by their metadata identifier, in stored order.
    QList<QUuid> memberBundleIDs;
    QDateTime createdAt;
    bool isEnabled = false;

    bool operator==(const VMPrivateNetwork &) const = default;
};

void to_json(Json &json, const VMPrivateNetwork &network);
void from_json(const Json &json, VMPrivateNetwork &network);
