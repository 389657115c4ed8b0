// SPDX-License-Identifier: MIT
#pragma once

#include "HostProfile.h"
#include "VirtualMachineFactory.h"

/// Makes QemuVirtualMachine objects for one host profile.
class QemuVirtualMachineFactory final : public VirtualMachineFactory
{
public:
    explicit QemuVirtualMachineFactory(HostProfile profile = HostProfile::detect());

    /// Always true: where no accelerator is usable, QEMU emulates the CPU. A missing QEMU is reported by start().
    bool isSupported() const override;
    std::unique_ptr<VirtualMachine> makeVirtualMachine(const VirtualMachineConfiguration &configuration, const QString &logDirectory) override;

    const HostProfile &profile() const { return m_profile; }

private:
    HostProfile m_profile;
};
