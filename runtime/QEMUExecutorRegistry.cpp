// SPDX-License-Identifier: MIT
#include "QEMUExecutorRegistry.h"

#include "QEMUExecutor.h"
#include "VirtualMachineError.h"

#include <QPointer>

#include <exception>

QEMUExecutorRegistry::QEMUExecutorRegistry(QObject *parent)
    : QObject(parent)
{
}

QEMUExecutorRegistry::~QEMUExecutorRegistry()
{
    // Each executor ends its QEMU as it goes; nobody is told, the registry being gone.
    const QList<QEMUExecutor *> executors = m_executors.values();
    m_executors.clear();
    for (QEMUExecutor *executor : executors) {
        disconnect(executor, nullptr, this, nullptr);
        delete executor;
    }
}

QCoro::Task<> QEMUExecutorRegistry::start(std::unique_ptr<QEMUExecutor> executor)
{
    const QUuid id = executor->bundle().id();
    if (m_executors.contains(id))
        throw VirtualMachineError::invalidOperation(QStringLiteral("The virtual machine is already active."));
    QPointer<QEMUExecutorRegistry> self(this);
    QEMUExecutor *held = executor.release();
    held->setParent(this);
    m_executors.insert(id, held);
    connect(held, &QEMUExecutor::processExited, this, [this, id, held] { release(id, held); });
    Q_EMIT runningChanged(id, true);

    std::exception_ptr failure;
    try {
        co_await held->start();
    } catch (...) {
        failure = std::current_exception();
    }
    // Gone with the registry, the executor was ended with it.
    if (self && failure)
        release(id, held);
    if (failure)
        std::rethrow_exception(failure);
}

QCoro::Task<> QEMUExecutorRegistry::stop(QUuid id)
{
    if (QEMUExecutor *const executor = m_executors.value(id))
        co_await executor->stop();
}

void QEMUExecutorRegistry::release(const QUuid &id, QEMUExecutor *executor)
{
    if (m_executors.value(id) != executor)
        return;
    m_executors.remove(id);
    disconnect(executor, nullptr, this, nullptr);
    executor->deleteLater();
    Q_EMIT runningChanged(id, false);
}
