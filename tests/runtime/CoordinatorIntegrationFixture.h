// SPDX-License-Identifier: MIT
#pragma once

#include "../Services/StoreTestFixture.h"
#include "DiskImageService.h"
#include "HostNetworkService.h"
#include "HostProfile.h"
#include "MachineIdentityService.h"
#include "QemuVirtualMachineFactory.h"
#include "RuntimeIntegrationHelpers.h"
#include "VirtualMachineCoordinator.h"
#include "VirtualMachineSessionTable.h"
#include "VMCloneService.h"
#include "VMConfigurationBuilder.h"
#include "VMGuestAutomationService.h"
#include "VMLinuxGuestToolsService.h"
#include "VMLinuxService.h"
#include "VMRuntimeService.h"
#include "VMSaveRestoreService.h"
#include "VMSharedFolderService.h"

#include <QDir>

#include <memory>
#include <optional>

/**
 * A library whose machines run on the real QEMU of this host through the
 * coordinator, the way the application runs them. The test checks the host
 * and then calls startServices().
 */
class CoordinatorIntegrationTest : public StoreTest
{
protected:
    /// The runtime service and the coordinator on `profile`'s QEMU, with the runtime folder in the test's home.
    void startServices(HostProfile profile)
    {
        profile.runtimeDirectory = m_home.path() + QStringLiteral("/run");
        m_machines = std::make_unique<QemuVirtualMachineFactory>(profile);
        m_runtime = std::make_unique<VMRuntimeService>(m_builder, m_sharedFolders, m_linux, m_logging, *m_machines);
        m_coordinator = std::make_unique<VirtualMachineCoordinator>(VirtualMachineCoordinator::Services{
            store(), m_sessions, *m_runtime, m_disks, m_sharedFolders, m_automation, m_linuxTools, m_saveRestore, m_clones, m_logging, m_access, m_qemu});
    }

    /**
     * Adds an installed Linux bundle called `name` with `hardware` and no
     * installation media to the library, its disk image made by
     * `makeDisk(path)`; it becomes m_bundle.
     */
    template <typename MakeDisk>
    void addLinuxBundle(const QString &name, const VMHardwareProfile &hardware, MakeDisk makeDisk)
    {
        VMBundle bundle;
        bundle.bundleURL = root() + QLatin1Char('/') + name + QStringLiteral(".vm");
        bundle.metadata = sampleMetadata(name);
        bundle.metadata.installState = VMInstallState::installed;
        bundle.metadata.hardwareProfile = hardware;
        bundle.metadata.mediaConfiguration = VMMediaConfiguration{false, false};
        bundle.metadata.normalize();
        ASSERT_TRUE(QDir().mkpath(bundle.bundleURL));
        makeDisk(bundle.layout().diskImageURL());
        store().updateBundle(bundle);
        m_bundle = *store().bundle(bundle.id());
    }

    void TearDown() override
    {
        // Dropping the last holder of a session ends its QEMU and virtiofsd, also after a failed test.
        for (const QUuid &id : m_sessions.ids())
            m_sessions.remove(id);
    }

    DiskImageService m_disks;
    VMSharedFolderService m_sharedFolders{m_bookmarks, m_access};
    const HostNetworkService m_network;
    const VMConfigurationBuilder m_builder{m_sharedFolders, m_network, m_access};
    const VMLinuxService m_linux{m_logging, m_sharedFolders, m_network, m_access};
    const VMSaveRestoreService m_saveRestore{m_logging};
    VMGuestAutomationService m_automation{m_logging, m_access, m_viewer, ApplicationResources(std::nullopt)};
    VMLinuxGuestToolsService m_linuxTools{m_logging};
    MachineIdentityService m_identity;
    VMCloneService m_clones{store(), m_identity, m_logging};
    RuntimeIntegration::NoQEMUMachines m_qemu;
    std::unique_ptr<QemuVirtualMachineFactory> m_machines;
    std::unique_ptr<VMRuntimeService> m_runtime;
    VirtualMachineSessionTable m_sessions{m_access};
    std::unique_ptr<VirtualMachineCoordinator> m_coordinator;
    VMBundle m_bundle;
};
