// SPDX-License-Identifier: MIT
#include "CreateVMWizardViewModel.h"

#include "BackgroundWork.h"
#include "DiskImageService.h"
#include "ErrorText.h"
#include "FileBookmarkService.h"
#include "FileChooser.h"
#include "FileOperations.h"
#include "HostInstallAdvice.h"
#include "HostNetworkService.h"
#include "InstallProgressTexts.h"
#include "JSONCoding.h"
#include "LinuxISOCheck.h"
#include "LinuxVMCreation.h"
#include "LoggingService.h"
#include "MacOSInstaller.h"
#include "RestoreImageCatalogService.h"
#include "SizeText.h"
#include "SparseCopy.h"
#include "VMStore.h"
#include "VMWindowsConfiguration.h"
#include "VirtualMachineError.h"
#include "WindowsImageProvider.h"
#include "WindowsSourceViewModel.h"
#include "WindowsVMCreation.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QPointer>

#include <algorithm>
#include <cmath>

namespace {
using Stage = VMInstallProgress::Stage;
constexpr double gibibyte = double(SizeText::bytesPerGB);
const QString wizardCategory = QStringLiteral("Wizard");

bool isUsableSize(double gb)
{
    return std::isfinite(gb) && gb >= 0 && gb <= WizardHardwareLimits::maximumDiskSizeGB;
}
} // namespace

std::shared_ptr<CreateVMWizardViewModel> CreateVMWizardViewModel::create(Services services)
{
    return std::shared_ptr<CreateVMWizardViewModel>(new CreateVMWizardViewModel(std::move(services)));
}

CreateVMWizardViewModel::CreateVMWizardViewModel(Services services)
    : m_services(std::move(services))
    , m_limits(m_services.hostCapacity ? m_services.hostCapacity() : HostCapacity {})
    , m_defaultDestinationDirectoryURL(m_services.store.rootURL())
    , m_destinationDirectoryURL(m_defaultDestinationDirectoryURL)
    , m_windowsSource(std::make_unique<WindowsSourceViewModel>(m_services.qemuSetup, m_services.windowsImages))
{
    applyHardwareDefaults();
    // A guest this host cannot install is not where the user should start.
    if (m_services.macOSInstallRefusal) {
        m_guestOSType = VMGuestOSType::linux;
        applyGuestOSDefaults();
    }
    if (m_services.missingWindowsHostPackages)
        m_missingWindowsHostPackages = m_services.missingWindowsHostPackages();
}

CreateVMWizardViewModel::~CreateVMWizardViewModel() = default;

QString CreateVMWizardViewModel::macOSUnavailableText()
{
    return ::MacOSInstaller::unavailableDescription();
}

void CreateVMWizardViewModel::reportFailure(const QString &message)
{
    logFailure(message);
    setErrorMessage(message);
}

std::function<void(const QString &)> CreateVMWizardViewModel::failureReport()
{
    return [this](const QString &message) { reportFailure(message); };
}

// MARK: - Setters

void CreateVMWizardViewModel::setGuestOSType(VMGuestOSType guest)
{
    const VMGuestOSType old = m_guestOSType;
    m_guestOSType = guest;
    if (old != guest)
        applyGuestOSDefaults();
    Q_EMIT changed();
}

// MARK: - Defaults and steps

void CreateVMWizardViewModel::applyGuestOSDefaults()
{
    m_currentStep = Step::general;
    // The banner spoke of the guest left behind (its image, its restore images); the new guest's steps say their own.
    m_errorMessage.reset();
    const auto renameFrom = [this](std::initializer_list<QStringView> prefixes, const QString &name) {
        const bool foreign
            = std::any_of(prefixes.begin(), prefixes.end(), [this](QStringView prefix) { return m_name.startsWith(prefix); });
        if (foreign || m_name.isEmpty())
            m_name = name;
    };
    switch (m_guestOSType) {
    case VMGuestOSType::macOS:
        renameFrom({u"New Linux", u"New Windows"}, QStringLiteral("New Virtual Mac"));
        break;
    case VMGuestOSType::linux:
        renameFrom({u"New Virtual Mac", u"New Windows"}, QStringLiteral("New Linux VM"));
        break;
    case VMGuestOSType::windows:
        renameFrom({u"New Virtual Mac", u"New Linux"}, QStringLiteral("New Windows VM"));
        break;
    }
    applyHardwareDefaults();
    if (m_guestOSType == VMGuestOSType::linux && !(m_diskSizeGB >= 8))
        m_diskSizeGB = 32;
}

void CreateVMWizardViewModel::applyHardwareDefaults()
{
    const bool windows = m_guestOSType == VMGuestOSType::windows;
    if (!m_chosen.cpuCount)
        m_cpuCount = windows ? m_limits.windowsCPUCount() : m_limits.clampedCPUCount(4);
    if (!m_chosen.memory)
        m_memorySizeGB = windows ? m_limits.windowsMemoryGB() : m_limits.clampedMemoryGB(8);
    if (!m_chosen.disk)
        m_diskSizeGB = windows ? WizardHardwareLimits::minimumDiskSizeGB(VMGuestOSType::windows) : 64;
    if (!m_chosen.display)
        m_displayPreset = windows ? VMHardwareProfile::DisplayPreset::wxga1280x800 : VMHardwareProfile::DisplayPreset::wuxga1920x1200;
}

QList<CreateVMWizardViewModel::Step> CreateVMWizardViewModel::visibleSteps() const
{
    switch (m_guestOSType) {
    case VMGuestOSType::macOS:
        return {Step::general, Step::macOSSource, Step::sharedFolders, Step::firstBoot, Step::review};
    case VMGuestOSType::linux:
        return {Step::general, Step::linuxSource, Step::sharedFolders, Step::review};
    case VMGuestOSType::windows:
        break;
    }
    return {Step::general, Step::windowsSource, Step::review};
}

void CreateVMWizardViewModel::goToNextStep()
{
    const QList<Step> steps = visibleSteps();
    const qsizetype index = steps.indexOf(m_currentStep);
    if (index < 0 || index + 1 >= steps.size())
        return;
    m_currentStep = steps[index + 1];
    Q_EMIT changed();
}

void CreateVMWizardViewModel::goToPreviousStep()
{
    const QList<Step> steps = visibleSteps();
    const qsizetype index = steps.indexOf(m_currentStep);
    if (index <= 0)
        return;
    m_currentStep = steps[index - 1];
    Q_EMIT changed();
}

std::optional<QString> CreateVMWizardViewModel::generalStepBlockReason() const
{
    if (m_guestOSType == VMGuestOSType::macOS && m_services.macOSInstallRefusal)
        return m_services.macOSInstallRefusal;
    if (m_name.trimmed().isEmpty())
        return QStringLiteral("Enter a name for the VM.");
    if (m_cpuCount < 1 || m_cpuCount > m_limits.maximumCPUCount())
        return QStringLiteral("Choose from 1 to %1 CPUs: this computer has %1.").arg(m_limits.maximumCPUCount());
    if (const std::optional<QString> memory = m_limits.memory().refusal(m_memorySizeGB, m_guestOSType))
        return memory;
    if (!std::isfinite(m_diskSizeGB) || m_diskSizeGB < 0)
        return QStringLiteral("Choose the size of the VM's disk.");
    if (m_diskSizeGB < WizardHardwareLimits::minimumDiskSizeGB(m_guestOSType))
        return QStringLiteral("%1 needs a disk of at least %2.")
            .arg(displayName(m_guestOSType), SizeText::wholeGB(WizardHardwareLimits::minimumDiskSizeGB(m_guestOSType)));
    if (m_diskSizeGB > WizardHardwareLimits::maximumDiskSizeGB)
        return QStringLiteral("A disk can have at most %1.").arg(SizeText::wholeGB(WizardHardwareLimits::maximumDiskSizeGB));
    const QFileInfo destination(m_destinationDirectoryURL);
    if (m_destinationDirectoryURL.isEmpty() || !destination.isDir())
        return QStringLiteral("The storage folder does not exist. Choose another folder.");
    if (!destination.isWritable())
        return QStringLiteral("The storage folder cannot be written to. Choose another folder.");
    if (m_networkMode == VMNetworkConfiguration::Mode::bridged && !selectedBridgedInterface())
        return m_bridgedOptions.isEmpty() ? QStringLiteral("This computer has no network interface to bridge to. Use Shared NAT instead.")
                                          : QStringLiteral("Choose the host interface for bridged networking.");
    return std::nullopt;
}

bool CreateVMWizardViewModel::canAdvance() const
{
    return !advanceBlockReason().has_value();
}

std::optional<QString> CreateVMWizardViewModel::advanceBlockReason() const
{
    switch (m_currentStep) {
    case Step::general:
        return generalStepBlockReason();
    case Step::macOSSource:
        if (m_sourceMode == SourceMode::local) {
            if (!m_localRestoreImageURL)
                return QStringLiteral("Choose a restore image file.");
            if (!m_localRestoreImageInfo)
                return QStringLiteral("The chosen restore image could not be read. Choose another file.");
            return std::nullopt;
        }
        if (selectedAutomaticRestoreImage())
            return std::nullopt;
        return m_loadingRestoreImages ? QStringLiteral("Loading the available macOS versions…")
                                      : QStringLiteral("No macOS version is available to download. Choose a local restore image instead.");
    case Step::linuxSource:
        if (m_linuxSourceMode == LinuxSourceMode::localISO) {
            if (!m_localLinuxISOURL)
                return QStringLiteral("Choose an ISO image.");
            if (isCheckingLocalLinuxISO())
                return QStringLiteral("Checking the ISO image…");
            return m_linuxISORefusal;
        }
        if (!m_selectedDistribution)
            return QStringLiteral("Choose a distribution.");
        return std::nullopt;
    case Step::windowsSource:
        if (!m_windowsISOURL)
            return QStringLiteral("Choose a Windows 11 ARM image.");
        if (isCheckingWindowsImage())
            return QStringLiteral("Checking the Windows image…");
        if (m_windowsValidation && m_windowsValidation->status != WindowsISOValidation::Status::valid)
            return m_windowsValidation->message();
        return std::nullopt;
    case Step::sharedFolders:
    case Step::firstBoot:
        return std::nullopt;
    case Step::review:
        if (m_isCreating)
            return QStringLiteral("The VM is being created.");
        // What the general step asks still holds when Create is pressed (a folder may have gone meanwhile).
        return generalStepBlockReason();
    }
    return std::nullopt;
}

std::optional<QString> CreateVMWizardViewModel::memoryLimitText() const
{
    const GuestMemoryLimits &limits = m_limits.memory();
    if (std::round(m_memorySizeGB) >= limits.maximumGB())
        return limits.limitText();
    return std::nullopt;
}

// MARK: - Records

std::optional<VMHardwareProfile> CreateVMWizardViewModel::makeHardwareProfile() const
{
    if (!isUsableSize(m_memorySizeGB) || !isUsableSize(m_diskSizeGB) || m_cpuCount < 1)
        return std::nullopt;
    VMHardwareProfile profile;
    profile.cpuCount = m_cpuCount;
    profile.memorySizeBytes = quint64(std::round(m_memorySizeGB)) * quint64(gibibyte);
    profile.diskSizeBytes = quint64(std::round(m_diskSizeGB)) * quint64(gibibyte);
    const VMHardwareProfile::DisplayGeometry geometry = VMHardwareProfile::geometry(m_displayPreset);
    profile.displayWidth = geometry.width;
    profile.displayHeight = geometry.height;
    profile.displayPixelsPerInch = 80;
    return profile;
}

VMNetworkConfiguration CreateVMWizardViewModel::makeNetworkConfiguration() const
{
    VMNetworkConfiguration configuration;
    configuration.mode = m_networkMode;
    if (m_networkMode == VMNetworkConfiguration::Mode::bridged) {
        if (const std::optional<HostBridgedNetworkInterfaceOption> selected = selectedBridgedInterface()) {
            configuration.bridgedInterfaceIdentifier = selected->identifier;
            configuration.bridgedInterfaceDisplayName = selected->displayName;
        }
    }
    return configuration;
}

std::optional<HostBridgedNetworkInterfaceOption> CreateVMWizardViewModel::selectedBridgedInterface() const
{
    if (!m_bridgedIdentifier)
        return std::nullopt;
    for (const HostBridgedNetworkInterfaceOption &option : m_bridgedOptions)
        if (option.identifier == *m_bridgedIdentifier)
            return option;
    return std::nullopt;
}

void CreateVMWizardViewModel::refreshBridgedInterfaces()
{
    m_bridgedOptions = m_services.hostNetwork.availableInterfaces();
    if (!selectedBridgedInterface())
        m_bridgedIdentifier = m_bridgedOptions.isEmpty() ? std::nullopt : std::optional<QString>(m_bridgedOptions.first().identifier);
    Q_EMIT changed();
}

void CreateVMWizardViewModel::applyTemplate(const VMTemplate &vmTemplate)
{
    // A template's hardware counts as chosen: a later change of guest keeps it.
    m_chosen = {true, true, true, true};
    m_name = QStringLiteral("New ") + vmTemplate.name;
    m_cpuCount = vmTemplate.hardwareProfile.cpuCount;
    m_memorySizeGB = double(vmTemplate.hardwareProfile.memorySizeBytes / quint64(gibibyte));
    m_diskSizeGB = double(vmTemplate.hardwareProfile.diskSizeBytes / quint64(gibibyte));
    VMHardwareProfile size;
    size.displayWidth = vmTemplate.hardwareProfile.displayWidth;
    size.displayHeight = vmTemplate.hardwareProfile.displayHeight;
    for (const VMHardwareProfile::DisplayPreset preset : allCases<VMHardwareProfile::DisplayPreset>()) {
        const VMHardwareProfile::DisplayGeometry geometry = VMHardwareProfile::geometry(preset);
        if (geometry.width == size.displayWidth && geometry.height == size.displayHeight) {
            m_displayPreset = preset;
            break;
        }
    }
    m_networkMode = vmTemplate.networkConfiguration.mode;
    m_bridgedIdentifier = vmTemplate.networkConfiguration.bridgedInterfaceIdentifier;
    m_microphone = vmTemplate.mediaConfiguration.isMicrophoneEnabled;
    m_speaker = vmTemplate.mediaConfiguration.isSpeakerEnabled;
    Q_EMIT changed();
}

QList<LinuxDistribution> CreateVMWizardViewModel::filteredLinuxDistributions() const
{
    QList<LinuxDistribution> rows;
    for (const LinuxDistribution &row : LinuxDistribution::catalog())
        if (!m_variantFilter || row.variant == *m_variantFilter)
            rows << row;
    return rows;
}

QString CreateVMWizardViewModel::reviewSourceSummary() const
{
    if (m_linuxSourceMode == LinuxSourceMode::catalog) {
        if (!m_selectedDistribution)
            return QStringLiteral("No distribution selected");
        return LinuxVMCreation::distributionLabel(LinuxInstallSource::catalogDistribution(*m_selectedDistribution));
    }
    if (!m_localLinuxISOURL)
        return QStringLiteral("No ISO selected");
    return QFileInfo(*m_localLinuxISOURL).fileName();
}

// MARK: - Sources

std::optional<RestoreImageInfo> CreateVMWizardViewModel::selectedAutomaticRestoreImage() const
{
    if (m_restoreImageOptions.isEmpty())
        return std::nullopt;
    if (m_selectedBuild)
        for (const RestoreImageInfo &option : m_restoreImageOptions)
            if (option.build == *m_selectedBuild)
                return option;
    return m_restoreImageOptions.first();
}

bool CreateVMWizardViewModel::isSelectedAutomaticRestoreImage(const RestoreImageInfo &option) const
{
    const std::optional<RestoreImageInfo> selected = selectedAutomaticRestoreImage();
    return selected && selected->build == option.build;
}

QCoro::Task<> CreateVMWizardViewModel::loadAutomaticRestoreImagesIfNeeded()
{
    if (m_restoreImageOptions.isEmpty())
        co_await loadAutomaticRestoreImages();
}

QCoro::Task<> CreateVMWizardViewModel::loadAutomaticRestoreImages()
{
    QPointer<CreateVMWizardViewModel> self(this);
    m_loadingRestoreImages = true;
    Q_EMIT changed();
    try {
        const QList<RestoreImageInfo> options = co_await m_services.catalog.loadAutomaticInstallCatalog(3);
        if (!self)
            co_return;
        m_restoreImageOptions = options;
        const bool kept = m_selectedBuild && std::any_of(options.begin(), options.end(), [this](const RestoreImageInfo &option) {
            return option.build == *m_selectedBuild;
        });
        if (!kept)
            m_selectedBuild = options.isEmpty() ? std::nullopt : std::optional<QString>(options.first().build);
        if (m_sourceMode == SourceMode::automatic)
            m_errorMessage.reset();
    } catch (...) {
        const QString message = ErrorText::describe(std::current_exception());
        if (!self)
            co_return;
        m_errorMessage = message;
        logFailure(message);
    }
    m_loadingRestoreImages = false;
    Q_EMIT changed();
}

QCoro::Task<> CreateVMWizardViewModel::chooseDestinationDirectory()
{
    QPointer<CreateVMWizardViewModel> self(this);
    FileChoiceRequest request {QStringLiteral("Choose VM Storage Folder"),
        QStringLiteral("Zovozu VM Lab will create the VM bundle inside this folder. External SSDs work well here."), true, false,
        m_destinationDirectoryURL, {}};
    const std::optional<QString> chosen = co_await m_services.chooser.choose(std::move(request));
    if (self && chosen)
        setDestinationDirectoryURL(*chosen);
}

QCoro::Task<> CreateVMWizardViewModel::chooseLocalRestoreImage()
{
    QPointer<CreateVMWizardViewModel> self(this);
    FileChoiceRequest request {QStringLiteral("Choose a macOS Restore Image"), {}, false, true, {}, {QStringLiteral("ipsw")}};
    const std::optional<QString> chosen = co_await m_services.chooser.choose(std::move(request));
    if (!self || !chosen)
        co_return;
    m_localRestoreImageURL = *chosen;
    Q_EMIT changed();
    try {
        const RestoreImageInfo info = co_await m_services.catalog.loadRestoreImage(QUrl::fromLocalFile(*chosen));
        if (!self)
            co_return;
        m_localRestoreImageInfo = info;
        m_errorMessage.reset();
    } catch (...) {
        const QString message = ErrorText::describe(std::current_exception());
        if (!self)
            co_return;
        m_localRestoreImageInfo.reset();
        m_errorMessage = message;
        logFailure(message);
    }
    Q_EMIT changed();
}

QCoro::Task<> CreateVMWizardViewModel::addSharedFolders()
{
    QPointer<CreateVMWizardViewModel> self(this);
    FileChoiceRequest request {QStringLiteral("Choose Shared Folder"), {}, true, false, {}, {}};
    const QStringList chosen = co_await m_services.chooser.chooseSeveral(std::move(request));
    if (!self)
        co_return;
    bool added = false;
    for (const QString &path : chosen) {
        const QUrl url = QUrl::fromLocalFile(path);
        const bool present = std::any_of(
            m_sharedFolders.begin(), m_sharedFolders.end(), [&](const VMSharedFolder &folder) { return folder.localURL == url; });
        if (present)
            continue;
        VMSharedFolder folder;
        folder.id = QUuid::createUuid();
        folder.displayName = QFileInfo(path).fileName();
        folder.localURL = url;
        try {
            folder.bookmarkData = m_services.bookmarks.makeBookmark(path);
        } catch (const std::exception &) {
            // The folder is still shared; it only cannot be found again after a move.
        }
        m_sharedFolders << folder;
        added = true;
    }
    if (added)
        Q_EMIT changed();
}

void CreateVMWizardViewModel::setSharedFolderReadOnly(const QUuid &folderID, bool readOnly)
{
    for (VMSharedFolder &folder : m_sharedFolders) {
        if (folder.id == folderID && folder.isReadOnly != readOnly) {
            folder.isReadOnly = readOnly;
            Q_EMIT changed();
        }
    }
}

void CreateVMWizardViewModel::removeSharedFolders(const QList<QUuid> &folderIDs)
{
    m_sharedFolders.removeIf([&](const VMSharedFolder &folder) { return folderIDs.contains(folder.id); });
    Q_EMIT changed();
}

QCoro::Task<> CreateVMWizardViewModel::chooseFirstBootScript()
{
    QPointer<CreateVMWizardViewModel> self(this);
    FileChoiceRequest request {QStringLiteral("Choose First-Boot Script"), {}, false, true, {},
        {QStringLiteral("sh"), QStringLiteral("command"), QStringLiteral("zsh"), QStringLiteral("bash")}};
    const std::optional<QString> chosen = co_await m_services.chooser.choose(std::move(request));
    if (!self || !chosen)
        co_return;
    m_firstBootScriptURL = *chosen;
    Q_EMIT changed();
}

QCoro::Task<> CreateVMWizardViewModel::addFirstBootAdditionalFiles()
{
    QPointer<CreateVMWizardViewModel> self(this);
    FileChoiceRequest request {QStringLiteral("Choose Additional Bootstrap Files"), {}, true, true, {}, {}};
    const QStringList chosen = co_await m_services.chooser.chooseSeveral(std::move(request));
    if (!self)
        co_return;
    const qsizetype before = m_firstBootFiles.size();
    for (const QString &path : chosen) {
        if (!m_firstBootFiles.contains(path))
            m_firstBootFiles << path;
    }
    if (m_firstBootFiles.size() != before)
        Q_EMIT changed();
}

void CreateVMWizardViewModel::removeFirstBootAdditionalFiles(const QStringList &paths)
{
    m_firstBootFiles.removeIf([&](const QString &path) { return paths.contains(path); });
    Q_EMIT changed();
}

QCoro::Task<> CreateVMWizardViewModel::chooseLocalLinuxISO()
{
    QPointer<CreateVMWizardViewModel> self(this);
    FileChoiceRequest request {
        QStringLiteral("Choose a Linux ISO Image"), {}, false, true, {}, {QStringLiteral("iso"), QStringLiteral("img")}};
    const std::optional<QString> chosen = co_await m_services.chooser.choose(std::move(request));
    if (self && chosen)
        co_await checkLocalLinuxISO(*chosen);
}

void CreateVMWizardViewModel::setLocalLinuxISOURL(const std::optional<QString> &url)
{
    // The verdict belongs to one file: the last file's, and the banner it raised, go as another is taken.
    if (m_linuxISORefusal && m_errorMessage == m_linuxISORefusal)
        m_errorMessage.reset();
    m_linuxISORefusal.reset();
    m_linuxISOCheck.reset();
    assign(m_localLinuxISOURL, url);
}

QCoro::Task<> CreateVMWizardViewModel::checkLocalLinuxISO(QString path)
{
    QPointer<CreateVMWizardViewModel> self(this);
    setLocalLinuxISOURL(path);
    const quint64 check = ++m_linuxISOChecksStarted;
    m_linuxISOCheck = check;
    Q_EMIT changed();
    const std::optional<QString> refusal = co_await BackgroundWork::run(&LinuxISOCheck::refusal, path);
    if (!self || m_linuxISOCheck != check)
        co_return;
    m_linuxISOCheck.reset();
    m_linuxISORefusal = refusal;
    if (refusal) {
        m_errorMessage = refusal;
        logFailure(*refusal);
    }
    Q_EMIT changed();
}

namespace {
const QStringList windowsImageExtensions {QStringLiteral("iso"), QStringLiteral("vhdx"), QStringLiteral("img")};
}

QCoro::Task<> CreateVMWizardViewModel::chooseWindowsImage()
{
    QPointer<CreateVMWizardViewModel> self(this);
    FileChoiceRequest request {QStringLiteral("Choose Windows 11 ARM ISO or VHDX"), {}, false, true, {}, windowsImageExtensions};
    const std::optional<QString> chosen = co_await m_services.chooser.choose(std::move(request));
    if (!self || !chosen)
        co_return;
    // A file picked by hand is an existing image: its mode shows the file's name and folder and offers another choice.
    if (m_windowsSourceMode != WindowsSourceMode::local)
        setWindowsSourceMode(WindowsSourceMode::local);
    co_await validateWindowsImage(*chosen);
}

QCoro::Task<> CreateVMWizardViewModel::dropWindowsImage(QString path)
{
    // The chooser offers only regular files with these extensions; a drop is held to the same.
    const QFileInfo file(path);
    if (!file.isFile() || !windowsImageExtensions.contains(file.suffix(), Qt::CaseInsensitive)) {
        setErrorMessage(QStringLiteral("Drop a Windows 11 ARM ISO or VHDX file."));
        co_return;
    }
    if (m_windowsSourceMode != WindowsSourceMode::local)
        setWindowsSourceMode(WindowsSourceMode::local);
    co_await validateWindowsImage(file.absoluteFilePath());
}

QCoro::Task<> CreateVMWizardViewModel::validateWindowsImage(QString url)
{
    QPointer<CreateVMWizardViewModel> self(this);
    // The verdict belongs to one file: the last file's, and the banner it raised, go as another is chosen.
    if (m_windowsValidation && m_errorMessage == m_windowsValidation->message())
        m_errorMessage.reset();
    m_windowsValidation.reset();
    const quint64 check = ++m_windowsChecksStarted;
    m_windowsCheck = check;
    m_windowsISOURL = url;
    Q_EMIT changed();
    WindowsImageProvider provider(m_services.logging);
    const WindowsISOValidation validation = co_await provider.validate(url);
    if (!self || m_windowsCheck != check)
        co_return;
    m_windowsCheck.reset();
    m_windowsValidation = validation;
    if (validation.status == WindowsISOValidation::Status::valid)
        m_errorMessage.reset();
    else
        m_errorMessage = validation.message();
    Q_EMIT changed();
}

std::optional<VMInstallSource> CreateVMWizardViewModel::makeInstallSource() const
{
    if (m_sourceMode == SourceMode::automatic) {
        if (const std::optional<RestoreImageInfo> selected = selectedAutomaticRestoreImage())
            return VMInstallSource::catalogRestoreImage(*selected);
        return std::nullopt;
    }
    if (m_localRestoreImageURL)
        return VMInstallSource::localRestoreImage(QUrl::fromLocalFile(*m_localRestoreImageURL));
    return std::nullopt;
}

std::optional<LinuxInstallSource> CreateVMWizardViewModel::makeLinuxInstallSource() const
{
    if (m_linuxSourceMode == LinuxSourceMode::catalog) {
        if (m_selectedDistribution)
            return LinuxInstallSource::catalogDistribution(*m_selectedDistribution);
        return std::nullopt;
    }
    if (m_localLinuxISOURL)
        return LinuxInstallSource::localISO(QUrl::fromLocalFile(*m_localLinuxISOURL));
    return std::nullopt;
}

// MARK: - Creation

void CreateVMWizardViewModel::logFailure(const QString &message) const
{
    m_services.logging.log(message, wizardCategory);
}

bool CreateVMWizardViewModel::beginCreation(const VMInstallProgress &first)
{
    if (m_isCreating)
        return false;
    ++m_attempt;
    m_errorMessage.reset();
    m_didFinishSuccessfully = false;
    m_isCreating = true;
    m_createdBundleID.reset();
    m_installProgress = first;
    Q_EMIT changed();
    return true;
}

void CreateVMWizardViewModel::report(quint64 attempt, const VMInstallProgress &progress)
{
    if (attempt != m_attempt || !m_isCreating)
        return;
    m_installProgress = progress;
    Q_EMIT changed();
}

void CreateVMWizardViewModel::succeed(quint64 attempt, const QUuid &bundleID)
{
    if (attempt != m_attempt || !m_isCreating)
        return;
    m_createdBundleID = bundleID;
    m_didFinishSuccessfully = true;
    m_isCreating = false;
    Q_EMIT changed();
}

void CreateVMWizardViewModel::fail(quint64 attempt, const QString &message)
{
    // An attempt the user cancelled has ended already; its cancel message stays.
    if (attempt != m_attempt || !m_isCreating)
        return;
    m_isCreating = false;
    m_errorMessage = message;
    logFailure(message);
    Q_EMIT changed();
}

bool CreateVMWizardViewModel::canCancelCreation() const
{
    return m_isCreating
        && (InstallProgressTexts::isDownloadStage(m_installProgress.stage) || (m_linuxCreation && m_linuxCreation->isCopyingISO()));
}

void CreateVMWizardViewModel::cancelCreation()
{
    if (!canCancelCreation())
        return;
    if (m_installProgress.stage != Stage::downloadingLinuxISO && m_linuxCreation && m_linuxCreation->isCopyingISO()) {
        // The copy stops at its next chunk, and the creation then takes away what it made.
        m_linuxCreation->cancel();
        m_isCreating = false;
        m_errorMessage = QStringLiteral("Linux ISO copy cancelled.");
        Q_EMIT changed();
        return;
    }
    switch (m_installProgress.stage) {
    case Stage::downloadingLinuxISO:
        if (m_linuxCreation)
            m_linuxCreation->cancel();
        m_isCreating = false;
        m_errorMessage = QStringLiteral("Linux ISO download cancelled.");
        break;
    case Stage::downloadingRestoreImage:
        if (m_services.cancelRestoreImageDownload)
            m_services.cancelRestoreImageDownload();
        m_isCreating = false;
        m_errorMessage = QStringLiteral("Restore image download cancelled.");
        break;
    default:
        return;
    }
    Q_EMIT changed();
}

void CreateVMWizardViewModel::createMacOSVM()
{
    const std::optional<VMInstallSource> source = makeInstallSource();
    if (!source) {
        setErrorMessage(QStringLiteral("Choose a restore image source before creating the VM."));
        return;
    }
    const std::optional<VMHardwareProfile> profile = makeHardwareProfile();
    if (!profile) {
        setErrorMessage(QStringLiteral("Choose a memory and disk size before creating the VM."));
        return;
    }
    // Each attempt starts from its own progress: a report of an earlier, failed download must not offer its cancel again.
    if (!beginCreation(VMInstallProgress::step(Stage::preparingBundle, 0, QStringLiteral("Preparing Virtual Mac bundle..."))))
        return;
    VMInstallRequest request {m_name.trimmed(), *profile, *source, makeNetworkConfiguration(),
        VMMediaConfiguration {m_microphone, m_speaker}, m_destinationDirectoryURL, m_sharedFolders, std::nullopt};
    if (m_firstBootEnabled) {
        FirstBootBootstrapRequest bootstrap;
        bootstrap.isEnabled = true;
        if (m_firstBootScriptURL)
            bootstrap.scriptURL = QUrl::fromLocalFile(*m_firstBootScriptURL);
        for (const QString &file : m_firstBootFiles)
            bootstrap.additionalFileURLs << QUrl::fromLocalFile(file);
        bootstrap.notes = m_firstBootNotes;
        request.bootstrapRequest = bootstrap;
    }
    runMacOSCreation(shared_from_this(), m_attempt, std::move(request));
}

QCoro::Task<> CreateVMWizardViewModel::runMacOSCreation(
    std::shared_ptr<CreateVMWizardViewModel> self, quint64 attempt, VMInstallRequest request)
{
    const std::weak_ptr<CreateVMWizardViewModel> weak = self;
    // Reports may come from any thread; each reaches the wizard on the GUI thread.
    const auto handler = [weak, attempt](const VMInstallProgress &progress) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak, attempt, progress] {
                if (const std::shared_ptr<CreateVMWizardViewModel> wizard = weak.lock())
                    wizard->report(attempt, progress);
            },
            Qt::QueuedConnection);
    };
    try {
        const VMBundle bundle = co_await self->m_services.installMacOS(std::move(request), handler);
        if (attempt == self->m_attempt && self->m_isCreating)
            self->m_installProgress = VMInstallProgress::step(Stage::finalizing, 1.0, QStringLiteral("Virtual Mac is ready"));
        self->succeed(attempt, bundle.id());
    } catch (...) {
        self->fail(attempt, ErrorText::describe(std::current_exception()));
    }
}

void CreateVMWizardViewModel::createLinuxVM()
{
    const std::optional<LinuxInstallSource> source = makeLinuxInstallSource();
    if (!source) {
        setErrorMessage(QStringLiteral("Choose a Linux distribution or ISO before creating the VM."));
        return;
    }
    const std::optional<VMHardwareProfile> profile = makeHardwareProfile();
    if (!profile) {
        setErrorMessage(QStringLiteral("Choose a memory and disk size before creating the VM."));
        return;
    }
    if (!beginCreation(VMInstallProgress::step(Stage::preparingBundle, 0.02, QStringLiteral("Preparing Linux VM bundle..."))))
        return;
    LinuxVMCreation::Plan plan {m_name.trimmed(), *profile, makeNetworkConfiguration(), VMMediaConfiguration {m_microphone, m_speaker},
        m_sharedFolders, m_destinationDirectoryURL.isEmpty() ? m_services.store.rootURL() : QDir::cleanPath(m_destinationDirectoryURL),
        *source, m_linuxBootConfig.commandLine, m_linuxUseRosetta};
    m_linuxCreation = std::make_shared<LinuxVMCreation>(
        LinuxVMCreation::Collaborators {m_services.store, m_services.logging, m_services.linux, m_services.linuxGuestTools},
        std::move(plan));
    runLinuxCreation(shared_from_this(), m_attempt, m_linuxCreation);
}

QCoro::Task<> CreateVMWizardViewModel::runLinuxCreation(
    std::shared_ptr<CreateVMWizardViewModel> self, quint64 attempt, std::shared_ptr<LinuxVMCreation> creation)
{
    const std::weak_ptr<CreateVMWizardViewModel> weak = self;
    const auto handler = [weak, attempt](const VMInstallProgress &progress) {
        if (const std::shared_ptr<CreateVMWizardViewModel> wizard = weak.lock())
            wizard->report(attempt, progress);
    };
    try {
        const QUuid id = co_await creation->run(handler);
        self->succeed(attempt, id);
    } catch (const VirtualMachineError &error) {
        if (error.errorCase() == VirtualMachineError::Case::userCancelled)
            self->fail(attempt, QStringLiteral("Linux ISO download cancelled."));
        else
            self->fail(attempt, error.errorDescription());
    } catch (...) {
        self->fail(attempt, ErrorText::describe(std::current_exception()));
    }
    if (self->m_linuxCreation == creation)
        self->m_linuxCreation.reset();
}

void CreateVMWizardViewModel::createWindowsVM()
{
    if (!m_windowsISOURL) {
        setErrorMessage(QStringLiteral("Select a Windows 11 ARM ISO file."));
        return;
    }
    const std::optional<VMHardwareProfile> profile = makeHardwareProfile();
    if (!profile) {
        setErrorMessage(QStringLiteral("Choose a memory and disk size before creating the VM."));
        return;
    }
    if (!beginCreation(VMInstallProgress::step(Stage::preparingBundle, 0.05, QStringLiteral("Preparing Windows VM bundle..."))))
        return;
    runWindowsCreation(shared_from_this(), m_attempt, *profile, *m_windowsISOURL);
}

QCoro::Task<> CreateVMWizardViewModel::runWindowsCreation(
    std::shared_ptr<CreateVMWizardViewModel> self, quint64 attempt, VMHardwareProfile profile, QString imageURL)
{
    const std::weak_ptr<CreateVMWizardViewModel> weak = self;
    const auto handler = [weak, attempt](const VMInstallProgress &progress) {
        if (const std::shared_ptr<CreateVMWizardViewModel> wizard = weak.lock())
            wizard->report(attempt, progress);
    };
    WindowsVMCreation::Plan plan {self->m_name.trimmed(), profile, self->makeNetworkConfiguration(),
        VMMediaConfiguration {self->m_microphone, self->m_speaker},
        self->m_destinationDirectoryURL.isEmpty() ? self->m_services.store.rootURL() : QDir::cleanPath(self->m_destinationDirectoryURL),
        imageURL, self->m_windowsEnableTPM, self->m_services.windowsFirmwarePlaces, self->m_missingWindowsHostPackages};
    WindowsVMCreation creation({self->m_services.store, self->m_services.logging}, std::move(plan));
    try {
        const QUuid id = co_await creation.run(handler);
        self->succeed(attempt, id);
    } catch (...) {
        self->fail(attempt, ErrorText::describe(std::current_exception()));
    }
}
