// SPDX-License-Identifier: MIT
#pragma once

#include "VirtualMachine.h"
#include "VirtualMachineConfiguration.h"

#include <QString>

#include <memory>

/**
 * Makes virtual machines of one backend. The runtime injects
 * QemuVirtualMachineFactory; tests inject ScriptedVirtualMachineFactory.
 */
class VirtualMachineFactory
{
public:
    virtual ~VirtualMachineFactory() = default;

    /// Whether this host can run virtual machines at all.
    virtual bool isSupported() const = 0;

    /**
     * A stopped machine made from `configuration`, which should have passed
     * validate(). What the machine's helpers print goes into files in
     * `logDirectory` (a bundle's Logs folder).
     */
    virtual std::unique_ptr<VirtualMachine> makeVirtualMachine(const VirtualMachineConfiguration &configuration, const QString &logDirectory) = 0;
};
