// SPDX-License-Identifier: MIT
#include "VMCLIService.h"

VMCLIService::VMCLIService(VMStore &store, VirtualMachineCoordinator &coordinator, VMSnapshotService &snapshotService,
                           VMExportService &exportService, const LoggingService &loggingService)
    : m_store(store)
    , m_coordinator(coordinator)
    , m_snapshotService(snapshotService)
    , m_exportService(exportService)
    , m_loggingService(loggingService)
{
}
