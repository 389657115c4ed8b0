// SPDX-License-Identifier: MIT
#pragma once

#include "VMGuestOSType.h"

#include <QString>

#include <optional>

/**
 * What the guest-tools guide shows of one VM: its name, the title of the
 * action that opened the guide, the tools' version and status as the host
 * last read them, the guest's newest message, and the names the steps
 * inside the guest refer to (the automation share, its Linux mount tag and
 * the Linux install script).
 */
struct GuestToolsSetupContent {
    QString vmName;
    QString actionTitle;
    QString toolsVersionSummary;
    QString statusSummary;
    std::optional<QString> latestMessage;
    VMGuestOSType guest = VMGuestOSType::macOS;
    QString automationShareName;
    QString linuxShareTag;
    QString linuxInstallerName;
};
