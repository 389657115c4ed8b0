// SPDX-License-Identifier: MIT
#pragma once

#include <QUuid>

/**
 * A private network's identifier, typed so that it cannot be passed where a
 * VM's identifier is expected (or the other way round).
 */
struct PrivateNetworkID {
    explicit PrivateNetworkID(const QUuid &id)
        : value(id)
    {
    }

    QUuid value;

    bool operator==(const PrivateNetworkID &) const = default;
};
