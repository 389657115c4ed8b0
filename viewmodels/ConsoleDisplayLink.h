// SPDX-License-Identifier: MIT
#pragma once

#include "VMRuntimeState.h"

/// What a console does with the guest's display in a run state.
enum class ConsoleDisplayLink {
    /// The machine has (or is about to have) a display: connect to it unless connected.
    attach,
    /// Saving or stopping: keep what is shown until the state settles.
    keep,
    /// Stopped or failed: the display is gone.
    detach,
};

constexpr ConsoleDisplayLink consoleDisplayLink(VMRuntimeState state)
{
    switch (state) {
    case VMRuntimeState::starting:
    case VMRuntimeState::running:
    case VMRuntimeState::paused:
    case VMRuntimeState::restoring:
        return ConsoleDisplayLink::attach;
    case VMRuntimeState::saving:
    case VMRuntimeState::stopping:
        return ConsoleDisplayLink::keep;
    case VMRuntimeState::stopped:
    case VMRuntimeState::error:
        return ConsoleDisplayLink::detach;
    }
    return ConsoleDisplayLink::detach;
}
