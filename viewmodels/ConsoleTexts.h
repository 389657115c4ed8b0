// SPDX-License-Identifier: MIT
#pragma once

#include "VMGuestOSType.h"

#include <QString>

#include <optional>

/// The texts a console shows over a stopped VM's display.
class ConsoleTexts
{
public:
    /// "Start the virtual machine to attach the live <guest> display here.", naming the guest's system (macOS for a bundle that names
    /// none).
    static QString startHint(std::optional<VMGuestOSType> guest);
};
