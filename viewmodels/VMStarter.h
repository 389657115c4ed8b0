// SPDX-License-Identifier: MIT
#pragma once

#include <QCoroTask>
#include <QUuid>

#include <memory>

class QEMUSetupService;
class VMStore;
class VirtualMachineCoordinator;
class VirtualMachineSession;

/**
 * The one way a VM is started, wherever the user asks: the details pane,
 * the card's menu or the VM menu. A macOS or Linux VM starts through the
 * coordinator, cold or from its saved state; a Windows VM runs on QEMU,
 * which is installed first when it is missing and a setup service is
 * given. A copy of the starter holds only references to the services, and
 * a start goes on safely when the view model that asked for it has gone.
 * GUI thread only.
 *
 * @code
 * const VMStarter starter(store, coordinator, &qemuSetup);
 * const std::shared_ptr<VirtualMachineSession> session = co_await starter.start(id, false);
 * if (!session) ... // a Windows VM that QEMU runs without a session
 * @endcode
 */
class VMStarter
{
public:
    VMStarter(const VMStore &store, VirtualMachineCoordinator &coordinator, QEMUSetupService *qemuSetup);

    /**
     * Starts the VM and returns its session, or none for a Windows VM, which
     * QEMU runs without one (it has no saved state to resume). Refusals and
     * failures are thrown as the coordinator, the setup service and QEMU
     * give them; QEMU that could not be installed is a runtimeError that
     * names the host's install command.
     */
    QCoro::Task<std::shared_ptr<VirtualMachineSession>> start(QUuid id, bool resumeSavedState) const;

private:
    static QCoro::Task<std::shared_ptr<VirtualMachineSession>> run(VMStarter starter, QUuid id, bool resumeSavedState);
    /// Installs QEMU when the setup service finds none.
    static QCoro::Task<> requireQEMU(QEMUSetupService &setup);

    const VMStore &m_store;
    VirtualMachineCoordinator &m_coordinator;
    QEMUSetupService *m_qemuSetup;
};
