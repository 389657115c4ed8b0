// SPDX-License-Identifier: MIT
#pragma once

#include "EFIVariableStore.h"

#include <optional>
#include <variant>

/// Boots the machine through the AArch64 EFI firmware, which keeps its settings in the variable store.
struct EFIBootLoader {
    /// Required; validation refuses a boot loader without one.
    std::optional<EFIVariableStore> variableStore;

    bool operator==(const EFIBootLoader &) const = default;
};

/// The boot loader of a macOS guest; kept for its configuration, refused by validation on this host.
struct MacOSBootLoader {
    bool operator==(const MacOSBootLoader &) const = default;
};

using BootLoader = std::variant<EFIBootLoader, MacOSBootLoader>;
