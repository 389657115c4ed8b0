// SPDX-License-Identifier: MIT
#pragma once

#include "VMGuestOSType.h"

#include <QWidget>

/**
 * The help page for the moment after a VM's disk grew: it names the VM and
 * its new capacity, then tells how the guest claims the space: Disk Utility
 * and the APFS commands in a macOS guest, growpart and the file-system
 * resize in a Linux guest. Static texts; the commands are selectable.
 */
class GuestDiskExpansionGuideView final : public QWidget
{
    Q_OBJECT

public:
    GuestDiskExpansionGuideView(const QString &vmName, const QString &capacitySummary, VMGuestOSType guest, QWidget *parent = nullptr);

    /// A selectable command line in a monospaced face on a small panel.
    static QWidget *commandBlock(const QString &command, QWidget *parent = nullptr);
};
