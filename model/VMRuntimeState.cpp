// SPDX-License-Identifier: MIT
#include "VMRuntimeState.h"

QString displayName(VMRuntimeState state)
{
    switch (state) {
    case VMRuntimeState::stopped:
        return QStringLiteral("Stopped");
    case VMRuntimeState::starting:
        return QStringLiteral("Starting");
    case VMRuntimeState::running:
        return QStringLiteral("Running");
    case VMRuntimeState::paused:
        return QStringLiteral("Paused");
    case VMRuntimeState::saving:
        return QStringLiteral("Saving State");
    case VMRuntimeState::restoring:
        return QStringLiteral("Restoring State");
    case VMRuntimeState::stopping:
        return QStringLiteral("Stopping");
    case VMRuntimeState::error:
        return QStringLiteral("Error");
    }
    Q_UNREACHABLE();
}
