// SPDX-License-Identifier: MIT
#pragma once

#include "RawValueEnum.h"

/// The run state of a VM as the library records it.
enum class VMRuntimeState {
    stopped,
    starting,
    running,
    paused,
    saving,
    restoring,
    stopping,
    error,
};

template <>
struct RawValues<VMRuntimeState> {
    static constexpr std::string_view typeName = "VMRuntimeState";
    static constexpr std::array table{
        std::pair{VMRuntimeState::stopped, std::string_view{"stopped"}},
        std::pair{VMRuntimeState::starting, std::string_view{"starting"}},
        std::pair{VMRuntimeState::running, std::string_view{"running"}},
        std::pair{VMRuntimeState::paused, std::string_view{"paused"}},
        std::pair{VMRuntimeState::saving, std::string_view{"saving"}},
        std::pair{VMRuntimeState::restoring, std::string_view{"restoring"}},
        std::pair{VMRuntimeState::stopping, std::string_view{"stopping"}},
        std::pair{VMRuntimeState::error, std::string_view{"error"}},
    };
};

/// True for running and paused only; the states in between count as neither.
constexpr bool isRunningOrPaused(VMRuntimeState state)
{
    return state == VMRuntimeState::running || state == VMRuntimeState::paused;
}

/// The state as a person reads it: "Stopped", "Running", "Saving State", ...
QString displayName(VMRuntimeState state);
