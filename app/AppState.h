// SPDX-License-Identifier: MIT
#pragma once

#include "ApplicationResources.h"
#include "AuxiliaryStorageService.h"
#include "ClipboardPasteboard.h"
#include "DialogFileChooser.h"
#include "DiskImageService.h"
#include "FileBookmarkService.h"
#include "FileViewer.h"
#include "HostNetworkService.h"
#include "HostSecurityScopedAccess.h"
#include "LibraryViewModel.h"
#include "LoggingService.h"
#include "MachineIdentityService.h"
#include "PlatformMacOSInstallBackend.h"
#include "QEMUEngine.h"
#include "QEMUExecutorRegistry.h"
#include "QEMUSetupService.h"
#include "QuitConfirmation.h"
#include "QuitViewModel.h"
#include "RegisteredQEMUMachines.h"
#include "RestoreImageCatalogService.h"
#include "RestoreImageDownloadService.h"
#include "VMBundleOperations.h"
#include "VMCIRunnerService.h"
#include "VMCLIService.h"
#include "VMClipboardSyncService.h"
#include "VMCloneService.h"
#include "VMConfigurationBuilder.h"
#include "VMConsoleWindowManager.h"
#include "VMDiskAnalyticsService.h"
#include "VMExportService.h"
#include "VMFirstBootService.h"
#include "VMGuestAutomationService.h"
#include "VMInstallService.h"
#include "VMLinuxGuestToolsService.h"
#include "VMLinuxService.h"
#include "VMMacOSUpdateService.h"
#include "VMNetworkTopologyService.h"
#include "VMPerformanceMonitorService.h"
#include "VMRuntimeService.h"
#include "VMSaveRestoreService.h"
#include "VMSharedFolderService.h"
#include "VMSnapshotService.h"
#include "VMStore.h"
#include "VMTemplateService.h"
#include "VMWindowsService.h"
#include "VirtualMachineCoordinator.h"
#include "VirtualMachineFactory.h"
#include "VirtualMachineSessionTable.h"
#include "WindowsImageProvider.h"

#include <QCoroTask>
#include <QNetworkAccessManager>
#include <QObject>

#include <memory>

class CreateVMWizardViewModel;
#include <optional>

class QEMUConsoleViewModel;
class TemplateLibraryViewModel;
class VMConsoleViewModel;
struct VMDetailsPaneModels;
class VirtualMachineSession;

/**
 * The composition root: builds every service of the application once, in
 * dependency order (the members are declared in that order, so each is built
 * from those above it), and hands out the per-screen view models. Owned by
 * main() for the life of the process; GUI thread only.
 *
 * Services that are still being written join as one member each, at their
 * place in the order.
 *
 * @code
 * AppState state;
 * MainWindow window(state);
 * VMDetailsPaneModels details = state.makeDetailsViewModels(id, chooser);
 * @endcode
 */
class AppState final : public QObject
{
    Q_OBJECT

public:
    struct Options {
        /// The library folder; none chooses the default one.
        std::optional<QString> libraryRoot;
        /// What runs the VMs; none runs them on QEMU.
        std::unique_ptr<VirtualMachineFactory> machineFactory;
        /// Where bundled resources are found; none looks beside the program.
        std::optional<ApplicationResources> resources;
    };

    AppState();
    explicit AppState(Options options);
    ~AppState() override;

    /**
     * Creates every VM's automation folder (and, for a Linux guest, stages its
     * guest tools), one VM per turn of the event loop so the window stays
     * responsive. A VM whose folder cannot be written is skipped silently.
     */
    QCoro::Task<> prepareGuestFoldersForAllBundles();

    /// The view models of a new details pane for the VM; the caller owns them. The export asks for its folder through `chooser`.
    VMDetailsPaneModels makeDetailsViewModels(const QUuid &bundleID, FileChooser &chooser);
    /// A new console view model for the session; the caller owns it. Its close action closes the VM's console window.
    std::unique_ptr<VMConsoleViewModel> makeConsoleViewModel(std::shared_ptr<VirtualMachineSession> session);
    /// A new console view model for a VM that QEMU runs without a session (a Windows guest); its close action closes the VM's console
    /// window.
    std::unique_ptr<QEMUConsoleViewModel> makeQEMUConsoleViewModel(const VMBundle &bundle);
    /**
     * Opens the VM's console window, or brings it to the front: the live console of its session, or for a Windows
     * guest the console of its QEMU. A VM the library does not hold, or one that cannot have a session, opens
     * nothing. Every start the library asks for ends here too.
     */
    void openConsole(const QUuid &id);
    /// A new template library over the template service; the caller owns it.
    std::unique_ptr<TemplateLibraryViewModel> makeTemplateLibraryViewModel();
    /// A new-VM wizard; it keeps itself alive while a creation it started runs.
    std::shared_ptr<CreateVMWizardViewModel> makeCreateWizardViewModel();

    /// The address of the remote restore-image catalog.
    static QUrl remoteCatalogURL();

    // The services, in the order they are built.
    const ApplicationResources &resources() const { return m_resources; }
    SecurityScopedAccess &access() { return m_access; }
    FileViewer &fileViewer() { return m_fileViewer; }
    const LoggingService &loggingService() const { return m_loggingService; }
    FileBookmarkService &fileBookmarkService() { return m_fileBookmarkService; }
    VMStore &vmStore() { return m_vmStore; }
    const DiskImageService &diskImageService() const { return m_diskImageService; }
    const MachineIdentityService &machineIdentityService() const { return m_machineIdentityService; }
    const AuxiliaryStorageService &auxiliaryStorageService() const { return m_auxiliaryStorageService; }
    RestoreImageCatalogService &restoreImageCatalogService() { return m_restoreImageCatalogService; }
    RestoreImageDownloadService &restoreImageDownloadService() { return m_restoreImageDownloadService; }
    const VMSharedFolderService &sharedFolderService() const { return m_sharedFolderService; }
    const HostNetworkService &hostNetworkService() const { return m_hostNetworkService; }
    const VMFirstBootService &firstBootService() const { return m_firstBootService; }
    const VMGuestAutomationService &guestAutomationService() const { return m_guestAutomationService; }
    VMClipboardSyncService &clipboardSyncService() { return m_clipboardSyncService; }
    const VMConfigurationBuilder &configurationBuilder() const { return m_configurationBuilder; }
    VMInstallService &installService() { return m_installService; }
    const VMLinuxService &linuxService() const { return m_linuxService; }
    const VMLinuxGuestToolsService &linuxGuestToolsService() const { return m_linuxGuestToolsService; }
    const VMRuntimeService &runtimeService() const { return m_runtimeService; }
    const VMSaveRestoreService &saveRestoreService() const { return m_saveRestoreService; }
    const VMCloneService &cloneService() const { return m_cloneService; }
    const QEMUEngine &qemuEngine() const { return m_qemuEngine; }
    QEMUExecutorRegistry &qemuExecutors() { return m_qemuExecutors; }
    VirtualMachineCoordinator &coordinator() { return m_coordinator; }
    VMConsoleWindowManager &consoleWindowManager() { return m_consoleWindowManager; }
    VMSnapshotService &snapshotService() { return m_snapshotService; }
    VMTemplateService &templateService() { return m_templateService; }
    VMPerformanceMonitorService &performanceMonitor() { return m_performanceMonitor; }
    VMNetworkTopologyService &networkTopologyService() { return m_networkTopologyService; }
    VMCIRunnerService &ciRunnerService() { return m_ciRunnerService; }
    const VMDiskAnalyticsService &diskAnalyticsService() const { return m_diskAnalyticsService; }
    VMExportService &exportService() { return m_exportService; }
    VMMacOSUpdateService &macOSUpdateService() { return m_macOSUpdateService; }
    QEMUSetupService &qemuSetupService() { return m_qemuSetupService; }
    const VMWindowsService &windowsService() const { return m_windowsService; }
    WindowsImageProvider &windowsImageProvider() { return m_windowsImageProvider; }
    VMCLIService &cliService() { return m_cliService; }
    VMBundleOperations &bundleOperations() { return m_bundleOperations; }
    FileChooser &fileChooser() { return m_fileChooser; }
    LibraryViewModel &libraryViewModel() { return m_libraryViewModel; }
    QuitViewModel &quitViewModel() { return m_quitViewModel; }
    QuitConfirmation &quitConfirmation() { return m_quitConfirmation; }

private:
    /// The process that runs the VM now, for the performance monitor.
    std::optional<qint64> machineProcess(const QUuid &id) const;

    ApplicationResources m_resources;
    HostSecurityScopedAccess m_access;
    DesktopFileViewer m_fileViewer;
    const LoggingService m_loggingService {};
    FileBookmarkService m_fileBookmarkService;
    VMStore m_vmStore;
    const DiskImageService m_diskImageService {};
    const MachineIdentityService m_machineIdentityService {};
    const AuxiliaryStorageService m_auxiliaryStorageService {};
    RestoreImageCatalogService m_restoreImageCatalogService;
    RestoreImageDownloadService m_restoreImageDownloadService;
    const VMSharedFolderService m_sharedFolderService;
    const HostNetworkService m_hostNetworkService {};
    const VMFirstBootService m_firstBootService;
    const VMGuestAutomationService m_guestAutomationService;
    ClipboardPasteboard m_pasteboard;
    VMClipboardSyncService m_clipboardSyncService;
    const VMConfigurationBuilder m_configurationBuilder;
    std::unique_ptr<VirtualMachineFactory> m_machineFactory;
    PlatformMacOSInstallBackend m_installBackend;
    VMInstallService m_installService;
    const VMLinuxService m_linuxService;
    const VMLinuxGuestToolsService m_linuxGuestToolsService;
    const VMRuntimeService m_runtimeService;
    const VMSaveRestoreService m_saveRestoreService;
    const VMCloneService m_cloneService;
    VirtualMachineSessionTable m_sessions;
    // The coordinator asks QEMU which Windows VMs run, so the engine and its
    // executors exist before it.
    const QEMUEngine m_qemuEngine;
    QEMUExecutorRegistry m_qemuExecutors;
    RegisteredQEMUMachines m_qemuMachines;
    VirtualMachineCoordinator m_coordinator;
    VMConsoleWindowManager m_consoleWindowManager;
    VMSnapshotService m_snapshotService;
    VMTemplateService m_templateService;
    VMPerformanceMonitorService m_performanceMonitor;
    VMNetworkTopologyService m_networkTopologyService;
    VMCIRunnerService m_ciRunnerService;
    const VMDiskAnalyticsService m_diskAnalyticsService;
    VMExportService m_exportService;
    VMMacOSUpdateService m_macOSUpdateService;
    QEMUSetupService m_qemuSetupService;
    const VMWindowsService m_windowsService;
    WindowsImageProvider m_windowsImageProvider;
    VMCLIService m_cliService;
    VMBundleOperations m_bundleOperations;
    DialogFileChooser m_fileChooser;
    QNetworkAccessManager m_network;
    LibraryViewModel m_libraryViewModel;
    QuitViewModel m_quitViewModel;
    // Asks before a quit ends running VMs; it watches every window of the application.
    QuitConfirmation m_quitConfirmation;
};
