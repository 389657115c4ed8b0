// SPDX-License-Identifier: MIT
#pragma once

#include "MacAuxiliaryStorage.h"
#include "MacHardwareModel.h"
#include "MacMachineIdentifier.h"

#include <QUuid>

#include <optional>
#include <variant>

/// The platform of an ordinary arm64 machine: what Linux and other EFI guests run on.
struct GenericPlatformConfiguration {
    /// The machine's identity as firmware and guest see it; a random one is used for each machine when absent.
    std::optional<QUuid> machineIdentifier;

    bool operator==(const GenericPlatformConfiguration &) const = default;
};

/// The platform of a macOS guest. It is kept whole so that bundles stay intact, but QEMU cannot boot it.
struct MacPlatformConfiguration {
    MacHardwareModel hardwareModel;
    MacMachineIdentifier machineIdentifier;
    MacAuxiliaryStorage auxiliaryStorage;

    bool operator==(const MacPlatformConfiguration &) const = default;
};

using PlatformConfiguration = std::variant<GenericPlatformConfiguration, MacPlatformConfiguration>;
