// SPDX-License-Identifier: MIT
#pragma once

#include "ScriptedVirtualMachine.h"
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
    VMBundle bundle;
    bundle.bundleURL = folder + QLatin1Char('/') + name + QStringLiteral(".vm");
    QDir().mkpath(bundle.bundleURL);
    bundle.metadata.id = QUuid::createUuid();
    bundle.metadata.name = name;
    bundle.metadata.runtimeState = state;
    bundle.metadata.hardwareProfile.displayWidth = 1920;
    bundle.metadata.hardwareProfile.displayHeight = 1080;
    VirtualMachineConfiguration configuration;
    return std::make_unique<VirtualMachineSession>(
        bundle, configuration, std::make_unique<ScriptedVirtualMachine>(configuration), QStringList {}, sharedFolders, logging);
}
