// SPDX-License-Identifier: MIT
#pragma once

#include "ActionsInFlight.h"
#include "MessageKind.h"
#include "DiskImageService.h"
#include "GuestToolsSetupContent.h"
#include "HostCapacity.h"
#include "GuestMemoryLimits.h"
#include "ReclaimAction.h"
#include "ReclaimRecommendation.h"
#include "VMBundle.h"
#include "VMDetailsTexts.h"
#include "VMDiskAnalytics.h"
#include "VMDiskGrowthHistory.h"
#include "VMGuestAutomationStatusSnapshot.h"
#include "VMMacOSUpdateInfo.h"
#include "VMMacOSUpdateStrategy.h"
#include "VMSnapshotTimeline.h"
#include "VMTemplateCategory.h"
#include "VMStoppedSettings.h"

#include <QCoroTask>
#include <QObject>
#include <QUrl>
#include <QUuid>

#include <memory>
#include <optional>

class FileViewer;
class LoggingService;
class QEMUSetupService;
class VMBundleOperations;
class VMMacOSUpdateService;
class VMDiskAnalyticsService;
class VMGuestAutomationService;
class VMRuntimeService;
class VMSnapshotService;
class VMStore;
class VMTemplateService;
class VirtualMachineCoordinator;
class VirtualMachineSession;

/**
 * The state and actions of one VM's details pane: a live copy of the VM's
 * bundle with its run state as the coordinator knows it now, the side data
 * the pane shows (disk usage, guest-tools status, snapshot timeline, disk
 * analytics and growth history) and every text derived from them, and the
 * pane's actions.
 *
 * The bundle follows the store's list, delivered one turn after each change;
 * the side data is refreshed at construction, on each list and when an
 * action asks. Long actions run inside a busy frame: isBusy stays true while
 * any runs, errorMessage is cleared at their start and takes the text of a
 * failure, which also goes to the application log ("Details"). A second
 * press of an action still running is ignored. Copies run through the
 * coordinator's guards and lease, on worker threads. GUI thread only.
 *
 * @code
 * VMDetailsViewModel details(id, services);
 * co_await details.start();
 * if (details.activeConsoleSession()) ... // open its console
 * @endcode
 */
class VMDetailsViewModel final : public QObject
{
    Q_OBJECT

public:
    struct Services {
        VMStore &store;
        VirtualMachineCoordinator &coordinator;
        const VMRuntimeService &runtime;
        VMBundleOperations &operations;
        const DiskImageService &diskImages;
        const VMGuestAutomationService &guestAutomation;
        const VMSnapshotService &snapshots;
        const VMDiskAnalyticsService &diskAnalytics;
        VMMacOSUpdateService &updates;
        VMTemplateService &templates;
        FileViewer &fileViewer;
        const LoggingService &logging;
        HostCapacitySource hostCapacity;
        /// Installs QEMU before a Windows guest starts; none starts every guest as it is.
        QEMUSetupService *qemuSetup = nullptr;
    };

    VMDetailsViewModel(QUuid bundleID, Services services, QObject *parent = nullptr);
    ~VMDetailsViewModel() override;

    QUuid bundleID() const { return m_bundleID; }

    // Published
    const std::optional<VMBundle> &bundle() const { return m_bundle; }
    const std::shared_ptr<VirtualMachineSession> &activeConsoleSession() const { return m_activeConsoleSession; }
    void setActiveConsoleSession(std::shared_ptr<VirtualMachineSession> session);
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    /// Whether the banner's message reports something done or something that failed.
    MessageKind messageKind() const { return m_messageKind; }
    void setErrorMessage(const std::optional<QString> &message, MessageKind kind = MessageKind::failure);
    bool isBusy() const { return m_busyActions > 0; }
    /// A snapshot of this VM is being taken, restored or deleted (the pre-update snapshot included).
    bool isSnapshotOperationRunning() const { return m_snapshotOperations > 0; }
    /// Disk space of this VM is being reclaimed.
    bool isReclaiming() const { return m_reclaims > 0; }
    /// The update service is checking a VM (any VM: the service checks one at a time).
    bool isCheckingForUpdates() const;
    const std::optional<DiskImageService::DiskUsage> &diskUsage() const { return m_diskUsage; }
    const VMGuestAutomationStatusSnapshot &guestAutomationStatus() const { return m_guestAutomationStatus; }
    const std::optional<QString> &lastDiskExpansionAutomationMessage() const { return m_lastDiskExpansionAutomationMessage; }
    const VMSnapshotTimeline &snapshotTimeline() const { return m_snapshotTimeline; }
    const std::optional<VMDiskAnalytics> &diskAnalytics() const { return m_diskAnalytics; }
    const VMDiskGrowthHistory &diskGrowthHistory() const { return m_diskGrowthHistory; }
    const std::optional<VMMacOSUpdateInfo> &updateInfo() const { return m_updateInfo; }
    /// Why the last update check could not be made; none after a check that could.
    const std::optional<QString> &updateCheckFailure() const { return m_updateCheckFailure; }
    /// Whether QEMU runs this VM (a Windows guest), as the executor registry knows it.
    bool isQEMURunning() const;

    // Derived texts and flags
    QString displayTitle() const { return VMDetailsTexts::displayTitle(m_bundle); }
    QString runtimeStateText() const { return VMDetailsTexts::runtimeStateText(m_bundle); }
    QString installStateText() const { return VMDetailsTexts::installStateText(m_bundle); }
    QString hardwareSummary() const { return VMDetailsTexts::hardwareSummary(m_bundle); }
    QString displaySummary() const { return VMDetailsTexts::displaySummary(m_bundle); }
    QString virtualCapacityText() const { return VMDetailsTexts::virtualCapacityText(m_bundle, m_diskUsage); }
    QString networkSummary() const { return VMDetailsTexts::networkSummary(m_bundle); }
    QString microphoneSummary() const { return VMDetailsTexts::microphoneSummary(m_bundle); }
    QString speakerSummary() const { return VMDetailsTexts::speakerSummary(m_bundle); }
    QString linuxInstallMediaSummary() const { return VMDetailsTexts::linuxInstallMediaSummary(m_bundle); }
    QString hostAllocationText() const { return VMDetailsTexts::hostAllocationText(m_diskUsage); }
    QString diskCapacitySummary() const { return VMDetailsTexts::diskCapacitySummary(m_diskUsage); }
    std::optional<QString> settingsChangeBlockReason() const { return VMDetailsTexts::settingsChangeBlockReason(m_bundle); }
    std::optional<QString> diskCapacityChangeBlockReason() const { return VMDetailsTexts::diskCapacityChangeBlockReason(m_bundle); }
    qint64 maximumCPUCount() const { return VMDetailsTexts::maximumCPUCount(m_bundle, m_hostCapacity()); }
    double maximumMemorySizeGB() const { return VMDetailsTexts::maximumMemorySizeGB(m_bundle, m_hostCapacity()); }
    /// The memory rule the new-VM wizard applies too, on this host.
    GuestMemoryLimits memoryLimits() const { return GuestMemoryLimits(m_hostCapacity()); }
    GuestToolsState guestToolsState() const { return VMDetailsTexts::guestToolsState(m_guestAutomationStatus); }
    QString guestToolsStatusSummary() const;
    QString guestToolsVersionText() const { return VMDetailsTexts::guestToolsVersionText(m_guestAutomationStatus); }
    QString guestToolsInstructions() const { return VMDetailsTexts::guestToolsInstructions(m_guestAutomationStatus, m_bundle); }

    bool hasSavedState() const;
    bool canDiscardSavedState() const;
    bool isRunning() const { return runStateIs(VMRuntimeState::running); }
    bool isPaused() const { return runStateIs(VMRuntimeState::paused); }
    bool isRunningOrPaused() const { return isRunning() || isPaused(); }
    bool isActive() const { return m_bundle && !runStateIs(VMRuntimeState::stopped); }
    bool canStart() const;
    bool isStopped() const { return runStateIs(VMRuntimeState::stopped); }
    bool canChangeSettings() const { return m_bundle && !settingsChangeBlockReason(); }
    bool isWindowsGuest() const;
    bool isLinuxGuest() const;
    /// The guest's newest response message, cut to a length a sheet can show; none without a response.
    std::optional<QString> latestGuestMessage() const;

    // Refreshing
    void refreshDiskUsage();
    void refreshGuestAutomationStatus();
    void refreshSnapshotTimeline();
    void refreshDiskAnalytics();
    /// The header's Refresh: reloads the library, the disk usage and the disk analytics.
    QCoro::Task<> reload();

    // Actions
    /// Starts the VM: a Windows guest on QEMU (installing it first when the pane has a setup service and it is missing), any other cold.
    QCoro::Task<> start();
    QCoro::Task<> resumeSavedState();
    QCoro::Task<> pause();
    QCoro::Task<> resume();
    QCoro::Task<> stop();
    QCoro::Task<> saveState();
    QCoro::Task<> discardSavedState();
    QCoro::Task<> cloneVM();
    QCoro::Task<> deleteVM();
    void openConsoleSession();
    /**
     * Applies the settings sheet's values through the coordinator inside the
     * busy frame: on success the guest-tools status is read again, on a
     * refusal or failure its text is published and logged. Returns whether
     * the settings were stored.
     */
    bool updateStoppedSettings(const VMStoppedSettings &settings);
    /// Grows the disk to `capacityGB` GiB, rounded up; a size that is not a positive finite number below 2^34 GiB is refused.
    QCoro::Task<> expandDisk(double capacityGB);
    QCoro::Task<> createSnapshot(QString name, QString notes);
    QCoro::Task<> restoreSnapshot(QUuid snapshotID);
    QCoro::Task<> deleteSnapshot(QUuid snapshotID);
    /// Renames a snapshot; a failure goes to errorMessage and the timeline is read again either way.
    void updateSnapshot(const QUuid &snapshotID, const QString &name);
    QList<ReclaimRecommendation> diskRecommendations() const;
    /// Days until the growth seen so far fills the volume that holds the VM; none without growth or a readable volume.
    std::optional<double> estimatedDaysUntilHostFull() const;
    QCoro::Task<> reclaimDiskSpace(ReclaimAction action);
    /// Saves the VM's configuration as a template; a failure goes to errorMessage.
    void saveAsTemplate(const QString &name, const QString &description, VMTemplateCategory category);
    /// Shows the staged guest-tools package in the file manager; a folder that could not be prepared goes to errorMessage.
    void revealGuestToolsPackage();
    /// Shows the VM's bundle, as the library lists it now, in the file manager.
    void revealBundle();
    /// What the guest-tools guide shows of this VM now.
    GuestToolsSetupContent guestToolsSetupContent() const;
    /// The local folder of the VM's first shared folder.
    std::optional<QUrl> firstSharedFolderURL() const;

    // Updates
    /// Asks the update service about the VM and publishes its answer, or why there was none.
    QCoro::Task<> checkForMacOSUpdates();
    /// Takes the snapshot the strategy asks for (a running VM is paused for the copy); the guidance text, none on failure.
    QCoro::Task<std::optional<QString>> createPreUpdateSnapshot(VMMacOSUpdateStrategy strategy);
    /// The update panel's Prepare: takes the pre-update snapshot and hands its guidance to updatePrepared().
    QCoro::Task<> prepareUpdate(VMMacOSUpdateStrategy strategy);
Q_SIGNALS:
    void bundleChanged();
    void activeConsoleSessionChanged();
    void errorMessageChanged();
    void isBusyChanged();
    void isSnapshotOperationRunningChanged();
    void isReclaimingChanged();
    void isCheckingForUpdatesChanged();
    void diskUsageChanged();
    void guestAutomationStatusChanged();
    void lastDiskExpansionAutomationMessageChanged();
    void snapshotTimelineChanged();
    void diskAnalyticsChanged();
    void diskGrowthHistoryChanged();
    void updateInfoChanged();
    /// A pre-update snapshot was taken; `guidance` says how to go on with the update.
    void updatePrepared(const QString &guidance);
    void isQEMURunningChanged();

private:
    class BusyFrame;
    friend class BusyFrame;
    class CountedOperation;
    friend class CountedOperation;

    void receiveBundles(const QList<VMBundle> &bundles);
    /// Publishes the store's current copy with the live run state.
    void republishBundle();
    void setBundle(std::optional<VMBundle> bundle);
    bool runStateIs(VMRuntimeState state) const { return m_bundle && m_bundle->metadata.runtimeState == state; }
    void setBusyActions(int count);
    void setSnapshotOperations(int count);
    void setReclaims(int count);
    QCoro::Task<> launchQEMU(QEMUSetupService *qemuSetup);
    /// Starts the VM's session (cold or from its saved state) and publishes it for the console.
    QCoro::Task<> startSession(QStringView action, bool resumeSavedState);
    /// Runs a coordinator operation on this VM inside the busy frame, unless the same action runs already.
    QCoro::Task<> runCoordinatorAction(QStringView action, QCoro::Task<> (VirtualMachineCoordinator::*operation)(QUuid));
    /// Runs a coordinator operation that completes at once on this VM inside the busy frame.
    void runImmediateAction(void (VirtualMachineCoordinator::*operation)(const QUuid &));
    void reportFailure(const std::exception &error);
    const QUuid m_bundleID;
    VMStore &m_store;
    VirtualMachineCoordinator &m_coordinator;
    const VMRuntimeService &m_runtime;
    VMBundleOperations &m_operations;
    const DiskImageService &m_diskImages;
    const VMGuestAutomationService &m_guestAutomation;
    const VMSnapshotService &m_snapshots;
    const VMDiskAnalyticsService &m_diskAnalyticsService;
    VMMacOSUpdateService &m_updates;
    VMTemplateService &m_templates;
    FileViewer &m_fileViewer;
    const LoggingService &m_logging;
    HostCapacitySource m_hostCapacity;
    QEMUSetupService *const m_qemuSetup;

    std::optional<VMBundle> m_bundle;
    std::shared_ptr<VirtualMachineSession> m_activeConsoleSession;
    std::optional<QString> m_errorMessage;
    MessageKind m_messageKind = MessageKind::failure;
    int m_busyActions = 0;
    int m_snapshotOperations = 0;
    int m_reclaims = 0;
    std::optional<DiskImageService::DiskUsage> m_diskUsage;
    VMGuestAutomationStatusSnapshot m_guestAutomationStatus = VMGuestAutomationStatusSnapshot::empty();
    std::optional<QString> m_lastDiskExpansionAutomationMessage;
    VMSnapshotTimeline m_snapshotTimeline;
    std::optional<VMDiskAnalytics> m_diskAnalytics;
    VMDiskGrowthHistory m_diskGrowthHistory;
    std::optional<VMMacOSUpdateInfo> m_updateInfo;
    std::optional<QString> m_updateCheckFailure;
    ActionsInFlight m_inFlight;
};
