// SPDX-License-Identifier: MIT
#pragma once

#include "VMBundle.h"
#include "VMDetailsTexts.h"

#include <QList>
#include <QString>

#include <optional>

class VMDetailsViewModel;

/// One button of the details pane's Actions grid.
enum class VMDetailsAction {
    start,
    resumeSavedState,
    discardSavedState,
    pause,
    resume,
    saveState,
    stop,
    expandDisk,
    settings,
    diskGuide,
    guestTools,
    clone,
    exportVM,
    saveAsTemplate,
    deleteVM,
};

/// What one action button shows now: its title, tooltip and whether it can be pressed.
struct VMDetailsActionState {
    VMDetailsAction action;
    QString title;
    QString help;
    bool enabled = false;

    bool operator==(const VMDetailsActionState &) const = default;
};

/**
 * The Actions grid of the details pane, derived from the view model on each
 * read: the buttons in grid order (the two saved-state buttons only while
 * the VM has a saved state) with their enabled state and tooltips. While
 * the view model is busy every button but the two guides is disabled. The
 * guides are for the guests whose tools read them: macOS and Linux; a
 * Windows guest has neither.
 */
namespace VMDetailsActions {

/// What the grid is derived from.
struct Inputs {
    std::optional<VMBundle> bundle;
    bool isBusy = false;
    GuestToolsState guestToolsState = GuestToolsState::notInstalled;
    QString guestToolsInstructions;
    /// Why the installed system's actions wait for the guest to be installed (its disk holds nothing yet); none otherwise.
    std::optional<QString> guestInstallPending;
};

QList<VMDetailsActionState> states(const Inputs &inputs);
QList<VMDetailsActionState> states(const VMDetailsViewModel &model);

/**
 * Whether `action` can be pressed now. The menus and consoles ask this of
 * the VM as they show it, so they never offer what its details pane refuses.
 * An action the grid leaves out (the saved-state pair without a saved
 * state) cannot be pressed.
 */
bool isEnabled(const Inputs &inputs, VMDetailsAction action);
/// Whether `action` belongs to the VM's state: it could be pressed once nothing else runs on the VM.
bool applies(Inputs inputs, VMDetailsAction action);

/// A stable identifier for the button of `action`, e.g. "start" or "exportVM".
QString key(VMDetailsAction action);

} // namespace VMDetailsActions
