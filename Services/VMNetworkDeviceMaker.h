// SPDX-License-Identifier: MIT
#pragma once

#include "DeviceConfigurations.h"
#include "VMNetworkConfiguration.h"

#include <QString>

#include <optional>

class HostNetworkService;

/**
 * The one network device of a VM run by the virtualization layer: NAT when
 * the VM stores no network setting or asks for NAT, else bridged onto the
 * host interface it chose. No MAC address is set; the machine picks one.
 * Shared by the macOS and Linux configuration builders, which differ only in
 * the sentence for a bridged VM without a chosen interface.
 */
class VMNetworkDeviceMaker
{
public:
    /// `noSelectionDetail` is the detail for a bridged VM without an interface identifier.
    VMNetworkDeviceMaker(const HostNetworkService &hostNetworkService, QString noSelectionDetail);

    /**
     * Throws VirtualMachineError (configurationValidationFailed) when bridged
     * mode has no identifier, or when no host interface has that identifier
     * any more ("The bridged network interface <id> is no longer available
     * on this computer.").
     */
    NetworkDeviceConfiguration make(const std::optional<VMNetworkConfiguration> &networkConfiguration) const;

private:
    const HostNetworkService &m_hostNetworkService;
    QString m_noSelectionDetail;
};
