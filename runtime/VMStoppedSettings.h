// SPDX-License-Identifier: MIT
#pragma once

#include "VMSharedFolder.h"

#include <QList>
#include <QtGlobal>

/// The settings a user edits while a VM is stopped; applied by VirtualMachineCoordinator::updateStoppedSettings().
struct VMStoppedSettings {
    qint64 cpuCount = 0;
    quint64 memorySizeBytes = 0;
    qint64 displayWidth = 0;
    qint64 displayHeight = 0;
    qint64 displayPixelsPerInch = 0;
    bool isMicrophoneEnabled = false;
    bool isSpeakerEnabled = true;
    /// Resolved through the shared-folder service before they are stored.
    QList<VMSharedFolder> sharedFolders;

    bool operator==(const VMStoppedSettings &) const = default;
};
