// SPDX-License-Identifier: MIT
#pragma once

#include "VirtualMachineCoordinator.h"

#include "../Services/StoreTestFixture.h"
#include "DiskImageService.h"
#include "HostNetworkService.h"
#include "MachineIdentityService.h"
#include "QEMUMachines.h"
#include "ScriptedVirtualMachine.h"
#include "ScriptedVirtualMachineFactory.h"
#include "TaskOutcome.h"
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

#include <functional>

/// The real store, builders, runtime service and coordinator over machines that answer from a script.
namespace CoordinatorTesting {

using Operation = VirtualMachineScript::Operation;
constexpr quint64 gibibyte = quint64(1) << 30;

/// QEMU processes as a test declares them; start and stop take effect at once.
class DeclaredQEMUMachines final : public QEMUMachines
{
public:
    bool isRunning(const QUuid &id) const override { return running.contains(id); }
    QCoro::Task<> start(VMBundle bundle) override
    {
        running.insert(bundle.id());
        Q_EMIT runningChanged(bundle.id(), true);
        co_return;
    }
    QCoro::Task<> stop(QUuid id) override
    {
        if (running.remove(id))
            Q_EMIT runningChanged(id, false);
        co_return;
    }
    QSet<QUuid> running;
};

/// What an operation threw, as the user reads it; empty when it did not throw.
inline QString failureText(const std::function<void()> &operation)
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

inline QString refused(const char *detail)
{
    return QStringLiteral("This action cannot be completed: ") + QString::fromUtf8(detail);
}

inline const QString notFound = QStringLiteral("The VM bundle could not be read: The selected VM could not be found.");

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
    VirtualMachineCoordinator::Services services(QEMUMachines &qemu)
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

} // namespace CoordinatorTesting
