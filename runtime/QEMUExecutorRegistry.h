// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QHash>
#include <QObject>
#include <QUuid>

#include <memory>

class QEMUExecutor;

/**
 * Keeps every started QEMU executor, one per VM, until its process exits,
 * so that the exit is seen and reported, and answers whether a VM's QEMU is
 * running for the guards of the rest of the application. An executor is held
 * from the moment its start begins; a failed start or the process's exit
 * releases it (deleted later, after its callbacks have run). Destroying the
 * registry ends the QEMU processes it still holds. GUI thread only.
 *
 * @code
 * QEMUExecutorRegistry registry;
 * co_await registry.start(engine.makeExecutor(bundle)); // a second start of the VM is refused
 * if (registry.isRunning(bundle.id())) ...
 * @endcode
 */
class QEMUExecutorRegistry final : public QObject
{
    Q_OBJECT

public:
    explicit QEMUExecutorRegistry(QObject *parent = nullptr);
    ~QEMUExecutorRegistry() override;

    /**
     * Takes the executor, starts it and keeps it until its process exits.
     * Throws VirtualMachineError invalidOperation "The virtual machine is
     * already active." when an executor of the same VM is held (the new one
     * is dropped unstarted), and whatever the start throws (the executor is
     * released).
     */
    QCoro::Task<> start(std::unique_ptr<QEMUExecutor> executor);

    /// Ends the VM's QEMU through its executor's stop(); returns once it has exited. A VM without an executor is no error.
    QCoro::Task<> stop(QUuid id);

    /// Whether QEMU of the VM is starting or running.
    bool isRunning(const QUuid &id) const { return m_executors.contains(id); }
    /// The VM's held executor, or null.
    QEMUExecutor *executor(const QUuid &id) const { return m_executors.value(id); }

Q_SIGNALS:
    /// A VM's executor was taken (true) or released (false).
    void runningChanged(const QUuid &id, bool running);

private:
    void release(const QUuid &id, QEMUExecutor *executor);

    QHash<QUuid, QEMUExecutor *> m_executors;
};
