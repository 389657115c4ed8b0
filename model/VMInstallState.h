// SPDX-License-Identifier: MIT
#pragma once

#include "RawValueEnum.h"

#include <QString>

/// How far the guest system of a VM is installed.
enum class VMInstallState {
    notInstalled,
    preparingBundle,
    downloadingRestoreImage,
    installingMacOS,
    installed,
    failed,
};

template <>
struct RawValues<VMInstallState> {
    static constexpr std::string_view typeName = "VMInstallState";
    static constexpr std::array table{
        std::pair{VMInstallState::notInstalled, std::string_view{"notInstalled"}},
        std::pair{VMInstallState::preparingBundle, std::string_view{"preparingBundle"}},
        std::pair{VMInstallState::downloadingRestoreImage, std::string_view{"downloadingRestoreImage"}},
        std::pair{VMInstallState::installingMacOS, std::string_view{"installingMacOS"}},
        std::pair{VMInstallState::installed, std::string_view{"installed"}},
        std::pair{VMInstallState::failed, std::string_view{"failed"}},
    };
};

/// The install status a VM shows, e.g. "Installing macOS".
QString displayText(VMInstallState state);
