// SPDX-License-Identifier: MIT
#pragma once

#include "ActionsInFlight.h"
#include "DiskImageService.h"
#include "FileViewer.h"
#include "GuestMemoryLimits.h"
#include "GuestToolsSetupContent.h"
#include "HostCapacity.h"
#include "MessageKind.h"
#include "VMBundle.h"
#include "VMDetailsTexts.h"
#include "VMGuestAutomationStatusSnapshot.h"
#include "VMStarter.h"
#include "VMStoppedSettings.h"
#include "VMTemplateCategory.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QUuid>

#include <memory>
#include <optional>

class LoggingService;
class QEMUSetupService;
class VMGuestAutomationService;
class VMRuntimeService;
class VMStore;
class VMTemplateService;
class VirtualMachineCoordinator;
class VirtualMachineSession;

/**
 * The state and actions of one VM's details pane: a live copy of the VM's
 * bundle with its run state as the coordinator knows it now, the side data
 * the pane shows (disk usage, guest-tools status) and every text derived
 * from them, the pane's banner and its run actions. The feature panels have
 * view models of their own, which follow this one's bundle, run their long
 * actions in its busy frame and report failures to its banner.
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
        const DiskImageService &diskImages;
        const VMGuestAutomationService &guestAutomation;
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
    /// Tells in the banner that an action has finished.
    void announce(const QString &message);
    bool isBusy() const { return m_busyActions > 0; }
    const std::optional<DiskImageService::DiskUsage> &diskUsage() const { return m_diskUsage; }
    const VMGuestAutomationStatusSnapshot &guestAutomationStatus() const { return m_guestAutomationStatus; }
    const std::optional<QString> &lastDiskExpansionAutomationMessage() const { return m_lastDiskExpansionAutomationMessage; }
    /// Whether QEMU runs this VM (a Windows guest), as the executor registry knows it.
    bool isQEMURunning() const;

    // Derived texts and flags
    QString displayTitle() const { return VMDetailsTexts::displayTitle(m_bundle); }
    QString runtimeStateText() const { return VMDetailsTexts::runtimeStateText(m_bundle); }
    QString installStateText() const { return VMDetailsTexts::installStateText(m_bundle, m_diskUsage); }
    QString hardwareSummary() const { return VMDetailsTexts::hardwareSummary(m_bundle); }
    QString displaySummary() const { return VMDetailsTexts::displaySummary(m_bundle); }
    QString virtualCapacityText() const { return VMDetailsTexts::virtualCapacityText(m_bundle, m_diskUsage); }
    QString networkSummary() const { return VMDetailsTexts::networkSummary(m_bundle); }
    QString microphoneSummary() const { return VMDetailsTexts::microphoneSummary(m_bundle); }
    QString speakerSummary() const { return VMDetailsTexts::speakerSummary(m_bundle); }
    QString linuxInstallMediaSummary() const { return VMDetailsTexts::linuxInstallMediaSummary(m_bundle); }
    /// What the whole bundle takes on the host: the disk image, an installer image, firmware files, snapshots and the rest.
    QString hostAllocationText() const { return VMDetailsTexts::hostAllocationText(m_bundleSpaceBytes); }
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
    /// Measures the disk image and the whole bundle again.
    void refreshDiskUsage();
    void refreshGuestAutomationStatus();
    /// Publishes the store's current copy with the live run state.
    void republishBundle();
    /// The header's Refresh: reloads the library and the disk usage, then announces reloaded() for the panels.
    QCoro::Task<> reload();

    // Actions
    /**
     * Starts the VM as every Start does (VMStarter): a Windows guest on QEMU (installing it first when the pane has a
     * setup service and it is missing), any other cold. A started session is published in activeConsoleSession; a
     * Windows guest, which has none, announces consoleRequested(). Either way its console opens.
     */
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
    /// Saves the VM's configuration as a template; a failure goes to errorMessage.
    void saveAsTemplate(const QString &name, const QString &description, VMTemplateCategory category);
    /// Shows the staged guest-tools package in the file manager; a folder that could not be prepared, or no file manager, goes to
    /// errorMessage.
    void revealGuestToolsPackage();
    /// Shows the VM's bundle, as the library lists it now, in the file manager; where none answers, errorMessage says so.
    void revealBundle();
    /// What the guest-tools guide shows of this VM now.
    GuestToolsSetupContent guestToolsSetupContent() const;
    /// The local folder of the VM's first shared folder.
    std::optional<QUrl> firstSharedFolderURL() const;

Q_SIGNALS:
    void bundleChanged();
    void activeConsoleSessionChanged();
    void errorMessageChanged();
    void isBusyChanged();
    void diskUsageChanged();
    void guestAutomationStatusChanged();
    void lastDiskExpansionAutomationMessageChanged();
    /// The header's Refresh has reloaded the library; the panels measure again.
    void reloaded();
    void isQEMURunningChanged();
    /// A start has run a VM that QEMU runs without a session (a Windows guest): its console should open.
    void consoleRequested();

public:
    /**
     * One long action of the pane or of one of its panels: isBusy from
     * construction to destruction, errorMessage cleared at the start and set
     * by fail(). It may outlive the view model, whose state it then leaves
     * alone.
     */
    class BusyFrame
    {
    public:
        explicit BusyFrame(VMDetailsViewModel &model);
        BusyFrame(const BusyFrame &) = delete;
        BusyFrame &operator=(const BusyFrame &) = delete;
        ~BusyFrame();

        /// The view model, or null when it is gone.
        VMDetailsViewModel *model() const { return m_model; }
        void fail(const std::exception &error) const;

    private:
        QPointer<VMDetailsViewModel> m_model;
    };

private:
    void receiveBundles(const QList<VMBundle> &bundles);
    void setBundle(std::optional<VMBundle> bundle);
    bool runStateIs(VMRuntimeState state) const { return m_bundle && m_bundle->metadata.runtimeState == state; }
    void setBusyActions(int count);
    /// Starts the VM's session (cold or from its saved state) and publishes it for the console.
    QCoro::Task<> startSession(QStringView action, bool resumeSavedState);
    /// Runs a coordinator operation on this VM inside the busy frame, unless the same action runs already; answers whether it ran and
    /// succeeded.
    QCoro::Task<bool> runCoordinatorAction(QStringView action, QCoro::Task<> (VirtualMachineCoordinator::*operation)(QUuid));
    /// Runs a coordinator operation that completes at once on this VM inside the busy frame.
    void runImmediateAction(void (VirtualMachineCoordinator::*operation)(const QUuid &));
    void reportFailure(const std::exception &error);
    /// Puts why no file manager could show an item into errorMessage, while this view model lives.
    FileViewer::FailureHandler fileViewerFailureReport();

    const QUuid m_bundleID;
    VMStore &m_store;
    VirtualMachineCoordinator &m_coordinator;
    const VMRuntimeService &m_runtime;
    const DiskImageService &m_diskImages;
    const VMGuestAutomationService &m_guestAutomation;
    VMTemplateService &m_templates;
    FileViewer &m_fileViewer;
    const LoggingService &m_logging;
    HostCapacitySource m_hostCapacity;
    const VMStarter m_starter;

    std::optional<VMBundle> m_bundle;
    std::shared_ptr<VirtualMachineSession> m_activeConsoleSession;
    std::optional<QString> m_errorMessage;
    MessageKind m_messageKind = MessageKind::failure;
    int m_busyActions = 0;
    std::optional<DiskImageService::DiskUsage> m_diskUsage;
    /// The bundle's allocated bytes, measured with the disk usage.
    std::optional<quint64> m_bundleSpaceBytes;
    VMGuestAutomationStatusSnapshot m_guestAutomationStatus = VMGuestAutomationStatusSnapshot::empty();
    std::optional<QString> m_lastDiskExpansionAutomationMessage;
    ActionsInFlight m_inFlight;
};
