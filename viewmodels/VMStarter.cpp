// SPDX-License-Identifier: MIT
#include "VMStarter.h"

#include "HostInstallAdvice.h"
#include "QEMUSetupService.h"
#include "VMStore.h"
#include "VirtualMachineCoordinator.h"
#include "VirtualMachineError.h"
#include "VirtualMachineSession.h"

VMStarter::VMStarter(const VMStore &store, VirtualMachineCoordinator &coordinator, QEMUSetupService *qemuSetup)
    : m_store(store)
    , m_coordinator(coordinator)
    , m_qemuSetup(qemuSetup)
{
}

QCoro::Task<std::shared_ptr<VirtualMachineSession>> VMStarter::start(QUuid id, bool resumeSavedState) const
{
    return run(*this, id, resumeSavedState);
}

QCoro::Task<std::shared_ptr<VirtualMachineSession>> VMStarter::run(VMStarter starter, QUuid id, bool resumeSavedState)
{
    const std::optional<VMBundle> bundle = starter.m_store.bundle(id);
    // A VM the store does not know goes to the coordinator, which says so.
    if (!bundle || bundle->metadata.guestOSType != VMGuestOSType::windows)
        co_return co_await starter.m_coordinator.start(id, resumeSavedState);
    if (starter.m_qemuSetup)
        co_await requireQEMU(*starter.m_qemuSetup);
    co_await starter.m_coordinator.startWithQEMU(id);
    co_return std::shared_ptr<VirtualMachineSession>();
}

QCoro::Task<> VMStarter::requireQEMU(QEMUSetupService &setup)
{
    // A QEMU installed with apt since the setup service last looked counts.
    setup.refreshInstallState();
    if (!setup.isQEMUInstalled()) {
        co_await setup.downloadQEMU();
        setup.refreshInstallState();
    }
    if (!setup.isQEMUInstalled())
        throw VirtualMachineError(VirtualMachineError::Case::runtimeError,
            QStringLiteral("QEMU could not be installed automatically. Install manually with: ")
                + HostInstallAdvice::qemuInstallCommand.toString());
}
