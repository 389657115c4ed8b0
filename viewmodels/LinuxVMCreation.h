// SPDX-License-Identifier: MIT
#pragma once

#include "LinuxInstallSource.h"
#include "VMHardwareProfile.h"
#include "VMInstallProgress.h"
#include "VMMediaConfiguration.h"
#include "VMNetworkConfiguration.h"
#include "VMSharedFolder.h"

#include <QCoroTask>
#include <QList>
#include <QString>
#include <QUuid>

#include <atomic>
#include <functional>
#include <memory>

class LinuxISODownload;
class LoggingService;
struct VMBundle;
class VMLinuxGuestToolsService;
class VMLinuxService;
class VMStore;

/**
 * Builds one Linux EFI bundle from the wizard's choices: the bundle in the
 * library, its disk, EFI variable store and LinuxBoot.json, the guest tools,
 * and the installer ISO, copied from a local file or the ISO cache, where
 * a download lands first (a broken one waits there for the next creation
 * to resume it: LinuxISODownload). A local image that could not start the
 * installer (LinuxISOCheck) is refused before the bundle is made. A
 * creation that fails or is cancelled takes its half-made bundle out of the
 * library and off the disk again. GUI thread; copies run on a worker thread.
 *
 * @code
 * LinuxVMCreation creation(collaborators, plan);
 * const QUuid id = co_await creation.run([](const VMInstallProgress &progress) { show(progress); });
 * @endcode
 */
class LinuxVMCreation
{
public:
    struct Collaborators {
        VMStore &store;
        const LoggingService &logging;
        const VMLinuxService &linux;
        const VMLinuxGuestToolsService &guestTools;
    };
    /// What the new VM is made of.
    struct Plan {
        QString name;
        VMHardwareProfile hardwareProfile;
        VMNetworkConfiguration networkConfiguration;
        VMMediaConfiguration mediaConfiguration;
        QList<VMSharedFolder> sharedFolders;
        QString destinationDirectoryURL;
        LinuxInstallSource source;
        QString kernelCommandLine;
        bool useRosetta = false;
    };
    using ProgressHandler = std::function<void(const VMInstallProgress &)>;

    LinuxVMCreation(Collaborators collaborators, Plan plan);
    ~LinuxVMCreation();
    LinuxVMCreation(const LinuxVMCreation &) = delete;
    LinuxVMCreation &operator=(const LinuxVMCreation &) = delete;

    /// Makes the VM and returns its identifier; throws what failed (VirtualMachineError userCancelled after cancel()).
    QCoro::Task<QUuid> run(ProgressHandler progress);
    /// Stops the creation: a running download, or the copy of the ISO into the bundle.
    void cancel();
    /// True while the ISO is copied into the bundle, a copy cancel() stops.
    bool isCopyingISO() const { return m_copyingISO; }

    /// "Name Version (architecture)" of a catalog distribution, "Linux" for any other source.
    static QString distributionLabel(const LinuxInstallSource &source);

private:
    VMBundle makeBundle() const;
    /// True for a copy of a local or cached file, false for a download.
    QCoro::Task<bool> fetchISO(QString bundleURL, ProgressHandler progress);
    QCoro::Task<> download(QUrl url, QString isoURL, ProgressHandler progress);
    /// Copies `source` into the bundle at `isoURL` on a worker thread, announced by `step`; cancel() stops it, leaving no copy.
    QCoro::Task<> copyISO(QString source, QString isoURL, VMInstallProgress step, ProgressHandler progress);
    void finish(const QUuid &id, quint64 diskSizeBytes) const;

    Collaborators m;
    Plan m_plan;
    std::unique_ptr<LinuxISODownload> m_download;
    /// Shared with the worker thread that copies the ISO.
    std::shared_ptr<std::atomic_bool> m_stopCopy = std::make_shared<std::atomic_bool>(false);
    bool m_copyingISO = false;
    bool m_cancelled = false;
};
