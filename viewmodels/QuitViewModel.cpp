// SPDX-License-Identifier: MIT
#include "QuitViewModel.h"

#include "LoggingService.h"
#include "MachineOperationTimeout.h"
#include "VMStore.h"
#include "VirtualMachineCoordinator.h"
#include "VirtualMachineSessionTable.h"

#include <QPointer>
#include <QSet>

#include <memory>
#include <vector>

namespace {

/// The VMs whose stop has not ended; the stops may end after quitting gave up waiting, so they share it.
using Unfinished = std::shared_ptr<QSet<QUuid>>;

/// Stops one VM as the Stop action does; a failure goes to the VM's log while the logging service still exists.
QCoro::Task<> stopForQuit(VirtualMachineCoordinator &coordinator, VMBundle vm, Unfinished unfinished, QPointer<QuitViewModel> owner,
    const LoggingService &logging)
{
    try {
        co_await coordinator.stop(vm.id());
    } catch (const std::exception &error) {
        if (owner)
            logging.log(
                QStringLiteral("Could not stop ") + vm.metadata.name + QStringLiteral(" on quitting: ") + QString::fromUtf8(error.what()),
                QStringLiteral("Runtime"), vm.bundleURL);
    }
    unfinished->remove(vm.id());
}

/// Awaits every stop; none of them throws.
QCoro::Task<> awaitEach(std::vector<QCoro::Task<>> stops)
{
    for (const QCoro::Task<> &stop : stops)
        co_await stop;
}

} // namespace

QuitViewModel::QuitViewModel(VMStore &store, VirtualMachineCoordinator &coordinator, const LoggingService &logging,
    std::chrono::milliseconds stopLimit, QObject *parent)
    : QObject(parent)
    , m_store(store)
    , m_coordinator(coordinator)
    , m_logging(logging)
    , m_stopLimit(stopLimit)
{
}

QList<VMBundle> QuitViewModel::runningVMs() const
{
    QList<VMBundle> running;
    for (const VMBundle &bundle : m_store.bundles()) {
        if (m_coordinator.isMachineActive(bundle.id()))
            running << bundle;
    }
    const VirtualMachineSessionTable &sessions = m_coordinator.sessions();
    for (const QUuid &id : sessions.ids()) {
        if (!m_store.bundle(id) && sessions.isActive(id))
            running << sessions.session(id)->bundle();
    }
    return running;
}

QCoro::Task<> QuitViewModel::stopRunningVMs()
{
    if (m_isStopping)
        co_return;
    const QList<VMBundle> running = runningVMs();
    setStopping(true);
    const QPointer<QuitViewModel> self(this);
    const auto unfinished = std::make_shared<QSet<QUuid>>();
    std::vector<QCoro::Task<>> stops;
    for (const VMBundle &vm : running) {
        unfinished->insert(vm.id());
        stops.push_back(stopForQuit(m_coordinator, vm, unfinished, self, m_logging));
    }
    try {
        co_await MachineOperationTimeout::bound(awaitEach(std::move(stops)), m_stopLimit);
    } catch (const std::exception &) {
        // Out of time: what has not stopped yet ends with the application.
    }
    if (!self)
        co_return;
    recordStopped(running, *unfinished);
    setStopping(false);
}

void QuitViewModel::recordStopped(const QList<VMBundle> &vms, const QSet<QUuid> &unfinished)
{
    const qint64 seconds = std::chrono::ceil<std::chrono::seconds>(m_stopLimit).count();
    for (const VMBundle &vm : vms) {
        if (unfinished.contains(vm.id()))
            m_logging.log(vm.metadata.name + QStringLiteral(" did not stop within %1 seconds of quitting").arg(seconds),
                QStringLiteral("Runtime"), vm.bundleURL);
        try {
            m_coordinator.recordStoppedAtQuit(vm.id());
        } catch (const std::exception &error) {
            m_logging.log(
                QStringLiteral("Could not record ") + vm.metadata.name + QStringLiteral(" as stopped: ") + QString::fromUtf8(error.what()),
                QStringLiteral("Runtime"), vm.bundleURL);
        }
    }
}

void QuitViewModel::setStopping(bool stopping)
{
    m_isStopping = stopping;
    Q_EMIT isStoppingChanged();
}
