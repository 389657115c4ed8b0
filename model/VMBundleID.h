// SPDX-License-Identifier: MIT
#pragma once

#include <QUuid>

/**
 * A VM's metadata identifier, typed so that it cannot be passed where a
 * private network's identifier is expected (or the other way round).
 */
struct VMBundleID {
    explicit VMBundleID(const QUuid &id)
        : value(id)
    {
    }

    QUuid value;

    bool operator==(const VMBundleID &) const = default;
};
