// SPDX-License-Identifier: MIT
#include "VirtualMachineCoordinator.h"

#include "../Services/StoreTestFixture.h"
#include "../Services/TaskOutcome.h"
#include "DiskImageService.h"
#include "FileOperations.h"
#include "HostNetworkService.h"
#include "JSONCoding.h"
#include "MachineIdentityService.h"
#include "QEMUExecutor.h"
#include "QEMUExecutorRegistry.h"
#include "RegisteredQEMUMachines.h"
#include "ScriptedVirtualMachine.h"
#include "ScriptedVirtualMachineFactory.h"
#include "TaskWaiter.h"
#include "VMCloneService.h"
#include "VMConfigurationBuilder.h"
#include "VMGuestAutomationService.h"
#include "VMLinuxGuestToolsService.h"
#include "VMLinuxService.h"
#include "VMRuntimeService.h"
#include "VMSaveRestoreService.h"
#include "VMSharedFolderService.h"
#include "VirtualMachineError.h"
#include "VirtualMachineSessionTable.h"

#include <QSet>
#include <QSignalSpy>

#include <functional>

using namespace std::chrono_literals;

namespace {

using Operation = VirtualMachineScript::Operation;
constexpr quint64 gibibyte = quint64(1) << 30;

/// QEMU processes as a test declares them.
class DeclaredQEMUMachines final : public RunningQEMUMachines
{
public:
    bool isRunning(const QUuid &id) const override { return running.contains(id); }
    QSet<QUuid> running;
};

/// What an operation threw, as the user reads it; empty when it did not throw.
QString failureText(const std::function<void()> &operation)
{
    try {
        operation();
    } catch (const VirtualMachineError &error) {
        return error.errorDescription();
    } catch (const std::exception &error) {
        return QStringLiteral("unexpected: ") + QString::fromUtf8(error.what());
    }
    return {};
}

QString refused(const char *detail)
{
    return QStringLiteral("This action cannot be completed: ") + QString::fromUtf8(detail);
}

const QString notFound = QStringLiteral("The VM bundle could not be read: The selected VM could not be found.");

/// The real store, builders and runtime service over machines that answer from a script.
class VirtualMachineCoordinatorTest : public StoreTest
{
protected:
    VirtualMachineCoordinatorTest() { write(m_template, QByteArray(4096, 'V')); }

    /// An installed, stopped Linux VM with a 32 GiB sparse disk.
    VMBundle installedBundle(const QString &name = QStringLiteral("Dev"))
    {
        VMBundle bundle;
        bundle.bundleURL = root() + QLatin1Char('/') + name + QStringLiteral(".vm");
        bundle.metadata = sampleMetadata(name);
        bundle.metadata.installState = VMInstallState::installed;
        bundle.metadata.hardwareProfile.memorySizeBytes = gibibyte / 2;
        bundle.metadata.normalize();
        QDir().mkpath(bundle.bundleURL);
        m_disks.createDisk(bundle.layout().diskImageURL(), 32 * gibibyte);
        store().updateBundle(bundle);
        return *store().bundle(bundle.id());
    }

    /// Changes the stored bundle.
    VMBundle storeChanged(const QUuid &id, const std::function<void(VMBundle &)> &change)
    {
        VMBundle bundle = *store().bundle(id);
        change(bundle);
        store().updateBundle(bundle);
        return *store().bundle(id);
    }

    /// Gives the VM a saved-state file and records it.
    VMBundle withSavedState(const QUuid &id)
    {
        const VMBundle bundle = *store().bundle(id);
        write(bundle.layout().savedStateFileURL(), ScriptedVirtualMachine::savedStateContent());
        return storeChanged(id, [](VMBundle &changed) {
            VMSavedState state;
            state.relativePath = QStringLiteral("SavedState/MachineState.bin");
            state.createdAt = QDateTime(QDate(2026, 3, 1), QTime(8, 0), Qt::UTC);
            changed.metadata.savedState = state;
            changed.metadata.hasSavedState = true;
        });
    }

    /// Puts a session on the scripted backend into the table, in `state`.
    std::shared_ptr<VirtualMachineSession> addSession(const VMBundle &bundle, VMRuntimeState state, const QStringList &accessed = {})
    {
        VirtualMachineConfiguration configuration;
        auto session = std::make_shared<VirtualMachineSession>(bundle, configuration, std::make_unique<ScriptedVirtualMachine>(configuration),
                                                               accessed, m_sharedFolders, m_logging);
        session->setRuntimeState(state);
        m_sessions.insert(session);
        return session;
    }

    VirtualMachineCoordinator &coordinator() { return *m_coordinator; }
    VirtualMachineCoordinator::Services services(const RunningQEMUMachines &qemu)
    {
        return {store(), m_sessions, m_runtime, m_disks, m_sharedFolders, m_automation, m_linuxTools, m_saveRestore, m_clones, m_logging, m_access, qemu};
    }

    /// Starts the VM through the coordinator; what it threw, as the user reads it, or empty.
    QString startFailure(const QUuid &id, bool resumeSavedState, std::shared_ptr<VirtualMachineSession> *started = nullptr)
    {
        const TaskOutcome<std::shared_ptr<VirtualMachineSession>> outcome = waitForOutcome(coordinator().start(id, resumeSavedState));
        return failureText([&] {
            const std::shared_ptr<VirtualMachineSession> session = outcome.get();
            if (started)
                *started = session;
        });
    }

    VMRuntimeState storedState(const QUuid &id) const { return m_store->bundle(id)->metadata.runtimeState; }

    const QString m_template = m_home.path() + QStringLiteral("/AAVMF_VARS.fd");
    DiskImageService m_disks;
    VirtualMachineSessionTable m_sessions{m_access};
    VMSharedFolderService m_sharedFolders{m_bookmarks, m_access};
    const HostNetworkService m_network{SysfsNetworkInterfaces(m_home.path() + QStringLiteral("/net"))};
    const VMConfigurationBuilder m_builder{m_sharedFolders, m_network, m_access};
    const VMLinuxService m_linux{m_logging, m_sharedFolders, m_network, m_access, {m_template}};
    ScriptedVirtualMachineFactory m_machines;
    const VMRuntimeService m_runtime{m_builder, m_sharedFolders, m_linux, m_logging, m_machines};
    const VMSaveRestoreService m_saveRestore{m_logging};
    VMGuestAutomationService m_automation{m_logging, m_access, m_viewer, ApplicationResources(std::nullopt)};
    VMLinuxGuestToolsService m_linuxTools{m_logging};
    MachineIdentityService m_identity;
    VMCloneService m_clones{store(), m_identity, m_logging};
    DeclaredQEMUMachines m_qemu;
    std::unique_ptr<VirtualMachineCoordinator> m_coordinator = std::make_unique<VirtualMachineCoordinator>(services(m_qemu));
};

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
            {"not installed beats everything", {true, true, true, VMRuntimeState::running, true}, "Finish installing macOS before changing VM settings."},
            {"stored state beats saved state", {false, true, true, VMRuntimeState::running, false}, notStopped},
            {"saved state beats the session", {false, false, true, VMRuntimeState::paused, true}, "Discard the saved state before changing VM settings."},
            {"a paused session", {false, false, false, VMRuntimeState::paused, false}, notStopped},
            {"a session in error", {false, false, false, VMRuntimeState::error, false}, notStopped},
            {"QEMU runs the VM", {false, false, false, std::nullopt, true}, notStopped},
        },
        [&](const QUuid &id) { coordinator().updateStoppedSettings(id, VMStoppedSettings()); });
}

TEST_F(CoordinatorGuardTest, DiskGrowthIsRefusedInItsGuardOrderWithoutTouchingTheDisk)
{
    const char *const notStopped = "Stop the virtual machine before changing disk capacity.";
    expectRefusals(
        {
            {"not installed beats everything", {true, true, true, VMRuntimeState::running, true}, "Install macOS before changing disk capacity."},
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
    EXPECT_TRUE(bundleLog(bundle.bundleURL).contains(QStringLiteral("] [Disk] Expanded Dev disk to 42.95 GB\n"))) << bundleLog(bundle.bundleURL).toStdString();

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
    EXPECT_TRUE(log.contains(QStringLiteral("] [Disk] Expanded Dev disk to 68.72 GB\n"))) << log.toStdString();
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
    const RegisteredQEMUMachines qemu(registry);
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

TEST_F(VirtualMachineCoordinatorTest, AFailedRestoreDiscardsTheStateAndTheSessionAndAsksForAColdBoot)
{
    const VMBundle bundle = withSavedState(installedBundle().id());
    m_machines.script().enqueue(Operation::restoreMachineState,
                                ScriptedAnswer::failure(VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("bad state"))));

    EXPECT_EQ(startFailure(bundle.id(), true),
              QStringLiteral("The saved VM state could not be restored: The saved state was invalid and has been discarded. Start the VM again with a cold boot."));
    EXPECT_FALSE(QFileInfo::exists(bundle.layout().savedStateFileURL()));
    const VMBundle stored = *store().bundle(bundle.id());
    EXPECT_EQ(stored.metadata.savedState, std::nullopt);
    EXPECT_FALSE(stored.metadata.hasSavedState);
    EXPECT_EQ(stored.metadata.runtimeState, VMRuntimeState::stopped);
    EXPECT_FALSE(m_sessions.contains(bundle.id()));
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
    EXPECT_EQ(bundleLog(bundle.bundleURL).count(QStringLiteral("] [Network] br0 went away\n")), 2) << "the session's line and the coordinator's";

    machine->raiseGuestDidStop();
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::stopped);
    EXPECT_EQ(session->bundle(), *store().bundle(bundle.id()));

    session->setRuntimeState(VMRuntimeState::running);
    machine->forceState(VirtualMachine::State::running);
    machine->raiseDidStopWithError(VirtualizationError(VirtualizationError::Code::internalError, QStringLiteral("QEMU crashed")));
    EXPECT_EQ(storedState(bundle.id()), VMRuntimeState::error);
    EXPECT_EQ(bundleLog(bundle.bundleURL).count(QStringLiteral("] [Runtime] QEMU crashed\n")), 2);

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

    // Every started VM shares its automation folder, and such a machine cannot be saved here.
    EXPECT_NE(failureText([&] { waitForOutcome(coordinator().recordSavedState(bundle.id())).get(); }), QString());
    EXPECT_EQ(store().bundle(bundle.id())->metadata.savedState, std::nullopt);
    EXPECT_EQ(store().bundle(bundle.id())->metadata.runtimeState, before.metadata.runtimeState);
}

} // namespace
