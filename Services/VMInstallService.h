// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"
#include "VMInstallProgress.h"
#include "VMInstallRequest.h"

#include <QCoroTask>
#include <QObject>

#include <functional>

class AuxiliaryStorageService;
class DiskImageService;
class LoggingService;
class MachineIdentityService;
class MacOSInstallBackend;
class RestoreImageCatalogService;
class RestoreImageDownloadService;
class SecurityScopedAccess;
class VMConfigurationBuilder;
class VMFirstBootService;
class VMGuestAutomationService;
class VMSharedFolderService;
class VMStore;

/**
 * Turns a create-wizard request into a new, installed macOS VM: the bundle
 * with its metadata, disk and automation folder; the restore image (from the
 * catalog, a local file or the latest supported, downloaded unless cached);
 * the identity files, auxiliary storage and first-boot folder; then the
 * installer. Progress goes to one callback with fixed fractions and texts
 * per step. GUI thread only.
 *
 * Before anything is made or downloaded, the host is asked whether it can
 * install macOS at all; on this host it cannot, and install() fails at once
 * with the virtualization layer's sentence. A failure after the bundle was
 * saved marks it failed and leaves it, with its disk and log, in the
 * library. Installer progress that arrives after the installation finished
 * is dropped.
 *
 * @code
 * const VMBundle bundle = co_await installs.install(request, [](const VMInstallProgress &progress) { show(progress); });
 * @endcode
 */
class VMInstallService final : public QObject
{
    Q_OBJECT

public:
    using ProgressHandler = std::function<void(const VMInstallProgress &)>;

    struct Collaborators {
        VMStore &store;
        const VMConfigurationBuilder &configurationBuilder;
        RestoreImageCatalogService &restoreImageCatalogService;
        RestoreImageDownloadService &restoreImageDownloadService;
        const DiskImageService &diskImageService;
        const AuxiliaryStorageService &auxiliaryStorageService;
        const MachineIdentityService &machineIdentityService;
        const VMSharedFolderService &sharedFolderService;
        const VMFirstBootService &firstBootService;
        const VMGuestAutomationService &guestAutomationService;
        const LoggingService &loggingService;
        SecurityScopedAccess &access;
        MacOSInstallBackend &backend;
    };

    explicit VMInstallService(Collaborators collaborators, QObject *parent = nullptr);

    /// The new bundle as the store holds it. Throws the error of the step that failed.
    QCoro::Task<VMBundle> install(VMInstallRequest request, ProgressHandler progress);

private:
    struct ResolvedImage;
    struct InstallerGate;

    VMBundle createBundle(const VMInstallRequest &request, const QList<VMSharedFolder> &sharedFolders) const;
    QCoro::Task<ResolvedImage> resolveRestoreImage(VMInstallRequest request, VMBundle &bundle, ProgressHandler &progress);
    QCoro::Task<> installSystem(VMInstallRequest request, VMBundle &bundle, ResolvedImage image, ProgressHandler &progress,
                                std::shared_ptr<InstallerGate> gate);
    void save(VMBundle &bundle) const;

    Collaborators m;
};
