// SPDX-License-Identifier: MIT
#pragma once

#include "JSONCoding.h"
#include "RawValueEnum.h"

#include <QString>

#include <optional>

/**
 * How one VM reaches the network: shared NAT through the host, or bridged
 * onto a host interface. The fields are independent: a NAT configuration may
 * still carry interface fields, a bridged one may lack them. A default-made
 * value (NAT, no interface) is the setting used where a VM stores none.
 */
struct VMNetworkConfiguration {
    enum class Mode {
        nat,
        bridged,
    };

    Mode mode = Mode::nat;
    /// The host's identifier of the bridged interface, e.g. "eth0".
    std::optional<QString> bridgedInterfaceIdentifier;
    /// The name the interface was shown under when it was chosen; for display only.
    std::optional<QString> bridgedInterfaceDisplayName;

    /// "Shared NAT", "Bridged", "Bridged via eth0" or "Bridged via Ethernet (eth0)".
    QString summary() const;

    bool operator==(const VMNetworkConfiguration &) const = default;
};

template <>
struct RawValues<VMNetworkConfiguration::Mode> {
    static constexpr std::string_view typeName = "Mode";
    static constexpr std::array table{
        std::pair{VMNetworkConfiguration::Mode::nat, std::string_view{"nat"}},
        std::pair{VMNetworkConfiguration::Mode::bridged, std::string_view{"bridged"}},
    };
};

void to_json(Json &json, const VMNetworkConfiguration &configuration);
void from_json(const Json &json, VMNetworkConfiguration &configuration);
