// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

/// A host network interface that a VM's network device can be bridged onto.
struct BridgedNetworkInterface {
    /// The kernel's name of the interface, e.g. "eth0"; stable while it exists.
    QString identifier;
    /// What a person calls it, e.g. "Ethernet"; absent when the host has no name for it.
    std::optional<QString> localizedDisplayName;

    bool operator==(const BridgedNetworkInterface &) const = default;
};
