// SPDX-License-Identifier: MIT
#include "RegisteredQEMUMachines.h"

#include "QEMUExecutorRegistry.h"

RegisteredQEMUMachines::RegisteredQEMUMachines(const QEMUExecutorRegistry &registry)
    : m_registry(registry)
{
}

bool RegisteredQEMUMachines::isRunning(const QUuid &id) const
{
    return m_registry.isRunning(id);
}
