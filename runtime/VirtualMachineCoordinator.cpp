// SPDX-License-Identifier: MIT
#include "VirtualMachineCoordinator.h"

#include "DiskImageService.h"
#include "DisplayFormatters.h"
#include "LoggingService.h"
#include "QEMUMachines.h"
#include "SavedStateOrigin.h"
#include "SecurityScope.h"
#include "VMCloneService.h"
#include "VMGuestAutomationService.h"
#include "VMLinuxGuestToolsService.h"
#include "VMRuntimeService.h"
#include "VMSaveRestoreService.h"
#include "VMSharedFolderService.h"
#include "VMStore.h"
#include "VirtualMachineError.h"
#include "VirtualMachineSessionTable.h"

#include <QFileInfo>
#include <QPointer>

namespace {

VirtualMachineError refusal(const char *detail)
{
    return VirtualMachineError::invalidOperation(QString::fromUtf8(detail));
}

/// The guest's operating system as refusals name it; bundles from before the guest kind was stored are macOS bundles.
QString systemName(const VMMetadata &metadata)
{
    return displayName(metadata.guestOSType.value_or(VMGuestOSType::macOS));
}

QString describe(const std::exception &error)
{
    return QString::fromUtf8(error.what());
}

} // namespace

VirtualMachineCoordinator::VirtualMachineCoordinator(Services services, QObject *parent)
    : QObject(parent)
    , m_store(services.store)
    , m_sessions(services.sessions)
    , m_runtime(services.runtime)
    , m_diskImages(services.diskImages)
    , m_sharedFolders(services.sharedFolders)
    , m_guestAutomation(services.guestAutomation)
    , m_linuxGuestTools(services.linuxGuestTools)
    , m_saveRestore(services.saveRestore)
    , m_clones(services.clones)
    , m_logging(services.logging)
    , m_access(services.access)
    , m_qemuMachines(services.qemuMachines)
{
    connect(&m_sessions, &VirtualMachineSessionTable::sessionsChanged, this, &VirtualMachineCoordinator::watchSessions);
    connect(&m_qemuMachines, &QEMUMachines::runningChanged, this, &VirtualMachineCoordinator::recordQEMURunState);
    watchSessions();
    const QPointer<VirtualMachineCoordinator> self(this);
    m_store.setLiveRuntimeStates([self](const QUuid &id) { return self ? self->liveRuntimeState(id) : std::nullopt; });
}

VirtualMachineCoordinator::~VirtualMachineCoordinator()
{
    m_store.setLiveRuntimeStates({});
}

VMRuntimeState VirtualMachineCoordinator::effectiveRuntimeState(const QUuid &id) const
{
    if (const std::shared_ptr<VirtualMachineSession> session = m_sessions.session(id))
        return session->runtimeState();
    if (m_qemuMachines.isRunning(id))
        return VMRuntimeState::running;
    const std::optional<VMBundle> bundle = m_store.bundle(id);
    return bundle ? bundle->metadata.runtimeState : VMRuntimeState::stopped;
}

bool VirtualMachineCoordinator::isMachineActive(const QUuid &id) const
{
    return m_sessions.isActive(id) || m_qemuMachines.isRunning(id);
}

std::shared_ptr<VirtualMachineSession> VirtualMachineCoordinator::session(const QUuid &id)
{
    if (const std::shared_ptr<VirtualMachineSession> existing = m_sessions.session(id)) {
        if (const std::optional<VMBundle> bundle = m_store.bundle(id))
            existing->setBundle(*bundle);
        return existing;
    }
    const VMBundle bundle = requireBundle(id);
    const std::shared_ptr<VirtualMachineSession> made = m_runtime.makeSession(bundle);
    // The handler lives inside the session, so the session outlives every call of it; the coordinator may not.
    VirtualMachineSession *const session = made.get();
    const QPointer<VirtualMachineCoordinator> coordinator(this);
    made->setEventHandler([coordinator, session](const VirtualMachineSession::Event &event) {
        if (coordinator)
            coordinator->handleSessionEvent(event, *session);
    });
    m_sessions.insert(made);
    return made;
}

QCoro::Task<std::shared_ptr<VirtualMachineSession>> VirtualMachineCoordinator::start(QUuid id, bool resumeSavedState)
{
    const VMBundle bundleAtStart = prepareStart(id, resumeSavedState);
    const std::shared_ptr<VirtualMachineSession> session = this->session(id);
    const bool restoring = VMRuntimeService::restores(session->bundle(), resumeSavedState);
    const QPointer<VirtualMachineCoordinator> self(this);
    std::exception_ptr failure;
    try {
        co_await m_runtime.start(*session, resumeSavedState);
    } catch (...) {
        failure = std::current_exception();
    }
    if (!self) {
        // Nothing is left to record the outcome in.
        if (failure)
            std::rethrow_exception(failure);
        co_return session;
    }
    if (failure && restoring)
        rethrowRestoreFailure(failure, id);
    if (failure)
        std::rethrow_exception(failure);
    completeStart(*session, bundleAtStart, resumeSavedState);
    co_return session;
}

QCoro::Task<> VirtualMachineCoordinator::startWithQEMU(QUuid id)
{
    const VMBundle bundle = requireBundle(id);
    if (bundle.metadata.guestOSType != VMGuestOSType::windows)
        throw refusal("Only Windows virtual machines run on the QEMU engine.");
    m_leases.requireNone(id);
    if (isMachineActive(id))
        throw refusal("The virtual machine is already active.");
    refuseVanishedBundle(bundle);
    co_await m_qemuMachines.start(bundle);
}

QCoro::Task<> VirtualMachineCoordinator::stop(QUuid id)
{
    // The console, the details pane and the VM menu may each ask while the machine is stopping; a second stop would
    // only be refused by the machine ("cannot stop while it is stopping") although the first one succeeds.
    if (const std::shared_ptr<SharedOutcome> underWay = m_stops.value(id)) {
        co_await SharedOutcome::join(underWay);
        co_return;
    }
    const auto outcome = std::make_shared<SharedOutcome>();
    m_stops.insert(id, outcome);
    const QPointer<VirtualMachineCoordinator> self(this);
    std::exception_ptr failure;
    try {
        co_await stopMachine(id);
    } catch (...) {
        failure = std::current_exception();
    }
    if (self)
        m_stops.remove(id);
    outcome->settle(failure);
    if (failure)
        std::rethrow_exception(failure);
}

QCoro::Task<> VirtualMachineCoordinator::stopMachine(QUuid id)
{
    if (m_qemuMachines.isRunning(id)) {
        co_await m_qemuMachines.stop(id);
        co_return;
    }
    const std::shared_ptr<VirtualMachineSession> session = m_sessions.session(id);
    if (!session) {
        // Nothing runs it; a stored state that says otherwise is stale.
        std::optional<VMBundle> bundle = m_store.bundle(id);
        if (bundle && bundle->metadata.runtimeState != VMRuntimeState::stopped) {
            bundle->metadata.runtimeState = VMRuntimeState::stopped;
            save(*bundle);
        }
        co_return;
    }
    const QPointer<VirtualMachineCoordinator> self(this);
    std::exception_ptr failure;
    try {
        co_await m_runtime.stop(*session);
    } catch (...) {
        failure = std::current_exception();
    }
    if (self)
        finalizeStoppedSession(*session);
    if (failure)
        std::rethrow_exception(failure);
}

QCoro::Task<> VirtualMachineCoordinator::pause(QUuid id)
{
    co_await transition(id, &VMRuntimeService::pause);
}

QCoro::Task<> VirtualMachineCoordinator::resume(QUuid id)
{
    co_await transition(id, &VMRuntimeService::resume);
}

QCoro::Task<> VirtualMachineCoordinator::transition(QUuid id, QCoro::Task<> (VMRuntimeService::*operation)(VirtualMachineSession &) const)
{
    const std::shared_ptr<VirtualMachineSession> session = this->session(id);
    const QPointer<VirtualMachineCoordinator> self(this);
    std::exception_ptr failure;
    try {
        co_await (m_runtime.*operation)(*session);
    } catch (...) {
        failure = std::current_exception();
    }
    // A refusal leaves the session as it was; a machine that failed on the way has recorded its error there.
    if (self && (!failure || session->runtimeState() == VMRuntimeState::error))
        finalizeStoppedSession(*session);
    if (failure)
        std::rethrow_exception(failure);
}

QCoro::Task<> VirtualMachineCoordinator::recordSavedState(QUuid id)
{
    refuseSavingWindows(id);
    const std::shared_ptr<VirtualMachineSession> session = this->session(id);
    const QPointer<VirtualMachineCoordinator> self(this);
    const VMSavedState saved = co_await m_saveRestore.saveState(*session);
    if (self)
        recordSaved(*session, saved);
}

void VirtualMachineCoordinator::recordStoppedAtQuit(const QUuid &id)
{
    std::optional<VMBundle> bundle = m_store.bundle(id);
    if (!bundle || bundle->metadata.runtimeState == VMRuntimeState::stopped)
        return;
    const VMRuntimeState was = bundle->metadata.runtimeState;
    bundle->metadata.runtimeState = VMRuntimeState::stopped;
    const VMBundle saved = save(*bundle);
    if (const std::shared_ptr<VirtualMachineSession> session = m_sessions.session(id))
        session->setBundle(saved);
    log(QStringLiteral("Recorded ") + bundle->metadata.name + QStringLiteral(" as stopped on quitting; it was ") + toRaw(was)
            + QStringLiteral(" and ends with the application"),
        QStringLiteral("Runtime"), *bundle);
}

void VirtualMachineCoordinator::refuseSavingWindows(const QUuid &id) const
{
    const std::optional<VMBundle> bundle = m_store.bundle(id);
    if (bundle && bundle->metadata.guestOSType == VMGuestOSType::windows)
        throw VirtualMachineError(VirtualMachineError::Case::saveStateFailed, windowsSaveStateRefusal.toString());
}

void VirtualMachineCoordinator::removeSession(const QUuid &id)
{
    m_sessions.remove(id);
}

void VirtualMachineCoordinator::finalizeStoppedSession(VirtualMachineSession &session)
{
    std::optional<VMBundle> bundle = m_store.bundle(session.bundle().metadata.id);
    if (!bundle)
        return;
    if (session.runtimeState() == VMRuntimeState::running && bundle->metadata.savedState) {
        // The machine ran on after its state was saved: restoring that state now would put old memory over a changed disk.
        try {
            m_saveRestore.discardSavedState(bundle->bundleURL);
        } catch (const std::exception &error) {
            log(QStringLiteral("Could not delete the stale saved state of ") + bundle->metadata.name + QStringLiteral(": ") + describe(error),
                QStringLiteral("SaveRestore"), *bundle);
        }
        bundle->metadata.savedState.reset();
        log(QStringLiteral("Discarded the saved state of ") + bundle->metadata.name + QStringLiteral(" because the VM ran on after it was saved"),
            QStringLiteral("SaveRestore"), *bundle);
    }
    bundle->metadata.runtimeState = session.runtimeState();
    bundle->metadata.hasSavedState = bundle->metadata.savedState.has_value();
    session.setBundle(save(*bundle));
}

void VirtualMachineCoordinator::handleSessionEvent(const VirtualMachineSession::Event &event, VirtualMachineSession &session)
{
    // The session has logged what happened; the run state is all that is left to store.
    if (std::holds_alternative<VirtualMachineSession::NetworkDisconnected>(event))
        return;
    if (std::holds_alternative<VirtualMachineSession::SharedFoldersStopped>(event)) {
        if (const std::optional<QString> &message = session.sharedFoldersStopMessage())
            Q_EMIT sharedFoldersStopped(session.id(), *message);
        return;
    }
    try {
        finalizeStoppedSession(session);
    } catch (const std::exception &) {
        // The stored state is corrected at the next start or finalisation; an event has nobody to report to.
    }
}

VMBundle VirtualMachineCoordinator::prepareStart(const QUuid &id, bool resumeSavedState)
{
    const VMBundle bundle = requireBundle(id);
    m_leases.requireNone(id);
    if (m_qemuMachines.isRunning(id))
        throw refusal("The virtual machine is already active.");
    if (const std::shared_ptr<VirtualMachineSession> existing = m_sessions.session(id)) {
        if (existing->runtimeState() == VMRuntimeState::error)
            removeSession(id);
        else if (existing->runtimeState() != VMRuntimeState::stopped)
            throw refusal("The virtual machine is already active.");
    }
    refuseVanishedBundle(bundle);
    if (VMRuntimeService::restores(bundle, resumeSavedState) && SavedStateOrigin::isFromAnotherBundle(bundle)) {
        // Refused before anything changes. Nothing is deleted on a guess: a plain start discards the copied state.
        log(QStringLiteral("Refused to resume the saved state of %1: it was saved in another bundle, of which this one is a copy")
                .arg(bundle.metadata.name),
            QStringLiteral("SaveRestore"), bundle);
        throw VirtualMachineError(VirtualMachineError::Case::savedStateRestoreFailed,
                                  QStringLiteral("This VM is a copy of the bundle its saved state was saved in. A saved state belongs to the bundle it "
                                                 "was saved in, so the copy must start cold: Start boots it and discards the copied state."));
    }

    VMBundle current = bundle;
    if (current.metadata.runtimeState != VMRuntimeState::stopped) {
        current.metadata.runtimeState = VMRuntimeState::stopped;
        current = save(current);
    }
    {
        const SecurityScope scope(m_access, current.bundleURL);
        m_guestAutomation.ensureAutomationRoot(current);
    }
    if (current.metadata.guestOSType == VMGuestOSType::linux)
        m_linuxGuestTools.stageLinuxGuestTools(current);
    if (!resumeSavedState && current.metadata.savedState) {
        discardSavedStateFileIgnoringFailure(current);
        current.metadata.savedState.reset();
        current.metadata.hasSavedState = false;
        save(current);
    }
    return bundle;
}

void VirtualMachineCoordinator::completeStart(VirtualMachineSession &session, const VMBundle &bundleAtStart, bool resumeSavedState)
{
    if (resumeSavedState && bundleAtStart.metadata.savedState) {
        // A saved state is used once.
        if (std::optional<VMBundle> current = m_store.bundle(bundleAtStart.id())) {
            discardSavedStateFileIgnoringFailure(*current);
            current->metadata.savedState.reset();
            current->metadata.hasSavedState = false;
            save(*current);
        }
    }
    finalizeStoppedSession(session);
}

void VirtualMachineCoordinator::rethrowRestoreFailure(std::exception_ptr failure, const QUuid &id)
{
    QString cause;
    bool rejected = false;
    try {
        std::rethrow_exception(failure);
    } catch (const VirtualMachineError &error) {
        rejected = error.errorCase() == VirtualMachineError::Case::savedStateRestoreFailed;
        cause = error.detail();
    } catch (const std::exception &error) {
        cause = describe(error);
    }
    const std::optional<VMBundle> bundle = m_store.bundle(id);
    // The machine is gone either way; without its session the VM shows as stopped, with or without its state.
    removeSession(id);
    if (!cause.endsWith(QLatin1Char('.')))
        cause += QLatin1Char('.');
    if (!rejected) {
        // A full disk, a helper that did not start, a missing program: the state is as good as before, and may be resumed again.
        if (bundle)
            log(QStringLiteral("Kept the saved state of %1 after its restore failed: %2").arg(bundle->metadata.name, cause), QStringLiteral("SaveRestore"),
                *bundle);
        throw VirtualMachineError(VirtualMachineError::Case::savedStateRestoreFailed,
                                  cause + QStringLiteral(" The saved state has been kept: resume it again once that is resolved."));
    }
    try {
        discardInvalidSavedState(id);
    } catch (const std::exception &) {
        // The next plain start discards what is left.
    }
    if (bundle)
        log(QStringLiteral("Discarded the saved state of %1: QEMU cannot use it for this VM. %2").arg(bundle->metadata.name, cause),
            QStringLiteral("SaveRestore"), *bundle);
    throw VirtualMachineError(VirtualMachineError::Case::savedStateRestoreFailed,
                              cause + QStringLiteral(" QEMU cannot use this saved state for this VM, so it has been discarded. Start the VM again with a cold boot."));
}

void VirtualMachineCoordinator::discardInvalidSavedState(const QUuid &id)
{
    std::optional<VMBundle> bundle = m_store.bundle(id);
    if (!bundle)
        return;
    discardSavedStateFileIgnoringFailure(*bundle);
    bundle->metadata.savedState.reset();
    bundle->metadata.hasSavedState = false;
    bundle->metadata.runtimeState = VMRuntimeState::stopped;
    save(*bundle);
}

void VirtualMachineCoordinator::recordSaved(VirtualMachineSession &session, const VMSavedState &saved)
{
    std::optional<VMBundle> bundle = m_store.bundle(session.id());
    if (!bundle)
        return;
    bundle->metadata.savedState = saved;
    bundle->metadata.hasSavedState = true;
    bundle->metadata.runtimeState = session.runtimeState();
    session.setBundle(save(*bundle));
}

void VirtualMachineCoordinator::discardSavedState(const QUuid &id)
{
    VMBundle bundle = requireBundle(id);
    if (m_sessions.isActive(id))
        throw refusal("Stop the virtual machine before discarding saved state.");
    m_saveRestore.discardSavedState(bundle.bundleURL);
    bundle.metadata.savedState.reset();
    bundle.metadata.hasSavedState = false;
    const VMBundle saved = save(bundle);
    if (const auto session = m_sessions.session(id))
        session->setBundle(saved);
}

VMBundle VirtualMachineCoordinator::updateStoppedSettings(const QUuid &id, const VMStoppedSettings &settings)
{
    VMBundle bundle = requireBundle(id);
    VMMetadata &metadata = bundle.metadata;
    if (metadata.installState != VMInstallState::installed)
        throw VirtualMachineError::invalidOperation(
            QStringLiteral("Finish installing %1 before changing VM settings.").arg(systemName(metadata)));
    if (metadata.runtimeState != VMRuntimeState::stopped)
        throw refusal("Stop the virtual machine before changing VM settings.");
    if (metadata.hasSavedState)
        throw refusal("Discard the saved state before changing VM settings.");
    if (isMachineActive(id))
        throw refusal("Stop the virtual machine before changing VM settings.");
    m_leases.requireNone(id);

    const QList<VMSharedFolder> sharedFolders = m_sharedFolders.resolveSharedFolders(settings.sharedFolders);
    metadata.hardwareProfile.cpuCount = settings.cpuCount;
    metadata.hardwareProfile.memorySizeBytes = settings.memorySizeBytes;
    metadata.hardwareProfile.displayWidth = settings.displayWidth;
    metadata.hardwareProfile.displayHeight = settings.displayHeight;
    metadata.hardwareProfile.displayPixelsPerInch = settings.displayPixelsPerInch;
    metadata.cpuCount = settings.cpuCount;
    metadata.memorySizeBytes = settings.memorySizeBytes;
    VMMediaConfiguration media;
    media.isMicrophoneEnabled = settings.isMicrophoneEnabled;
    media.isSpeakerEnabled = settings.isSpeakerEnabled;
    metadata.mediaConfiguration = media;
    bundle.sharedFolders = sharedFolders;

    m_store.updateBundle(bundle);
    removeSession(id);
    log(QStringLiteral("Updated stopped settings for ") + metadata.name, QStringLiteral("Settings"), bundle);
    return storedOr(bundle);
}

VMDiskExpansionResult VirtualMachineCoordinator::changeDiskCapacity(const QUuid &id, quint64 requestedSizeBytes)
{
    VMBundle bundle = requireBundle(id);
    VMMetadata &metadata = bundle.metadata;
    if (metadata.installState != VMInstallState::installed)
        throw VirtualMachineError::invalidOperation(
            QStringLiteral("Install %1 before changing disk capacity.").arg(systemName(metadata)));
    if (metadata.runtimeState != VMRuntimeState::stopped)
        throw refusal("Stop the virtual machine before changing disk capacity.");
    if (metadata.hasSavedState)
        throw refusal("Discard the saved state before changing disk capacity.");
    if (isMachineActive(id))
        throw refusal("Stop the virtual machine before changing disk capacity.");
    m_leases.requireNone(id);

    const quint64 newSize = m_diskImages.resizeDisk(bundle.layout().diskImageURL(), requestedSizeBytes);
    metadata.hardwareProfile.diskSizeBytes = newSize;
    metadata.diskSizeBytes = newSize;
    const VMBundle saved = save(bundle);
    removeSession(id);

    const VMDiskExpansionAutomationOutcome outcome = queueDiskGrowthRequest(saved);
    log(QStringLiteral("Expanded ") + metadata.name + QStringLiteral(" disk to ") + DisplayFormatters::byteCountText(newSize), QStringLiteral("Disk"),
        bundle);
    return VMDiskExpansionResult{storedOr(saved), outcome};
}

VMBundle VirtualMachineCoordinator::cloneVM(const QUuid &id, const std::optional<QString> &name, bool regenerateMachineIdentifier,
                                            bool preserveSavedState)
{
    const VMBundle bundle = requireClonable(id);
    const VMOperationLeases::Lease lease = m_leases.acquire(id, QStringLiteral("A clone"));
    return m_clones.clone(bundle, name, regenerateMachineIdentifier, preserveSavedState);
}

QCoro::Task<VMBundle> VirtualMachineCoordinator::cloneVMAsync(QUuid id, std::optional<QString> name, bool regenerateMachineIdentifier,
                                                              bool preserveSavedState)
{
    const VMBundle bundle = requireClonable(id);
    const VMOperationLeases::Lease lease = m_leases.acquire(id, QStringLiteral("A clone"));
    co_return co_await m_clones.cloneAsync(bundle, std::move(name), regenerateMachineIdentifier, preserveSavedState);
}

VMBundle VirtualMachineCoordinator::requireClonable(const QUuid &id) const
{
    const VMBundle bundle = requireBundle(id);
    if (bundle.metadata.installState != VMInstallState::installed)
        throw refusal("Only installed virtual machines can be cloned.");
    if (isMachineActive(id))
        throw refusal("Only fully stopped virtual machines can be cloned.");
    if (bundle.metadata.runtimeState != VMRuntimeState::stopped)
        throw refusal("Only fully stopped virtual machines can be cloned.");
    m_leases.requireNone(id);
    return bundle;
}

void VirtualMachineCoordinator::deleteVM(const QUuid &id)
{
    requireDeletable(id);
    removeSession(id);
    m_store.deleteBundle(id);
}

void VirtualMachineCoordinator::requireDeletable(const QUuid &id) const
{
    if (isMachineActive(id))
        throw refusal("Stop the virtual machine before deleting it.");
    m_leases.requireNone(id);
}

void VirtualMachineCoordinator::refuseVanishedBundle(const VMBundle &bundle)
{
    if (QFileInfo(bundle.bundleURL).isDir())
        return;
    // Starting would make an empty shell of the VM in its place; the VM leaves the list instead, while nothing of
    // it is touched: a bundle on a disk that was unplugged is listed again once the disk is back.
    m_store.forgetVanishedBundle(bundle.id());
    const VirtualMachineError error = VirtualMachineError::invalidBundle(
        QStringLiteral("The bundle folder of \"%1\" no longer exists at %2, so the VM was removed from the list. Reconnect its disk or "
                       "import it again to bring it back.")
            .arg(bundle.metadata.name, bundle.bundleURL));
    // The screen that asked may go with the VM; the library says what became of it.
    Q_EMIT bundleVanished(error.errorDescription());
    throw error;
}

VMBundle VirtualMachineCoordinator::requireBundle(const QUuid &id) const
{
    std::optional<VMBundle> bundle = m_store.bundle(id);
    if (!bundle)
        throw VirtualMachineError::invalidBundle(QStringLiteral("The selected VM could not be found."));
    return std::move(*bundle);
}

std::optional<VMRuntimeState> VirtualMachineCoordinator::liveRuntimeState(const QUuid &id) const
{
    if (m_sessions.isActive(id))
        return m_sessions.session(id)->runtimeState();
    if (m_qemuMachines.isRunning(id))
        return VMRuntimeState::running;
    return std::nullopt;
}

void VirtualMachineCoordinator::watchSessions()
{
    for (const QUuid &id : m_sessions.ids()) {
        connect(m_sessions.session(id).get(), &VirtualMachineSession::runtimeStateChanged, this,
                &VirtualMachineCoordinator::runtimeStatesChanged, Qt::UniqueConnection);
    }
    Q_EMIT runtimeStatesChanged();
}

void VirtualMachineCoordinator::recordQEMURunState(const QUuid &id, bool running)
{
    if (std::optional<VMBundle> bundle = m_store.bundle(id)) {
        const VMRuntimeState state = running ? VMRuntimeState::running : VMRuntimeState::stopped;
        if (bundle->metadata.runtimeState != state) {
            bundle->metadata.runtimeState = state;
            try {
                save(*bundle);
            } catch (const std::exception &error) {
                log(QStringLiteral("Could not record the run state of ") + bundle->metadata.name + QStringLiteral(": ") + describe(error),
                    QStringLiteral("QEMU"), *bundle);
            }
        }
    }
    Q_EMIT runtimeStatesChanged();
}

VMBundle VirtualMachineCoordinator::save(const VMBundle &bundle)
{
    m_store.updateBundle(bundle);
    return storedOr(bundle);
}

VMBundle VirtualMachineCoordinator::storedOr(const VMBundle &fallback) const
{
    return m_store.bundle(fallback.id()).value_or(fallback);
}

void VirtualMachineCoordinator::discardSavedStateFileIgnoringFailure(const VMBundle &bundle) const
{
    try {
        m_saveRestore.discardSavedState(bundle.bundleURL);
    } catch (const std::exception &) {
        // The record goes regardless, and without it the file is never restored.
    }
}

VMDiskExpansionAutomationOutcome VirtualMachineCoordinator::queueDiskGrowthRequest(const VMBundle &bundle) const
{
    try {
        {
            const SecurityScope scope(m_access, bundle.bundleURL);
            m_guestAutomation.ensureAutomationRoot(bundle);
        }
        const VMGuestAutomationQueueResult queued = m_guestAutomation.enqueueRequest(bundle);
        return VMDiskExpansionAutomationOutcome::queued(queued.availability == VMGuestAutomationAvailability::installed);
    } catch (const std::exception &error) {
        log(describe(error), QStringLiteral("GuestAutomation"), bundle);
        return VMDiskExpansionAutomationOutcome::warning(
            QStringLiteral("The VM disk was expanded, but the automatic in-guest resize request could not be queued."));
    }
}

void VirtualMachineCoordinator::log(const QString &message, const QString &category, const VMBundle &bundle) const
{
    m_logging.log(message, category, bundle.bundleURL);
}
