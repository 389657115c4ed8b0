// SPDX-License-Identifier: MIT
#include "ConsoleTexts.h"

QString ConsoleTexts::startHint(std::optional<VMGuestOSType> guest)
{
    return QStringLiteral("Start the virtual machine to attach the live %1 display here.")
        .arg(displayName(guest.value_or(VMGuestOSType::macOS)));
}
