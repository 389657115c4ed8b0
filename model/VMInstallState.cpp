// SPDX-License-Identifier: MIT
#include "VMInstallState.h"

QString displayText(VMInstallState state)
{
    switch (state) {
    case VMInstallState::notInstalled:
        return QStringLiteral("Not Installed");
    case VMInstallState::preparingBundle:
        return QStringLiteral("Preparing");
    case VMInstallState::downloadingRestoreImage:
        return QStringLiteral("Downloading Restore Image");
    case VMInstallState::installingMacOS:
        return QStringLiteral("Installing macOS");
    case VMInstallState::installed:
        return QStringLiteral("Installed");
    case VMInstallState::failed:
        return QStringLiteral("Failed");
    }
    Q_UNREACHABLE();
}
