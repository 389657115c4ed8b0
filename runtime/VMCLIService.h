// SPDX-License-Identifier: MIT
#pragma once

class LoggingService;
class VMExportService;
class VMSnapshotService;
class VMStore;
class VirtualMachineCoordinator;

/**
 * The command-line service that the application keeps beside the others. It
 * holds the services a command line would drive and has no operations of
 * its own yet.
 */
class VMCLIService final
{
public:
    VMCLIService(VMStore &store, VirtualMachineCoordinator &coordinator, VMSnapshotService &snapshotService, VMExportService &exportService,
                 const LoggingService &loggingService);

    VMStore &store() const { return m_store; }
    VirtualMachineCoordinator &coordinator() const { return m_coordinator; }
    VMSnapshotService &snapshotService() const { return m_snapshotService; }
    VMExportService &exportService() const { return m_exportService; }
    const LoggingService &loggingService() const { return m_loggingService; }

private:
    VMStore &m_store;
    VirtualMachineCoordinator &m_coordinator;
    VMSnapshotService &m_snapshotService;
    VMExportService &m_exportService;
    const LoggingService &m_loggingService;
};
