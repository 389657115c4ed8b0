// SPDX-License-Identifier: MIT
#include "RegisteredQEMUMachines.h"

#include "QEMUEngine.h"
#include "QEMUExecutor.h"
#include "QEMUExecutorRegistry.h"

RegisteredQEMUMachines::RegisteredQEMUMachines(QEMUExecutorRegistry &registry, const QEMUEngine &engine, QObject *parent)
    : QEMUMachines(parent)
    , m_registry(registry)
    , m_engine(engine)
{
    connect(&m_registry, &QEMUExecutorRegistry::runningChanged, this, &QEMUMachines::runningChanged);
}

bool RegisteredQEMUMachines::isRunning(const QUuid &id) const
{
    return m_registry.isRunning(id);
}

QCoro::Task<> RegisteredQEMUMachines::start(VMBundle bundle)
{
    std::unique_ptr<QEMUExecutor> executor = m_engine.makeExecutor(bundle);
    co_await m_registry.start(std::move(executor));
}

QCoro::Task<> RegisteredQEMUMachines::stop(QUuid id)
{
    co_await m_registry.stop(id);
}
