// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QSet>
#include <QUuid>

#include <chrono>

class LoggingService;
class VMStore;
class VirtualMachineCoordinator;

/**
 * What quitting the application does about the virtual machines that run:
 * which ones run (a session that is not stopped, or a Windows guest that
 * QEMU runs without one), and stopping them all through the coordinator, as
 * the Stop action does. The stops run side by side and are waited for at
 * most stopLimit; whatever did not stop by then (or failed to) is recorded
 * as stopped, since it ends with the application, and the VM's log says
 * why. No VM is left recorded as running. GUI thread only.
 *
 * @code
 * QuitViewModel quit(store, coordinator, logging);
 * if (!quit.runningVMs().isEmpty() && userAgrees())
 *     co_await quit.stopRunningVMs();
 * @endcode
 */
class QuitViewModel final : public QObject
{
    Q_OBJECT

public:
    /// Longer than a Windows guest gets to shut down after QEMU's power button and QEMU then gets to quit (75 s in all).
    static constexpr std::chrono::seconds defaultStopLimit {90};

    QuitViewModel(VMStore &store, VirtualMachineCoordinator &coordinator, const LoggingService &logging,
        std::chrono::milliseconds stopLimit = defaultStopLimit, QObject *parent = nullptr);

    /// The VMs that run now, in the store's order; a running VM the store no longer lists comes last.
    QList<VMBundle> runningVMs() const;
    bool isStopping() const { return m_isStopping; }

    /// Stops every running VM and records each as stopped; never throws. A second call while one runs does nothing.
    QCoro::Task<> stopRunningVMs();

Q_SIGNALS:
    void isStoppingChanged();

private:
    void setStopping(bool stopping);
    /// Records the VMs as stopped after the wait, saying which of them had not stopped in time.
    void recordStopped(const QList<VMBundle> &vms, const QSet<QUuid> &unfinished);

    VMStore &m_store;
    VirtualMachineCoordinator &m_coordinator;
    const LoggingService &m_logging;
    const std::chrono::milliseconds m_stopLimit;
    bool m_isStopping = false;
};
