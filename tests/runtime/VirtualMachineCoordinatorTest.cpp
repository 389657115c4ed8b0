// SPDX-License-Identifier: MIT
#include "VirtualMachineCoordinator.h"

#include "BusyThreadPool.h"
#include "CoordinatorTestFixture.h"
#include "FileOperations.h"
#include "JSONCoding.h"
#include "QEMUEngine.h"
#include "QEMUExecutor.h"
#include "QEMUExecutorRegistry.h"
#include "RegisteredQEMUMachines.h"
#include "TaskWaiter.h"

#include <QProcess>
#include <QSet>
#include <QSignalSpy>

#include <functional>

using namespace std::chrono_literals;

namespace {

using namespace CoordinatorTesting;

// ---------------------------------------------------------------------------
// Guards

/// One way a VM can be kept from an operation; the rows of each table are in the order the guards are checked.
struct Obstacles {
    bool notInstalled = false;
    bool storedRunning = false;
    bool savedState = false;
    std::optional<VMRuntimeState> session;
    bool qemuRunning = false;
};

struct GuardCase {
    const char *name;
    Obstacles obstacles;
    const char *expected;
};

class CoordinatorGuardTest : public VirtualMachineCoordinatorTest
{
protected:
    VMBundle obstructed(const Obstacles &obstacles)
    {
        VMBundle bundle = installedBundle();
        if (obstacles.savedState)
            bundle = withSavedState(bundle.id());
        bundle = storeChanged(bundle.id(), [&](VMBundle &changed) {
            if (obstacles.notInstalled)
                changed.metadata.installState = VMInstallState::installingMacOS;
            if (obstacles.storedRunning)
                changed.metadata.runtimeState = VMRuntimeState::running;
        });
        if (obstacles.session)
            addSession(bundle, *obstacles.session);
        if (obstacles.qemuRunning)
            m_qemu.running.insert(bundle.id());
        return bundle;
    }

    void expectRefusals(const std::vector<GuardCase> &cases, const std::function<void(const QUuid &)> &operation)
    {
        for (const GuardCase &guard : cases) {
            SCOPED_TRACE(guard.name);
            const VMBundle bundle = obstructed(guard.obstacles);
            EXPECT_EQ(failureText([&] { operation(bundle.id()); }), refused(guard.expected));
            EXPECT_EQ(store().bundle(bundle.id()), bundle) << "a refusal changes nothing";
            m_sessions.remove(bundle.id());
            m_qemu.running.clear();
            store().deleteBundle(bundle.id());
        }
        EXPECT_EQ(failureText([&] { operation(QUuid::createUuid()); }), notFound);
    }
};

TEST_F(CoordinatorGuardTest, SettingsAreRefusedInTheirGuardOrder)
{
    const char *const notStopped = "Stop the virtual machine before changing VM settings.";
    expectRefusals(
        {
            {"not installed beats everything", {true, true, true, VMRuntimeState::running, true}, "Finish installing Linux before changing VM settings."},
            {"stored state beats saved state", {false, true, true, VMRuntimeState::running, false}, notStopped},
            {"saved state beats the session", {false, false, true, VMRuntimeState::paused, true}, "Discard the saved state before changing VM settings."},
            {"a paused session", {false, false, false, VMRuntimeState::paused, false}, notStopped},
            {"QEMU runs the VM", {false, false, false, std::nullopt, true}, notStopped},
        },
        [&](const QUuid &id) { coordinator().updateStoppedSettings(id, VMStoppedSettings()); });
}

TEST_F(CoordinatorGuardTest, DiskGrowthIsRefusedInItsGuardOrderWithoutTouchingTheDisk)
{
    const char *const notStopped = "Stop the virtual machine before changing disk capacity.";
    expectRefusals(
        {
            {"not installed beats everything", {true, true, true, VMRuntimeState::running, true}, "Install Linux before changing disk capacity."},
            {"stored state beats saved state", {false, true, true, VMRuntimeState::running, false}, notStopped},
            {"saved state beats the session", {false, false, true, VMRuntimeState::running, false}, "Discard the saved state before changing disk capacity."},
            {"a running session", {false, false, false, VMRuntimeState::running, false}, notStopped},
            {"QEMU runs the VM", {false, false, false, VMRuntimeState::stopped, true}, notStopped},
        },
        [&](const QUuid &id) {
            coordinator().changeDiskCapacity(id, 64 * gibibyte);
            ADD_FAILURE() << "grown";
        });
}

TEST_F(CoordinatorGuardTest, ClonesAreRefusedInTheirGuardOrder)
{
    const char *const notStopped = "Only fully stopped virtual machines can be cloned.";
    expectRefusals(
        {
            {"not installed beats everything", {true, true, false, VMRuntimeState::running, true}, "Only installed virtual machines can be cloned."},
            {"a paused session", {false, false, false, VMRuntimeState::paused, false}, notStopped},
            {"a stale stored state", {false, true, false, VMRuntimeState::stopped, false}, notStopped},
            {"QEMU runs the VM", {false, false, false, std::nullopt, true}, notStopped},
        },
        [&](const QUuid &id) { coordinator().cloneVM(id, std::nullopt, true, false); });
    EXPECT_EQ(store().bundles().size(), 0);
}

TEST_F(CoordinatorGuardTest, DeletionLooksOnlyAtTheMachineAndIgnoresUnknownVMs)
{
    const char *const notStopped = "Stop the virtual machine before deleting it.";
    for (const GuardCase &guard : std::vector<GuardCase>{
             {"a saving session", {false, false, false, VMRuntimeState::saving, false}, notStopped},
             {"a starting session", {false, false, false, VMRuntimeState::starting, false}, notStopped},
             {"QEMU runs the VM", {false, false, false, std::nullopt, true}, notStopped},
         }) {
        SCOPED_TRACE(guard.name);
        const VMBundle bundle = obstructed(guard.obstacles);
        EXPECT_EQ(failureText([&] { coordinator().deleteVM(bundle.id()); }), refused(guard.expected));
        EXPECT_TRUE(QFileInfo::exists(bundle.bundleURL));
        EXPECT_EQ(m_sessions.contains(bundle.id()), guard.obstacles.session.has_value());
        m_sessions.remove(bundle.id());
        m_qemu.running.clear();
    }

    // Not found is no error for a deletion; a stored state left "running" by a crash does not block it.
    EXPECT_EQ(failureText([&] { coordinator().deleteVM(QUuid::createUuid()); }), QString());
    const VMBundle stale = obstructed({true, true, true, std::nullopt, false});
    EXPECT_EQ(failureText([&] { coordinator().deleteVM(stale.id()); }), QString());
    EXPECT_FALSE(store().bundle(stale.id()));
}

TEST_F(CoordinatorGuardTest, DiscardingSavedStateNeedsOnlyAStoppedSession)
{
    const VMBundle bundle = withSavedState(installedBundle().id());
    addSession(bundle, VMRuntimeState::paused);
    EXPECT_EQ(failureText([&] { coordinator().discardSavedState(bundle.id()); }), refused("Stop the virtual machine before discarding saved state."));
    EXPECT_TRUE(QFileInfo::exists(bundle.layout().savedStateFileURL()));
    EXPECT_EQ(failureText([&] { coordinator().discardSavedState(QUuid::createUuid()); }), notFound);
}

// ---------------------------------------------------------------------------
// Operations on a stopped VM

TEST_F(VirtualMachineCoordinatorTest, SettingsChangeTheEditedValuesOnlyAndDropTheSession)
{
    VMBundle bundle = storeChanged(installedBundle().id(), [](VMBundle &changed) {
        VMNetworkConfiguration bridged;
        bridged.mode = VMNetworkConfiguration::Mode::bridged;
        bridged.bridgedInterfaceIdentifier = QStringLiteral("br0");
        changed.metadata.networkConfiguration = bridged;
    });
    addSession(bundle, VMRuntimeState::stopped, {QStringLiteral("/data/a"), QStringLiteral("/data/b")});
    const QString shared = m_home.path() + QStringLiteral("/Projects");
    QDir().mkpath(shared);
    VMSharedFolder folder;
    folder.id = QUuid::createUuid();
    folder.displayName = QStringLiteral("Projects");
    folder.localURL = QUrl::fromLocalFile(shared);

    VMStoppedSettings settings;
    settings.cpuCount = 6;
    settings.memorySizeBytes = 12 * gibibyte;
    settings.displayWidth = 2560;
    settings.displayHeight = 1600;
    settings.displayPixelsPerInch = 144;
    settings.isMicrophoneEnabled = true;
    settings.isSpeakerEnabled = false;
    settings.sharedFolders = {folder};
    const VMBundle updated = coordinator().updateStoppedSettings(bundle.id(), settings);

    EXPECT_EQ(updated, *store().bundle(bundle.id()));
    const VMMetadata &metadata = updated.metadata;
    EXPECT_EQ(metadata.hardwareProfile, (VMHardwareProfile{6, 12 * gibibyte, bundle.metadata.hardwareProfile.diskSizeBytes, 2560, 1600, 144}));
    EXPECT_EQ(metadata.cpuCount, 6);
    EXPECT_EQ(metadata.memorySizeBytes, 12 * gibibyte);
    EXPECT_EQ(metadata.mediaConfiguration, (VMMediaConfiguration{true, false}));
    EXPECT_EQ(metadata.networkConfiguration, bundle.metadata.networkConfiguration);
    ASSERT_EQ(updated.sharedFolders.size(), 1);
    EXPECT_TRUE(updated.sharedFolders.front().bookmarkData) << "the folders are stored resolved";
    EXPECT_FALSE(m_sessions.contains(bundle.id()));
    EXPECT_EQ(m_access.stopped.mid(m_access.stopped.indexOf(QStringLiteral("/data/a")), 2), (QStringList{QStringLiteral("/data/a"), QStringLiteral("/data/b")}));
    EXPECT_TRUE(bundleLog(bundle.bundleURL).contains(QStringLiteral("] [Settings] Updated stopped settings for Dev\n")));
}

TEST_F(VirtualMachineCoordinatorTest, DiskGrowthStoresTheNewSizeAndQueuesTheResizeRequest)
{
    const VMBundle bundle = installedBundle();
    addSession(bundle, VMRuntimeState::stopped);

    const VMDiskExpansionResult grown = coordinator().changeDiskCapacity(bundle.id(), 40 * gibibyte + 1);
    const quint64 expected = 40 * gibibyte + 1024 * 1024;
    EXPECT_EQ(QFileInfo(bundle.layout().diskImageURL()).size(), qint64(expected));
    EXPECT_EQ(grown.bundle, *store().bundle(bundle.id()));
    EXPECT_EQ(grown.bundle.metadata.hardwareProfile.diskSizeBytes, expected);
    EXPECT_EQ(grown.bundle.metadata.diskSizeBytes, expected);
    EXPECT_EQ(grown.automationOutcome, VMDiskExpansionAutomationOutcome::queued(false));
    EXPECT_FALSE(m_sessions.contains(bundle.id()));
    const QStringList requests = QDir(bundle.layout().automationDirectoryURL() + QStringLiteral("/Requests")).entryList(QDir::Files);
    ASSERT_EQ(requests.size(), 1);
    const auto request = sharedJSONDecoder().decode<VMGuestAutomationRequest>(
        FileOperations::readFile(bundle.layout().automationDirectoryURL() + QStringLiteral("/Requests/") + requests.front()));
    EXPECT_EQ(request.requestedDiskSizeBytes, expected);
    EXPECT_TRUE(bundleLog(bundle.bundleURL).contains(QStringLiteral("] [Disk] Expanded Dev disk to 40 GB\n"))) << bundleLog(bundle.bundleURL).toStdString();

    // With the guest tools reporting, the outcome says so.
    write(bundle.layout().automationDirectoryURL() + QStringLiteral("/GuestAgentStatus.json"),
          R"({"agentVersion":"3","lastSeenAt":"2026-01-01T00:00:00Z"})");
    EXPECT_EQ(coordinator().changeDiskCapacity(bundle.id(), 48 * gibibyte).automationOutcome, VMDiskExpansionAutomationOutcome::queued(true));
}

TEST_F(VirtualMachineCoordinatorTest, DiskGrowthWithAnUnwritableAutomationFolderStandsWithAWarning)
{
    const VMBundle bundle = installedBundle();
    QDir(bundle.layout().automationDirectoryURL()).removeRecursively();
    write(bundle.layout().automationDirectoryURL(), "a file where the folder belongs");

    VMDiskExpansionResult grown{bundle, VMDiskExpansionAutomationOutcome::queued(false)};
    ASSERT_EQ(failureText([&] { grown = coordinator().changeDiskCapacity(bundle.id(), 64 * gibibyte); }), QString());
    EXPECT_EQ(grown.automationOutcome,
              VMDiskExpansionAutomationOutcome::warning(
                  QStringLiteral("The VM disk was expanded, but the automatic in-guest resize request could not be queued.")));
    EXPECT_EQ(QFileInfo(bundle.layout().diskImageURL()).size(), qint64(64 * gibibyte));
    EXPECT_EQ(store().bundle(bundle.id())->metadata.diskSizeBytes, 64 * gibibyte);
    const QString log = bundleLog(bundle.bundleURL);
    EXPECT_TRUE(log.contains(QStringLiteral("] [GuestAutomation] "))) << log.toStdString();
    EXPECT_TRUE(log.contains(QStringLiteral("] [Disk] Expanded Dev disk to 64 GB\n"))) << log.toStdString();
    // The access opened for the folder was closed again.
    EXPECT_EQ(m_access.started.count(bundle.bundleURL), m_access.stopped.count(bundle.bundleURL));
}

TEST_F(VirtualMachineCoordinatorTest, AnInstalledStoppedVMIsClonedByTheCloneService)
{
    const VMBundle bundle = installedBundle();
    addSession(bundle, VMRuntimeState::stopped);
    const VMBundle clone = coordinator().cloneVM(bundle.id(), QStringLiteral("Twin"), true, false);
    EXPECT_NE(clone.id(), bundle.id());
    EXPECT_EQ(clone.metadata.name, QStringLiteral("Twin"));
    EXPECT_EQ(store().bundle(clone.id()), clone);
    EXPECT_TRUE(m_sessions.contains(bundle.id())) << "cloning leaves the source's session alone";
}

TEST_F(VirtualMachineCoordinatorTest, DeletionStopsTheSessionsAccessBeforeTheBundleGoes)
{
    const VMBundle bundle = installedBundle();
    addSession(bundle, VMRuntimeState::stopped, {QStringLiteral("/data/first"), QStringLiteral("/data/second")});
    QSignalSpy changes(&m_sessions, &VirtualMachineSessionTable::sessionsChanged);
    m_access.stopped.clear();

    coordinator().deleteVM(bundle.id());
    EXPECT_FALSE(store().bundle(bundle.id()));
    EXPECT_FALSE(QFileInfo::exists(bundle.bundleURL));
    EXPECT_FALSE(m_sessions.contains(bundle.id()));
    EXPECT_EQ(changes.count(), 1);
    ASSERT_GE(m_access.stopped.size(), 2);
    EXPECT_EQ(m_access.stopped.mid(0, 2), (QStringList{QStringLiteral("/data/first"), QStringLiteral("/data/second")}));
}

TEST_F(VirtualMachineCoordinatorTest, DiscardingSavedStateDeletesTheFileAndTheRecord)
{
    const VMBundle bundle = withSavedState(installedBundle().id());
    const auto session = addSession(bundle, VMRuntimeState::stopped);

    coordinator().discardSavedState(bundle.id());
    EXPECT_FALSE(QFileInfo::exists(bundle.layout().savedStateFileURL()));
    EXPECT_TRUE(QFileInfo(bundle.layout().savedStateDirectoryURL()).isDir());
    const VMBundle stored = *store().bundle(bundle.id());
    EXPECT_EQ(stored.metadata.savedState, std::nullopt);
    EXPECT_FALSE(stored.metadata.hasSavedState);
    EXPECT_EQ(session->bundle(), stored);

    // Without a file (or a record) there is nothing to delete and nothing fails.
    EXPECT_EQ(failureText([&] { coordinator().discardSavedState(bundle.id()); }), QString());
}

// ---------------------------------------------------------------------------
// Finalising a session

TEST_F(VirtualMachineCoordinatorTest, FinalisingCopiesTheSessionsStateIntoTheStoredMetadata)
{
    for (const VMRuntimeState state : {VMRuntimeState::stopped, VMRuntimeState::error, VMRuntimeState::paused, VMRuntimeState::running}) {
        SCOPED_TRACE(toRaw(state).toStdString());
        const VMBundle bundle = installedBundle(QStringLiteral("VM ") + toRaw(state));
        const auto session = addSession(bundle, state);
        QSignalSpy bundleChanges(session.get(), &VirtualMachineSession::bundleChanged);

        coordinator().finalizeStoppedSession(*session);
        const VMBundle stored = *store().bundle(bundle.id());
        EXPECT_EQ(stored.metadata.runtimeState, state);
        EXPECT_EQ(session->bundle(), stored);
        EXPECT_EQ(bundleChanges.count(), 1);
    }
}

TEST_F(VirtualMachineCoordinatorTest, FinalisingAPausedSessionKeepsItsSavedState)
{
    const VMBundle bundle = withSavedState(installedBundle().id());
    const auto session = addSession(bundle, VMRuntimeState::paused);
    coordinator().finalizeStoppedSession(*session);
    const VMBundle stored = *store().bundle(bundle.id());
    EXPECT_EQ(stored.metadata.savedState, bundle.metadata.savedState);
    EXPECT_TRUE(stored.metadata.hasSavedState);
    EXPECT_TRUE(QFileInfo::exists(bundle.layout().savedStateFileURL()));
}

TEST_F(VirtualMachineCoordinatorTest, ASessionThatRanOnAfterSavingLosesTheStaleSavedState)
{
    const VMBundle bundle = withSavedState(installedBundle().id());
    const auto session = addSession(bundle, VMRuntimeState::running);
    coordinator().finalizeStoppedSession(*session);

    const VMBundle stored = *store().bundle(bundle.id());
    EXPECT_EQ(stored.metadata.runtimeState, VMRuntimeState::running);
    EXPECT_EQ(stored.metadata.savedState, std::nullopt);
    EXPECT_FALSE(stored.metadata.hasSavedState);
    EXPECT_FALSE(QFileInfo::exists(bundle.layout().savedStateFileURL()));
    EXPECT_TRUE(bundleLog(bundle.bundleURL).contains(QStringLiteral("] [SaveRestore] Discarded the saved state of Dev")));
}

TEST_F(VirtualMachineCoordinatorTest, FinalisingAVMTheStoreNoLongerKnowsIsNoError)
{
    const VMBundle bundle = installedBundle();
    const auto session = addSession(bundle, VMRuntimeState::stopped);
    store().deleteBundle(bundle.id());
    EXPECT_EQ(failureText([&] { coordinator().finalizeStoppedSession(*session); }), QString());
    EXPECT_FALSE(QFileInfo::exists(bundle.bundleURL)) << "no bundle is brought back";
}

// ---------------------------------------------------------------------------
// The session table and the QEMU processes

TEST_F(VirtualMachineCoordinatorTest, TheTableKeepsOneSessionPerVMAndStopsItsAccessInOrderWhenItGoes)
{
    const VMBundle bundle = installedBundle();
    m_access.stopped.clear();
    QSignalSpy changes(&m_sessions, &VirtualMachineSessionTable::sessionsChanged);
    const auto first = addSession(bundle, VMRuntimeState::stopped, {QStringLiteral("/one")});
    EXPECT_FALSE(m_sessions.isActive(bundle.id()));
    const auto second = addSession(bundle, VMRuntimeState::running, {QStringLiteral("/two"), QStringLiteral("/three")});
    EXPECT_EQ(m_sessions.session(bundle.id()), second);
    EXPECT_TRUE(m_sessions.isActive(bundle.id()));
    EXPECT_EQ(m_access.stopped, QStringList{QStringLiteral("/one")}) << "a replaced session's access is stopped";

    coordinator().removeSession(bundle.id());
    coordinator().removeSession(bundle.id());
    EXPECT_EQ(m_access.stopped, (QStringList{QStringLiteral("/one"), QStringLiteral("/two"), QStringLiteral("/three")}));
    EXPECT_FALSE(m_sessions.session(bundle.id()));
    EXPECT_EQ(changes.count(), 4);
    EXPECT_EQ(second->runtimeState(), VMRuntimeState::running) << "removing a session does not stop its machine";
}

TEST_F(VirtualMachineCoordinatorTest, AVMWhoseQEMUTheRegistryHoldsIsRefused)
{
    const VMBundle bundle = installedBundle();
    QEMUExecutorRegistry registry;
    const QEMUEngine engine(m_logging);
    RegisteredQEMUMachines qemu(registry, engine);
    VirtualMachineCoordinator guarded(services(qemu));
    const QString stopFile = bundle.bundleURL + QStringLiteral("/stop");
    ASSERT_FALSE(TaskWaiter::failureOf(registry.start(std::make_unique<QEMUExecutor>(
        QStringLiteral("/bin/sh"), QStringList{QStringLiteral("-c"), QStringLiteral("while [ ! -e stop ]; do sleep 0.05; done")}, bundle, m_logging))));
    EXPECT_TRUE(qemu.isRunning(bundle.id()));
    EXPECT_FALSE(qemu.isRunning(QUuid::createUuid()));

    EXPECT_EQ(failureText([&] { guarded.deleteVM(bundle.id()); }), refused("Stop the virtual machine before deleting it."));
    EXPECT_TRUE(store().bundle(bundle.id()));

    QFile(stopFile).open(QIODevice::WriteOnly);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !qemu.isRunning(bundle.id()); }, 10000));
    EXPECT_EQ(failureText([&] { guarded.deleteVM(bundle.id()); }), QString());
}

// ---------------------------------------------------------------------------
// Sessions, starts and events

TEST_F(VirtualMachineCoordinatorTest, AColdStartMakesOneSessionAndStoresItsState)
{
    const VMBundle bundle = installedBundle();
    std::shared_ptr<VirtualMachineSession> session;
    ASSERT_EQ(startFailure(bundle.id(), false, &session), QString());
    ASSERT_TRUE(session);
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::running);
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::running);
    EXPECT_EQ(session->bundle(), *store().bundle(bundle.id()));
    EXPECT_EQ(m_sessions.session(bundle.id()), session);
    EXPECT_EQ(coordinator().session(bundle.id()), session) << "one session per VM";
    EXPECT_EQ(m_machines.configurations().size(), 1);
    // The automation folder and the Linux tools are ready before the machine is made.
    EXPECT_TRUE(QFileInfo::exists(bundle.layout().automationDirectoryURL() + QStringLiteral("/DuvuzodOvevavAutomationRoot.marker")));
    EXPECT_TRUE(QFileInfo::exists(bundle.layout().automationDirectoryURL() + QStringLiteral("/install-linux-tools.sh")));
}

TEST_F(VirtualMachineCoordinatorTest, AnActiveVMIsNotStartedAgainButASessionInErrorIsReplaced)
{
    const VMBundle bundle = installedBundle();
    for (const VMRuntimeState state : {VMRuntimeState::running, VMRuntimeState::paused, VMRuntimeState::restoring}) {
        SCOPED_TRACE(toRaw(state).toStdString());
        const auto session = addSession(bundle, state);
        EXPECT_EQ(startFailure(bundle.id(), false), refused("The virtual machine is already active."));
        EXPECT_EQ(m_sessions.session(bundle.id()), session);
    }
    m_sessions.remove(bundle.id());
    m_qemu.running.insert(bundle.id());
    EXPECT_EQ(startFailure(bundle.id(), false), refused("The virtual machine is already active."));
    m_qemu.running.clear();
    EXPECT_TRUE(m_machines.configurations().isEmpty());

    const auto failed = addSession(bundle, VMRuntimeState::error, {QStringLiteral("/data/old")});
    std::shared_ptr<VirtualMachineSession> started;
    ASSERT_EQ(startFailure(bundle.id(), false, &started), QString());
    EXPECT_NE(started, failed);
    EXPECT_EQ(m_sessions.session(bundle.id()), started);
    EXPECT_TRUE(m_access.stopped.contains(QStringLiteral("/data/old")));
    EXPECT_EQ(started->runtimeState(), VMRuntimeState::running);
}

TEST_F(VirtualMachineCoordinatorTest, AStaleStoredStateIsResetBeforeAnythingElseAndStaysResetWhenALaterStepFails)
{
    const VMBundle bundle = storeChanged(installedBundle().id(), [](VMBundle &changed) { changed.metadata.runtimeState = VMRuntimeState::running; });
    QDir(bundle.layout().automationDirectoryURL()).removeRecursively();
    write(bundle.layout().automationDirectoryURL(), "a file where the folder belongs");

    EXPECT_NE(startFailure(bundle.id(), false), QString());
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::stopped);
    EXPECT_FALSE(m_sessions.contains(bundle.id()));
    EXPECT_EQ(m_access.started.count(bundle.bundleURL), m_access.stopped.count(bundle.bundleURL)) << "the access for the folder is balanced";

    QFile::remove(bundle.layout().automationDirectoryURL());
    EXPECT_EQ(startFailure(bundle.id(), false), QString());
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::running);
}

TEST_F(VirtualMachineCoordinatorTest, APlainStartDiscardsTheSavedStateAndBootsCold)
{
    const VMBundle bundle = withSavedState(installedBundle().id());
    std::shared_ptr<VirtualMachineSession> session;
    ASSERT_EQ(startFailure(bundle.id(), false, &session), QString());
    EXPECT_FALSE(QFileInfo::exists(bundle.layout().savedStateFileURL()));
    EXPECT_EQ(store().bundle(bundle.id())->metadata.savedState, std::nullopt);
    EXPECT_FALSE(store().bundle(bundle.id())->metadata.hasSavedState);
    ASSERT_TRUE(m_machines.lastMachine());
    EXPECT_EQ(m_machines.lastMachine()->calls(), QList<Operation>{Operation::start});
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::running);
}

TEST_F(VirtualMachineCoordinatorTest, AResumedSavedStateIsUsedOnceAndTheVMStaysPaused)
{
    const VMBundle bundle = withSavedState(installedBundle().id());
    std::shared_ptr<VirtualMachineSession> session;
    ASSERT_EQ(startFailure(bundle.id(), true, &session), QString());
    EXPECT_EQ(m_machines.lastMachine()->calls(), QList<Operation>{Operation::restoreMachineState});
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::paused);
    const VMBundle stored = *store().bundle(bundle.id());
    EXPECT_EQ(stored.metadata.runtimeState, VMRuntimeState::paused);
    EXPECT_EQ(stored.metadata.savedState, std::nullopt);
    EXPECT_FALSE(stored.metadata.hasSavedState);
    EXPECT_FALSE(QFileInfo::exists(bundle.layout().savedStateFileURL()));
    EXPECT_EQ(session->bundle(), stored);
}

TEST_F(VirtualMachineCoordinatorTest, AFailedRestoreDiscardsTheStateOnlyWhenQEMURejectsItAndKeepsItForAnotherTryOtherwise)
{
    using Code = VirtualizationError::Code;
    const QString kept = QStringLiteral(" The saved state has been kept: resume it again once that is resolved.");
    const struct {
        const char *what;
        Code code;
        QString description;
        bool discards;
        QString message;
    } cases[] = {
        {"QEMU rejects the state", Code::savedStateRejected,
         QStringLiteral("QEMU could not read the saved state: Unknown savevm section\nload of migration failed: Invalid argument"), true,
         QStringLiteral("QEMU could not read the saved state: Unknown savevm section\nload of migration failed: Invalid argument. QEMU cannot use "
                        "this saved state for this VM, so it has been discarded. Start the VM again with a cold boot.")},
        {"a full disk", Code::restoreFailed, QStringLiteral("No space left on device: /run/zovozu"), false,
         QStringLiteral("No space left on device: /run/zovozu.") + kept},
        {"QEMU's load fails for the host", Code::restoreFailed,
         QStringLiteral("QEMU could not read the saved state: load of migration failed: No space left on device"), false,
         QStringLiteral("QEMU could not read the saved state: load of migration failed: No space left on device.") + kept},
        {"a share daemon that does not start", Code::internalError, QStringLiteral("The shared-folder server did not start: cannot bind."), false,
         QStringLiteral("The shared-folder server did not start: cannot bind.") + kept},
        {"a TPM emulator that does not start", Code::internalError, QStringLiteral("swtpm could not be started: No such file or directory"), false,
         QStringLiteral("swtpm could not be started: No such file or directory.") + kept},
        {"QEMU missing", Code::notSupported, QStringLiteral("QEMU is not installed."), false, QStringLiteral("QEMU is not installed.") + kept},
        {"QEMU crashing while it reads", Code::restoreFailed, QStringLiteral("QEMU could not read the saved state."), false,
         QStringLiteral("QEMU could not read the saved state.") + kept},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        const VMBundle bundle = withSavedState(installedBundle(QString::fromUtf8(testCase.what)).id());
        m_machines.script() = VirtualMachineScript();
        m_machines.script().enqueue(Operation::restoreMachineState, ScriptedAnswer::failure(VirtualizationError(testCase.code, testCase.description)));

        EXPECT_EQ(startFailure(bundle.id(), true), QStringLiteral("The saved VM state could not be restored: ") + testCase.message);
        const VMBundle stored = *store().bundle(bundle.id());
        EXPECT_EQ(QFileInfo::exists(bundle.layout().savedStateFileURL()), !testCase.discards);
        EXPECT_EQ(stored.metadata.savedState.has_value(), !testCase.discards);
        EXPECT_EQ(stored.metadata.hasSavedState, !testCase.discards);
        EXPECT_EQ(stored.metadata.runtimeState, VMRuntimeState::stopped);
        EXPECT_FALSE(m_sessions.contains(bundle.id())) << "the failed machine is gone either way";
        EXPECT_EQ(coordinator().effectiveRuntimeState(bundle.id()), VMRuntimeState::stopped);
        EXPECT_TRUE(bundleLog(bundle.bundleURL).contains(testCase.discards ? QStringLiteral("] [SaveRestore] Discarded the saved state of ")
                                                                            : QStringLiteral("] [SaveRestore] Kept the saved state of ")));
        if (testCase.discards)
            continue;

        // Once the cause is gone, Resume Saved State resumes the state that was kept.
        m_machines.script() = VirtualMachineScript();
        std::shared_ptr<VirtualMachineSession> resumed;
        ASSERT_EQ(startFailure(bundle.id(), true, &resumed), QString());
        EXPECT_EQ(m_machines.lastMachine()->calls(), QList<Operation>{Operation::restoreMachineState});
        EXPECT_EQ(resumed->runtimeState(), VMRuntimeState::paused);
        EXPECT_FALSE(store().bundle(bundle.id())->metadata.hasSavedState) << "used once";
        waitForOutcome(coordinator().stop(bundle.id())).get();
    }
}

TEST_F(VirtualMachineCoordinatorTest, ACopyOfABundleDoesNotResumeTheStateSavedInTheOriginalAndKeepsIt)
{
    const QString refusal = QStringLiteral("The saved VM state could not be restored: This VM is a copy of the bundle its saved state was saved in. A saved "
                                           "state belongs to the bundle it was saved in, so the copy must start cold: Start boots it and discards "
                                           "the copied state.");
    // Saved through the coordinator, as the user saves, in the original.
    const auto saved = [&](const QString &name) {
        const VMBundle bundle = installedBundle(name);
        EXPECT_EQ(startFailure(bundle.id(), false), QString());
        waitForOutcome(coordinator().recordSavedState(bundle.id())).get();
        waitForOutcome(coordinator().stop(bundle.id())).get();
        EXPECT_TRUE(store().bundle(bundle.id())->metadata.hasSavedState);
        return *store().bundle(bundle.id());
    };
    const auto copiedByHand = [&](const VMBundle &bundle, const QString &name) {
        const QString copy = outside(name + QStringLiteral(".vm"));
        EXPECT_TRUE(QDir().mkpath(outside(QString())));
        EXPECT_EQ(QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-a"), bundle.bundleURL, copy}), 0);
        return copy;
    };
    const struct {
        const char *what;
        std::function<VMBundle(const VMBundle &original)> copy;
    } cases[] = {
        {"copied by hand and imported beside the original",
         [&](const VMBundle &original) {
             return store().registerExistingBundle(copiedByHand(original, QStringLiteral("Beside")), VMStore::IdentityClash::takeNewIdentity);
         }},
        {"copied by hand and imported once the original was deleted",
         [&](const VMBundle &original) {
             const QString copy = copiedByHand(original, QStringLiteral("Alone"));
             coordinator().deleteVM(original.id());
             return store().registerExistingBundle(copy, VMStore::IdentityClash::takeNewIdentity);
         }},
        {"cloned with its saved state", [&](const VMBundle &original) { return coordinator().cloneVM(original.id(), QStringLiteral("Twin"), true, true); }},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        const VMBundle original = saved(QString::fromUtf8(testCase.what));
        const VMBundle copy = testCase.copy(original);
        ASSERT_TRUE(copy.metadata.hasSavedState);
        const qsizetype machines = m_machines.configurations().size();

        EXPECT_EQ(startFailure(copy.id(), true), refusal);
        EXPECT_EQ(m_machines.configurations().size(), machines) << "no machine was made for the copy";
        EXPECT_TRUE(QFileInfo::exists(copy.layout().savedStateFileURL())) << "nothing is deleted on the strength of the check";
        EXPECT_TRUE(store().bundle(copy.id())->metadata.hasSavedState);
        EXPECT_EQ(coordinator().effectiveRuntimeState(copy.id()), VMRuntimeState::stopped);

        // A plain start boots the copy cold, as the refusal says, and discards the copied state.
        ASSERT_EQ(startFailure(copy.id(), false), QString());
        EXPECT_FALSE(QFileInfo::exists(copy.layout().savedStateFileURL()));
        waitForOutcome(coordinator().stop(copy.id())).get();

        if (store().bundle(original.id()) && store().bundle(original.id())->bundleURL == original.bundleURL) {
            std::shared_ptr<VirtualMachineSession> resumed;
            ASSERT_EQ(startFailure(original.id(), true, &resumed), QString()) << "the original resumes its own state";
            EXPECT_EQ(resumed->runtimeState(), VMRuntimeState::paused);
            waitForOutcome(coordinator().stop(original.id())).get();
        }
    }
}

TEST_F(VirtualMachineCoordinatorTest, AFailedColdStartKeepsTheSessionInErrorForTheNextStartToReplace)
{
    const VMBundle bundle = installedBundle();
    m_machines.script().enqueue(Operation::start, ScriptedAnswer::failure(VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("no KVM"))));
    EXPECT_EQ(startFailure(bundle.id(), false), QStringLiteral("The virtual machine encountered an error: no KVM"));
    const auto failed = m_sessions.session(bundle.id());
    ASSERT_TRUE(failed);
    EXPECT_EQ(failed->runtimeState(), VMRuntimeState::error);
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::stopped) << "only a successful start stores the state";
    m_machines.script() = VirtualMachineScript(); // the next machine starts

    std::shared_ptr<VirtualMachineSession> started;
    ASSERT_EQ(startFailure(bundle.id(), false, &started), QString());
    EXPECT_NE(started, failed);
}

TEST_F(VirtualMachineCoordinatorTest, AStartOfAVanishedBundleFailsMakesNothingAndTheVMLeavesTheList)
{
    const struct {
        const char *what;
        VMGuestOSType guest;
        VMRuntimeState stored;
        bool withQEMU;
    } cases[] = {
        {"linux", VMGuestOSType::linux, VMRuntimeState::stopped, false},
        {"macOS", VMGuestOSType::macOS, VMRuntimeState::stopped, false},
        {"recorded as running", VMGuestOSType::linux, VMRuntimeState::running, false},
        {"windows on QEMU", VMGuestOSType::windows, VMRuntimeState::stopped, true},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        const QString name = QString::fromLatin1(testCase.what).replace(QLatin1Char(' '), QLatin1Char('-'));
        const VMBundle bundle = storeChanged(installedBundle(name).id(), [&](VMBundle &changed) {
            changed.metadata.guestOSType = testCase.guest;
            changed.metadata.runtimeState = testCase.stored;
        });
        ASSERT_TRUE(QDir(bundle.bundleURL).removeRecursively());
        QSignalSpy vanished(&coordinator(), &VirtualMachineCoordinator::bundleVanished);

        const QString failure = testCase.withQEMU ? failureText([&] { waitForOutcome(coordinator().startWithQEMU(bundle.id())).get(); })
                                                  : startFailure(bundle.id(), false);
        EXPECT_EQ(failure, QStringLiteral("The VM bundle could not be read: The bundle folder of \"%1\" no longer exists at %2, so the VM was "
                                          "removed from the list. Reconnect its disk or import it again to bring it back.")
                               .arg(name, bundle.bundleURL));
        EXPECT_FALSE(QFileInfo::exists(bundle.bundleURL)) << "an empty shell of the VM was made";
        EXPECT_FALSE(store().bundle(bundle.id()));
        EXPECT_FALSE(m_sessions.contains(bundle.id()));
        EXPECT_FALSE(m_qemu.isRunning(bundle.id()));
        ASSERT_EQ(vanished.size(), 1);
        EXPECT_EQ(vanished.first().first().toString(), failure);
    }
    EXPECT_TRUE(m_machines.configurations().isEmpty());
}

TEST_F(VirtualMachineCoordinatorTest, AnInstalledWindowsVMIsPreparedAndThenRefusedWithoutASession)
{
    const VMBundle bundle = storeChanged(withSavedState(installedBundle(QStringLiteral("Windows")).id()).id(), [](VMBundle &changed) {
        changed.metadata.guestOSType = VMGuestOSType::windows;
        changed.metadata.runtimeState = VMRuntimeState::running;
    });
    EXPECT_EQ(startFailure(bundle.id(), false),
              refused("Windows VMs use the QEMU engine. Use the \"Start with QEMU\" action to launch this VM."));
    const VMBundle stored = *store().bundle(bundle.id());
    EXPECT_EQ(stored.metadata.runtimeState, VMRuntimeState::stopped);
    EXPECT_EQ(stored.metadata.savedState, std::nullopt);
    EXPECT_FALSE(QFileInfo::exists(bundle.layout().savedStateFileURL()));
    EXPECT_TRUE(QFileInfo::exists(bundle.layout().automationDirectoryURL() + QStringLiteral("/README.txt")));
    EXPECT_FALSE(QFileInfo::exists(bundle.layout().automationDirectoryURL() + QStringLiteral("/install-linux-tools.sh")));
    EXPECT_FALSE(m_sessions.contains(bundle.id()));
}

TEST_F(VirtualMachineCoordinatorTest, SessionEventsAreStoredWhileTheCoordinatorLives)
{
    const VMBundle bundle = installedBundle();
    std::shared_ptr<VirtualMachineSession> session;
    ASSERT_EQ(startFailure(bundle.id(), false, &session), QString());
    ScriptedVirtualMachine *machine = m_machines.lastMachine();
    ASSERT_TRUE(machine);

    machine->raiseNetworkAttachmentDisconnected(0, VirtualizationError(VirtualizationError::Code::networkError, QStringLiteral("br0 went away")));
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::running);
    EXPECT_EQ(bundleLog(bundle.bundleURL).count(QStringLiteral("] [Network] br0 went away\n")), 1) << "the session's line, not a second one";

    // Stopped shared folders leave the machine running and are told to whoever shows the library.
    QSignalSpy sharesStopped(&coordinator(), &VirtualMachineCoordinator::sharedFoldersStopped);
    machine->raiseDirectorySharingDeviceStopped(0, VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("virtiofsd ended")));
    ASSERT_EQ(sharesStopped.count(), 1);
    EXPECT_EQ(sharesStopped.first().at(0).toUuid(), bundle.id());
    EXPECT_EQ(sharesStopped.first().at(1).toString(), session->sharedFoldersStopMessage());
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::running);
    EXPECT_EQ(bundleLog(bundle.bundleURL).count(QStringLiteral("virtiofsd ended")), 1);

    machine->raiseGuestDidStop();
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::stopped);
    EXPECT_EQ(session->bundle(), *store().bundle(bundle.id()));

    session->setRuntimeState(VMRuntimeState::running);
    machine->forceState(VirtualMachine::State::running);
    machine->raiseDidStopWithError(VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("QEMU crashed")));
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::error);
    EXPECT_EQ(bundleLog(bundle.bundleURL).count(QStringLiteral("] [Runtime] QEMU crashed\n")), 1) << "logged once, by the session";

    // Once the coordinator is gone, the session's events write nothing.
    m_coordinator.reset();
    machine->forceState(VirtualMachine::State::running);
    machine->raiseGuestDidStop();
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::stopped);
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::error);
}

TEST_F(VirtualMachineCoordinatorTest, AFailedSaveRecordsNothing)
{
    const VMBundle bundle = installedBundle();
    ASSERT_EQ(startFailure(bundle.id(), false), QString());
    const VMBundle before = *store().bundle(bundle.id());

    m_machines.lastMachine()->setSaveRefusal(
        VirtualizationError(VirtualizationError::Code::notSupported, QStringLiteral("QEMU cannot save this virtual machine's state: blocked")));
    EXPECT_EQ(failureText([&] { waitForOutcome(coordinator().recordSavedState(bundle.id())).get(); }),
              VirtualMachineError(VirtualMachineError::Case::saveStateFailed, QStringLiteral("QEMU cannot save this virtual machine's state: blocked"))
                  .errorDescription());
    EXPECT_EQ(store().bundle(bundle.id())->metadata.savedState, std::nullopt);
    EXPECT_EQ(store().bundle(bundle.id())->metadata.runtimeState, before.metadata.runtimeState);
}

TEST_F(VirtualMachineCoordinatorTest, AMachineThatDiesDuringASaveIsShownAndStoredInErrorNotPaused)
{
    const VMBundle bundle = installedBundle();
    ASSERT_EQ(startFailure(bundle.id(), false), QString());
    ScriptedVirtualMachine *machine = m_machines.lastMachine();
    QObject::connect(machine, &VirtualMachine::stateChanged, machine, [machine](VirtualMachine::State state) {
        if (state == VirtualMachine::State::saving)
            machine->raiseDidStopWithError(VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("QEMU stopped unexpectedly")));
    });

    const QString failure = failureText([&] { waitForOutcome(coordinator().recordSavedState(bundle.id())).get(); });
    EXPECT_TRUE(failure.startsWith(QStringLiteral("The VM state could not be saved: "))) << failure.toStdString();
    EXPECT_EQ(coordinator().effectiveRuntimeState(bundle.id()), VMRuntimeState::error) << "what the screens show";
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::error) << "what Metadata.json says";
    EXPECT_EQ(store().bundle(bundle.id())->metadata.savedState, std::nullopt);
    // Nothing offers to resume a machine that is gone; a new start replaces the failed session.
    EXPECT_EQ(startFailure(bundle.id(), false), QString());
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::running);
}

TEST_F(VirtualMachineCoordinatorTest, AWindowsVMRunByQEMUIsRefusedASaveWithTheReason)
{
    const VMBundle windows = storeChanged(installedBundle(QStringLiteral("Windows")).id(),
                                          [](VMBundle &changed) { changed.metadata.guestOSType = VMGuestOSType::windows; });
    ASSERT_FALSE(waitForOutcome(coordinator().startWithQEMU(windows.id())).failure);
    const QString failure = failureText([&] { waitForOutcome(coordinator().recordSavedState(windows.id())).get(); });
    EXPECT_TRUE(failure.contains(QStringLiteral("TPM emulator"))) << failure.toStdString();
    EXPECT_FALSE(failure.contains(QStringLiteral("Start with QEMU"))) << failure.toStdString();
    EXPECT_FALSE(m_sessions.contains(windows.id()));
    EXPECT_EQ(store().bundle(windows.id())->metadata.savedState, std::nullopt);
    EXPECT_EQ(storedState(windows.id()), VMRuntimeState::running);
}

// ---------------------------------------------------------------------------
// The live state, refusals that must not wedge a VM, leases

TEST_F(VirtualMachineCoordinatorTest, TheEffectiveStateIsTheSessionsThenQEMUsThenTheStoredOne)
{
    const VMBundle bundle = installedBundle();
    QSignalSpy changes(&coordinator(), &VirtualMachineCoordinator::runtimeStatesChanged);
    EXPECT_EQ(coordinator().effectiveRuntimeState(bundle.id()), VMRuntimeState::stopped);
    EXPECT_EQ(coordinator().effectiveRuntimeState(QUuid::createUuid()), VMRuntimeState::stopped);

    const auto session = addSession(bundle, VMRuntimeState::paused);
    EXPECT_EQ(coordinator().effectiveRuntimeState(bundle.id()), VMRuntimeState::paused);
    const int afterInsert = changes.count();
    EXPECT_GE(afterInsert, 1);
    session->setRuntimeState(VMRuntimeState::running);
    EXPECT_EQ(coordinator().effectiveRuntimeState(bundle.id()), VMRuntimeState::running);
    EXPECT_EQ(changes.count(), afterInsert + 1) << "a session's state change is announced";
    m_sessions.remove(bundle.id());
    session->setRuntimeState(VMRuntimeState::stopped);
    const int afterRemoval = changes.count();

    ASSERT_FALSE(waitForOutcome(m_qemu.start(bundle)).failure);
    EXPECT_EQ(coordinator().effectiveRuntimeState(bundle.id()), VMRuntimeState::running);
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::running) << "QEMU's start is stored like a session's";
    EXPECT_EQ(changes.count(), afterRemoval + 1) << "a removed session is no longer followed";
    ASSERT_FALSE(waitForOutcome(coordinator().stop(bundle.id())).failure);
    EXPECT_FALSE(m_qemu.isRunning(bundle.id()));
    EXPECT_EQ(coordinator().effectiveRuntimeState(bundle.id()), VMRuntimeState::stopped);
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::stopped);
}

TEST_F(VirtualMachineCoordinatorTest, AReloadKeepsTheStateOfEveryVMThatRuns)
{
    const VMBundle linux = installedBundle(QStringLiteral("Linux"));
    const VMBundle windows = storeChanged(installedBundle(QStringLiteral("Windows")).id(),
                                          [](VMBundle &changed) { changed.metadata.guestOSType = VMGuestOSType::windows; });
    const VMBundle idle = installedBundle(QStringLiteral("Idle"));
    ASSERT_EQ(startFailure(linux.id(), false), QString());
    ASSERT_FALSE(waitForOutcome(coordinator().startWithQEMU(windows.id())).failure);
    // What a crash leaves behind: a stored state that nothing runs.
    storeChanged(idle.id(), [](VMBundle &changed) { changed.metadata.runtimeState = VMRuntimeState::paused; });

    waitForOutcome(store().reload()).get();
    EXPECT_EQ(storedState(linux.id()), VMRuntimeState::running);
    EXPECT_EQ(storedState(windows.id()), VMRuntimeState::running);
    EXPECT_EQ(storedState(idle.id()), VMRuntimeState::stopped);
    // Only the left-over state is reported as reset.
    const auto resetLines = [](const VMBundle &bundle) {
        QFile log(bundle.bundleURL + QStringLiteral("/Logs/duvuzodovevav.log"));
        return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()).count(QStringLiteral("Reset transient runtime state")) : 0;
    };
    EXPECT_EQ(resetLines(linux), 0);
    EXPECT_EQ(resetLines(windows), 0);
    EXPECT_EQ(resetLines(idle), 1);
    // Nor when a running VM's bundle is registered again, or the library is read in one go.
    EXPECT_EQ(store().registerExistingBundle(linux.bundleURL).metadata.runtimeState, VMRuntimeState::running);
    store().loadLibraryBundles();
    EXPECT_EQ(resetLines(linux), 0);
    EXPECT_EQ(resetLines(windows), 0);
    // Nor after a reload that failed and listed nothing (a damaged registry of tracked bundles) while they ran.
    FileOperations::createFolders(QFileInfo(store().registryURL()).path());
    FileOperations::writeAtomically(store().registryURL(), "not JSON");
    waitForOutcome(store().reload()).get();
    ASSERT_TRUE(store().bundles().isEmpty());
    QFile::remove(store().registryURL());
    waitForOutcome(store().reload()).get();
    EXPECT_EQ(storedState(linux.id()), VMRuntimeState::running);
    EXPECT_EQ(resetLines(linux), 0);
    EXPECT_EQ(resetLines(windows), 0);

    // Nor for a VM that starts while the library is read on the worker.
    const VMBundle late = installedBundle(QStringLiteral("Late"));
    {
        BusyThreadPool busy;
        QCoro::Task<> reloading = store().reload();
        ASSERT_EQ(startFailure(late.id(), false), QString());
        busy.release();
        waitForOutcome(std::move(reloading)).get();
    }
    EXPECT_EQ(storedState(late.id()), VMRuntimeState::running);
    EXPECT_EQ(resetLines(late), 0);

    ASSERT_FALSE(waitForOutcome(coordinator().stop(linux.id())).failure);
    waitForOutcome(store().reload()).get();
    EXPECT_EQ(storedState(linux.id()), VMRuntimeState::stopped);
}

TEST_F(VirtualMachineCoordinatorTest, ARefusedOperationLeavesAVMThatDoesNotRunFreeToDeleteOrChange)
{
    const VMBundle bundle = installedBundle();
    // Stop of a VM nothing runs is done at once; pause, resume and save are refused without touching the session.
    ASSERT_FALSE(waitForOutcome(coordinator().stop(bundle.id())).failure);
    EXPECT_FALSE(m_sessions.contains(bundle.id()));
    const std::shared_ptr<VirtualMachineSession> session = coordinator().session(bundle.id());
    EXPECT_EQ(failureText([&] { waitForOutcome(m_runtime.pause(*session)).get(); }),
              refused("The virtual machine cannot pause while it is stopped."));
    EXPECT_EQ(failureText([&] { waitForOutcome(m_runtime.resume(*session)).get(); }),
              refused("The virtual machine cannot resume while it is stopped."));
    EXPECT_NE(failureText([&] { waitForOutcome(coordinator().recordSavedState(bundle.id())).get(); }), QString());
    ASSERT_FALSE(waitForOutcome(coordinator().stop(bundle.id())).failure);
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::stopped);
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::stopped);
    EXPECT_EQ(failureText([&] { coordinator().updateStoppedSettings(bundle.id(), VMStoppedSettings()); }), QString());

    // A failed cold start leaves the error to read, and the VM deletable.
    const VMBundle failing = installedBundle(QStringLiteral("Failing"));
    m_machines.script().enqueue(Operation::start, ScriptedAnswer::failure(VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("no KVM"))));
    EXPECT_EQ(startFailure(failing.id(), false), QStringLiteral("The virtual machine encountered an error: no KVM"));
    EXPECT_EQ(coordinator().effectiveRuntimeState(failing.id()), VMRuntimeState::error);
    EXPECT_FALSE(coordinator().isMachineActive(failing.id()));
    EXPECT_EQ(failureText([&] { coordinator().deleteVM(failing.id()); }), QString());
    EXPECT_FALSE(store().bundle(failing.id()));
}

TEST_F(VirtualMachineCoordinatorTest, ASessionInErrorWhoseMachineStillRunsStaysActiveUntilStopped)
{
    const VMBundle bundle = installedBundle();
    std::shared_ptr<VirtualMachineSession> session;
    ASSERT_EQ(startFailure(bundle.id(), false, &session), QString());
    static_cast<ScriptedVirtualMachine &>(session->virtualMachine())
        .script()
        .enqueue(Operation::pause, ScriptedAnswer::failure(VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("busy"))));
    EXPECT_NE(failureText([&] { waitForOutcome(m_runtime.pause(*session)).get(); }), QString());
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::error);
    EXPECT_EQ(failureText([&] { coordinator().deleteVM(bundle.id()); }), refused("Stop the virtual machine before deleting it."));

    ASSERT_FALSE(waitForOutcome(coordinator().stop(bundle.id())).failure);
    EXPECT_EQ(session->runtimeState(), VMRuntimeState::stopped);
    EXPECT_EQ(session->virtualMachine().state(), VirtualMachine::State::stopped);
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::stopped);
    EXPECT_EQ(failureText([&] { coordinator().deleteVM(bundle.id()); }), QString());
}

TEST_F(VirtualMachineCoordinatorTest, AStopAskedForWhileOneIsUnderWayJoinsItAndSharesItsOutcome)
{
    const VirtualizationError stuck(VirtualizationError::Code::internalError, QStringLiteral("stuck"));
    const struct {
        const char *what;
        std::optional<VirtualizationError> machineAnswer;
        VMRuntimeState reached;
    } cases[] = {
        {"the stop succeeds", std::nullopt, VMRuntimeState::stopped},
        {"the stop fails", stuck, VMRuntimeState::error},
    };
    for (const auto &testCase : cases) {
        SCOPED_TRACE(testCase.what);
        const VMBundle bundle = installedBundle(QString::fromUtf8(testCase.what));
        std::shared_ptr<VirtualMachineSession> session;
        ASSERT_EQ(startFailure(bundle.id(), false, &session), QString());
        auto &machine = static_cast<ScriptedVirtualMachine &>(session->virtualMachine());
        // The machine answers later, so both requests are made while it is stopping.
        machine.script().enqueue(Operation::stop, ScriptedAnswer{testCase.machineAnswer, 20ms});

        QCoro::Task<> first = coordinator().stop(bundle.id());
        ASSERT_EQ(session->runtimeState(), VMRuntimeState::stopping);
        QCoro::Task<> second = coordinator().stop(bundle.id());
        const QString firstFailure = failureText([&] { waitForOutcome(std::move(first)).get(); });
        const QString secondFailure = failureText([&] { waitForOutcome(std::move(second)).get(); });

        EXPECT_EQ(secondFailure, firstFailure) << "the second request has the first one's outcome";
        EXPECT_EQ(firstFailure.isEmpty(), !testCase.machineAnswer);
        EXPECT_EQ(machine.calls().count(Operation::stop), 1) << "only one stop reached the machine";
        EXPECT_EQ(session->runtimeState(), testCase.reached);
        EXPECT_EQ(storedState(bundle.id()), testCase.reached);
    }

    // Once it has ended, a stop is a stop of its own again.
    const VMBundle again = installedBundle(QStringLiteral("Again"));
    ASSERT_EQ(startFailure(again.id(), false), QString());
    ASSERT_FALSE(waitForOutcome(coordinator().stop(again.id())).failure);
    ASSERT_EQ(startFailure(again.id(), false), QString());
    ASSERT_FALSE(waitForOutcome(coordinator().stop(again.id())).failure);
    EXPECT_EQ(storedState(again.id()), VMRuntimeState::stopped);
}

TEST_F(VirtualMachineCoordinatorTest, APauseOrResumeStoresTheStateTheMachineReachedAFailureIncluded)
{
    const VMBundle bundle = installedBundle();
    std::shared_ptr<VirtualMachineSession> session;
    ASSERT_EQ(startFailure(bundle.id(), false, &session), QString());
    waitForOutcome(coordinator().pause(bundle.id())).get();
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::paused);
    waitForOutcome(coordinator().resume(bundle.id())).get();
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::running);

    EXPECT_EQ(failureText([&] { waitForOutcome(coordinator().resume(bundle.id())).get(); }),
              refused("The virtual machine cannot resume while it is running."));
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::running) << "a refusal stores nothing";

    static_cast<ScriptedVirtualMachine &>(session->virtualMachine())
        .script()
        .enqueue(Operation::pause, ScriptedAnswer::failure(VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("busy"))));
    EXPECT_NE(failureText([&] { waitForOutcome(coordinator().pause(bundle.id())).get(); }), QString());
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::error) << "a failed machine is not left recorded as running";
}

TEST_F(VirtualMachineCoordinatorTest, AHeldLeaseRefusesWhatWouldTouchTheVMUntilItIsReleased)
{
    const VMBundle bundle = installedBundle();
    const QString inProgress = refused("An export of this virtual machine is in progress.");
    const std::vector<std::pair<const char *, std::function<void()>>> operations{
        {"start", [&] { waitForOutcome(coordinator().start(bundle.id(), false)).get(); }},
        {"delete", [&] { coordinator().deleteVM(bundle.id()); }},
        {"settings", [&] { coordinator().updateStoppedSettings(bundle.id(), VMStoppedSettings()); }},
        {"disk growth", [&] { coordinator().changeDiskCapacity(bundle.id(), 64 * gibibyte); }},
        {"clone", [&] { coordinator().cloneVM(bundle.id(), QStringLiteral("Copy"), true, false); }},
        {"second lease", [&] { coordinator().leases().acquire(bundle.id(), QStringLiteral("A backup")); }},
    };
    {
        const VMOperationLeases::Lease lease = coordinator().leases().acquire(bundle.id(), QStringLiteral("An export"));
        for (const auto &[name, operation] : operations) {
            SCOPED_TRACE(name);
            EXPECT_EQ(failureText(operation), inProgress);
        }
        EXPECT_EQ(*store().bundle(bundle.id()), bundle);
    }
    EXPECT_EQ(coordinator().leases().operation(bundle.id()), std::nullopt);
    EXPECT_EQ(failureText([&] { coordinator().updateStoppedSettings(bundle.id(), VMStoppedSettings()); }), QString());
}

TEST_F(VirtualMachineCoordinatorTest, AnAsynchronousCloneHoldsTheLeaseWhileItCopies)
{
    const VMBundle bundle = installedBundle();
    QCoro::Task<VMBundle> cloning = coordinator().cloneVMAsync(bundle.id(), QStringLiteral("Dev Copy"), true, false);
    EXPECT_EQ(coordinator().leases().operation(bundle.id()), QStringLiteral("A clone"));
    EXPECT_EQ(startFailure(bundle.id(), false), refused("A clone of this virtual machine is in progress."));
    const VMBundle clone = waitForOutcome(std::move(cloning)).get();
    EXPECT_EQ(clone.metadata.name, QStringLiteral("Dev Copy"));
    EXPECT_NE(clone.id(), bundle.id());
    EXPECT_EQ(coordinator().leases().operation(bundle.id()), std::nullopt);
    EXPECT_EQ(startFailure(bundle.id(), false), QString());
}

} // namespace
