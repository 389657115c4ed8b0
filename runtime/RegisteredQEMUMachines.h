// SPDX-License-Identifier: MIT
#pragma once

#include "QEMUMachines.h"

class QEMUEngine;
class QEMUExecutorRegistry;

/**
 * The QEMU machines of the executor registry: the engine makes each VM's
 * executor, the registry keeps it from the moment its start begins until its
 * process exits. Registry and engine must outlive this object.
 */
class RegisteredQEMUMachines final : public QEMUMachines
{
    Q_OBJECT

public:
    RegisteredQEMUMachines(QEMUExecutorRegistry &registry, const QEMUEngine &engine, QObject *parent = nullptr);

    bool isRunning(const QUuid &id) const override;
    QCoro::Task<> start(VMBundle bundle) override;
    QCoro::Task<> stop(QUuid id) override;

private:
    QEMUExecutorRegistry &m_registry;
    const QEMUEngine &m_engine;
};
