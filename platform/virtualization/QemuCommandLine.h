// SPDX-License-Identifier: MIT
#pragma once

#include "HostProfile.h"
#include "MACAddress.h"
#include "VirtualMachineConfiguration.h"

#include <QList>
#include <QString>
#include <QStringList>
#include <QUuid>

/**
 * The arguments of qemu-system-aarch64 for one run of a configuration. The
 * machine always starts paused (-S) so that the monitor is connected before
 * the guest runs, and with -incoming defer when its state is to be restored.
 * Only -nodefaults devices exist: exactly those of the configuration.
 * Device options are JSON, so paths and names need no escaping; the few
 * key=value options that hold a path have their commas doubled.
 *
 * The firmware's network boot options are turned off: with PXE disabled
 * through fw_cfg and a boot index on every disk, the firmware drops every
 * boot option that is not a disk, and a machine without a bootable disk
 * reaches its boot menu in seconds rather than after minutes of DHCP and
 * HTTP time-outs.
 */
class QemuCommandLine
{
public:
    struct Paths {
        QString monitorSocket;
        QString displaySocket;
        QString serialSocket;
        QString pidFile;
        /// One vhost-user socket per directory-sharing device, in order.
        QStringList fileSystemSockets;
        /// Where QEMU writes the console port's output: a pipe read into the capped log, not the log itself.
        QString serialLog;
        /// The file that holds the guest's memory when file-system servers share it; empty otherwise.
        QString guestMemory;
    };

    struct Inputs {
        VirtualMachineConfiguration configuration;
        HostProfile profile;
        QUuid machineIdentifier;
        /// One per network device, in order.
        QList<MACAddress> macAddresses;
        Paths paths;
        bool incomingState = false;
    };

    /// The arguments for a valid configuration; the program is HostProfile::qemuProgram.
    static QStringList arguments(const Inputs &inputs);

    /// `value` fit for a key=value option: QEMU reads ",," as one comma.
    static QString escapedOptionValue(QString value);

    /// Where the monitor finds the virtio device of the memory balloon, when the configuration has one.
    static QString memoryBalloonPath();
};
