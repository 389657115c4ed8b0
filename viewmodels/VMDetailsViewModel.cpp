// SPDX-License-Identifier: MIT
#include "VMDetailsViewModel.h"

#include "FileViewer.h"
#include "LoggingService.h"
#include "QEMUMachines.h"
#include "SizeText.h"
#include "VMDetailsActions.h"
#include "VMDiskAnalyticsService.h"
#include "VMGuestAutomationService.h"
#include "VMLinuxGuestToolsService.h"
#include "VMRuntimeService.h"
#include "VMSharedFolderService.h"
#include "VMStore.h"
#include "VMTemplateService.h"
#include "VirtualMachineCoordinator.h"
#include "VirtualMachineError.h"
#include "VirtualMachineSession.h"

#include <QPointer>

#include <cmath>

namespace {

const QString category = QStringLiteral("Details");
constexpr double gibibyte = double(SizeText::bytesPerGB);
/// 2^34 GiB is the first size whose byte count no longer fits 64 bits.
constexpr double largestCapacityGB = 17179869184.0;
/// What a sheet shows of a message the guest wrote; the rest is cut.
constexpr qsizetype longestGuestMessage = 2000;

} // namespace

VMDetailsViewModel::BusyFrame::BusyFrame(VMDetailsViewModel &model)
    : m_model(&model)
{
    model.setBusyActions(model.m_busyActions + 1);
    model.setErrorMessage(std::nullopt);
}

VMDetailsViewModel::BusyFrame::~BusyFrame()
{
    if (m_model)
        m_model->setBusyActions(m_model->m_busyActions - 1);
}

void VMDetailsViewModel::BusyFrame::fail(const std::exception &error) const
{
    if (m_model)
        m_model->reportFailure(error);
}

VMDetailsViewModel::VMDetailsViewModel(QUuid bundleID, Services services, QObject *parent)
    : QObject(parent)
    , m_bundleID(bundleID)
    , m_store(services.store)
    , m_coordinator(services.coordinator)
    , m_runtime(services.runtime)
    , m_diskImages(services.diskImages)
    , m_guestAutomation(services.guestAutomation)
    , m_templates(services.templates)
    , m_fileViewer(services.fileViewer)
    , m_logging(services.logging)
    , m_hostCapacity(std::move(services.hostCapacity))
    , m_starter(services.store, services.coordinator, services.qemuSetup)
{
    connect(&m_store, &VMStore::bundlesChanged, this, &VMDetailsViewModel::receiveBundles, Qt::QueuedConnection);
    QMetaObject::invokeMethod(
        this, [this] { receiveBundles(m_store.bundles()); }, Qt::QueuedConnection);
    connect(&m_coordinator, &VirtualMachineCoordinator::runtimeStatesChanged, this, [this] {
        const std::optional<VMRuntimeState> before = m_bundle ? std::optional(m_bundle->metadata.runtimeState) : std::nullopt;
        republishBundle();
        // A run changes what the disk holds: a stop, say, ends the installer that filled it.
        if (m_bundle && before != m_bundle->metadata.runtimeState)
            refreshDiskUsage();
    });
    connect(&m_coordinator.qemuMachines(), &QEMUMachines::runningChanged, this, [this](const QUuid &id) {
        if (id == m_bundleID)
            Q_EMIT isQEMURunningChanged();
    });
    republishBundle();
    refreshDiskUsage();
    refreshGuestAutomationStatus();
}

VMDetailsViewModel::~VMDetailsViewModel() = default;

// ---------------------------------------------------------------- published state

void VMDetailsViewModel::setActiveConsoleSession(std::shared_ptr<VirtualMachineSession> session)
{
    m_activeConsoleSession = std::move(session);
    Q_EMIT activeConsoleSessionChanged();
}

void VMDetailsViewModel::setErrorMessage(const std::optional<QString> &message, MessageKind kind)
{
    m_errorMessage = message;
    m_messageKind = kind;
    Q_EMIT errorMessageChanged();
}

void VMDetailsViewModel::setBusyActions(int count)
{
    m_busyActions = count;
    Q_EMIT isBusyChanged();
}

void VMDetailsViewModel::setBundle(std::optional<VMBundle> bundle)
{
    m_bundle = std::move(bundle);
    Q_EMIT bundleChanged();
}

bool VMDetailsViewModel::isQEMURunning() const
{
    return m_coordinator.qemuMachines().isRunning(m_bundleID);
}

QString VMDetailsViewModel::guestToolsStatusSummary() const
{
    return VMDetailsTexts::guestToolsStatusSummary(m_guestAutomationStatus, QDateTime::currentDateTimeUtc());
}

bool VMDetailsViewModel::hasSavedState() const
{
    return m_bundle && m_bundle->metadata.hasSavedState;
}

bool VMDetailsViewModel::canDiscardSavedState() const
{
    return hasSavedState() && isStopped();
}

bool VMDetailsViewModel::canStart() const
{
    return m_bundle && m_bundle->metadata.installState == VMInstallState::installed && isStopped();
}

bool VMDetailsViewModel::isWindowsGuest() const
{
    return m_bundle && m_bundle->metadata.guestOSType == VMGuestOSType::windows;
}

bool VMDetailsViewModel::isLinuxGuest() const
{
    return m_bundle && m_bundle->metadata.guestOSType == VMGuestOSType::linux;
}

std::optional<QString> VMDetailsViewModel::latestGuestMessage() const
{
    if (!m_guestAutomationStatus.latestResponse)
        return std::nullopt;
    const QString &message = m_guestAutomationStatus.latestResponse->message;
    if (message.size() <= longestGuestMessage)
        return message;
    return message.left(longestGuestMessage) + QStringLiteral("…");
}

void VMDetailsViewModel::receiveBundles(const QList<VMBundle> &bundles)
{
    std::optional<VMBundle> found;
    for (const VMBundle &bundle : bundles) {
        if (bundle.id() == m_bundleID) {
            found = bundle;
            found->metadata.runtimeState = m_coordinator.effectiveRuntimeState(m_bundleID);
            break;
        }
    }
    setBundle(std::move(found));
    refreshDiskUsage();
    refreshGuestAutomationStatus();
}

void VMDetailsViewModel::republishBundle()
{
    std::optional<VMBundle> current = m_store.bundle(m_bundleID);
    if (current)
        current->metadata.runtimeState = m_coordinator.effectiveRuntimeState(m_bundleID);
    setBundle(std::move(current));
}

// ---------------------------------------------------------------- refreshing

void VMDetailsViewModel::refreshDiskUsage()
{
    std::optional<DiskImageService::DiskUsage> usage;
    if (m_bundle) {
        try {
            usage = m_diskImages.diskUsage(m_bundle->layout().diskImageURL());
        } catch (const std::exception &) {
            // Shown as unavailable.
        }
    }
    m_diskUsage = usage;
    m_bundleSpaceBytes = m_bundle ? std::optional(VMDiskAnalyticsService::allocatedSize(m_bundle->bundleURL)) : std::nullopt;
    Q_EMIT diskUsageChanged();
}

void VMDetailsViewModel::refreshGuestAutomationStatus()
{
    m_guestAutomationStatus = m_bundle ? m_guestAutomation.agentStatus(*m_bundle) : VMGuestAutomationStatusSnapshot::empty();
    Q_EMIT guestAutomationStatusChanged();
}

QCoro::Task<> VMDetailsViewModel::reload()
{
    const QPointer<VMDetailsViewModel> self(this);
    const QUuid id = m_bundleID;
    const LoggingService &logging = m_logging;
    co_await m_store.reload();
    if (self) {
        refreshDiskUsage();
        Q_EMIT self->reloaded();
    }
    logging.log(QStringLiteral("Refreshed details for ") + id.toString(QUuid::WithoutBraces).toUpper(), category);
}

// ---------------------------------------------------------------- run actions

QCoro::Task<> VMDetailsViewModel::start()
{
    co_await startSession(u"start", false);
}

QCoro::Task<> VMDetailsViewModel::startSession(QStringView action, bool resumeSavedState)
{
    const std::optional<ActionsInFlight::Ticket> ticket = m_inFlight.begin(m_bundleID, action);
    if (!ticket)
        co_return;
    BusyFrame frame(*this);
    try {
        std::shared_ptr<VirtualMachineSession> session = co_await m_starter.start(m_bundleID, resumeSavedState);
        if (!frame.model())
            co_return;
        if (session)
            setActiveConsoleSession(std::move(session));
        else
            Q_EMIT consoleRequested();
    } catch (const std::exception &error) {
        frame.fail(error);
    }
}

QCoro::Task<> VMDetailsViewModel::resumeSavedState()
{
    co_await startSession(u"resumeSavedState", true);
}

QCoro::Task<> VMDetailsViewModel::pause()
{
    co_await runCoordinatorAction(u"pause", &VirtualMachineCoordinator::pause);
}

QCoro::Task<> VMDetailsViewModel::resume()
{
    co_await runCoordinatorAction(u"resume", &VirtualMachineCoordinator::resume);
}

QCoro::Task<> VMDetailsViewModel::stop()
{
    co_await runCoordinatorAction(u"stop", &VirtualMachineCoordinator::stop);
}

QCoro::Task<> VMDetailsViewModel::saveState()
{
    const QPointer<VMDetailsViewModel> self(this);
    const QString name = displayTitle();
    if (co_await runCoordinatorAction(u"saveState", &VirtualMachineCoordinator::recordSavedState) && self)
        self->announce(QStringLiteral("Saved the state of ") + name);
}

QCoro::Task<bool> VMDetailsViewModel::runCoordinatorAction(QStringView action, QCoro::Task<> (VirtualMachineCoordinator::*operation)(QUuid))
{
    const std::optional<ActionsInFlight::Ticket> ticket = m_inFlight.begin(m_bundleID, action);
    if (!ticket)
        co_return false;
    BusyFrame frame(*this);
    try {
        co_await (m_coordinator.*operation)(m_bundleID);
    } catch (const std::exception &error) {
        frame.fail(error);
        co_return false;
    }
    co_return true;
}

QCoro::Task<> VMDetailsViewModel::discardSavedState()
{
    runImmediateAction(&VirtualMachineCoordinator::discardSavedState);
    co_return;
}

QCoro::Task<> VMDetailsViewModel::cloneVM()
{
    const std::optional<ActionsInFlight::Ticket> ticket = m_inFlight.begin(m_bundleID, u"clone");
    if (!ticket)
        co_return;
    BusyFrame frame(*this);
    try {
        const VMBundle clone = co_await m_coordinator.cloneVMAsync(m_bundleID, std::nullopt, true, false);
        if (VMDetailsViewModel *model = frame.model())
            model->announce(QStringLiteral("Created ") + clone.metadata.name);
    } catch (const std::exception &error) {
        frame.fail(error);
    }
}

QCoro::Task<> VMDetailsViewModel::deleteVM()
{
    runImmediateAction(&VirtualMachineCoordinator::deleteVM);
    co_return;
}

void VMDetailsViewModel::runImmediateAction(void (VirtualMachineCoordinator::*operation)(const QUuid &))
{
    BusyFrame frame(*this);
    try {
        (m_coordinator.*operation)(m_bundleID);
    } catch (const std::exception &error) {
        frame.fail(error);
    }
}

bool VMDetailsViewModel::updateStoppedSettings(const VMStoppedSettings &settings)
{
    BusyFrame frame(*this);
    try {
        m_coordinator.updateStoppedSettings(m_bundleID, settings);
    } catch (const std::exception &error) {
        frame.fail(error);
        return false;
    }
    refreshGuestAutomationStatus();
    return true;
}

void VMDetailsViewModel::openConsoleSession()
{
    try {
        setActiveConsoleSession(m_coordinator.session(m_bundleID));
    } catch (const std::exception &error) {
        reportFailure(error);
    }
}

// ---------------------------------------------------------------- disk

QCoro::Task<> VMDetailsViewModel::expandDisk(double capacityGB)
{
    BusyFrame frame(*this);
    try {
        if (!std::isfinite(capacityGB) || capacityGB >= largestCapacityGB)
            throw VirtualMachineError::invalidOperation(QStringLiteral("Choose a disk size of a sensible number of GB."));
        if (capacityGB <= 0)
            throw VirtualMachineError::invalidOperation(QStringLiteral("Choose a disk size larger than the current virtual capacity."));
        const quint64 bytes = quint64(std::ceil(capacityGB)) * quint64(gibibyte);
        const VMDiskExpansionResult result = m_coordinator.changeDiskCapacity(m_bundleID, bytes);
        m_lastDiskExpansionAutomationMessage = VMDetailsTexts::diskExpansionAutomationMessage(result.automationOutcome);
        Q_EMIT lastDiskExpansionAutomationMessageChanged();
        // The store's list comes a turn later; the capacity texts show the new size now.
        republishBundle();
        refreshDiskUsage();
        refreshGuestAutomationStatus();
    } catch (const std::exception &error) {
        frame.fail(error);
    }
    co_return;
}

void VMDetailsViewModel::saveAsTemplate(const QString &name, const QString &description, VMTemplateCategory category)
{
    if (!m_bundle)
        return;
    try {
        const VMTemplate saved = m_templates.createTemplate(*m_bundle, name, description, category);
        announce(QStringLiteral("Saved template “") + saved.name + QStringLiteral("”"));
    } catch (const std::exception &error) {
        reportFailure(error);
    }
}

void VMDetailsViewModel::revealGuestToolsPackage()
{
    if (!m_bundle)
        return;
    try {
        m_guestAutomation.revealToolsPackage(*m_bundle, fileViewerFailureReport());
    } catch (const std::exception &error) {
        reportFailure(error);
    }
}

void VMDetailsViewModel::revealBundle()
{
    if (const std::optional<VMBundle> bundle = m_store.bundle(m_bundleID))
        m_fileViewer.revealItem(bundle->bundleURL, fileViewerFailureReport());
}

GuestToolsSetupContent VMDetailsViewModel::guestToolsSetupContent() const
{
    GuestToolsSetupContent content {
        displayTitle(),
        {},
        guestToolsVersionText(),
        guestToolsStatusSummary(),
        latestGuestMessage(),
        isLinuxGuest() ? VMGuestOSType::linux : VMGuestOSType::macOS,
        VMSharedFolderService::automationShareName.toString(),
        VMSharedFolderService::linuxGuestTag.toString(),
        VMLinuxGuestToolsService::installerFileName.toString(),
    };
    for (const VMDetailsActionState &state : VMDetailsActions::states(*this)) {
        if (state.action == VMDetailsAction::guestTools)
            content.actionTitle = state.title;
    }
    return content;
}

std::optional<QUrl> VMDetailsViewModel::firstSharedFolderURL() const
{
    if (!m_bundle || m_bundle->sharedFolders.isEmpty())
        return std::nullopt;
    return m_bundle->sharedFolders.first().localURL;
}

FileViewer::FailureHandler VMDetailsViewModel::fileViewerFailureReport()
{
    return [self = QPointer<VMDetailsViewModel>(this)](const QString &reason) {
        if (self)
            self->setErrorMessage(reason);
    };
}

void VMDetailsViewModel::announce(const QString &message)
{
    setErrorMessage(message, MessageKind::information);
}

void VMDetailsViewModel::reportFailure(const std::exception &error)
{
    const QString text = QString::fromUtf8(error.what());
    setErrorMessage(text);
    m_logging.log(text, category);
}
