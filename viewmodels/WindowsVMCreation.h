// SPDX-License-Identifier: MIT
#pragma once

#include "VMHardwareProfile.h"
#include "VMInstallProgress.h"
#include "VMMediaConfiguration.h"
#include "VMNetworkConfiguration.h"

#include <QCoroTask>
#include <QString>
#include <QStringList>
#include <QUuid>

#include <functional>

class LoggingService;
class VMStore;

/**
 * Builds one Windows bundle for the QEMU engine from the wizard's choices:
 * the bundle in the library, its disk, a copy of the installation image as
 * WindowsInstall.iso, WindowsConfig.json and, when the host has it, a copy
 * of the UEFI firmware. Windows itself is installed later from the attached
 * image. Only an ISO 9660 image is accepted, before anything is made. A
 * creation that fails takes its half-made bundle out of the library and
 * off the disk again. GUI thread; copies run on a worker thread.
 */
class WindowsVMCreation
{
public:
    struct Collaborators {
        VMStore &store;
        const LoggingService &logging;
    };
    struct Plan {
        QString name;
        VMHardwareProfile hardwareProfile;
        VMNetworkConfiguration networkConfiguration;
        VMMediaConfiguration mediaConfiguration;
        QString destinationDirectoryURL;
        QString imageURL;
        bool enableTPM = true;
        /// Where the UEFI firmware is looked for, in order.
        QStringList firmwarePlaces;
        /// The host packages the VM needs and this host lacks; the last report names them.
        QStringList missingHostPackages;
    };
    using ProgressHandler = std::function<void(const VMInstallProgress &)>;

    /// The firmware places of the other platform followed by Debian's.
    static QStringList defaultFirmwarePlaces();

    WindowsVMCreation(Collaborators collaborators, Plan plan);

    /// Makes the VM and returns its identifier; throws what failed.
    QCoro::Task<QUuid> run(ProgressHandler progress);

private:
    Collaborators m;
    Plan m_plan;
};
