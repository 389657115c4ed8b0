// SPDX-License-Identifier: MIT
#include "ScriptedVirtualMachineFactory.h"

std::unique_ptr<VirtualMachine> ScriptedVirtualMachineFactory::makeVirtualMachine(const VirtualMachineConfiguration &configuration, const QString &logDirectory)
{
    m_configurations << configuration;
    m_logDirectories << logDirectory;
    auto machine = std::make_unique<ScriptedVirtualMachine>(configuration, m_script);
    machine->setDisplaySocketPath(m_displaySocketPath);
    m_machines << machine.get();
    return machine;
}

QList<ScriptedVirtualMachine *> ScriptedVirtualMachineFactory::machines() const
{
    QList<ScriptedVirtualMachine *> alive;
    for (const QPointer<ScriptedVirtualMachine> &machine : m_machines) {
        if (machine)
            alive << machine.data();
    }
    return alive;
}

ScriptedVirtualMachine *ScriptedVirtualMachineFactory::lastMachine() const
{
    return m_machines.isEmpty() ? nullptr : m_machines.last().data();
}
