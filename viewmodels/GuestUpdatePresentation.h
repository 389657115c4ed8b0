// SPDX-License-Identifier: MIT
#pragma once

#include "VMGuestOSType.h"
#include "VMMacOSUpdateInfo.h"

#include <QString>

#include <optional>

/**
 * What the guest update panel shows: whether it is shown at all, the
 * status of the last check and its texts, and when "Prepare Update" may be
 * pressed.
 */
class GuestUpdatePresentation
{
public:
    enum class Status {
        /// No check has finished yet.
        unchecked,
        /// The check could not be made; the reason is shown.
        checkFailed,
        upToDate,
        updateAvailable,
    };

    /// Windows guests have no update check: there is no catalog to compare with.
    static bool isShown(std::optional<VMGuestOSType> guestOSType);
    /// A failure wins over a result: a check that could not be made never reads as up to date.
    static Status status(const std::optional<VMMacOSUpdateInfo> &info, const std::optional<QString> &checkFailure);

    /// The menu command's title for the selected VM's guest: "Check for macOS Updates",
    /// "Check for Linux Updates", else (a Windows VM, or none) "Check for Guest Updates".
    static QString commandTitle(std::optional<VMGuestOSType> selectedGuest);
    /// "Guest Updates" or "macOS Updates".
    static QString panelTitle(bool isLinux);
    /// The invitation shown before the first check.
    static QString invitation(bool isLinux);
    /// "Could not check", "Up to Date", "Newer ISO Available" or "Update Available"; none before a check.
    static QString statusTitle(Status status, bool isLinux);
    /// The sentence under an up-to-date Linux result.
    static QString linuxUpToDateExplanation();
    /// Prepare takes a snapshot: not twice at once, and not of a running VM.
    static bool canPrepare(bool isBusy, bool isVMRunning);
    /// Why Prepare is disabled, for its tooltip; empty when it is not.
    static QString prepareBlockedReason(bool isBusy, bool isVMRunning);
};
