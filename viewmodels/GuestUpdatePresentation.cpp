// SPDX-License-Identifier: MIT
#include "GuestUpdatePresentation.h"

bool GuestUpdatePresentation::isShown(std::optional<VMGuestOSType> guestOSType)
{
    return guestOSType != VMGuestOSType::windows;
}

GuestUpdatePresentation::Status GuestUpdatePresentation::status(
    const std::optional<VMMacOSUpdateInfo> &info, const std::optional<QString> &checkFailure)
{
    if (checkFailure)
        return Status::checkFailed;
    if (!info)
        return Status::unchecked;
    if (!info->availableVersion)
        return Status::upToDate;
    if (info->currentDisplayName
        && info->currentDisplayName->normalized(QString::NormalizationForm_C)
            == info->availableVersion->normalized(QString::NormalizationForm_C))
        return Status::upToDate;
    return Status::updateAvailable;
}

QString GuestUpdatePresentation::commandTitle(std::optional<VMGuestOSType> selectedGuest)
{
    if (selectedGuest == VMGuestOSType::macOS || selectedGuest == VMGuestOSType::linux)
        return QStringLiteral("Check for %1 Updates").arg(displayName(*selectedGuest));
    return QStringLiteral("Check for Guest Updates");
}

QString GuestUpdatePresentation::panelTitle(bool isLinux)
{
    return isLinux ? QStringLiteral("Guest Updates") : QStringLiteral("macOS Updates");
}

QString GuestUpdatePresentation::invitation(bool isLinux)
{
    return isLinux
        ? QStringLiteral(
            "Click \"Check for Updates\" to compare your installed ISO against the latest available version from the distribution catalog.")
        : QStringLiteral("Click \"Check for Updates\" to see if a newer macOS version is available for this VM.");
}

QString GuestUpdatePresentation::statusTitle(Status status, bool isLinux)
{
    switch (status) {
    case Status::unchecked:
        return {};
    case Status::checkFailed:
        return QStringLiteral("Could not check");
    case Status::upToDate:
        return QStringLiteral("Up to Date");
    case Status::updateAvailable:
        return isLinux ? QStringLiteral("Newer ISO Available") : QStringLiteral("Update Available");
    }
    return {};
}

QString GuestUpdatePresentation::linuxUpToDateExplanation()
{
    return QStringLiteral("The installed ISO matches the latest version from the distribution catalog. You can also update packages inside "
                          "the guest using your distribution's package manager.");
}

bool GuestUpdatePresentation::canPrepare(bool isBusy, bool isVMRunning)
{
    return !isBusy && !isVMRunning;
}

QString GuestUpdatePresentation::prepareBlockedReason(bool isBusy, bool isVMRunning)
{
    if (isBusy)
        return QStringLiteral("A snapshot of this VM is being taken.");
    if (isVMRunning)
        return QStringLiteral("Stop the virtual machine before preparing an update.");
    return {};
}
