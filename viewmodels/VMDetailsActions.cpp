// SPDX-License-Identifier: MIT
#include "VMDetailsActions.h"

#include "VMDetailsViewModel.h"
#include "VirtualMachineCoordinator.h"

#include <algorithm>

namespace VMDetailsActions {

namespace {

    QString guestToolsTitle(GuestToolsState state)
    {
        switch (state) {
        case GuestToolsState::notInstalled:
            return QStringLiteral("Install ") + VMDetailsTexts::guestToolsName.toString();
        case GuestToolsState::updateAvailable:
            return QStringLiteral("Update ") + VMDetailsTexts::guestToolsName.toString();
        case GuestToolsState::installed:
            return QStringLiteral("Repair ") + VMDetailsTexts::guestToolsName.toString();
        }
        Q_UNREACHABLE();
    }

} // namespace

QList<VMDetailsActionState> states(const VMDetailsViewModel &model)
{
    return states(Inputs {model.bundle(), model.isBusy(), model.guestToolsState(), model.guestToolsInstructions(),
        VMDetailsTexts::guestInstallPendingReason(model.bundle(), model.diskUsage())});
}

QList<VMDetailsActionState> states(const Inputs &inputs)
{
    const std::optional<VMBundle> &bundle = inputs.bundle;
    const bool free = !inputs.isBusy;
    const bool installed = bundle && bundle->metadata.installState == VMInstallState::installed;
    // Before the guest system is on its disk, there is no system to grow into more space or to take tools.
    const std::optional<QString> &pending = inputs.guestInstallPending;
    const bool hasGuides = installed && bundle->metadata.guestOSType != VMGuestOSType::windows && !pending;
    const bool isLinux = bundle && bundle->metadata.guestOSType == VMGuestOSType::linux;
    const bool isWindows = bundle && bundle->metadata.guestOSType == VMGuestOSType::windows;
    const auto runStateIs = [&bundle](VMRuntimeState state) { return bundle && bundle->metadata.runtimeState == state; };
    const bool stopped = runStateIs(VMRuntimeState::stopped);
    const bool hasSavedState = bundle && bundle->metadata.hasSavedState;
    const std::optional<QString> settingsBlock = VMDetailsTexts::settingsChangeBlockReason(bundle);
    std::optional<QString> diskBlock = VMDetailsTexts::diskCapacityChangeBlockReason(bundle);
    if (!diskBlock)
        diskBlock = pending;
    const bool canChangeSettings = bundle && !settingsBlock;
    const bool canStart = installed && stopped;

    QList<VMDetailsActionState> result;
    result.append({VMDetailsAction::start, QStringLiteral("Start"),
        VMDetailsTexts::startBlockReason(bundle).value_or(QStringLiteral("Start")), canStart && free});
    if (hasSavedState) {
        result.append({VMDetailsAction::resumeSavedState, QStringLiteral("Resume Saved State"), QStringLiteral("Resume Saved State"),
            hasSavedState && stopped && free});
        result.append({VMDetailsAction::discardSavedState, QStringLiteral("Discard Saved State"), QStringLiteral("Discard Saved State"),
            stopped && free});
    }
    result.append({VMDetailsAction::pause, QStringLiteral("Pause"), QStringLiteral("Pause"), runStateIs(VMRuntimeState::running) && free});
    result.append(
        {VMDetailsAction::resume, QStringLiteral("Resume"), QStringLiteral("Resume"), runStateIs(VMRuntimeState::paused) && free});
    // QEMU runs Windows guests without a saved state of their own: the button says why instead of being refused.
    result.append({VMDetailsAction::saveState, QStringLiteral("Save State"),
        isWindows ? VirtualMachineCoordinator::windowsSaveStateRefusal.toString() : QStringLiteral("Save State"),
        (runStateIs(VMRuntimeState::running) || runStateIs(VMRuntimeState::paused)) && !isWindows && free});
    result.append({VMDetailsAction::stop, QStringLiteral("Stop"), QStringLiteral("Stop"), bundle && !stopped && free});
    result.append({VMDetailsAction::expandDisk, QStringLiteral("Expand Disk"),
        diskBlock.value_or(QStringLiteral("Increase the VM's disk capacity without creating a new VM.")), !diskBlock && free});
    result.append({VMDetailsAction::settings, QStringLiteral("Settings"),
        settingsBlock.value_or(QStringLiteral("Change CPU, memory, audio, and shared-folder settings while the VM is stopped.")),
        canChangeSettings && free});
    const QString guideTitle = isLinux ? QStringLiteral("Use New Space In Linux") : QStringLiteral("Use New Space In macOS");
    result.append({VMDetailsAction::diskGuide, guideTitle, pending.value_or(guideTitle), hasGuides});
    result.append(
        {VMDetailsAction::guestTools, guestToolsTitle(inputs.guestToolsState), pending.value_or(inputs.guestToolsInstructions), hasGuides});
    result.append({VMDetailsAction::clone, QStringLiteral("Clone"), QStringLiteral("Clone"), canStart && free});
    result.append({VMDetailsAction::exportVM, QStringLiteral("Export"),
        QStringLiteral("Export this VM as a shareable bundle or compressed archive."), stopped && free});
    result.append({VMDetailsAction::saveAsTemplate, QStringLiteral("Save as Template"),
        QStringLiteral("Save this VM's configuration as a reusable template."), installed && free});
    result.append({VMDetailsAction::deleteVM, QStringLiteral("Delete"), QStringLiteral("Delete"), stopped && free});
    return result;
}

bool isEnabled(const Inputs &inputs, VMDetailsAction action)
{
    const QList<VMDetailsActionState> all = states(inputs);
    const auto found
        = std::find_if(all.cbegin(), all.cend(), [action](const VMDetailsActionState &state) { return state.action == action; });
    return found != all.cend() && found->enabled;
}

bool applies(Inputs inputs, VMDetailsAction action)
{
    inputs.isBusy = false;
    return isEnabled(inputs, action);
}

QString key(VMDetailsAction action)
{
    switch (action) {
    case VMDetailsAction::start:
        return QStringLiteral("start");
    case VMDetailsAction::resumeSavedState:
        return QStringLiteral("resumeSavedState");
    case VMDetailsAction::discardSavedState:
        return QStringLiteral("discardSavedState");
    case VMDetailsAction::pause:
        return QStringLiteral("pause");
    case VMDetailsAction::resume:
        return QStringLiteral("resume");
    case VMDetailsAction::saveState:
        return QStringLiteral("saveState");
    case VMDetailsAction::stop:
        return QStringLiteral("stop");
    case VMDetailsAction::expandDisk:
        return QStringLiteral("expandDisk");
    case VMDetailsAction::settings:
        return QStringLiteral("settings");
    case VMDetailsAction::diskGuide:
        return QStringLiteral("diskGuide");
    case VMDetailsAction::guestTools:
        return QStringLiteral("guestTools");
    case VMDetailsAction::clone:
        return QStringLiteral("clone");
    case VMDetailsAction::exportVM:
        return QStringLiteral("exportVM");
    case VMDetailsAction::saveAsTemplate:
        return QStringLiteral("saveAsTemplate");
    case VMDetailsAction::deleteVM:
        return QStringLiteral("deleteVM");
    }
    Q_UNREACHABLE();
}

} // namespace VMDetailsActions
