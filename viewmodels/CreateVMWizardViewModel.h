// SPDX-License-Identifier: MIT
#pragma once

#include "HostBridgedNetworkInterfaceOption.h"
#include "HostCapacity.h"
#include "LinuxDistribution.h"
#include "LinuxInstallSource.h"
#include "RestoreImageInfo.h"
#include "VMBundle.h"
#include "VMGuestOSType.h"
#include "VMHardwareProfile.h"
#include "VMInstallProgress.h"
#include "VMInstallRequest.h"
#include "VMLinuxBootConfiguration.h"
#include "VMNetworkConfiguration.h"
#include "VMSharedFolder.h"
#include "VMTemplate.h"
#include "WindowsISOValidation.h"
#include "WizardHardwareLimits.h"

#include <QCoroTask>
#include <QList>
#include <QObject>
#include <QString>
#include <QUuid>

#include <functional>
#include <memory>
#include <optional>

class FileBookmarkService;
class FileChooser;
class HostNetworkService;
class LinuxVMCreation;
class LoggingService;
class QEMUSetupService;
class QNetworkAccessManager;
class RestoreImageCatalogService;
class VMLinuxGuestToolsService;
class VMLinuxService;
class VMStore;
class WindowsImageProvider;
class WindowsSourceViewModel;

/**
 * The state of one new-VM wizard: every choice the user makes on its steps,
 * which steps a guest walks through and whether the current one is
 * complete, and the creation of the VM itself (macOS through the install
 * service, Linux and Windows here). Every change of state emits changed().
 * Made through create() and held by shared pointer: a running creation keeps
 * its wizard until it ends, so a closed wizard never leaves a VM half made.
 * GUI thread only; failures land in errorMessage() and the "Wizard" log.
 *
 * @code
 * auto wizard = CreateVMWizardViewModel::create(services);
 * wizard->setGuestOSType(VMGuestOSType::linux);
 * wizard->setSelectedLinuxDistribution(LinuxDistribution::catalog().first());
 * wizard->createLinuxVM();
 * @endcode
 */
class CreateVMWizardViewModel : public QObject, public std::enable_shared_from_this<CreateVMWizardViewModel>
{
    Q_OBJECT

public:
    enum class Step { general, macOSSource, linuxSource, windowsSource, sharedFolders, firstBoot, review };
    enum class SourceMode { automatic, local };
    enum class LinuxSourceMode { catalog, localISO };
    enum class WindowsSourceMode { download, local, advanced };

    /// The macOS installation: the install service's install() on this host.
    using MacOSInstaller = std::function<QCoro::Task<VMBundle>(VMInstallRequest, std::function<void(const VMInstallProgress &)>)>;

    struct Services {
        VMStore &store;
        const LoggingService &logging;
        const HostNetworkService &hostNetwork;
        const VMLinuxService &linux;
        const VMLinuxGuestToolsService &linuxGuestTools;
        FileBookmarkService &bookmarks;
        FileChooser &chooser;
        RestoreImageCatalogService &catalog;
        QNetworkAccessManager &network;
        MacOSInstaller installMacOS;
        /// Stops the restore-image download and keeps its resume data.
        std::function<void()> cancelRestoreImageDownload;
        HostCapacitySource hostCapacity;
        /// Where the Windows UEFI firmware is looked for, in order.
        QStringList windowsFirmwarePlaces;
        /// Why this host cannot install macOS (the install backend's refusal): the wizard then starts on Linux.
        std::optional<QString> macOSInstallRefusal;
        /// The host packages a Windows guest needs and this host lacks; none when unset.
        std::function<QStringList()> missingWindowsHostPackages;
        /// What the Windows step shows of the QEMU engine and of the images on this computer.
        QEMUSetupService &qemuSetup;
        WindowsImageProvider &windowsImages;
    };

    static std::shared_ptr<CreateVMWizardViewModel> create(Services services);
    ~CreateVMWizardViewModel() override;

    const QUuid &id() const { return m_id; }
    const WizardHardwareLimits &limits() const { return m_limits; }

    // General choices
    VMGuestOSType guestOSType() const { return m_guestOSType; }
    /**
     * Fills the guest's defaults when the guest changes: its name when the
     * name is still another guest's default, and its processors, memory, disk
     * and display where the user (or a template) has not chosen them. Setting
     * the same guest again does nothing.
     */
    void setGuestOSType(VMGuestOSType guest);
    Step currentStep() const { return m_currentStep; }
    const QString &name() const { return m_name; }
    void setName(const QString &name) { assign(m_name, name); }
    qint64 cpuCount() const { return m_cpuCount; }
    void setCPUCount(qint64 count)
    {
        m_chosen.cpuCount = true;
        assign(m_cpuCount, count);
    }
    double memorySizeGB() const { return m_memorySizeGB; }
    void setMemorySizeGB(double gb)
    {
        m_chosen.memory = true;
        assign(m_memorySizeGB, gb);
    }
    /// Why the memory goes no higher, while it stands at the upper limit of GuestMemoryLimits or above.
    std::optional<QString> memoryLimitText() const;
    double diskSizeGB() const { return m_diskSizeGB; }
    void setDiskSizeGB(double gb)
    {
        m_chosen.disk = true;
        assign(m_diskSizeGB, gb);
    }
    VMHardwareProfile::DisplayPreset selectedDisplayPreset() const { return m_displayPreset; }
    void setSelectedDisplayPreset(VMHardwareProfile::DisplayPreset preset)
    {
        m_chosen.display = true;
        assign(m_displayPreset, preset);
    }
    const QString &destinationDirectoryURL() const { return m_destinationDirectoryURL; }
    /// The library folder the wizard started with.
    const QString &defaultDestinationDirectoryURL() const { return m_defaultDestinationDirectoryURL; }
    void setDestinationDirectoryURL(const QString &url) { assign(m_destinationDirectoryURL, url); }
    VMNetworkConfiguration::Mode networkMode() const { return m_networkMode; }
    void setNetworkMode(VMNetworkConfiguration::Mode mode) { assign(m_networkMode, mode); }
    const QList<HostBridgedNetworkInterfaceOption> &bridgedInterfaceOptions() const { return m_bridgedOptions; }
    const std::optional<QString> &selectedBridgedInterfaceIdentifier() const { return m_bridgedIdentifier; }
    void setSelectedBridgedInterfaceIdentifier(const std::optional<QString> &identifier) { assign(m_bridgedIdentifier, identifier); }
    std::optional<HostBridgedNetworkInterfaceOption> selectedBridgedInterface() const;
    bool isMicrophoneEnabled() const { return m_microphone; }
    void setMicrophoneEnabled(bool enabled) { assign(m_microphone, enabled); }
    bool isSpeakerEnabled() const { return m_speaker; }
    void setSpeakerEnabled(bool enabled) { assign(m_speaker, enabled); }

    // macOS source
    /// Why this host cannot boot a macOS guest, said before anyone starts a long download.
    static QString macOSUnavailableText();
    SourceMode sourceMode() const { return m_sourceMode; }
    void setSourceMode(SourceMode mode) { assign(m_sourceMode, mode); }
    const QList<RestoreImageInfo> &automaticRestoreImageOptions() const { return m_restoreImageOptions; }
    const std::optional<QString> &selectedAutomaticRestoreImageBuild() const { return m_selectedBuild; }
    void setSelectedAutomaticRestoreImageBuild(const std::optional<QString> &build) { assign(m_selectedBuild, build); }
    std::optional<RestoreImageInfo> selectedAutomaticRestoreImage() const;
    bool isSelectedAutomaticRestoreImage(const RestoreImageInfo &option) const;
    bool isLoadingAutomaticRestoreImages() const { return m_loadingRestoreImages; }
    const std::optional<QString> &localRestoreImageURL() const { return m_localRestoreImageURL; }
    const std::optional<RestoreImageInfo> &localRestoreImageInfo() const { return m_localRestoreImageInfo; }

    // Shared folders and first boot
    const QList<VMSharedFolder> &sharedFolders() const { return m_sharedFolders; }
    /// Removes the folders with these ids; ids no longer listed are skipped.
    void removeSharedFolders(const QList<QUuid> &folderIDs);
    void setSharedFolderReadOnly(const QUuid &folderID, bool readOnly);
    bool firstBootEnabled() const { return m_firstBootEnabled; }
    void setFirstBootEnabled(bool enabled) { assign(m_firstBootEnabled, enabled); }
    const std::optional<QString> &firstBootScriptURL() const { return m_firstBootScriptURL; }
    const QStringList &firstBootAdditionalFiles() const { return m_firstBootFiles; }
    /// Removes these paths (each is listed once); paths no longer listed are skipped.
    void removeFirstBootAdditionalFiles(const QStringList &paths);
    const QString &firstBootNotes() const { return m_firstBootNotes; }
    void setFirstBootNotes(const QString &notes) { assign(m_firstBootNotes, notes); }

    // Linux source
    LinuxSourceMode linuxSourceMode() const { return m_linuxSourceMode; }
    void setLinuxSourceMode(LinuxSourceMode mode) { assign(m_linuxSourceMode, mode); }
    const std::optional<LinuxDistroVariant> &selectedLinuxVariantFilter() const { return m_variantFilter; }
    void setSelectedLinuxVariantFilter(const std::optional<LinuxDistroVariant> &variant) { assign(m_variantFilter, variant); }
    const std::optional<LinuxDistribution> &selectedLinuxDistribution() const { return m_selectedDistribution; }
    void setSelectedLinuxDistribution(const std::optional<LinuxDistribution> &distribution)
    {
        assign(m_selectedDistribution, distribution);
    }
    const std::optional<QString> &localLinuxISOURL() const { return m_localLinuxISOURL; }
    /// Takes the image without checking it (the creation still checks it); a verdict on an earlier image goes.
    void setLocalLinuxISOURL(const std::optional<QString> &url);
    /// The chosen image is being checked; the step cannot be left meanwhile.
    bool isCheckingLocalLinuxISO() const { return m_linuxISOCheck.has_value(); }
    /// Why the chosen image cannot start the installer (LinuxISOCheck); none when it may or has not been checked.
    const std::optional<QString> &localLinuxISORefusal() const { return m_linuxISORefusal; }
    const VMLinuxBootConfiguration &linuxBootConfig() const { return m_linuxBootConfig; }
    void setLinuxBootConfig(const VMLinuxBootConfiguration &config) { assign(m_linuxBootConfig, config); }
    bool linuxUseRosetta() const { return m_linuxUseRosetta; }
    /// Rosetta shares exist only on a Mac host; here the switch stays off, so no bundle records it as on.
    static constexpr bool isRosettaAvailable() { return false; }
    void setLinuxUseRosetta(bool use) { assign(m_linuxUseRosetta, use && isRosettaAvailable()); }
    QList<LinuxDistribution> filteredLinuxDistributions() const;
    QString reviewSourceSummary() const;

    // Windows source
    /// The QEMU engine and the images found on this computer, as the Windows step shows them.
    WindowsSourceViewModel &windowsSource() const { return *m_windowsSource; }
    WindowsSourceMode windowsSourceMode() const { return m_windowsSourceMode; }
    void setWindowsSourceMode(WindowsSourceMode mode) { assign(m_windowsSourceMode, mode); }
    const std::optional<QString> &windowsISOURL() const { return m_windowsISOURL; }
    /// The verdict on the image now chosen; none while it is being checked.
    const std::optional<WindowsISOValidation> &windowsISOValidation() const { return m_windowsValidation; }
    /// The chosen image is being checked; the step cannot be left meanwhile.
    bool isCheckingWindowsImage() const { return m_windowsCheck.has_value(); }
    /// The host packages a Windows guest needs and this host lacks, as they stood when the wizard opened.
    const QStringList &missingWindowsHostPackages() const { return m_missingWindowsHostPackages; }
    bool windowsEnableTPM() const { return m_windowsEnableTPM; }
    void setWindowsEnableTPM(bool enabled) { assign(m_windowsEnableTPM, enabled); }

    // Creation state
    const VMInstallProgress &installProgress() const { return m_installProgress; }
    bool isCreating() const { return m_isCreating; }
    const std::optional<QString> &errorMessage() const { return m_errorMessage; }
    /// The banner's Dismiss.
    void clearErrorMessage() { setErrorMessage(std::nullopt); }
    /// A command's failure that escaped it: shown in the banner and logged.
    void reportFailure(const QString &message);
    /// reportFailure() as a callback, for a command started from a widget; call it only while this wizard lives.
    std::function<void(const QString &)> failureReport();
    bool didFinishSuccessfully() const { return m_didFinishSuccessfully; }
    const std::optional<QUuid> &createdBundleID() const { return m_createdBundleID; }

    // Steps
    QList<Step> visibleSteps() const;
    /// Whether the current step is complete: exactly when advanceBlockReason() is none.
    bool canAdvance() const;
    /// The sentence that says why the current step cannot be left (Next or Create disabled); none when it can.
    std::optional<QString> advanceBlockReason() const;
    void goToNextStep();
    void goToPreviousStep();

    void refreshBridgedInterfaces();
    /// The profile of the current choices; none when a size is not a finite, bounded number.
    std::optional<VMHardwareProfile> makeHardwareProfile() const;
    VMNetworkConfiguration makeNetworkConfiguration() const;
    void applyTemplate(const VMTemplate &vmTemplate);

    // Sources and choices
    QCoro::Task<> loadAutomaticRestoreImagesIfNeeded();
    QCoro::Task<> loadAutomaticRestoreImages();
    QCoro::Task<> chooseDestinationDirectory();
    QCoro::Task<> chooseLocalRestoreImage();
    QCoro::Task<> addSharedFolders();
    QCoro::Task<> chooseFirstBootScript();
    QCoro::Task<> addFirstBootAdditionalFiles();
    QCoro::Task<> chooseLocalLinuxISO();
    /// Takes the image at `path` and checks off the GUI thread whether it can start the installer.
    QCoro::Task<> checkLocalLinuxISO(QString path);
    QCoro::Task<> chooseWindowsImage();
    QCoro::Task<> validateWindowsImage(QString url);
    /// A file dropped on the Windows step: taken as the local image, and checked, when it is one the image chooser offers.
    QCoro::Task<> dropWindowsImage(QString path);
    std::optional<VMInstallSource> makeInstallSource() const;
    std::optional<LinuxInstallSource> makeLinuxInstallSource() const;

    // Creation
    void createMacOSVM();
    void createLinuxVM();
    void createWindowsVM();
    /// True while what the creation does can be stopped: a download, or the copy of a Linux ISO into the bundle.
    bool canCancelCreation() const;
    void cancelCreation();

Q_SIGNALS:
    void changed();

private:
    explicit CreateVMWizardViewModel(Services services);

    template <typename T> void assign(T &field, const T &value)
    {
        field = value;
        Q_EMIT changed();
    }
    void applyGuestOSDefaults();
    void applyHardwareDefaults();
    std::optional<QString> generalStepBlockReason() const;
    void setErrorMessage(const std::optional<QString> &message) { assign(m_errorMessage, message); }
    void logFailure(const QString &message) const;
    /// Clears the outcome of the last attempt and starts a new one; false when one is running.
    bool beginCreation(const VMInstallProgress &first);
    /// Publishes a report of `attempt` unless that attempt has ended.
    void report(quint64 attempt, const VMInstallProgress &progress);
    void succeed(quint64 attempt, const QUuid &bundleID);
    void fail(quint64 attempt, const QString &message);
    static QCoro::Task<> runMacOSCreation(std::shared_ptr<CreateVMWizardViewModel> self, quint64 attempt, VMInstallRequest request);
    static QCoro::Task<> runLinuxCreation(
        std::shared_ptr<CreateVMWizardViewModel> self, quint64 attempt, std::shared_ptr<LinuxVMCreation> creation);
    static QCoro::Task<> runWindowsCreation(
        std::shared_ptr<CreateVMWizardViewModel> self, quint64 attempt, VMHardwareProfile profile, QString imageURL);

    Services m_services;
    WizardHardwareLimits m_limits;
    QUuid m_id = QUuid::createUuid();
    QString m_defaultDestinationDirectoryURL;

    /// The hardware fields the user or a template set; a guest's defaults leave them as they are.
    struct ChosenHardware {
        bool cpuCount = false;
        bool memory = false;
        bool disk = false;
        bool display = false;
    };

    VMGuestOSType m_guestOSType = VMGuestOSType::macOS;
    ChosenHardware m_chosen;
    Step m_currentStep = Step::general;
    QString m_name = QStringLiteral("New Virtual Mac");
    qint64 m_cpuCount = 4;
    double m_memorySizeGB = 8;
    double m_diskSizeGB = 64;
    VMHardwareProfile::DisplayPreset m_displayPreset = VMHardwareProfile::DisplayPreset::wuxga1920x1200;
    QString m_destinationDirectoryURL;
    VMNetworkConfiguration::Mode m_networkMode = VMNetworkConfiguration::Mode::nat;
    QList<HostBridgedNetworkInterfaceOption> m_bridgedOptions;
    std::optional<QString> m_bridgedIdentifier;
    bool m_microphone = false;
    bool m_speaker = true;
    SourceMode m_sourceMode = SourceMode::automatic;
    QList<RestoreImageInfo> m_restoreImageOptions;
    std::optional<QString> m_selectedBuild;
    bool m_loadingRestoreImages = false;
    std::optional<QString> m_localRestoreImageURL;
    std::optional<RestoreImageInfo> m_localRestoreImageInfo;
    QList<VMSharedFolder> m_sharedFolders;
    bool m_firstBootEnabled = false;
    std::optional<QString> m_firstBootScriptURL;
    QStringList m_firstBootFiles;
    QString m_firstBootNotes;
    LinuxSourceMode m_linuxSourceMode = LinuxSourceMode::catalog;
    std::optional<LinuxDistroVariant> m_variantFilter;
    std::optional<LinuxDistribution> m_selectedDistribution;
    std::optional<QString> m_localLinuxISOURL;
    std::optional<QString> m_linuxISORefusal;
    /// The number of the image check now running; a verdict of any other check is dropped.
    std::optional<quint64> m_linuxISOCheck;
    quint64 m_linuxISOChecksStarted = 0;
    VMLinuxBootConfiguration m_linuxBootConfig {QString(), std::nullopt, QStringLiteral("console=hvc0"), false};
    bool m_linuxUseRosetta = false;
    WindowsSourceMode m_windowsSourceMode = WindowsSourceMode::download;
    std::optional<QString> m_windowsISOURL;
    std::optional<WindowsISOValidation> m_windowsValidation;
    /// The number of the check now running; a verdict of any other check is dropped.
    std::optional<quint64> m_windowsCheck;
    quint64 m_windowsChecksStarted = 0;
    bool m_windowsEnableTPM = true;
    QStringList m_missingWindowsHostPackages;
    VMInstallProgress m_installProgress
        = VMInstallProgress::step(VMInstallProgress::Stage::preparingBundle, 0, QStringLiteral("Ready to create"));
    bool m_isCreating = false;
    std::optional<QString> m_errorMessage;
    bool m_didFinishSuccessfully = false;
    std::optional<QUuid> m_createdBundleID;

    /// Counts creation attempts; reports of an earlier attempt are dropped.
    quint64 m_attempt = 0;
    std::shared_ptr<LinuxVMCreation> m_linuxCreation;
    std::unique_ptr<WindowsSourceViewModel> m_windowsSource;
};
