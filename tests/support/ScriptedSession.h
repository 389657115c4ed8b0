// SPDX-License-Identifier: MIT
#pragma once

#include "ScriptedVirtualMachine.h"
#include "TestBundle.h"
#include "VirtualMachineSession.h"

#include <QDir>
#include <QString>
#include <QUuid>

#include <memory>

/**
 * A session over a new bundle folder `<folder>/<name>.vm` and a scripted
 * machine, for tests of what follows sessions (clipboard sync, console
 * windows). The VM's run state starts as `state`.
 */
inline std::unique_ptr<VirtualMachineSession> makeScriptedSession(const QString &folder, const QString &name,
    const VMSharedFolderService &sharedFolders, const LoggingService &logging, VMRuntimeState state = VMRuntimeState::running)
{
    const VMBundle bundle = TestBundle::in(folder, name).runState(state).display(1920, 1080);
    QDir().mkpath(bundle.bundleURL);
    VirtualMachineConfiguration configuration;
    return std::make_unique<VirtualMachineSession>(
        bundle, configuration, std::make_unique<ScriptedVirtualMachine>(configuration), QStringList {}, sharedFolders, logging);
}
