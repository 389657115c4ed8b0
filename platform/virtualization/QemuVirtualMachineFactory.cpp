// SPDX-License-Identifier: MIT
#include "QemuVirtualMachineFactory.h"

#include "QemuVirtualMachine.h"

QemuVirtualMachineFactory::QemuVirtualMachineFactory(HostProfile profile)
    : m_profile(std::move(profile))
{
}

bool QemuVirtualMachineFactory::isSupported() const
{
    return true;
}

std::unique_ptr<VirtualMachine> QemuVirtualMachineFactory::makeVirtualMachine(const VirtualMachineConfiguration &configuration, const QString &logDirectory)
{
    return std::make_unique<QemuVirtualMachine>(configuration, m_profile, logDirectory);
}
