// SPDX-License-Identifier: MIT
#include "HostBridgedNetworkInterfaceOption.h"

QString HostBridgedNetworkInterfaceOption::label() const
{
    if (displayName && !displayName->isEmpty())
        return *displayName + QStringLiteral(" (") + identifier + QLatin1Char(')');
    return identifier;
}
