// SPDX-License-Identifier: MIT
#include "AppState.h"

#include "CreateVMWizardViewModel.h"
#include "GuestDisplayConnection.h"
#include "QEMUConsoleView.h"
#include "QEMUConsoleViewModel.h"
#include "QEMUExecutor.h"
#include "QemuVirtualMachineFactory.h"
#include "SystemHostCapacity.h"
#include "TemplateLibraryViewModel.h"
#include "VMConsoleView.h"
#include "VMConsoleViewModel.h"
#include "VMDetailsPaneModels.h"
#include "VirtualMachineSession.h"
#include "WindowsVMCreation.h"

#include <QCoroTimer>
#include <QGuiApplication>
#include <QPointer>

#include <chrono>

namespace {

std::unique_ptr<VirtualMachineFactory> machinesOrQEMU(std::unique_ptr<VirtualMachineFactory> machines)
{
    return machines ? std::move(machines) : std::make_unique<QemuVirtualMachineFactory>();
}

} // namespace

AppState::AppState()
    : AppState(Options {})
{
}

AppState::AppState(Options options)
    : m_resources(options.resources ? *options.resources : ApplicationResources::standard())
    , m_vmStore({m_loggingService, m_fileBookmarkService, m_access, m_fileViewer}, options.libraryRoot)
    , m_restoreImageCatalogService(m_loggingService, remoteCatalogURL(), m_resources)
    , m_restoreImageDownloadService(m_loggingService)
    , m_sharedFolderService(m_fileBookmarkService, m_access)
    , m_firstBootService(m_loggingService, m_resources)
    , m_guestAutomationService(m_loggingService, m_access, m_fileViewer, m_resources)
    , m_pasteboard(*QGuiApplication::clipboard())
    , m_clipboardSyncService(m_guestAutomationService, m_loggingService, m_access, m_pasteboard)
    , m_configurationBuilder(m_sharedFolderService, m_hostNetworkService, m_access)
    , m_machineFactory(machinesOrQEMU(std::move(options.machineFactory)))
    , m_installBackend(*m_machineFactory)
    , m_installService({m_vmStore, m_configurationBuilder, m_restoreImageCatalogService, m_restoreImageDownloadService, m_diskImageService,
          m_auxiliaryStorageService, m_machineIdentityService, m_sharedFolderService, m_firstBootService, m_guestAutomationService,
          m_loggingService, m_access, m_installBackend})
    , m_linuxService(m_loggingService, m_sharedFolderService, m_hostNetworkService, m_access)
    , m_linuxGuestToolsService(m_loggingService)
    , m_runtimeService(m_configurationBuilder, m_sharedFolderService, m_linuxService, m_loggingService, *m_machineFactory)
    , m_saveRestoreService(m_loggingService)
    , m_cloneService(m_vmStore, m_machineIdentityService, m_loggingService)
    , m_sessions(m_access)
    , m_qemuEngine(m_loggingService)
    , m_qemuMachines(m_qemuExecutors, m_qemuEngine)
    , m_coordinator({m_vmStore, m_sessions, m_runtimeService, m_diskImageService, m_sharedFolderService, m_guestAutomationService,
          m_linuxGuestToolsService, m_saveRestoreService, m_cloneService, m_loggingService, m_access, m_qemuMachines})
    , m_snapshotService(m_diskImageService, m_loggingService)
    , m_templateService(m_loggingService)
    , m_performanceMonitor([this](const QUuid &id) { return machineProcess(id); })
    , m_networkTopologyService(m_loggingService)
    , m_ciRunnerService(
          m_loggingService, [this](const QUuid &id) { return m_coordinator.effectiveRuntimeState(id); },
          [this](QUuid id, QString name, QString notes, bool isAutoSnapshot) {
              return m_bundleOperations.createSnapshot(id, name, notes, isAutoSnapshot);
          })
    , m_diskAnalyticsService(m_diskImageService, m_loggingService)
    , m_exportService(m_loggingService, m_vmStore)
    , m_macOSUpdateService(
          m_restoreImageCatalogService,
          [this](QUuid id, QString name, QString notes, bool isAutoSnapshot) {
              return m_bundleOperations.createSnapshot(id, name, notes, isAutoSnapshot);
          },
          m_loggingService)
    , m_qemuSetupService(m_loggingService)
    , m_windowsService(m_loggingService)
    , m_windowsImageProvider(m_loggingService)
    , m_cliService(m_vmStore, m_coordinator, m_snapshotService, m_exportService, m_loggingService)
    , m_bundleOperations({m_coordinator, m_vmStore, m_runtimeService, m_snapshotService, m_exportService, m_diskAnalyticsService})
    , m_libraryViewModel({m_vmStore, m_coordinator, m_bundleOperations, m_fileChooser, m_fileViewer, m_loggingService, &m_qemuSetupService})
    , m_quitViewModel(m_vmStore, m_coordinator, m_loggingService)
    , m_quitConfirmation(m_quitViewModel)
{
    // The clipboard follows the active console; the hook never keeps the sync service alive.
    m_consoleWindowManager.setOnActiveSessionChange(
        [sync = QPointer<VMClipboardSyncService>(&m_clipboardSyncService)](VirtualMachineSession *session) {
            if (sync)
                sync->start(session);
        });
    // A start from the card's menu or the VM menu opens the console as the details pane's Start does, once, whatever
    // window asked.
    connect(&m_libraryViewModel, &LibraryViewModel::consoleRequested, this, &AppState::openConsole);
}

AppState::~AppState() = default;

std::optional<qint64> AppState::machineProcess(const QUuid &id) const
{
    // A Linux or macOS guest runs in its session's machine, a Windows guest in its QEMU executor.
    if (const std::shared_ptr<VirtualMachineSession> session = m_sessions.session(id)) {
        if (const qint64 pid = session->virtualMachine().processId(); pid > 0)
            return pid;
    }
    const QEMUExecutor *executor = m_qemuExecutors.executor(id);
    return executor ? executor->processIdentifier() : std::nullopt;
}

QUrl AppState::remoteCatalogURL()
{
    return QUrl(QStringLiteral("https://raw.githubusercontent.com/zovozu/vm-lab-catalog/main/restore-images.json"));
}

QCoro::Task<> AppState::prepareGuestFoldersForAllBundles()
{
    const QPointer<AppState> self(this);
    const QList<VMBundle> listed = m_vmStore.bundles();
    for (const VMBundle &entry : listed) {
        // The list may have changed while this yielded: a VM deleted meanwhile is passed over, a renamed one gets its new name.
        const std::optional<VMBundle> current = m_vmStore.bundle(entry.id());
        if (!current)
            continue;
        const VMBundle &bundle = *current;
        const bool granted = m_access.startAccessing(bundle.bundleURL);
        try {
            m_guestAutomationService.ensureAutomationRoot(bundle);
        } catch (...) {
            // One unwritable VM must not keep the others from their folders.
        }
        if (granted)
            m_access.stopAccessing(bundle.bundleURL);
        if (bundle.metadata.guestOSType == VMGuestOSType::linux) {
            try {
                m_linuxGuestToolsService.stageLinuxGuestTools(bundle);
            } catch (...) {
            }
        }
        // A guest may have filled its folder with many files: let the window breathe between VMs.
        co_await QCoro::sleepFor(std::chrono::milliseconds(0));
        if (!self)
            co_return;
    }
}

VMDetailsPaneModels AppState::makeDetailsViewModels(const QUuid &bundleID, FileChooser &chooser)
{
    VMDetailsPaneModels models;
    models.details = std::make_unique<VMDetailsViewModel>(bundleID,
        VMDetailsViewModel::Services {m_vmStore, m_coordinator, m_runtimeService, m_diskImageService, m_guestAutomationService,
            m_templateService, m_fileViewer, m_loggingService, &systemHostCapacity, &m_qemuSetupService});
    models.exportRun = std::make_unique<VMExportRun>(
        *models.details, VMExportRun::Services {m_bundleOperations, m_exportService, m_vmStore, chooser}, nullptr);
    models.snapshotTimeline = std::make_unique<SnapshotTimelineViewModel>(
        *models.details, SnapshotTimelineViewModel::Services {m_bundleOperations, m_snapshotService, m_loggingService});
    models.performance = std::make_unique<PerformanceDashboardViewModel>(*models.details, m_performanceMonitor);
    models.diskAnalytics = std::make_unique<DiskAnalyticsViewModel>(
        *models.details, *models.snapshotTimeline, m_diskAnalyticsService, m_bundleOperations, m_loggingService);
    models.updates = std::make_unique<MacOSUpdateViewModel>(*models.details, *models.snapshotTimeline, m_macOSUpdateService);
    models.fileDrop = std::make_unique<FileDropTransferViewModel>(*models.details);
    models.ciRunner = std::make_unique<CIRunnerViewModel>(m_ciRunnerService, m_vmStore, bundleID, m_loggingService);
    models.networkTopology = std::make_unique<NetworkTopologyViewModel>(m_networkTopologyService, m_vmStore, m_loggingService);
    return models;
}

std::shared_ptr<CreateVMWizardViewModel> AppState::makeCreateWizardViewModel()
{
    QStringList firmwarePlaces = WindowsVMCreation::defaultFirmwarePlaces() + m_qemuEngine.profile().extraFirmwarePlaces;
    firmwarePlaces.removeDuplicates();
    return CreateVMWizardViewModel::create({
        m_vmStore,
        m_loggingService,
        m_hostNetworkService,
        m_linuxService,
        m_linuxGuestToolsService,
        m_fileBookmarkService,
        m_fileChooser,
        m_restoreImageCatalogService,
        m_network,
        [this](VMInstallRequest request, VMInstallService::ProgressHandler progress) {
            return m_installService.install(std::move(request), std::move(progress));
        },
        [this] { m_restoreImageDownloadService.cancel(); },
        systemHostCapacity,
        firmwarePlaces,
        m_installBackend.hostRefusal(),
        [this] { return m_qemuEngine.missingHostPackages(); },
        m_qemuSetupService,
        m_windowsImageProvider,
    });
}

std::unique_ptr<VMConsoleViewModel> AppState::makeConsoleViewModel(std::shared_ptr<VirtualMachineSession> session)
{
    // Closing the console closes its window, not the VM; once the windows are gone there is nothing to close.
    auto closeHandler = [windows = QPointer<VMConsoleWindowManager>(&m_consoleWindowManager), session] {
        if (windows)
            windows->closeWindow(session->bundle().metadata.id);
    };
    auto console = std::make_unique<VMConsoleViewModel>(
        std::move(session), m_coordinator, m_runtimeService, m_loggingService, std::move(closeHandler));
    // An action at the console is the user's latest: the library's message about an earlier one goes with it.
    connect(console.get(), &VMConsoleViewModel::errorMessageChanged, &m_libraryViewModel, [library = &m_libraryViewModel] {
        if (library->bannerMessage())
            library->setBannerMessage(std::nullopt);
    });
    return console;
}

std::unique_ptr<QEMUConsoleViewModel> AppState::makeQEMUConsoleViewModel(const VMBundle &bundle)
{
    // QEMU runs a Windows guest without a runtime session: its console shows the engine's display and stops it through the coordinator.
    auto closeHandler = [windows = QPointer<VMConsoleWindowManager>(&m_consoleWindowManager), id = bundle.id()] {
        if (windows)
            windows->closeWindow(id);
    };
    return std::make_unique<QEMUConsoleViewModel>(bundle, m_coordinator, m_qemuEngine, m_loggingService, std::move(closeHandler));
}

void AppState::openConsole(const QUuid &id)
{
    const std::optional<VMBundle> bundle = m_vmStore.bundle(id);
    if (!bundle)
        return;
    if (bundle->metadata.guestOSType == VMGuestOSType::windows) {
        // QEMU runs a Windows guest without a runtime session.
        m_consoleWindowManager.openSessionlessConsole(*bundle, new QEMUConsoleView(makeQEMUConsoleViewModel(*bundle)));
        return;
    }
    std::shared_ptr<VirtualMachineSession> session;
    try {
        session = m_coordinator.session(id);
    } catch (...) {
        // No session to show: nothing opens, and the selection stays.
        return;
    }
    m_consoleWindowManager.openConsole(*session, new VMConsoleView(makeConsoleViewModel(session)));
}

std::unique_ptr<TemplateLibraryViewModel> AppState::makeTemplateLibraryViewModel()
{
    return std::make_unique<TemplateLibraryViewModel>(m_templateService, m_loggingService);
}
