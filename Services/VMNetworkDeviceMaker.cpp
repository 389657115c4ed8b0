// SPDX-License-Identifier: MIT
#include "VMNetworkDeviceMaker.h"

#include "HostNetworkService.h"
#include "VirtualMachineError.h"

VMNetworkDeviceMaker::VMNetworkDeviceMaker(const HostNetworkService &hostNetworkService, QString noSelectionDetail)
    : m_hostNetworkService(hostNetworkService)
    , m_noSelectionDetail(std::move(noSelectionDetail))
{
}

NetworkDeviceConfiguration VMNetworkDeviceMaker::make(const std::optional<VMNetworkConfiguration> &networkConfiguration) const
{
    if (!networkConfiguration || networkConfiguration->mode == VMNetworkConfiguration::Mode::nat)
        return NetworkDeviceConfiguration{NATNetworkDeviceAttachment{}, std::nullopt};

    if (!networkConfiguration->bridgedInterfaceIdentifier)
        throw VirtualMachineError(VirtualMachineError::Case::configurationValidationFailed, m_noSelectionDetail);
    const QString &identifier = *networkConfiguration->bridgedInterfaceIdentifier;
    const auto hostInterface = m_hostNetworkService.interface(identifier);
    if (!hostInterface)
        throw VirtualMachineError(VirtualMachineError::Case::configurationValidationFailed,
                                  QStringLiteral("The bridged network interface ") + identifier + QStringLiteral(" is no longer available on this computer."));
    return NetworkDeviceConfiguration{BridgedNetworkDeviceAttachment{hostInterface->identifier}, std::nullopt};
}
