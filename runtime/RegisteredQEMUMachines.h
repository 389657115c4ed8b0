// SPDX-License-Identifier: MIT
#pragma once

#include "RunningQEMUMachines.h"

class QEMUExecutorRegistry;

/**
 * The running QEMU processes as the executor registry holds them: a VM runs
 * from the moment its executor's start begins until its process exits. The
 * registry must outlive this object.
 */
class RegisteredQEMUMachines final : public RunningQEMUMachines
{
public:
    explicit RegisteredQEMUMachines(const QEMUExecutorRegistry &registry);

    bool isRunning(const QUuid &id) const override;

private:
    const QEMUExecutorRegistry &m_registry;
};
