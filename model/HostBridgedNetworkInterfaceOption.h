// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include <optional>

/**
 * One host network interface a VM can be bridged onto, as offered in the
 * interface picker. Its identity is `identifier`; it is never stored.
 */
struct HostBridgedNetworkInterfaceOption {
    QString identifier;
    /// The host's display name of the interface, absent when it gives none.
    std::optional<QString> displayName;

    /// "Ethernet (eth0)", or the identifier alone when there is no non-empty display name.
    QString label() const;

    bool operator==(const HostBridgedNetworkInterfaceOption &) const = default;
};
